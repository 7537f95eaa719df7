// Only where the real Windows calls exist (Windows, or Wine): the adapter list and
// the service manager through their system backends.
#ifdef _WIN32
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "adapter/adapter.h"
#include "common/fake_system.h"
#include "platform/adapter_list.h"
#include "platform/registry.h"
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

// A TAP-Windows6 installation as its setup leaves it in the network class key,
// written with the real registry calls; the finder needs no driver for it.
TEST(WindowsSystem, TheRegistryFinderFindsATapWindowsAdapter) {
  constexpr char kId[] = "{0F1E2D3C-4B5A-4968-8776-A5B4C3D2E1F0}";
  const std::string unit = std::string(kAdapterClassKey) + "\\VelvetfinTest0901";
  HKEY key = nullptr;
  LONG rc = ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, unit.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
  if (rc == ERROR_ACCESS_DENIED) GTEST_SKIP() << "no administrator rights for the class key";
  ASSERT_EQ(rc, ERROR_SUCCESS);
  auto put = [&](const char* name, const char* text) {
    return ::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), DWORD(strlen(text) + 1));
  };
  ASSERT_EQ(put("ComponentId", "root\\tap0901"), ERROR_SUCCESS);
  ASSERT_EQ(put("NetCfgInstanceId", kId), ERROR_SUCCESS);
  ::RegCloseKey(key);

  CFakeSystem fake;  // the log stays off
  CRegistry* previous = SetRegistry(&OsRegistry());
  // Other TAP adapters of the machine may come first: ours is one of them.
  int found = -1;
  char id[kAdapterIdSize];
  for (int n = 0; n < 64 && found < 0 && FindAdapter(n, id, "TAP0901"); ++n)
    if (std::string(id) == kId) found = n;
  EXPECT_GE(found, 0);
  bool asBrannox = false;
  for (int n = 0; n < 64 && FindAdapter(n, id, kBrannoxComponentId); ++n) asBrannox = asBrannox || std::string(id) == kId;
  EXPECT_FALSE(asBrannox);
  SetRegistry(previous);
  EXPECT_EQ(::RegDeleteKeyA(HKEY_LOCAL_MACHINE, unit.c_str()), ERROR_SUCCESS);
}

}  // namespace
#endif
