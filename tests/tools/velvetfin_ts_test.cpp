// velvetfin-ts run as a separate process, the way users and scripts run it: a real
// capture, the demo stream compared byte for byte, refused filters, bad input and
// output, garbage input, and on Linux a TUN interface feeding a UDP socket.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/emulated/stream_generator.h"
#include "platform/system.h"

#ifndef _WIN32
#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {
using Bytes = std::vector<BYTE>;

#ifdef _WIN32
const char kExe[] = ".exe";
#else
const char kExe[] = "";
#endif

// The tool is built beside the suites: <build>/src/velvetfin-ts next to <build>/tests/test_tools.
std::string ToolPath() {
  std::string self = SystemServices().GetModulePath();
  size_t cut = self.find_last_of("/\\");
  std::string dir = cut == std::string::npos ? "." : self.substr(0, cut);
  return dir + "/../src/velvetfin-ts" + kExe;
}

Bytes ReadFile(const std::string& path) {
  Bytes out;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return out;
  BYTE buffer[1 << 14];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) out.insert(out.end(), buffer, buffer + n);
  std::fclose(f);
  return out;
}
std::string ReadText(const std::string& path) {
  Bytes b = ReadFile(path);
  return std::string(b.begin(), b.end());
}
void WriteFile(const std::string& path, const Bytes& data) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_TRUE(f) << path;
  ASSERT_EQ(std::fwrite(data.data(), 1, data.size(), f), data.size());
  std::fclose(f);
}

std::string Temp(const std::string& name) { return testing::TempDir() + "vfts_" + name; }

struct RUN {
  int status = -1;
  std::string out, err;
};

RUN RunTool(const std::string& args, const std::string& stdinPath = "") {
  std::string out = Temp("stdout.txt"), err = Temp("stderr.txt");
  std::string command = "\"" + ToolPath() + "\" " + args + " > \"" + out + "\" 2> \"" + err + "\"";
  if (!stdinPath.empty()) command += " < \"" + stdinPath + "\"";
#ifdef _WIN32
  command = "\"" + command + "\"";  // cmd.exe strips one pair of outer quotes
#endif
  int status = std::system(command.c_str());
  RUN r;
#ifdef _WIN32
  r.status = status;
#else
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
#endif
  // Console output is text: CR LF on Windows.
  auto text = [](std::string t) {
    t.erase(std::remove(t.begin(), t.end(), '\r'), t.end());
    return t;
  };
  r.out = text(ReadText(out));
  r.err = text(ReadText(err));
  std::remove(out.c_str());
  std::remove(err.c_str());
  return r;
}

uint32_t Le32(const BYTE* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

// The records of a pcap file the tool wrote.
std::vector<Bytes> PcapRecords(const std::string& path, uint32_t linkType = 228) {
  std::vector<Bytes> out;
  Bytes f = ReadFile(path);
  if (f.size() < 24 || Le32(f.data()) != 0xA1B2C3D4u || Le32(f.data() + 20) != linkType) return out;
  size_t at = 24;
  while (at + 16 <= f.size()) {
    uint32_t n = Le32(f.data() + at + 8);
    if (at + 16 + n > f.size()) break;
    out.emplace_back(f.begin() + long(at + 16), f.begin() + long(at + 16 + n));
    at += 16 + n;
  }
  return out;
}

// "123.456": the statistic line's "%.3f".
bool IsDecimal(const std::string& s) {
  size_t dot = s.find('.');
  if (dot == std::string::npos || dot == 0 || s.size() != dot + 4) return false;
  for (size_t i = 0; i < s.size(); ++i)
    if (i != dot && (s[i] < '0' || s[i] > '9')) return false;
  return true;
}
// "hh:mm:ss" of a log line.
bool IsTimeStamp(const std::string& s) {
  if (s.size() != 8 || s[2] != ':' || s[5] != ':') return false;
  for (size_t i : {0, 1, 3, 4, 6, 7})
    if (s[i] < '0' || s[i] > '9') return false;
  return true;
}

const std::string kCapture = std::string(VF_TESTDATA_DIR) + "/mpe-udp-1001.ts";

void ExpectCaptureDatagrams(const std::vector<Bytes>& records) {
  ASSERT_EQ(records.size(), 660u);
  for (const Bytes& r : records) {
    ASSERT_EQ(r.size(), 1344u);
    EXPECT_EQ((r[2] << 8) | r[3], 1344);
    EXPECT_EQ(r[0], 0x45);
    EXPECT_EQ(r[9], 17);
  }
}
}  // namespace

TEST(VelvetfinTs, RealCaptureWritesItsSixHundredSixtyDatagrams) {
  ASSERT_FALSE(ReadFile(ToolPath()).empty()) << "velvetfin-ts not built at " << ToolPath();
  std::string pcap = Temp("capture.pcap"), log = Temp("capture.log");
  std::remove(log.c_str());
  RUN r = RunTool("--uc-pid 1001 --uc-mac 00:00:00:00:00:00 --pcap \"" + pcap + "\" --log \"" + log + "\" \"" +
              kCapture + "\"");
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<Bytes> records = PcapRecords(pcap);
  ExpectCaptureDatagrams(records);
  // The list as the page shows it, the counts, the statistic line, the log lines.
  EXPECT_NE(r.out.find("1001   UC   00:00:00:00:00:00  192.168.238.238"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("8192   MC   01:00:5E:??:??:??"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("UC: 660 packets, 887040 bytes"), std::string::npos) << r.out;
  const std::string totals = "Mbps   Disc: 0   MPE: 0.856Mb   GRE-IP: 0.000Mb   IPv4: 0.846Mb\n";
  size_t line = r.out.find(totals);
  ASSERT_NE(line, std::string::npos) << r.out;
  size_t begin = r.out.rfind("\nTS: ", line);
  ASSERT_NE(begin, std::string::npos) << r.out;
  EXPECT_TRUE(IsDecimal(r.out.substr(begin + 5, line - begin - 5))) << r.out;
  std::string text = ReadText(log);
  const std::string unicast = " Unicast PID=1001, MAC: 00:00:00:00:00:00, MASK: FF:FF:FF:FF:FF:FF\r\n";
  ASSERT_GE(text.size(), 9 + unicast.size()) << text;
  EXPECT_TRUE(IsTimeStamp(text.substr(0, 8))) << text;
  EXPECT_EQ(text.substr(8, unicast.size()), unicast) << text;
  EXPECT_NE(text.find("Received data size 48128 (256 packets)\r\n"), std::string::npos) << text;

  // Standard input (binary on Windows too) and odd buffer sizes carry the same datagrams.
  for (const char* buffer : {"1000", "189", "1048576"}) {
    SCOPED_TRACE(buffer);
    std::remove(pcap.c_str());
    r = RunTool(std::string("--quiet --buffer ") + buffer + " --uc-pid 8192 --pcap \"" + pcap + "\" -", kCapture);
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<Bytes> again = PcapRecords(pcap);
    ExpectCaptureDatagrams(again);
    EXPECT_EQ(again, records);
  }
  std::remove(pcap.c_str());
  std::remove(log.c_str());
}

#ifndef _WIN32
// Wireshark reads the same 660 datagrams out of the capture as the tool delivers.
TEST(VelvetfinTs, AgreesWithTsharkOnTheCapture) {
  if (std::system("tshark -v >/dev/null 2>&1") != 0) GTEST_SKIP() << "tshark is not installed";
  std::string pcap = Temp("tshark.pcap");
  RUN r = RunTool("--quiet --uc-pid 1001 --pcap \"" + pcap + "\" \"" + kCapture + "\"");
  ASSERT_EQ(r.status, 0) << r.err;
  auto fields = [](const std::string& file) {
    std::string command = "tshark -r '" + file + "' -Y ip -T fields -e ip.id -e ip.checksum -e udp.checksum 2>/dev/null";
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    char line[256];
    while (p && std::fgets(line, sizeof line, p)) out += line;
    if (p) pclose(p);
    return out;
  };
  std::string fromTs = fields(kCapture), fromPcap = fields(pcap);
  EXPECT_EQ(std::count(fromTs.begin(), fromTs.end(), '\n'), 660);
  EXPECT_EQ(fromTs, fromPcap);
  std::remove(pcap.c_str());
}
#endif

TEST(VelvetfinTs, DemoStreamArrivesByteForByte) {
  // The tool's default filters: multicast on any PID; GRE on a multicast group is opened.
  const double seconds = 2;
  STREAM_PROFILE profile = DemoStreamProfile();
  profile.record = true;
  CStreamGenerator gen(profile);
  Bytes ts;
  gen.Append(ts, size_t(seconds * kDemoStreamBitsPerSecond / (188 * 8) + 0.5));
  std::vector<Bytes> expected;
  for (const GEN_DATAGRAM& d : gen.Datagrams())
    if (!d.lost && d.mac[0] == 0x01 && d.mac[1] == 0x00 && d.mac[2] == 0x5E) expected.push_back(d.packet);
  ASSERT_GT(expected.size(), 400u);

  std::string pcap = Temp("demo.pcap"), saved = Temp("demo.ts");
  RUN r = RunTool("--generate 2 --buffer 7777 --pcap \"" + pcap + "\"");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(PcapRecords(pcap), expected);
  // --save writes the very stream that --generate runs.
  r = RunTool("--generate 2 --save \"" + saved + "\"");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadFile(saved), ts);
  // Unicast and broadcast when asked for, counted per filter.
  r = RunTool("--generate 2 --uc-pid 502 --uc-mac 00:02:C0:A8:EE:EE --bc-pid 501 --mc-pid 0");
  ASSERT_EQ(r.status, 0) << r.err;
  size_t uc = 0, bc = 0;
  for (const GEN_DATAGRAM& d : gen.Datagrams()) {
    if (d.kind == DatagramKind::kUdpUnicast) ++uc;
    if (d.kind == DatagramKind::kUdpBroadcast) ++bc;
  }
  EXPECT_NE(r.out.find("UC: " + std::to_string(uc) + " packets"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("BC: " + std::to_string(bc) + " packets"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("MC: "), std::string::npos) << r.out;
  std::remove(pcap.c_str());
  std::remove(saved.c_str());
}

// A ULE PID decodes only when declared; its packets then go to a raw (IPv4 and IPv6) pcap.
TEST(VelvetfinTs, UlePidIsDecodedOnlyWhenDeclared) {
  STREAM_PROFILE profile = BenchmarkStreamProfile(true);
  profile.services[0].pid = 600;
  profile.services[0].payloadMin = 50;
  profile.record = true;
  profile.nullRate = 0.1;
  CStreamGenerator gen(profile);
  Bytes ts;
  gen.Append(ts, 3000);
  std::vector<Bytes> expected;
  for (const GEN_DATAGRAM& d : gen.Datagrams()) expected.push_back(d.packet);
  const std::string file = Temp("ule.ts"), pcap = Temp("ule.pcap");
  WriteFile(file, ts);
  RUN r = RunTool("--quiet --buffer 1000 --ule-pid 600 --pcap \"" + pcap + "\" \"" + file + "\"");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(PcapRecords(pcap, 101), expected);
  EXPECT_NE(r.out.find("Drop CRC/Len/Ptr/Type/Addr: 0/0/0/0/0"), std::string::npos) << r.out;
  r = RunTool("--quiet --pcap \"" + pcap + "\" \"" + file + "\"");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(PcapRecords(pcap).empty());
  EXPECT_EQ(r.out.find("Drop"), std::string::npos) << r.out;
  std::remove(file.c_str());
  std::remove(pcap.c_str());
}

TEST(VelvetfinTs, PacedRunPrintsTheStatisticLineEverySecond) {
  // 1 s of demo stream at 2.5 instead of 4 Mbit/s lasts 1.6 s: one line on the way, one at the end.
  RUN r = RunTool("--generate 1 --rate 2.5");
  ASSERT_EQ(r.status, 0) << r.err;
  size_t lines = 0;
  for (size_t at = r.out.find("\nTS: "); at != std::string::npos; at = r.out.find("\nTS: ", at + 1)) ++lines;
  EXPECT_EQ(lines, 2u) << r.out;
}

TEST(VelvetfinTs, RefusesBadFiltersWithThePageTexts) {
  struct CASE {
    const char* args;
    const char* text;
  } cases[] = {
      {"--uc-mac 00:GG:00:00:00:00", "Invalid MAC-address !"},
      {"--uc-ip 224.1.1.1", "Invalid IP-address !"},
      {"--uc-ip 10.0.0.255", "Invalid IP-address !"},
      {"--uc-pid 8193", "Invalid Unicast-PID 8193 > 8192 !"},
      {"--bc-pid 9000", "Invalid Broadcast-PID 9000 > 8192 !"},
      {"--mc-pid 74536", "Invalid Multicast-PID 9000 > 8192 !"},
      {"--ule-pid 600 --ule-pid 8191", "Invalid ULE-PID 8191 > 8190 !"},
  };
  for (const CASE& c : cases) {
    RUN r = RunTool(std::string(c.args) + " --quiet \"" + kCapture + "\"");
    EXPECT_EQ(r.status, 2) << c.args;
    EXPECT_EQ(r.err, std::string(c.text) + "\n") << c.args;
  }
  // 65537 is kept in 16 bits: a valid PID 1 is accepted and normalised.
  RUN r = RunTool("--quiet --uc-pid 65537 --uc-mac 00:02:c0:a8:ee:e? \"" + kCapture + "\"");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("1      UC   00:02:C0:A8:EE:E?"), std::string::npos) << r.out;
}

TEST(VelvetfinTs, ApplyLogShowsWhatTheMpeFilterPageWouldLogAndList) {
  RUN r = RunTool("--apply-log --uc-pid 0500 --uc-mac 00:02:??:a8:ee:e --uc-ip 192.168.1.007 --ip-filter --bc-pid 501");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "Unicast PID=500, MAC: 00:02:00:A8:EE:E0, MASK: FF:FF:00:FF:FF:F0\n"
            "Broadcast PID=501, MAC: FF:FF:FF:FF:FF:FF, MASK: FF:FF:FF:FF:FF:FF\n"
            "Multicast PID=8192, MAC: 01:00:5E:00:00:00, MASK: FF:FF:FF:00:00:00\n"
            "500\tUC\t00:02:??:A8:EE:E?\t192.168.1.7\n"
            "501\tBC\tFF:FF:FF:FF:FF:FF\t255.255.255.255\n"
            "8192\tMC\t01:00:5E:??:??:??\t224.???.???.???\n");
  r = RunTool("--apply-log --mc-pid 0");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
}

TEST(VelvetfinTs, BadInputOrOutputIsOneClearErrorAndStatusTwo) {
  RUN r = RunTool("\"" + Temp("does-not-exist.ts") + "\"");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("does-not-exist.ts"), std::string::npos) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;

  r = RunTool("--pcap \"" + Temp("no-such-dir/x.pcap") + "\" \"" + kCapture + "\"");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("x.pcap"), std::string::npos) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;

  for (const char* args : {"", "--generate", "--buffer 0 -", "--rate fast -", "--frobnicate -", "a.ts b.ts"}) {
    r = RunTool(args);
    EXPECT_EQ(r.status, 2) << args;
  }
}

TEST(VelvetfinTs, AnyInputBytesNeverCrashIt) {
  // Random bytes, random bytes salted with sync bytes and section headers, and a
  // capture cut short in the middle of a packet.
  uint64_t state = 42;
  auto next = [&] {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return BYTE(state >> 56);
  };
  Bytes random(300000), salted(300000);
  for (BYTE& b : random) b = next();
  for (size_t i = 0; i < salted.size(); ++i) {
    salted[i] = next();
    if (i % 188 == 0) salted[i] = 0x47;
    if (i % 188 == 5 && next() < 128) salted[i] = 0x3E;
  }
  Bytes cut = ReadFile(kCapture);
  cut.resize(cut.size() / 3 + 101);
  int k = 0;
  for (const Bytes* input : {&random, &salted, &cut}) {
    std::string path = Temp("garbage" + std::to_string(k++) + ".ts");
    WriteFile(path, *input);
    RUN r = RunTool("--quiet --uc-pid 8192 --uc-mac ??:??:??:??:??:?? --bc-pid 8192 --buffer 1001 \"" + path + "\"");
    EXPECT_EQ(r.status, 0) << path << r.err;
    EXPECT_NE(r.out.find("TS: "), std::string::npos);
    std::remove(path.c_str());
  }
}

#ifndef _WIN32
// In a network namespace of its own, velvetfin-ts --tun delivers a generated stream
// and a UDP socket there receives every multicast datagram, byte for byte, in order.
TEST(VelvetfinTs, TunDeliversMulticastToASocketInANetworkNamespace) {
  STREAM_PROFILE profile;
  profile.seed = 99;
  STREAM_SERVICE mc;
  mc.pid = 700;
  mc.kind = DatagramKind::kUdpMulticast;
  const BYTE group[4] = {239, 77, 1, 2};
  std::memcpy(mc.destination, group, 4);
  mc.destinationPort = 47200;
  mc.payloadMin = 20;
  mc.payloadMax = 1400;
  profile.services.push_back(mc);
  STREAM_SERVICE other = mc;  // another group on another PID: not for our socket
  other.pid = 701;
  other.destination[3] = 3;
  profile.services.push_back(other);
  profile.nullRate = 0.1;
  profile.duplicateRate = 0.01;
  CStreamGenerator gen(profile);
  Bytes ts;
  gen.Append(ts, 4000);
  std::vector<Bytes> expected;
  for (const GEN_DATAGRAM& d : gen.Datagrams())
    if (d.pid == 700) expected.emplace_back(d.packet.begin() + 28, d.packet.end());
  ASSERT_GT(expected.size(), 200u);

  std::string skip, failure;
  std::vector<Bytes> received;
  std::thread worker([&] {
    if (unshare(CLONE_NEWNET) != 0) {
      skip = std::string("network namespaces are not permitted here (needs root): ") + std::strerror(errno);
      return;
    }
    int s = socket(AF_INET, SOCK_DGRAM, 0);
    int big = 64 << 20;
    if (setsockopt(s, SOL_SOCKET, SO_RCVBUFFORCE, &big, sizeof big) != 0)
      setsockopt(s, SOL_SOCKET, SO_RCVBUF, &big, sizeof big);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_port = htons(47200);
    std::memcpy(&any.sin_addr, group, 4);
    timeval tv{3, 0};
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    if (bind(s, reinterpret_cast<sockaddr*>(&any), sizeof any) != 0) {
      failure = std::string("bind: ") + std::strerror(errno);
      return;
    }
    // The tool reads the stream from a pipe, so the socket can join the group on
    // the TUN interface after the tool has made it and before any packet flows.
    std::string out = Temp("tun.out");
    std::string command = "\"" + ToolPath() + "\" --tun vfts0 --uc-ip 192.168.238.238 - > \"" + out + "\" 2>&1";
    FILE* pipe = popen(command.c_str(), "w");
    if (!pipe) {
      failure = "popen failed";
      return;
    }
    ip_mreq join{};
    std::memcpy(&join.imr_multiaddr, group, 4);
    join.imr_interface.s_addr = inet_addr("192.168.238.238");
    bool joined = false;
    for (int i = 0; i < 500 && !joined; ++i) {
      joined = if_nametoindex("vfts0") != 0 && setsockopt(s, IPPROTO_IP, IP_ADD_MEMBERSHIP, &join, sizeof join) == 0;
      if (!joined) usleep(10000);
    }
    if (joined) fwrite(ts.data(), 1, ts.size(), pipe);
    int status = pclose(pipe);
    std::string text = ReadText(out);
    std::remove(out.c_str());
    if (!joined) {
      if (text.find("TUN") != std::string::npos || text.find("tun") != std::string::npos)
        skip = "no TUN interface here: " + text;
      else
        failure = "could not join the group on vfts0: " + text;
      close(s);
      return;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) failure = "velvetfin-ts failed: " + text;
    BYTE buffer[2048];
    while (received.size() < expected.size()) {
      ssize_t n = recv(s, buffer, sizeof buffer, 0);
      if (n < 0) break;
      received.emplace_back(buffer, buffer + n);
    }
    close(s);
  });
  worker.join();
  if (!skip.empty()) GTEST_SKIP() << skip;
  ASSERT_EQ(failure, "");
  ASSERT_EQ(received.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(received[i], expected[i]) << "datagram " << i;
}
#endif
