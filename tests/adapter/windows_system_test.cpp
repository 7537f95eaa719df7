// Only where the real Windows calls exist (Windows, or Wine): the adapter list and
// the service manager through their system backends.
#ifdef _WIN32
#include <gtest/gtest.h>

#include "adapter/adapter.h"
#include "common/fake_system.h"
#include "platform/adapter_list.h"
#include "platform/service_control.h"

namespace {

TEST(WindowsSystem, AdapterListIsReadOrFailsCleanly) {
  std::vector<ADAPTER_INFO> adapters;
  DWORD rc = OsAdapterList().GetAdaptersInfo(adapters);
  if (rc != ERROR_SUCCESS) {
    EXPECT_TRUE(adapters.empty());
    return;
  }
  ASSERT_FALSE(adapters.empty());
  for (const auto& a : adapters) {
    EXPECT_FALSE(a.adapterName.empty());
    EXPECT_LE(a.addressLength, 8u);
    ASSERT_FALSE(a.ipAddresses.empty());  // the system lists at least "0.0.0.0"
    for (const auto& ip : a.ipAddresses) EXPECT_LE(ip.address.size(), 15u);
  }
}

TEST(WindowsSystem, ServiceManagerAnswersAndAnUnknownServiceIsTraced) {
  CServiceControl& sc = OsServiceControl();
  ServiceHandle manager = sc.OpenManager();
  ASSERT_NE(manager, 0u);
  EXPECT_EQ(sc.OpenNamedService(manager, "VelvetfinNoSuchService"), 0u);
  EXPECT_TRUE(sc.Close(manager));

  CFakeSystem fake;  // only the debugger output is taken from it
  CServiceControl* previous = SetServiceControl(&OsServiceControl());
  EXPECT_EQ(StartServiceAndWait("VelvetfinNoSuchService", 1), 0);
  EXPECT_EQ(fake.DebugOutput().rfind("OpenService() : failed\n", 0), 0u);
  SetServiceControl(previous);
}

}  // namespace
#endif
