// Opening the virtual adapter against the emulated driver: success, each failure
// code, the bytes sent to the driver and the log lines.
#include <gtest/gtest.h>

#include <thread>
#include <tuple>

#include "adapter_fixture.h"

namespace {

const BYTE kIp[4] = {192, 168, 238, 238};

std::vector<BYTE> Bytes(std::initializer_list<int> v) { return std::vector<BYTE>(v.begin(), v.end()); }

const TAP_CONTROL_RECORD* FindControl(const std::vector<TAP_CONTROL_RECORD>& controls, DWORD code) {
  for (const auto& c : controls)
    if (c.code == code) return &c;
  return nullptr;
}

using OpenAdapterTest = AdapterFixture;

TEST_F(OpenAdapterTest, ReadyWithDhcpSendsTheDocumentedBuffersAndLogs) {
  auto tap = Install(kFirstId);
  ASSERT_EQ(OpenAdapter(0, kIp, 1, 1000, 604800), kAdapterReady);
  EXPECT_TRUE(TheAdapterHandle().IsValid());
  EXPECT_EQ(tap->OpenHandles(), 1);
  EXPECT_TRUE(tap->MediaConnected());
  // Shared for reading and writing, so other tools can open the adapter beside us.
  DEVICE_OPEN_MODE mode{};
  ASSERT_TRUE(io.LastOpenMode(AdapterDevicePath(kFirstId), &mode));
  EXPECT_EQ(mode.access, 0xC0000000u);
  EXPECT_EQ(mode.share, 3u);
  EXPECT_EQ(mode.disposition, 3u);
  EXPECT_EQ(mode.flags, 4u);

  auto controls = tap->Controls();
  const TAP_CONTROL_RECORD* tun = FindControl(controls, kTapIoctlConfigTun);
  const TAP_CONTROL_RECORD* dhcp = FindControl(controls, kTapIoctlConfigDhcpMasq);
  const TAP_CONTROL_RECORD* media = FindControl(controls, kTapIoctlSetMediaStatus);
  ASSERT_TRUE(tun && dhcp && media);
  EXPECT_EQ(tun->in, Bytes({192, 168, 238, 238, 192, 168, 238, 0, 255, 255, 255, 0}));
  EXPECT_EQ(dhcp->in, Bytes({192, 168, 238, 238, 255, 255, 255, 0, 192, 168, 238, 1, 0x80, 0x3A, 0x09, 0x00}));
  EXPECT_EQ(media->in, Bytes({1, 0, 0, 0}));
  const TAP_CONTROL_RECORD* version = FindControl(controls, kTapIoctlGetVersion);
  ASSERT_TRUE(version);
  EXPECT_EQ(version->in, std::vector<BYTE>(12, 0));  // zeroed before the call

  EXPECT_EQ(Log(), (std::vector<std::string>{
                       "Brannox Driver Version 9.24 ",
                       "Brannox MAC 00:FF:4B:52:00:01",
                       "Brannox MTU 1500",
                       "Brannox IP: 192.168.238.238",
                       "Brannox NET: 192.168.238.0",
                       "Brannox NETMASK: 255.255.255.0",
                       "Brannox init: TUN config success !",
                       "Brannox init: DHCP config success !",
                       "Brannox init: Start success !",
                   }));
  EXPECT_EQ(services.GetService("RemoteAccess").starts, 1);
  ASSERT_FALSE(system.sleeps.empty());
  EXPECT_EQ(system.sleeps.front(), 1000u);

  // The data path's writes now reach the adapter's sink.
  const BYTE packet[20] = {0x45};
  DWORD written = 0;
  EXPECT_TRUE(io.Write(TheAdapterHandle().Get(), packet, sizeof(packet), &written));
  EXPECT_EQ(tap->Sink()->Packets(), 1u);
}

TEST_F(OpenAdapterTest, DhcpServerAddressAvoidsTheAdapterAddress) {
  auto tap = Install(kFirstId);
  const BYTE ip1[4] = {192, 168, 238, 1};
  ASSERT_EQ(OpenAdapter(0, ip1, 1, 10, 3600), kAdapterReady);
  auto controls = tap->Controls();
  const TAP_CONTROL_RECORD* dhcp = FindControl(controls, kTapIoctlConfigDhcpMasq);
  ASSERT_TRUE(dhcp);
  EXPECT_EQ(dhcp->in, Bytes({192, 168, 238, 1, 255, 255, 255, 0, 192, 168, 238, 2, 0x10, 0x0E, 0, 0}));
}

TEST_F(OpenAdapterTest, StaticModeUsesTheLinkLocalAddress) {
  auto tap = Install(kFirstId);
  // Windows set to a fixed address: nothing to verify, ready at the first look.
  tap->SetWindowsDhcp(false);
  tap->SetFixedAddress("10.1.1.1", "255.0.0.0");
  ASSERT_EQ(OpenAdapter(0, kIp, 0, 500, 604800), kAdapterReady);
  auto controls = tap->Controls();
  const TAP_CONTROL_RECORD* dhcp = FindControl(controls, kTapIoctlConfigDhcpMasq);
  ASSERT_TRUE(dhcp);
  EXPECT_EQ(std::vector<BYTE>(dhcp->in.begin(), dhcp->in.begin() + 12),
            Bytes({169, 254, 44, 69, 255, 255, 255, 0, 169, 254, 44, 1}));
  EXPECT_EQ(list.CallCount(), 1);
  CloseAdapter(0);

  // Windows on DHCP: the driver's server hands out 169.254.44.69, which is verified.
  tap->SetWindowsDhcp(true);
  tap->SetAddressDelay(2);
  system.sleeps.clear();
  ASSERT_EQ(OpenAdapter(0, kIp, 0, 500, 604800), kAdapterReady);
  auto log = Log();
  EXPECT_EQ(std::count(log.begin(), log.end(), "Brannox init: 169.254.44.69/255.255.255.0 not set, wait 500 ms"), 2);
}

TEST_F(OpenAdapterTest, NotInstalledAndWrongComponentsGiveOne) {
  EXPECT_EQ(OpenAdapter(0, kIp, 1, 1000, 604800), kAdapterNotInstalled);
  EXPECT_EQ(Log(), (std::vector<std::string>{"Unable to read registry - RegOpenKey ADAPTER_KEY. Error: 2",
                                             "Brannox init: Brannox driver not installed ?"}));
  Install("{OTHER}", "tap0901");
  EXPECT_EQ(OpenAdapter(0, kIp, 1, 1000, 604800), kAdapterNotInstalled);
  EXPECT_FALSE(TheAdapterHandle().IsValid());
  EXPECT_EQ(FindAdapter(0), 0);
  Install(kFirstId, "BrannoxNIC");
  EXPECT_EQ(FindAdapter(0), 1);
  EXPECT_EQ(OpenAdapter(1, kIp, 1, 1000, 604800), kAdapterNotInstalled);
  EXPECT_EQ(registry.OpenKeyCount(), 0u);
}

TEST_F(OpenAdapterTest, InstanceNumberChoosesAmongTwoAdapters) {
  auto first = Install(kFirstId);
  auto second = Install(kSecondId);
  char id[kAdapterIdSize];
  ASSERT_EQ(FindAdapter(1, id), 1);
  EXPECT_STREQ(id, kSecondId);
  ASSERT_EQ(OpenAdapter(1, kIp, 1, 100, 604800), kAdapterReady);
  EXPECT_EQ(first->OpenHandles(), 0);
  EXPECT_EQ(second->OpenHandles(), 1);
  EXPECT_EQ(FindAdapter(2), 0);
}

TEST_F(OpenAdapterTest, TheChosenKindIsCountedAloneWithItsPrefixAndCaseRules) {
  // What "AdapterComponentId" may hold: TAP-Windows6 however spelled, else Brannox.
  for (const char* tap : {"tap0901", "TAP0901", "root\\tap0901", "ROOT\\Tap0901"})
    EXPECT_STREQ(ChosenComponentId(tap), kTapWindowsComponentId) << tap;
  for (const char* other : {"", "brannoxnic", "root\\", "tap0901x", "root\\root\\tap0901", "tap"})
    EXPECT_STREQ(ChosenComponentId(other), kBrannoxComponentId) << other;

  // Class key order: Brannox, TAP, Brannox, TAP with the prefix, a lookalike.
  auto b0 = Install("{B0}");
  auto t0 = Install("{T0}", "tap0901");
  auto b1 = Install("{B1}", "BrannoxNIC");
  auto t1 = Install("{T1}", "ROOT\\TAP0901");
  Install("{X}", "root\\brannoxnic");  // the prefix is a TAP-Windows6 habit only
  char id[kAdapterIdSize];
  for (auto [kind, n, want] : {std::tuple{"brannoxnic", 0, "{B0}"}, {"brannoxnic", 1, "{B1}"}, {"tap0901", 0, "{T0}"},
                               {"root\\TAP0901", 1, "{T1}"}}) {
    ASSERT_EQ(FindAdapter(n, id, kind), 1) << kind << " " << n;
    EXPECT_STREQ(id, want);
  }
  EXPECT_EQ(FindAdapter(2, id, "brannoxnic"), 0);
  EXPECT_EQ(FindAdapter(2, id, "tap0901"), 0);

  // Instance 1 of the TAP kind is the second TAP adapter, whatever lies between.
  ASSERT_EQ(OpenAdapter(1, kIp, 1, 10, 604800, kTapWindowsComponentId), kAdapterReady);
  EXPECT_EQ(t1->OpenHandles(), 1);
  EXPECT_EQ(b1->OpenHandles() + t0->OpenHandles() + b0->OpenHandles(), 0);
  ASSERT_TRUE(TheAdapterHandle().IsValid());

  // The MAC goes to the first adapter of the kind; Brannox keeps its exact compare.
  const BYTE mac[6] = {0x00, 0x02, 0xC0, 0xA8, 0xEE, 0x01};
  ASSERT_EQ(WriteAdapterMac(mac, "TAP0901"), 1);
  std::string text;
  EXPECT_TRUE(registry.GetString(kHkeyLocalMachine, std::string(kAdapterClassKey) + "\\0001", "MAC", text));
  EXPECT_FALSE(registry.GetString(kHkeyLocalMachine, std::string(kAdapterClassKey) + "\\0000", "MAC", text));
  EXPECT_FALSE(registry.GetString(kHkeyLocalMachine, std::string(kAdapterClassKey) + "\\0003", "MAC", text));
  EXPECT_EQ(registry.OpenKeyCount(), 0u);
}

TEST_F(OpenAdapterTest, AnAdapterAnotherProgramUsesIsTakenOnlyWhenTheQuestionSaysYes) {
  auto vpn = Install("{VPN}", "tap0901");
  vpn->SetUsedElsewhere("10.8.0.6", "255.255.255.252");
  std::vector<std::string> asked;
  auto answer = [&](bool yes) {
    return [&asked, yes](const std::string& id) {
      asked.push_back(id);
      return yes;
    };
  };
  // No: the adapter is not touched at all and counts as not installed.
  EXPECT_EQ(OpenAdapter(0, kIp, 1, 10, 604800, "tap0901", answer(false)), kAdapterNotInstalled);
  EXPECT_EQ(asked, std::vector<std::string>{"{VPN}"});
  EXPECT_EQ(vpn->OpenHandles(), 0);
  EXPECT_TRUE(vpn->Controls().empty());
  EXPECT_FALSE(TheAdapterHandle().IsValid());
  EXPECT_EQ(Log().back(), "Brannox init: Adapter in use by another program, left alone");
  // Without a question (the program's other callers) nothing is asked.
  EXPECT_TRUE(AdapterLooksTaken("{VPN}", kIp));

  // Yes: opened and configured as any other.
  ASSERT_EQ(OpenAdapter(0, kIp, 1, 10, 604800, "tap0901", answer(true)), kAdapterReady);
  EXPECT_EQ(asked.size(), 2u);
  EXPECT_EQ(vpn->OpenHandles(), 1);

  // Ours now: reopened, with this profile's address or another one, it is not asked for.
  const BYTE otherIp[4] = {192, 168, 1, 9};
  EXPECT_TRUE(AdapterLooksTaken("{VPN}", otherIp));  // connected
  ASSERT_EQ(OpenAdapter(0, kIp, 1, 10, 604800, "tap0901", answer(false)), kAdapterReady);
  ASSERT_EQ(OpenAdapter(0, otherIp, 1, 10, 604800, "tap0901", answer(false)), kAdapterReady);
  EXPECT_EQ(asked.size(), 2u);
  CloseAdapter(0);
  EXPECT_FALSE(AdapterLooksTaken("{VPN}", otherIp));
  // A fixed address from another program counts even without a link; our own
  // static-mode address does not.
  vpn->SetWindowsDhcp(false);
  vpn->SetFixedAddress("169.254.44.69", "255.255.255.0");
  EXPECT_FALSE(AdapterLooksTaken("{VPN}", otherIp));
  vpn->SetFixedAddress("10.8.0.6", "255.255.255.252");
  EXPECT_TRUE(AdapterLooksTaken("{VPN}", otherIp));
  // Not in the list, or no list at all: nothing to go by, so nothing to ask.
  EXPECT_FALSE(AdapterLooksTaken("{NOT-LISTED}", otherIp));
  list.SetFailure(ERROR_NOT_SUPPORTED);
  EXPECT_FALSE(AdapterLooksTaken("{VPN}", otherIp));
}

TEST_F(OpenAdapterTest, DeviceThatDoesNotOpenGivesTwo) {
  auto tap = Install(kFirstId);
  tap->SetRefuseOpen(true);
  EXPECT_EQ(OpenAdapter(0, kIp, 1, 1000, 604800), kAdapterOpenFailed);
  EXPECT_EQ(Log().back(), "Brannox init: Can't open Brannox Driver 0 !");
  EXPECT_FALSE(TheAdapterHandle().IsValid());
}

TEST_F(OpenAdapterTest, FailedQueriesAreLoggedAndTheOpeningGoesOn) {
  auto tap = Install(kFirstId);
  tap->SetControlFails(kTapIoctlGetVersion, true);
  tap->SetControlFails(kTapIoctlGetMac, true);
  tap->SetControlFails(kTapIoctlGetMtu, true);
  EXPECT_EQ(OpenAdapter(0, kIp, 1, 1000, 604800), kAdapterReady);
  auto log = Log();
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[0], "Brannox init: Can't get version Brannox Driver !");
  EXPECT_EQ(log[1], "Brannox init: Can't get MAC-address MTU Brannox network adapter !");
  EXPECT_EQ(log[2], "Brannox init: Can't get MTU Brannox network adapter !");
}

TEST_F(OpenAdapterTest, RefusedConfigurationClosesTheDevice) {
  struct CASE {
    DWORD code;
    int result;
    const char* line;
  };
  const CASE cases[] = {
      {kTapIoctlConfigTun, kAdapterConfigFailed, "Brannox init: TUN config failed !"},
      {kTapIoctlConfigDhcpMasq, kAdapterConfigFailed, "Brannox init: DHCP config failed !"},
      {kTapIoctlSetMediaStatus, kAdapterMediaFailed, "Brannox init: Start failed !"},
  };
  auto tap = Install(kFirstId);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    tap->SetControlFails(c.code, true);
    EXPECT_EQ(OpenAdapter(0, kIp, 1, 1000, 604800), c.result);
    EXPECT_EQ(Log().back(), c.line);
    EXPECT_EQ(tap->OpenHandles(), 0);
    EXPECT_FALSE(TheAdapterHandle().IsValid());
    tap->SetControlFails(c.code, false);
  }
  EXPECT_EQ(services.GetService("RemoteAccess").starts, 0);
}

TEST_F(OpenAdapterTest, AddressWaitFailuresRetryTenTimesThenClose) {
  struct CASE {
    const char* name;
    void (*arrange)(CEmulatedTapAdapter&);
    int result;
    const char* line;
  };
  const CASE cases[] = {
      {"not listed", [](CEmulatedTapAdapter& t) { t.SetListed(false); }, kAdapterNotListed,
       "Brannox init: Can't find Brannox Network Adapter info"},
      {"dhcp off", [](CEmulatedTapAdapter& t) { t.SetWindowsDhcp(false); }, kAdapterDhcpDisabled,
       "Brannox init: DHCP must be enabled for Brannox Network Adapter"},
      {"no address", [](CEmulatedTapAdapter& t) { t.SetAddressDelay(-1); }, kAdapterAddressNotSet,
       "Brannox init: 192.168.238.238/255.255.255.0 not set, wait 250 ms"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto tap = Install(kFirstId);
    c.arrange(*tap);
    system.sleeps.clear();
    const size_t before = Log().size();
    EXPECT_EQ(OpenAdapter(0, kIp, 1, 250, 604800), c.result);
    auto log = Log();
    EXPECT_EQ(std::count(log.begin() + static_cast<std::ptrdiff_t>(before), log.end(), c.line), 10);
    // The first wait, then one after each of the ten looks.
    EXPECT_EQ(system.sleeps, std::vector<DWORD>(11, 250));
    EXPECT_EQ(tap->OpenHandles(), 0);
    EXPECT_FALSE(TheAdapterHandle().IsValid());
    UninstallEmulatedTap(tap, &io, &list);
  }
}

TEST_F(OpenAdapterTest, AnAddressThatComesLateIsWaitedFor) {
  auto tap = Install(kFirstId);
  tap->SetAddressDelay(3);
  EXPECT_EQ(OpenAdapter(0, kIp, 1, 1000, 604800), kAdapterReady);
  EXPECT_EQ(list.CallCount(), 4);
}

TEST_F(OpenAdapterTest, WithoutTheAdapterListOrTheServiceTheOpeningStillSucceeds) {
  auto tap = Install(kFirstId);
  list.SetFailure(ERROR_NOT_SUPPORTED);
  EXPECT_EQ(OpenAdapter(0, kIp, 1, 1000, 604800), kAdapterReady);
  EXPECT_EQ(Log().back(), "Brannox init: Can't retrieve Network Adapters Info");
  EXPECT_TRUE(TheAdapterHandle().IsValid());
  CloseAdapter(0);

  list.SetFailure(0);
  services.RemoveService("RemoteAccess");
  EXPECT_EQ(OpenAdapter(0, kIp, 1, 1000, 604800), kAdapterReady);
  EXPECT_EQ(Log().back(), "Brannox init: RemoteAccess service not started");
  EXPECT_TRUE(TheAdapterHandle().IsValid());
}

TEST_F(OpenAdapterTest, CloseWaitsOnlyWhenSomethingWasOpenAndReopeningLeaksNothing) {
  auto tap = Install(kFirstId);
  CloseAdapter(700);
  EXPECT_TRUE(system.sleeps.empty());
  ASSERT_EQ(OpenAdapter(0, kIp, 1, 10, 604800), kAdapterReady);
  ASSERT_EQ(OpenAdapter(0, kIp, 1, 10, 604800), kAdapterReady);
  EXPECT_EQ(tap->OpenHandles(), 1);
  system.sleeps.clear();
  CloseAdapter(700);
  EXPECT_EQ(system.sleeps, std::vector<DWORD>{700});
  EXPECT_EQ(tap->OpenHandles(), 0);
  EXPECT_FALSE(TheAdapterHandle().IsValid());
  BYTE mac[6];
  EXPECT_FALSE(GetAdapterMac(mac));
}

TEST_F(OpenAdapterTest, NoPacketIsWrittenToAClosedHandle) {
  auto tap = Install(kFirstId);
  std::atomic<bool> stop{false};
  std::atomic<int> badWrites{0};
  // The streaming thread's pattern: under the callback lock, write to the current handle.
  std::thread streaming([&] {
    const BYTE packet[20] = {0x45};
    while (!stop.load()) {
      std::lock_guard g(TheSampleGrabberCB().Lock());
      HANDLE h = TheAdapterHandle().Get();
      if (h == INVALID_HANDLE_VALUE) continue;
      DWORD written = 0;
      if (!io.Write(h, packet, sizeof(packet), &written)) ++badWrites;
    }
  });
  for (int i = 0; i < 200; ++i) {
    ASSERT_EQ(OpenAdapter(0, kIp, 1, 0, 604800), kAdapterReady);
    CloseAdapter(0);
  }
  stop = true;
  streaming.join();
  EXPECT_EQ(badWrites.load(), 0);
}

}  // namespace
