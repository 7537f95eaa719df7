// Transport-stream intake, MPE section reassembly and IPv4/GRE delivery: the
// chain the streaming thread runs for every buffer, under the callback lock.
#pragma once
#include <cstdint>
#include <memory>

#include "datapath/adapter_handle.h"
#include "datapath/filter_table.h"
#include "datapath/stream_counters.h"
#include "datapath/ule_receiver.h"
#include "platform/win_types.h"

constexpr int kTsPacketSize = 188;
constexpr int kSectionBufferSize = 4112;
constexpr int kPidCount = 8192;
constexpr int kNullPid = 0x1FFF;
constexpr uint32_t kGreBufferSize = 3000;
constexpr int kMaxIpPacket = 1500;

struct SectionBuffer {
  std::unique_ptr<BYTE[]> data;  // kSectionBufferSize bytes once the PID is first seen
  int32_t fill = 0;
  int32_t expectedCounter = 0;
  int32_t started = 0;
};

struct GreFragmentBuffer {
  BYTE data[kGreBufferSize];
  uint32_t length = 0;
};

class CDeviceIo;

// One data path: its own reassembly state, reading a filter table and counters
// and writing to an adapter handle. The program has one (TheDataPath()); tests make their own.
class CDataPath final : public CUleSink {
 public:
  CDataPath(FilterTable& table, StreamCounters& counters, CAdapterHandle& adapter);

  void ProcessTransportBuffer(const BYTE* data, DWORD size);
  // One packet on its own, the table first checked for changes (ProcessTransportBuffer
  // checks it once per buffer).
  void ProcessTsPacket(const BYTE* p);
  // 1: stopped for lack of data; 0: the buffer must be discarded.
  int ParseMpeSections(int32_t pid, BYTE* b, int32_t& fill);
  void DeliverDatagram(int32_t pid, const BYTE mac[6], const BYTE* ip, int32_t length);
  // 1: consumed (delivered or dropped); 0: not IPv4 inside, the caller delivers the outer packet.
  int DecapsulateGre(int32_t pid, const BYTE mac[6], const BYTE* g, int32_t n);
  // With IPv6 on: an MPE datagram, after an LLC/SNAP header when the section says so.
  void DeliverMpeDatagram(int32_t pid, const BYTE mac[6], const BYTE* d, int32_t length, bool llcSnap);
  // An IPv6 packet through the filters: its 40-byte header and payload length written.
  void DeliverIpv6(int32_t pid, const BYTE mac[6], const BYTE* ip, int32_t length);
  // A ULE SNDU that passed its Length and CRC: address, extension headers, delivery.
  void DeliverSndu(int32_t pid, const BYTE* sndu, int32_t length) override;

  // Device I/O used for the adapter writes (the platform's unless replaced).
  void SetDeviceIo(CDeviceIo* io) { m_io = io; }

  FilterTable& Filters() { return m_filters; }
  StreamCounters& Counters() { return m_counters; }
  const SectionBuffer& Section(int pid) const { return m_sections[pid]; }
  const GreFragmentBuffer& GreBuffer() const { return m_gre; }
  // The receiver of a ULE PID once its first packet arrived, else null.
  const CUleReceiver* UleReceiver(int32_t pid) const;

 private:
  // What a PID's packets are for: dropped, MPE sections, or ULE slot (value - kPidUle).
  enum : BYTE { kPidDropped = 0, kPidMpe = 1, kPidUle = 2 };
  // The PIDs of the filter table the per-PID kinds were made from.
  struct PID_KIND_SOURCE {
    int32_t filterPid[kFilterCount];
    int32_t ulePidCount;
    int32_t ulePid[kMaxUlePids];
  };

  // Remakes m_pidKind when the table's PIDs changed. The table only changes under the
  // callback lock, between buffers, so once per buffer is enough.
  void RefreshPidKinds();
  void HandleTsPacket(const BYTE* p);
  void ProcessMpePacket(int32_t pid, const BYTE* p);
  void ProcessUlePacket(int32_t slot, int32_t pid, const BYTE* p);
  // The slot's receiver, made (once) or reset for this PID; null when out of memory.
  CUleReceiver* StartUleReceiver(int32_t slot, int32_t pid);
  // Bit k set when filter k takes the PID and its MAC and mask accept mac.
  uint32_t MatchingFilters(int32_t pid, const BYTE mac[6]) const;
  // Those filters and, for 33:33:xx:xx:xx:xx (the IPv6 multicast range), the multicast
  // filter when it takes the PID: none means the address is dropped.
  uint32_t AddressTakers(int32_t pid, const BYTE mac[6], uint32_t matching) const;
  // DeliverDatagram and DeliverIpv6 once the filters that take the packet are known.
  void DeliverIpv4(int32_t pid, const BYTE mac[6], uint32_t matching, const BYTE* ip, int32_t length);
  void DeliverIpv6To(uint32_t takers, const BYTE* ip, int32_t length);
  void WritePacket(const BYTE* data, uint32_t length);

  FilterTable& m_filters;
  StreamCounters& m_counters;
  CAdapterHandle& m_adapter;
  CDeviceIo* m_io = nullptr;

  BYTE m_carry[kTsPacketSize];
  uint32_t m_carryLength = 0;
  uint32_t m_lastBufferSize = 0;
  std::unique_ptr<SectionBuffer[]> m_sections;
  GreFragmentBuffer m_gre;
  // One receiver per slot of the table's ULE PIDs, made when the slot is first used.
  std::unique_ptr<CUleReceiver> m_ule[kMaxUlePids];
  // One lookup per packet instead of walking the filters and the ULE PIDs.
  BYTE m_pidKind[kPidCount];
  PID_KIND_SOURCE m_pidKindSource;
  bool m_pidKindValid = false;
};

// The program-wide instances.
FilterTable& TheFilterTable();
StreamCounters& TheStreamCounters();
CAdapterHandle& TheAdapterHandle();
CDataPath& TheDataPath();

// The handler the callback object calls: the program-wide data path.
void ProcessTransportBuffer(const BYTE* data, DWORD size);
