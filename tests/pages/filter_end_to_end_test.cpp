// A profile applied through the page opens the emulated adapter backed by a real
// TUN interface; a generated stream fed to the sample-grabber callback arrives
// at UDP sockets of the network stack. Runs in a network namespace of its own.
#ifndef _WIN32
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <memory>

#include "datapath/sample_grabber_cb.h"
#include "pages/filter_fixture.h"
#include "platform/emulated/emulated_tap.h"
#include "platform/emulated/stream_generator.h"

namespace {

constexpr WORD kMulticastPort = 5000;
constexpr WORD kUnicastPort = 5001;

int UdpSocket(WORD port) {
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  if (fd < 0) return -1;
  int size = 4 << 20;
  setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof(size));
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_ANY);
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// Every datagram waiting on the socket, until it stays quiet for a while.
std::vector<std::vector<BYTE>> Drain(int fd) {
  std::vector<std::vector<BYTE>> got;
  pollfd p{fd, POLLIN, 0};
  while (poll(&p, 1, 500) > 0) {
    BYTE buffer[2048];
    ssize_t n = recv(fd, buffer, sizeof(buffer), 0);
    if (n < 0) break;
    got.emplace_back(buffer, buffer + n);
  }
  return got;
}

// The UDP payloads the generator carried for one kind, in order.
std::vector<std::vector<BYTE>> Expected(const CStreamGenerator& g, DatagramKind kind) {
  std::vector<std::vector<BYTE>> out;
  for (const GEN_DATAGRAM& d : g.Datagrams()) {
    if (d.kind != kind || d.lost) continue;
    const size_t header = size_t(d.packet[0] & 0x0F) * 4 + 8;
    out.emplace_back(d.packet.begin() + std::ptrdiff_t(header), d.packet.end());
  }
  return out;
}

// Runs in the forked child; returns "SKIP: why", "FAIL: what" or "OK".
std::string Scenario() {
  if (unshare(CLONE_NEWNET) != 0 && unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0)
    return std::string("SKIP: no network namespace: ") + std::strerror(errno);
  const BYTE me[4] = {192, 168, 238, 238};
  auto sink = std::make_shared<CPacketSink>();
  std::string error;
  if (!sink->OpenTun("vfe2e0", me, 24, error)) return "SKIP: no TUN interface: " + error;
  EMULATED_TAP_SETUP setup;
  setup.instanceId = "{5E2E0000-0000-4000-8000-00000000E2E0}";
  setup.sink = sink;
  auto tap = InstallEmulatedTap(setup);

  int mc = UdpSocket(kMulticastPort), uc = UdpSocket(kUnicastPort);
  if (mc < 0 || uc < 0) return "FAIL: sockets";
  ip_mreq join{};
  inet_pton(AF_INET, "239.255.1.1", &join.imr_multiaddr);
  std::memcpy(&join.imr_interface, me, 4);
  if (setsockopt(mc, IPPROTO_IP, IP_ADD_MEMBERSHIP, &join, sizeof(join)) != 0)
    return std::string("FAIL: join: ") + std::strerror(errno);

  CMemoryDialog dialog;
  CMapStore store;
  store.ints["Common/TAPDelay"] = 1;
  store.ints["E2E/UC_PID"] = 501;
  store.ints["E2E/MC_PID"] = 500;
  store.texts["E2E/UC_MAC"] = "00:02:C0:A8:EE:EE";
  CFilterDlg page(dialog, 0, nullptr, &store);
  page.OnInitDialog();
  page.LoadProfileFilters("E2E");
  if (!dialog.MessageBoxes().empty()) return "FAIL: box " + dialog.MessageBoxes().back().text;
  if (dialog.GetRowCount(IDC_FILTER_LIST) != 2) return "FAIL: rows";

  STREAM_PROFILE profile;
  STREAM_SERVICE m;
  m.pid = 500;
  m.payloadMin = 20;
  m.payloadMax = 1400;
  m.destinationPort = kMulticastPort;
  STREAM_SERVICE u = m;
  u.pid = 501;
  u.kind = DatagramKind::kUdpUnicast;
  std::memcpy(u.destination, me, 4);
  u.destinationPort = kUnicastPort;
  STREAM_SERVICE other = u;  // another receiver's MAC on the same PID: not for us
  other.unicastMac[5] = 0xEF;
  other.destinationPort = kUnicastPort;
  profile.services = {m, u, other};
  profile.nullRate = 0.1;
  CStreamGenerator generator(profile);
  std::vector<BYTE> ts;
  generator.Append(ts, 700);
  for (size_t at = 0; at < ts.size(); at += 188 * 40) {
    MEDIA_SAMPLE_INFO sample{ts.data() + at, DWORD(std::min<size_t>(188 * 40, ts.size() - at)), false, false};
    TheSampleGrabberCB().SampleCB(0.0, sample);
  }

  auto gotMc = Drain(mc), gotUc = Drain(uc);
  auto wantMc = Expected(generator, DatagramKind::kUdpMulticast);
  std::vector<std::vector<BYTE>> wantUc;
  for (const GEN_DATAGRAM& d : generator.Datagrams())
    if (d.kind == DatagramKind::kUdpUnicast && !d.lost && d.mac[5] == 0xEE) {
      const size_t header = size_t(d.packet[0] & 0x0F) * 4 + 8;
      wantUc.emplace_back(d.packet.begin() + std::ptrdiff_t(header), d.packet.end());
    }
  if (wantMc.empty() || wantUc.empty()) return "FAIL: the stream carried nothing";
  if (gotMc != wantMc)
    return "FAIL: multicast got " + std::to_string(gotMc.size()) + " of " + std::to_string(wantMc.size());
  if (gotUc != wantUc)
    return "FAIL: unicast got " + std::to_string(gotUc.size()) + " of " + std::to_string(wantUc.size());
  if (sink->Packets() != wantMc.size() + wantUc.size()) return "FAIL: the adapter wrote other packets";
  return "OK";
}

TEST(FilterEndToEndTest, AnAppliedProfileDeliversTheStreamsDatagramsToTheNetworkStack) {
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(pipeFds[0]);
    alarm(60);  // never leave a hung child behind
    std::string result = Scenario();
    ssize_t written = write(pipeFds[1], result.data(), result.size());
    _exit(written == ssize_t(result.size()) ? 0 : 1);
  }
  close(pipeFds[1]);
  std::string result;
  char buffer[512];
  ssize_t n;
  while ((n = read(pipeFds[0], buffer, sizeof(buffer))) > 0) result.append(buffer, size_t(n));
  close(pipeFds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (result.rfind("SKIP:", 0) == 0) GTEST_SKIP() << result;
  EXPECT_EQ(result, "OK");
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
#endif
