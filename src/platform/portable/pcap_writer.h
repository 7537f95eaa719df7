// A pcap capture file of raw IP packets, one record per packet: link type 228 (IPv4)
// unless IPv6 may come, then 101 (raw IPv4 and IPv6). Records are gathered in a buffer of
// whole records and written together; a write that fails part-way is cut back to the last
// whole record, so the file always reads to its end.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/win_types.h"

constexpr uint32_t kPcapLinkTypeIpv4 = 228;
constexpr uint32_t kPcapLinkTypeRaw = 101;
constexpr uint32_t kPcapSnapLength = 65535;

class CPcapWriter {
 public:
  CPcapWriter() = default;
  ~CPcapWriter() { Close(); }
  CPcapWriter(const CPcapWriter&) = delete;
  CPcapWriter& operator=(const CPcapWriter&) = delete;

  // Creates or truncates the file and writes the global header; false with a reason.
  bool Open(const std::string& path, std::string& error, uint32_t linkType = kPcapLinkTypeIpv4);
  // One record stamped with the current time; false when it is not kept (the file
  // failed for good, or the buffer it would have joined could not be written).
  bool Write(const BYTE* data, DWORD length);
  // The same with a given time stamp (deterministic files in tests).
  bool Write(const BYTE* data, DWORD length, uint32_t seconds, uint32_t microseconds);
  // Writes the buffered records; false when they could not all be written.
  bool Flush();
  // Flushes and closes; false when records were lost since Open.
  bool Close();
  bool IsOpen() const { return m_file != nullptr; }
  // Records on their way or in the file.
  uint64_t Records() const { return m_records; }
  // Records Write had accepted that a later failed write lost.
  uint64_t Dropped() const { return m_dropped; }

 private:
  bool WriteBuffer();

  std::FILE* m_file = nullptr;
  std::vector<BYTE> m_buffer;  // whole records only; its capacity is fixed at Open
  uint64_t m_bufferedRecords = 0;
  uint64_t m_committed = 0;  // file length up to the last whole record written
  uint64_t m_records = 0;
  uint64_t m_dropped = 0;
  bool m_lostAny = false;
  bool m_broken = false;  // cannot be cut back (a pipe): nothing more is appended
};
