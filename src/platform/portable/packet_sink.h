// Where the virtual adapter's written packets go: a Linux TUN interface (when one may
// be created), else a pcap file, else they are only counted. The adapter that writes
// here is a stand-in driver (platform/emulated), so the sink knows no device.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/win_types.h"

class CPcapWriter;

class CPacketSink {
 public:
  enum class Target { Count, Pcap, Tun };

  CPacketSink();
  ~CPacketSink();
  CPacketSink(const CPacketSink&) = delete;
  CPacketSink& operator=(const CPacketSink&) = delete;

  // Creates the TUN interface `name`, gives it ipv4/prefixLen and brings it up.
  // False with a one-line reason where that is impossible (Windows, no permission).
  bool OpenTun(const std::string& name, const BYTE ipv4[4], int prefixLen, std::string& error);
  // Creates (truncates) a pcap file with raw IPv4 records (with ipv6: raw IPv4 and IPv6
  // records, link type 101); false with a reason.
  bool OpenPcap(const std::string& path, std::string& error, bool ipv6 = false);
  // Gives the TUN interface an IPv6 address ("fd00::1/64"); false with a reason.
  bool SetTunIpv6Address(const std::string& address, std::string& error);
  // Back to counting only; closes the TUN interface or pcap file. False when packets
  // that were taken could not be written out (they are counted as failures).
  bool Close();
  // Writes what the pcap file holds back, up to the last whole record; false when that
  // failed. Gives up (false) rather than wait longer than `waitMilliseconds` for a
  // writer that is stuck (a pcap pipe nobody reads).
  bool Flush(int waitMilliseconds = -1);

  Target GetTarget() const;
  // The name the kernel gave the TUN interface (empty when not on TUN).
  std::string TunName() const;

  // One packet as the adapter received it; counted whatever the target.
  // False when the target refused it (the count still grows, and so do the failures).
  bool Deliver(const BYTE* data, DWORD length);

  uint64_t Packets() const { return m_packets.load(std::memory_order_relaxed); }
  uint64_t Bytes() const { return m_bytes.load(std::memory_order_relaxed); }
  // Packets taken that never reached the target: refused at once, or lost later with
  // the pcap buffer they were in. Packets() - Failures() were written.
  uint64_t Failures() const {
    return m_failures.load(std::memory_order_relaxed) + m_dropped.load(std::memory_order_relaxed);
  }
  void ResetCounters();

 private:
  void TakeDroppedLocked();

  mutable std::mutex m_lock;
  Target m_target = Target::Count;
  int m_tunFd = -1;
  std::string m_tunName;
  std::unique_ptr<CPcapWriter> m_pcap;
  std::atomic<uint64_t> m_packets{0};
  std::atomic<uint64_t> m_bytes{0};
  std::atomic<uint64_t> m_failures{0};
  std::atomic<uint64_t> m_dropped{0};
  uint64_t m_droppedSeen = 0;  // of the pcap writer's Dropped(), already in m_dropped
};
