// The emulated adapter's packet sink: pcap files readable by other tools, counting
// through the device I/O seam, and a real TUN interface where the process may create one.
#include "platform/portable/packet_sink.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "platform/emulated/emulated_tap.h"
#include "platform/emulated/sink_device.h"
#include "platform/emulated/stream_generator.h"
#include "platform/portable/pcap_writer.h"

#ifndef _WIN32
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <sched.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#endif

namespace {
using Bytes = std::vector<BYTE>;

Bytes ReadFile(const std::string& path) {
  Bytes out;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return out;
  BYTE buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) out.insert(out.end(), buffer, buffer + n);
  std::fclose(f);
  return out;
}

uint32_t Le32(const BYTE* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

Bytes UdpPacket(const BYTE from[4], const BYTE to[4], WORD port, size_t payload, BYTE fill) {
  Bytes data(payload, fill), packet;
  BuildUdpPacket(from, to, 40000, port, 7, data.data(), data.size(), packet);
  return packet;
}

std::string TempPath(const char* name) { return testing::TempDir() + name; }
}  // namespace

TEST(PcapWriter, WritesRawIpv4FileOtherToolsRead) {
  std::string path = TempPath("vf_sink_test.pcap");
  CPcapWriter w;
  std::string error;
  ASSERT_TRUE(w.Open(path, error)) << error;
  const BYTE a[] = {0x45, 1, 2, 3};
  Bytes big(70000, 0xAB);  // beyond the snap length: cut, original length kept
  EXPECT_TRUE(w.Write(a, sizeof a, 1000, 5));
  EXPECT_TRUE(w.Write(big.data(), DWORD(big.size()), 1001, 999999));
  EXPECT_TRUE(w.Write(nullptr, 0, 1002, 0));
  EXPECT_EQ(w.Records(), 3u);
  ASSERT_TRUE(w.Close());

  Bytes f = ReadFile(path);
  ASSERT_EQ(f.size(), 24u + 16 + 4 + 16 + 65535 + 16);
  const BYTE header[] = {0xD4, 0xC3, 0xB2, 0xA1, 2, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0, 228, 0, 0, 0};
  EXPECT_EQ(0, std::memcmp(f.data(), header, sizeof header));
  const BYTE* r = f.data() + 24;
  EXPECT_EQ(Le32(r), 1000u);
  EXPECT_EQ(Le32(r + 4), 5u);
  EXPECT_EQ(Le32(r + 8), 4u);
  EXPECT_EQ(Le32(r + 12), 4u);
  EXPECT_EQ(0, std::memcmp(r + 16, a, 4));
  r += 20;
  EXPECT_EQ(Le32(r + 8), 65535u);
  EXPECT_EQ(Le32(r + 12), 70000u);
  r += 16 + 65535;
  EXPECT_EQ(Le32(r), 1002u);
  EXPECT_EQ(Le32(r + 8), 0u);
  std::remove(path.c_str());
}

TEST(PacketSink, CountsOrRecordsEveryWriteThroughTheDeviceSeam) {
  auto sink = std::make_shared<CPacketSink>();
  std::string error;
  EXPECT_FALSE(sink->OpenPcap(TempPath("no/such/dir/x.pcap"), error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(sink->GetTarget(), CPacketSink::Target::Count);

  CEmulatedDeviceIo io;
  io.Install("\\\\.\\Global\\{TEST}.tap", std::make_shared<CSinkDevice>(sink));
  HANDLE h = io.Open("\\\\.\\global\\{test}.TAP", kAdapterOpenMode);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  const BYTE from[4] = {10, 0, 0, 1}, to[4] = {10, 0, 0, 2};
  Bytes p = UdpPacket(from, to, 9, 100, 0x11);
  DWORD written = 0;
  EXPECT_TRUE(io.Write(h, p.data(), DWORD(p.size()), &written));
  EXPECT_EQ(written, p.size());
  EXPECT_EQ(sink->Packets(), 1u);
  EXPECT_EQ(sink->Bytes(), p.size());

  std::string path = TempPath("vf_sink_records.pcap");
  ASSERT_TRUE(sink->OpenPcap(path, error)) << error;
  EXPECT_EQ(sink->GetTarget(), CPacketSink::Target::Pcap);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(io.Write(h, p.data(), DWORD(p.size()), &written));
  sink->Close();  // flushes; back to counting
  EXPECT_EQ(sink->GetTarget(), CPacketSink::Target::Count);
  EXPECT_TRUE(io.Write(h, p.data(), DWORD(p.size()), &written));
  EXPECT_EQ(sink->Packets(), 5u);
  EXPECT_EQ(sink->Failures(), 0u);
  Bytes f = ReadFile(path);
  ASSERT_EQ(f.size(), 24 + 3 * (16 + p.size()));
  EXPECT_EQ(0, std::memcmp(f.data() + 24 + 16, p.data(), p.size()));
  sink->ResetCounters();
  EXPECT_EQ(sink->Packets(), 0u);
  EXPECT_EQ(sink->Bytes(), 0u);
  io.Close(h);
  std::remove(path.c_str());
}

#ifndef _WIN32
// The disk fills up (a file size limit stands in): the records that did not fit are
// counted as failures, the file is cut back to its last whole record and is appended to
// again once there is room, and the adapter's write fails so that the data path says so.
TEST(PacketSink, AFullDiskLosesWholeRecordsAndFailsTheAdapterWrite) {
  const std::string path = TempPath("vf_sink_full.pcap");
  struct sigaction ignore {}, old {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &ignore, &old);
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);

  auto sink = std::make_shared<CPacketSink>();
  std::string error;
  ASSERT_TRUE(sink->OpenPcap(path, error)) << error;
  const BYTE mac[6] = {0, 0xFF, 1, 2, 3, 4}, from[4] = {10, 0, 0, 1}, to[4] = {10, 0, 0, 2};
  CEmulatedTapAdapter tap("{FULL}", mac, sink);
  const Bytes p = UdpPacket(from, to, 9, 1000, 0x22);
  const size_t record = 16 + p.size();
  DWORD written = 0;
  for (int i = 0; i < 40; ++i) EXPECT_TRUE(tap.Write(p.data(), DWORD(p.size()), &written));
  EXPECT_TRUE(sink->Flush());
  rlimit full{rlim_t(24 + 50 * record + record / 2), saved.rlim_max};
  setrlimit(RLIMIT_FSIZE, &full);
  for (int i = 0; i < 20; ++i) EXPECT_TRUE(tap.Write(p.data(), DWORD(p.size()), &written));
  EXPECT_FALSE(sink->Flush());
  EXPECT_EQ(sink->Failures(), 20u);
  EXPECT_EQ(ReadFile(path).size(), 24 + 40 * record);
  int refused = 0;
  for (int i = 0; i < 200; ++i)
    if (!tap.Write(p.data(), DWORD(p.size()), &written)) ++refused;
  EXPECT_GE(refused, 1);
  setrlimit(RLIMIT_FSIZE, &saved);
  sigaction(SIGXFSZ, &old, nullptr);
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(tap.Write(p.data(), DWORD(p.size()), &written));
  EXPECT_FALSE(sink->Close());  // records were lost since it was opened
  const uint64_t kept = sink->Packets() - sink->Failures();
  EXPECT_EQ(sink->Packets(), 265u);
  EXPECT_GE(kept, 45u);
  EXPECT_EQ(ReadFile(path).size(), 24 + kept * record);
  std::remove(path.c_str());
}
#endif

#ifdef _WIN32
TEST(PacketSink, TunIsRefusedWithAReasonOnWindows) {
  CPacketSink sink;
  std::string error;
  const BYTE ip[4] = {10, 9, 8, 1};
  EXPECT_FALSE(sink.OpenTun("vf0", ip, 24, error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(sink.GetTarget(), CPacketSink::Target::Count);
}
#else
// In a network namespace of its own (so the machine's network is untouched), a
// packet delivered to the sink reaches a UDP socket through the kernel.
TEST(PacketSink, TunHandsPacketsToTheNetworkStack) {
  std::string skip, failure;
  std::thread worker([&] {
    if (unshare(CLONE_NEWNET) != 0) {
      skip = std::string("no network namespace (needs root): ") + std::strerror(errno);
      return;
    }
    CPacketSink sink;
    std::string error;
    const BYTE ip[4] = {10, 77, 0, 1}, peer[4] = {10, 77, 0, 9};
    if (!sink.OpenTun("vfsink%d", ip, 24, error)) {
      skip = "no TUN interface: " + error;
      return;
    }
    if (sink.TunName().rfind("vfsink", 0) != 0) failure = "unexpected name " + sink.TunName();
    int s = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(47123);
    std::memcpy(&local.sin_addr, ip, 4);
    timeval tv{5, 0};
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    if (bind(s, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
      failure = std::string("bind: ") + std::strerror(errno);
      close(s);
      return;
    }
    Bytes p = UdpPacket(peer, ip, 47123, 333, 0x5A);
    if (!sink.Deliver(p.data(), DWORD(p.size()))) failure = "Deliver failed";
    BYTE got[2000];
    ssize_t n = recv(s, got, sizeof got, 0);
    if (n != 333 || std::memcmp(got, p.data() + 28, 333) != 0)
      failure = "the socket did not receive the payload (" + std::to_string(n) + ")";
    close(s);
  });
  worker.join();
  if (!skip.empty()) GTEST_SKIP() << skip;
  EXPECT_EQ(failure, "");
}

namespace {
// The interface's IPv6 addresses (those under fd77::/16) with their prefix lengths.
std::map<std::string, int> TestIpv6Addresses(const std::string& name) {
  std::map<std::string, int> out;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return out;
  for (ifaddrs* a = list; a; a = a->ifa_next) {
    if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET6 || name != a->ifa_name) continue;
    char text[INET6_ADDRSTRLEN] = {};
    inet_ntop(AF_INET6, &reinterpret_cast<sockaddr_in6*>(a->ifa_addr)->sin6_addr, text, sizeof text);
    if (std::strncmp(text, "fd77:", 5) != 0) continue;
    int prefix = 0;
    const BYTE* mask = reinterpret_cast<sockaddr_in6*>(a->ifa_netmask)->sin6_addr.s6_addr;
    for (int i = 0; i < 16; ++i) prefix += __builtin_popcount(mask[i]);
    out[text] = prefix;
  }
  freeifaddrs(list);
  return out;
}
}  // namespace

// The address of --tun-ipv6 (the profile's IPv6Address): refused with a reason unless it is
// an IPv6 address with a prefix of 1 to 128, 64 when none is given; else the interface
// has exactly that address and prefix.
TEST(PacketSink, TunIpv6AddressIsCheckedThenGivenWithItsPrefix) {
  std::string skip, failure;
  std::map<std::string, int> got;
  std::thread worker([&] {
    CPacketSink sink;
    std::string error;
    if (unshare(CLONE_NEWNET) != 0) {
      skip = std::string("no network namespace (needs root): ") + std::strerror(errno);
      return;
    }
    const BYTE ip[4] = {10, 77, 0, 1};
    if (!sink.OpenTun("vfsix%d", ip, 24, error)) {
      skip = "no TUN interface: " + error;
      return;
    }
    const std::string sysctl = "/proc/sys/net/ipv6/conf/" + sink.TunName() + "/disable_ipv6";
    if (ReadFile(sysctl) != Bytes{'0', '\n'}) {
      skip = "IPv6 is off here";
      return;
    }
    for (const char* bad : {"fd77::1/0", "fd77::1/129", "fd77::1/", "fd77::1/64x", "fd77::1/-1", "fd77::g/64",
                            "10.77.0.1/24", ""}) {
      error.clear();
      if (sink.SetTunIpv6Address(bad, error) || error.rfind("Invalid IPv6", 0) != 0)
        failure += std::string("took \"") + bad + "\"; ";
    }
    for (const char* good : {"fd77::1/80", "fd77::2", "fd77::3/128", "fd77::4/1"})
      if (!sink.SetTunIpv6Address(good, error)) failure += error + "; ";
    got = TestIpv6Addresses(sink.TunName());
  });
  worker.join();
  if (!skip.empty()) GTEST_SKIP() << skip;
  EXPECT_EQ(failure, "");
  EXPECT_EQ(got, (std::map<std::string, int>{{"fd77::1", 80}, {"fd77::2", 64}, {"fd77::3", 128}, {"fd77::4", 1}}));
}
#endif
