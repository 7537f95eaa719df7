// The adapter's MAC address (driver and registry) and waiting for a service.
#include <gtest/gtest.h>

#include <cstring>

#include "adapter_fixture.h"

namespace {

const char kClass0[] =
    "SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-08002BE10318}\\0000";
const char kClass1[] =
    "SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-08002BE10318}\\0001";
const char kClass2[] =
    "SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-08002BE10318}\\0002";
const BYTE kMac[6] = {0x00, 0x02, 0xC0, 0xA8, 0xEE, 0xEE};

using AdapterMacTest = AdapterFixture;

TEST_F(AdapterMacTest, WritesTheFirstExactlyNamedAdapterAndTheDriverTakesItOnRestart) {
  Install("{A}", "BrannoxNIC");  // found by FindAdapter, but not an exact match
  auto b = Install("{B}");
  Install("{C}");
  ASSERT_EQ(WriteAdapterMac(kMac), 1);
  std::string text;
  EXPECT_FALSE(registry.GetString(kHkeyLocalMachine, kClass0, "MAC", text));
  ASSERT_TRUE(registry.GetString(kHkeyLocalMachine, kClass1, "MAC", text));
  EXPECT_EQ(text, "00:02:C0:A8:EE:EE");
  EXPECT_FALSE(registry.GetString(kHkeyLocalMachine, kClass2, "MAC", text));
  RegKey k = kNoKey;
  ASSERT_EQ(registry.OpenKey(kHkeyLocalMachine, kClass1, kKeyRead, &k), ERROR_SUCCESS);
  DWORD type = 0, size = 0;
  registry.QueryValue(k, "MAC", &type, nullptr, &size);
  registry.CloseKey(k);
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(size, 18u);
  EXPECT_EQ(registry.OpenKeyCount(), 0u);

  // Installed again (the driver restarted), the adapter reports the new address.
  UninstallEmulatedTap(b, &io, &list);
  auto restarted = Install("{B}");
  BYTE mac[6];
  restarted->GetMac(mac);
  EXPECT_EQ(0, std::memcmp(mac, kMac, 6));
  const BYTE ip[4] = {10, 0, 0, 2};
  // {B} is now the second Brannox adapter in the class key's order.
  ASSERT_EQ(OpenAdapter(1, ip, 1, 0, 604800), kAdapterReady);
  BYTE reported[6] = {};
  ASSERT_TRUE(GetAdapterMac(reported));
  EXPECT_EQ(0, std::memcmp(reported, kMac, 6));
}

TEST_F(AdapterMacTest, WithoutAdministratorRightsNothingIsWritten) {
  Install("{B}");
  registry.SetWriteProtected(kHkeyLocalMachine, "SYSTEM", true);
  EXPECT_EQ(WriteAdapterMac(kMac), 0);
  EXPECT_EQ(Log().back(), "Unable to read registry RegOpenKey for enumerated subkeys. Error: 5");
  EXPECT_EQ(FindAdapter(0), 1);  // reading still works
  EXPECT_EQ(registry.OpenKeyCount(), 0u);
}

TEST_F(AdapterMacTest, RegistryErrorsWhileWalkingAreLogged) {
  EXPECT_EQ(WriteAdapterMac(kMac), 0);
  EXPECT_EQ(Log().back(), "Unable to read registry - RegOpenKey ADAPTER_KEY. Error: 2");
  Install("{B}");
  RegKey k = kNoKey;
  ASSERT_EQ(registry.OpenKey(kHkeyLocalMachine, kClass0, kKeyAllAccess, &k), ERROR_SUCCESS);
  // A ComponentId too long for its 256-byte buffer.
  const std::string huge(300, 'x');
  registry.SetValue(k, "ComponentId", kRegSz, reinterpret_cast<const BYTE*>(huge.c_str()),
                    static_cast<DWORD>(huge.size() + 1));
  registry.CloseKey(k);
  EXPECT_EQ(FindAdapter(0), 0);
  EXPECT_EQ(Log().back(), "Unable to read registry while reading ComponentId. Error: 234");
}

using ServiceWaitTest = AdapterFixture;

TEST_F(ServiceWaitTest, RunningServiceIsNotStartedAgain) {
  EMULATED_SERVICE running;
  running.state = kServiceRunning;
  services.SetService("RemoteAccess", running);
  EXPECT_EQ(StartServiceAndWait("RemoteAccess", 1), 1);
  EXPECT_EQ(services.GetService("RemoteAccess").starts, 0);
  EXPECT_EQ(services.OpenHandleCount(), 0u);
}

TEST_F(ServiceWaitTest, StoppedServiceStartsOnlyWhenAsked) {
  EXPECT_EQ(StartServiceAndWait("RemoteAccess", 0), 0);
  EXPECT_EQ(services.GetService("RemoteAccess").starts, 0);
  EMULATED_SERVICE slow;
  slow.pendingQueries = 3;
  slow.waitHint = 3000;
  services.SetService("RemoteAccess", slow);
  EXPECT_EQ(StartServiceAndWait("RemoteAccess", 1), 1);
  EXPECT_EQ(services.GetService("RemoteAccess").starts, 1);
  // A tenth of the wait hint, but never under a second.
  EXPECT_EQ(system.sleeps, std::vector<DWORD>(3, 1000));
  EXPECT_EQ(services.OpenHandleCount(), 0u);
}

TEST_F(ServiceWaitTest, WaitHintSetsThePaceAndAStalledStartIsGivenUp) {
  EMULATED_SERVICE slow;
  slow.pendingQueries = 2;
  slow.waitHint = 300000;
  services.SetService("RemoteAccess", slow);
  EXPECT_EQ(StartServiceAndWait("RemoteAccess", 1), 1);
  EXPECT_EQ(system.sleeps, std::vector<DWORD>(2, 10000));

  EMULATED_SERVICE stalled;
  stalled.pendingQueries = 1000;
  stalled.advanceCheckPoint = false;
  stalled.waitHint = 5000;
  services.SetService("RemoteAccess", stalled);
  system.sleeps.clear();
  EXPECT_EQ(StartServiceAndWait("RemoteAccess", 1), 0);
  // Gives up once more than the wait hint passed without progress.
  EXPECT_EQ(system.sleeps.size(), 6u);

  EMULATED_SERVICE endless;  // reports progress for ever
  endless.pendingQueries = 1000000;
  endless.waitHint = 100000;
  services.SetService("RemoteAccess", endless);
  system.sleeps.clear();
  EXPECT_EQ(StartServiceAndWait("RemoteAccess", 1), 0);
  EXPECT_LE(system.sleptTotal, 200000u + 300000u + 60000u);
}

TEST_F(ServiceWaitTest, EachFailingCallIsTraced) {
  struct CASE {
    const char* trace;
    void (*arrange)(CEmulatedServices&);
  };
  const CASE cases[] = {
      {"OpenSCManager() : failed\n", [](CEmulatedServices& s) { s.SetManagerAvailable(false); }},
      {"OpenService() : failed\n", [](CEmulatedServices& s) { s.RemoveService("RemoteAccess"); }},
      {"QueryServiceStatusEx() : failed\n",
       [](CEmulatedServices& s) {
         EMULATED_SERVICE e;
         e.failQuery = true;
         s.SetService("RemoteAccess", e);
       }},
      {"StartService() : failed\n",
       [](CEmulatedServices& s) {
         EMULATED_SERVICE e;
         e.failStart = true;
         s.SetService("RemoteAccess", e);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.trace);
    CEmulatedServices fresh;
    fresh.SetService("RemoteAccess", EMULATED_SERVICE{});
    c.arrange(fresh);
    CServiceControl* prev = SetServiceControl(&fresh);
    const size_t before = system.DebugOutput().size();
    EXPECT_EQ(StartServiceAndWait("RemoteAccess", 1), 0);
    EXPECT_EQ(system.DebugOutput().substr(before).rfind(c.trace, 0), 0u);
    EXPECT_EQ(fresh.OpenHandleCount(), 0u);
    SetServiceControl(prev);
  }
}

}  // namespace
