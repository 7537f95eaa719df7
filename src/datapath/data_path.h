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
  void WritePacket(const BYTE* data, uint32_t length);
  // True when the PID is one of the table's ULE PIDs (its packet then went to its receiver).
  bool ProcessUlePacket(int32_t pid, const BYTE* p);
  // Whether a filter that takes the PID accepts the MAC (the multicast filter also
  // 33:33:xx:xx:xx:xx, the IPv6 multicast range).
  bool AddressPasses(int32_t pid, const BYTE mac[6]) const;

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
};

// The program-wide instances.
FilterTable& TheFilterTable();
StreamCounters& TheStreamCounters();
CAdapterHandle& TheAdapterHandle();
CDataPath& TheDataPath();

// The handler the callback object calls: the program-wide data path.
void ProcessTransportBuffer(const BYTE* data, DWORD size);
