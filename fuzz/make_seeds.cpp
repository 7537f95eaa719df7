// Writes the seed corpora from the stream generator: small streams of every kind of
// traffic for the transport target, single datagrams (UDP, GRE, GRE fragments) for the other.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/emulated/stream_generator.h"

namespace {
void Write(const std::string& path, const std::vector<BYTE>& data) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    std::perror(path.c_str());
    return;
  }
  std::fwrite(data.data(), 1, data.size(), f);
  std::fclose(f);
}

STREAM_SERVICE Service(int32_t pid, DatagramKind kind, BYTE last, int minPayload, int maxPayload) {
  STREAM_SERVICE s;
  s.pid = pid;
  s.kind = kind;
  s.payloadMin = minPayload;
  s.payloadMax = maxPayload;
  if (kind == DatagramKind::kUdpBroadcast) s.destination[0] = s.destination[1] = s.destination[2] = 255;
  if (kind == DatagramKind::kUdpUnicast) {
    const BYTE ip[4] = {192, 168, 238, 238};
    std::copy(ip, ip + 4, s.destination);
  }
  s.destination[3] = last;
  return s;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_seeds TRANSPORT_DIR DATAGRAM_DIR\n");
    return 2;
  }
  std::string transport = argv[1], datagram = argv[2];
  const DatagramKind kinds[] = {DatagramKind::kUdpMulticast, DatagramKind::kUdpBroadcast, DatagramKind::kUdpUnicast,
                                DatagramKind::kGre, DatagramKind::kGreFragmented};
  const int32_t pids[] = {500, 501, 500, 500, 500};
  const BYTE lasts[] = {1, 255, 238, 1, 1};
  for (int k = 0; k < 5; ++k) {
    for (int pack = 0; pack < 2; ++pack) {
      STREAM_PROFILE p;
      p.seed = uint32_t(k * 2 + pack + 1);
      p.packSections = pack != 0;
      p.services.push_back(Service(pids[k], kinds[k], lasts[k], 8, 400));
      p.services.back().crc = k % 2 == 0;
      if (pack) {
        p.nullRate = 0.1;
        p.duplicateRate = 0.05;
        p.adaptationRate = 0.05;
        p.continuityErrorRate = 0.05;
      }
      CStreamGenerator gen(p);
      // Unicast PID 500 with its MAC and IP, broadcast 501, multicast any PID.
      const BYTE arrangement = 0x4F;
      std::vector<BYTE> out = {arrangement, BYTE(k * 37 + pack)};
      gen.Append(out, 24);
      Write(transport + "/gen-" + std::to_string(k) + "-" + std::to_string(pack) + ".bin", out);

      // The same traffic as bare datagrams, each record PID, MAC, length, bytes.
      std::vector<BYTE> records = {arrangement};
      for (const GEN_DATAGRAM& d : gen.Datagrams()) {
        const std::vector<BYTE>& bytes = d.outer.empty() ? d.packet : d.outer;
        records.push_back(BYTE(d.pid >> 8));
        records.push_back(BYTE(d.pid));
        records.insert(records.end(), d.mac, d.mac + 6);
        records.push_back(BYTE(bytes.size() >> 8));
        records.push_back(BYTE(bytes.size()));
        records.insert(records.end(), bytes.begin(), bytes.end());
        if (records.size() > 3000) break;
      }
      Write(datagram + "/gen-" + std::to_string(k) + "-" + std::to_string(pack) + ".bin", records);
    }
  }
  return 0;
}
