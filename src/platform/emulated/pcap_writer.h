// A pcap capture file of raw IP packets, one record per packet: link type 228 (IPv4)
// unless IPv6 may come, then 101 (raw IPv4 and IPv6).
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

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
  // One record stamped with the current time; false when the write failed.
  bool Write(const BYTE* data, DWORD length);
  // The same with a given time stamp (deterministic files in tests).
  bool Write(const BYTE* data, DWORD length, uint32_t seconds, uint32_t microseconds);
  // Flushes and closes; false when buffered records could not be written.
  bool Close();
  bool IsOpen() const { return m_file != nullptr; }
  uint64_t Records() const { return m_records; }

 private:
  std::FILE* m_file = nullptr;
  uint64_t m_records = 0;
  bool m_failed = false;
};
