#include "platform/portable/packet_sink.h"

#include <chrono>
#include <thread>

#include "platform/portable/pcap_writer.h"
#ifndef _WIN32
#include "platform/linux/tun_interface.h"
#endif

CPacketSink::CPacketSink() = default;

CPacketSink::~CPacketSink() { Close(); }

bool CPacketSink::OpenTun(const std::string& name, const BYTE ipv4[4], int prefixLen,
                          std::string& error) {
#ifdef _WIN32
  (void)name;
  (void)ipv4;
  (void)prefixLen;
  error = "TUN interfaces are available on Linux only";
  return false;
#else
  std::string actual;
  int fd = OpenTunInterface(name, ipv4, prefixLen, actual, error);
  if (fd < 0) return false;
  Close();
  std::lock_guard<std::mutex> g(m_lock);
  m_tunFd = fd;
  m_tunName = actual;
  m_target = Target::Tun;
  return true;
#endif
}

bool CPacketSink::OpenPcap(const std::string& path, std::string& error, bool ipv6) {
  auto pcap = std::make_unique<CPcapWriter>();
  if (!pcap->Open(path, error, ipv6 ? kPcapLinkTypeRaw : kPcapLinkTypeIpv4)) return false;
  Close();
  std::lock_guard<std::mutex> g(m_lock);
  m_pcap = std::move(pcap);
  m_target = Target::Pcap;
  return true;
}

bool CPacketSink::SetTunIpv6Address(const std::string& address, std::string& error) {
#ifdef _WIN32
  (void)address;
  error = "TUN interfaces are available on Linux only";
  return false;
#else
  std::lock_guard<std::mutex> g(m_lock);
  if (m_target != Target::Tun) {
    error = "No TUN interface";
    return false;
  }
  return SetTunInterfaceIpv6(m_tunName, address, error);
#endif
}

bool CPacketSink::Close() {
  std::lock_guard<std::mutex> g(m_lock);
#ifndef _WIN32
  CloseTunInterface(m_tunFd);
#endif
  m_tunFd = -1;
  m_tunName.clear();
  bool ok = true;
  if (m_pcap) {
    ok = m_pcap->Close();
    TakeDroppedLocked();
  }
  m_pcap.reset();
  m_droppedSeen = 0;
  m_target = Target::Count;
  return ok;
}

bool CPacketSink::Flush(int waitMilliseconds) {
  std::unique_lock<std::mutex> g(m_lock, std::defer_lock);
  if (waitMilliseconds < 0) {
    g.lock();
  } else {
    // Polled, not a timed lock: ThreadSanitizer's runtime does not see a timed lock taken
    // (pthread_mutex_clocklock) and would report every later packet as a race.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMilliseconds);
    while (!g.try_lock()) {
      if (std::chrono::steady_clock::now() >= until) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  if (!m_pcap) return true;
  bool ok = m_pcap->Flush();
  TakeDroppedLocked();
  return ok;
}

void CPacketSink::TakeDroppedLocked() {
  const uint64_t dropped = m_pcap->Dropped();
  if (dropped == m_droppedSeen) return;
  m_dropped.fetch_add(dropped - m_droppedSeen, std::memory_order_relaxed);
  m_droppedSeen = dropped;
}

CPacketSink::Target CPacketSink::GetTarget() const {
  std::lock_guard<std::mutex> g(m_lock);
  return m_target;
}

std::string CPacketSink::TunName() const {
  std::lock_guard<std::mutex> g(m_lock);
  return m_tunName;
}

bool CPacketSink::Deliver(const BYTE* data, DWORD length) {
  m_packets.fetch_add(1, std::memory_order_relaxed);
  m_bytes.fetch_add(length, std::memory_order_relaxed);
  bool ok = true;
  {
    std::lock_guard<std::mutex> g(m_lock);
    switch (m_target) {
      case Target::Count:
        break;
      case Target::Pcap:
        ok = m_pcap->Write(data, length);
        TakeDroppedLocked();
        break;
      case Target::Tun:
#ifndef _WIN32
        ok = WriteTunPacket(m_tunFd, data, length);
#endif
        break;
    }
  }
  if (!ok) m_failures.fetch_add(1, std::memory_order_relaxed);
  return ok;
}

void CPacketSink::ResetCounters() {
  m_packets.store(0, std::memory_order_relaxed);
  m_bytes.store(0, std::memory_order_relaxed);
  m_failures.store(0, std::memory_order_relaxed);
  m_dropped.store(0, std::memory_order_relaxed);
}
