// Builds real MPEG-2 transport streams carrying MPE datagram sections: IPv4 UDP
// unicast, broadcast and multicast, GRE (whole and as two IP fragments), several
// PIDs, null packets, adaptation fields and impairments at chosen rates.
// Deterministic for a given seed, and it records what it carried so that a test
// can compare the receiver's output byte for byte.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/win_types.h"

enum class DatagramKind {
  kUdpUnicast,
  kUdpBroadcast,
  kUdpMulticast,
  kGre,            // outer IPv4 (protocol 47) carrying a UDP packet
  kGreFragmented,  // the same outer packet cut into two IP fragments (two sections)
};

// One kind of traffic on one PID. All GRE traffic of a stream should share one
// PID: the receiver joins GRE fragments in a single buffer across PIDs.
struct STREAM_SERVICE {
  int32_t pid = 500;
  DatagramKind kind = DatagramKind::kUdpMulticast;
  BYTE source[4] = {192, 168, 238, 10};
  // Unicast: the receiver's address; multicast: the group; broadcast: usually
  // 255.255.255.255. For GRE: the outer destination.
  BYTE destination[4] = {239, 255, 1, 1};
  // The destination MAC for unicast (and for unicast GRE); broadcast and
  // multicast MACs are derived from the kind and the destination address.
  BYTE unicastMac[6] = {0x00, 0x02, 0xC0, 0xA8, 0xEE, 0xEE};
  // GRE only: the inner UDP packet's destination and the header size (4 or 8).
  BYTE innerDestination[4] = {239, 255, 2, 1};
  int greHeaderSize = 4;
  WORD sourcePort = 4000;
  WORD destinationPort = 5000;
  // UDP payload bytes, chosen uniformly in [min, max]; the whole IPv4 packet
  // (inner plus GRE and outer header for GRE) must stay within 1500 bytes.
  int payloadMin = 1316;
  int payloadMax = 1316;
  bool crc = true;      // section_syntax_indicator 1 with CRC-32; else 0 and no CRC
  // ULE SNDUs (RFC 4326: NPA address, Type IPv4, CRC-32) instead of MPE sections; all
  // services of a PID must agree. Padding is the End Indicator.
  bool ule = false;
  int weight = 1;       // share of this PID's sections among the PID's services
};

struct STREAM_PROFILE {
  uint32_t seed = 1;
  std::vector<STREAM_SERVICE> services;
  // Share of packet slots given to each PID, by PID order of first appearance in
  // services; missing entries count 1.
  std::vector<int> pidWeights;
  // Sections start right behind the previous one in the same packet (with a
  // pointer_field) rather than after 0xFF stuffing to the packet's end.
  bool packSections = true;
  // Fractions of the output packets. The first ones are extra packets the receiver
  // must ignore (they never change what is delivered); continuityErrorRate drops
  // packets of a PID, which loses the sections they carried.
  double nullRate = 0;            // null packets (PID 0x1FFF)
  double otherPidRate = 0;        // PES-like packets on otherPid (not MPE)
  int32_t otherPid = 600;
  double adaptationRate = 0;      // adaptation-only packets (no payload) on an MPE PID
  double scrambledRate = 0;       // packets with scrambling bits on an MPE PID
  double transportErrorRate = 0;  // packets with transport_error_indicator on an MPE PID
  double duplicateRate = 0;       // an MPE packet sent twice (same continuity counter)
  double continuityErrorRate = 0; // an MPE packet dropped (continuity counter skips)
  bool record = true;             // keep every datagram in Datagrams()
};

// One datagram the stream carries, in the order the receiver completes them.
struct GEN_DATAGRAM {
  int32_t pid = 0;
  BYTE mac[6] = {};  // as the section header carries it, most significant first
  DatagramKind kind = DatagramKind::kUdpMulticast;
  int serviceIndex = 0;
  // What a receiver writes when it accepts the datagram: the IPv4 packet itself,
  // or for GRE the inner IPv4 packet.
  std::vector<BYTE> packet;
  // The GRE packet as sent (outer IPv4 packet), empty for plain UDP.
  std::vector<BYTE> outer;
  uint32_t sequence = 0;  // per service, also in the first 4 bytes of the UDP payload
  // A packet of one of its sections was dropped (continuity error): not delivered.
  // When only the first of two GRE fragments is lost, a receiver may still deliver
  // the second one as it stands.
  bool lost = false;
};

struct STREAM_TOTALS {
  uint64_t packets = 0;          // all packets written
  uint64_t nullPackets = 0;
  uint64_t sections = 0;         // sections completed
  uint64_t datagrams = 0;        // datagrams completed (a fragmented GRE pair is one)
  uint64_t lostDatagrams = 0;
  uint64_t droppedPackets = 0;   // continuity errors made
  uint64_t discontinuities = 0;  // discontinuities a receiver of every MPE PID counts
  uint64_t duplicates = 0;
  // Datagrams completed per PID (lost ones included), in the PIDs' order of first appearance.
  struct PID_DATAGRAMS {
    int32_t pid = 0;
    uint64_t datagrams = 0;
    uint64_t lost = 0;
  };
  std::vector<PID_DATAGRAMS> byPid;
};

class CStreamGenerator {
 public:
  explicit CStreamGenerator(const STREAM_PROFILE& profile);

  // Writes count whole 188-byte packets to out. No allocation once warmed up
  // when recording is off.
  void Fill(BYTE* out, size_t count);
  // Appends count packets to out.
  void Append(std::vector<BYTE>& out, size_t count);

  const std::vector<GEN_DATAGRAM>& Datagrams() const { return m_records; }
  void ClearDatagrams() { m_records.clear(); }
  const STREAM_TOTALS& Totals() const { return m_totals; }
  const STREAM_PROFILE& Profile() const { return m_profile; }

 private:
  // Where one section lies in its PID's byte queue.
  struct SECTION_MARK {
    int64_t start = 0;  // negative once the queue has been cut inside the section
    int64_t end = 0;
    int group = 0;      // the datagram it belongs to
    bool last = false;  // the datagram's last section
  };
  struct PID_STREAM {
    int32_t pid = 0;
    int continuity = 0;
    std::vector<int> services;  // indices into the profile's services
    int totalWeight = 0;
    std::vector<BYTE> bytes;     // sections queued back to back
    size_t sent = 0;             // bytes of it already in packets
    std::vector<SECTION_MARK> marks;
    bool gap = false;            // a packet was dropped since the last one sent
  };
  struct PENDING {
    int group = 0;
    int32_t pid = 0;
    bool damaged = false;
    GEN_DATAGRAM datagram;
  };

  uint64_t Next();
  uint32_t Below(uint32_t n) { return static_cast<uint32_t>(Next() % n); }
  bool Chance(double rate) { return rate > 0 && (Next() >> 11) * (1.0 / 9007199254740992.0) < rate; }

  void QueueDatagram(PID_STREAM& s);
  void QueueSection(PID_STREAM& s, const BYTE mac[6], const BYTE* datagram, size_t length, bool crc,
                    bool ule, int group, bool last);
  // The next packet of the PID; false when it was dropped as a continuity error.
  bool BuildPacket(PID_STREAM& s, BYTE* p);
  void Complete(int group);
  void BuildFiller(BYTE* p);
  PID_STREAM& PickPid();

  STREAM_PROFILE m_profile;
  uint64_t m_state;
  std::vector<PID_STREAM> m_pids;
  std::vector<int> m_pidWeights;
  int m_totalPidWeight = 0;
  std::vector<uint32_t> m_sequence;  // per service
  uint16_t m_ipId = 1;
  int m_otherContinuity = 0;
  std::vector<GEN_DATAGRAM> m_records;
  std::vector<PENDING> m_pending;  // datagrams whose sections are not all sent
  std::vector<BYTE> m_payload, m_inner, m_outer, m_section, m_fragment;
  BYTE m_held[188];
  bool m_hasHeld = false;
  int m_nextGroup = 1;
  STREAM_TOTALS m_totals;
};

// Multicast MAC of a group: 01:00:5E and the low 23 bits of the address.
void MulticastMac(const BYTE group[4], BYTE mac[6]);
// RFC 1071 Internet checksum of the bytes (the value to store, big-endian).
uint16_t InternetChecksum(const BYTE* data, size_t length);
// Builds an IPv4/UDP packet with correct header and UDP checksums.
void BuildUdpPacket(const BYTE source[4], const BYTE destination[4], WORD sourcePort,
                    WORD destinationPort, uint16_t id, const BYTE* payload, size_t payloadLength,
                    std::vector<BYTE>& out);
// Builds one MPE datagram section around a datagram.
void BuildMpeSection(const BYTE mac[6], const BYTE* datagram, size_t length, bool crc,
                     std::vector<BYTE>& out);

// Builds one ULE SNDU (D = 0, the MAC as NPA address, Type 0x0800) around a datagram.
void BuildUleSndu(const BYTE mac[6], const BYTE* datagram, size_t length, std::vector<BYTE>& out);

// The stream the tool and the emulated tuner deliver by default: multicast UDP
// on PID 500, broadcast on 501, unicast on 502, GRE on 503, a non-MPE PID,
// null packets, adaptation fields and harmless impairments.
STREAM_PROFILE DemoStreamProfile();
// Its nominal rate in bits per second (packets of 188 bytes).
constexpr double kDemoStreamBitsPerSecond = 4000000.0;
// The demo stream's traffic without impairments and without GRE fragments: each
// datagram a receiver accepts is written exactly once, so carried and written counts
// can be compared (the soak runs on it).
STREAM_PROFILE CleanStreamProfile();
// A stream for throughput measurements: every packet carries multicast MPE on PID 500
// (with ule: the same datagrams as ULE SNDUs).
STREAM_PROFILE BenchmarkStreamProfile(bool ule = false);
