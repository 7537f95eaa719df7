#include "adapter/adapter.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string_view>
#include <vector>

#include "datapath/data_path.h"
#include "datapath/sample_grabber_cb.h"
#include "log/log.h"
#include "platform/adapter_list.h"
#include "platform/device_io.h"
#include "platform/registry.h"
#include "platform/service_control.h"
#include "platform/system.h"
#include "platform/text_util.h"

namespace {

constexpr BYTE kStaticAddress[4] = {169, 254, 44, 69};
constexpr BYTE kNetmask[4] = {255, 255, 255, 0};
constexpr DWORD kRegistryTextSize = 256;
constexpr DWORD kMacTextSize = 18;
constexpr std::string_view kRootPrefix = "root\\";
// A service whose start drags on beyond this stops being waited for, whatever it reports.
constexpr DWORD kServiceWaitLimit = 120000;

void LogInit(const char* text) { LogMessage("Brannox init: %s", text); }

// The adapter this run has configured: its link and addresses are ours, not another
// program's, however they look when it is opened again.
std::string& OwnAdapterId() {
  static std::string id;
  return id;
}

// Reads a REG_SZ-like value into buf (size bytes), always terminated.
LONG ReadText(CRegistry& reg, RegKey key, const char* name, char* buf, DWORD size) {
  DWORD type = 0, got = size;
  LONG rc = reg.QueryValue(key, name, &type, reinterpret_cast<BYTE*>(buf), &got);
  if (rc != ERROR_SUCCESS) {
    buf[0] = '\0';
    return rc;
  }
  buf[got < size ? got : size - 1] = '\0';
  return rc;
}

// Publishes a new adapter handle to the data path and returns the old one. The swap
// happens under the callback lock, so no packet write is in flight on the old handle.
HANDLE ReplaceHandle(HANDLE handle) {
  std::lock_guard g(TheSampleGrabberCB().Lock());
  HANDLE old = TheAdapterHandle().Get();
  TheAdapterHandle().Set(handle);
  return old;
}

bool Control(HANDLE h, DWORD code, void* buf, DWORD length) {
  DWORD returned = 0;
  return DeviceIo().IoControl(h, code, buf, length, buf, length, &returned) != FALSE;
}

// Walks the class key's numbered sub-keys: calls visit(key, componentId) for each
// one that has a ComponentId, until visit returns non-negative (that is the result).
template <class Visit>
int WalkAdapterKeys(DWORD access, Visit visit) {
  CRegistry& reg = Registry();
  RegKey classKey = kNoKey;
  LONG rc = reg.OpenKey(kHkeyLocalMachine, kAdapterClassKey, kKeyEnumerateSubKeys, &classKey);
  if (rc != ERROR_SUCCESS) {
    LogMessage("Unable to read registry - RegOpenKey ADAPTER_KEY. Error: %i", static_cast<int>(rc));
    return 0;
  }
  int result = -1;
  for (DWORD index = 0; result < 0; ++index) {
    std::string name;
    rc = reg.EnumKey(classKey, index, name, kRegistryTextSize);
    if (rc != ERROR_SUCCESS) {
      if (rc != ERROR_NO_MORE_ITEMS) LogMessage("Error enumerating registry subkeys: %i", static_cast<int>(rc));
      result = 0;
      break;
    }
    RegKey unit = kNoKey;
    rc = reg.OpenKey(kHkeyLocalMachine, std::string(kAdapterClassKey) + "\\" + name, access, &unit);
    if (rc != ERROR_SUCCESS) {
      LogMessage("Unable to read registry RegOpenKey for enumerated subkeys. Error: %i", static_cast<int>(rc));
      result = 0;
      break;
    }
    char component[kRegistryTextSize];
    rc = ReadText(reg, unit, "ComponentId", component, sizeof(component));
    if (rc == ERROR_SUCCESS) {
      result = visit(unit, component);
    } else if (rc != ERROR_FILE_NOT_FOUND) {
      LogMessage("Unable to read registry while reading ComponentId. Error: %i", static_cast<int>(rc));
      result = 0;
    }
    reg.CloseKey(unit);
  }
  reg.CloseKey(classKey);
  return result;
}

}  // namespace

std::string AdapterDevicePath(const char* id) {
  char path[1024];
  std::snprintf(path, sizeof(path), "%s%s%s", kAdapterDevicePrefix, id ? id : "", kAdapterDeviceSuffix);
  return path;
}

const char* ChosenComponentId(const std::string& setting) {
  std::string_view id = setting;
  if (id.size() > kRootPrefix.size() && EqualsNoCase(id.substr(0, kRootPrefix.size()), kRootPrefix))
    id.remove_prefix(kRootPrefix.size());
  return EqualsNoCase(id, kTapWindowsComponentId) ? kTapWindowsComponentId : kBrannoxComponentId;
}

bool ComponentIdMatches(const char* registryValue, const char* chosen) {
  std::string_view value = registryValue ? registryValue : "";
  if (std::strcmp(ChosenComponentId(chosen ? chosen : ""), kTapWindowsComponentId) != 0)
    return EqualsNoCase(value, kBrannoxComponentId);
  if (value.size() > kRootPrefix.size() && EqualsNoCase(value.substr(0, kRootPrefix.size()), kRootPrefix))
    value.remove_prefix(kRootPrefix.size());
  return EqualsNoCase(value, kTapWindowsComponentId);
}

int FindAdapter(int n, char* id, const char* componentId) {
  if (id) id[0] = '\0';
  if (n < 0) return 0;
  return WalkAdapterKeys(kKeyQueryValue, [&](RegKey unit, const char* component) {
    if (!ComponentIdMatches(component, componentId)) return -1;
    if (id) {
      LONG rc = ReadText(Registry(), unit, "NetCfgInstanceId", id, kAdapterIdSize);
      if (rc != ERROR_SUCCESS)
        LogMessage("Unable to read registry key NetCfgInstanceId. Error: %i", static_cast<int>(rc));
    }
    if (n == 0) return 1;
    --n;
    return -1;
  });
}

bool AdapterLooksTaken(const std::string& id, const BYTE ip[4]) {
  std::vector<ADAPTER_INFO> adapters;
  // Without the list there is nothing to go by; the opening itself does not need it.
  if (AdapterList().GetAdaptersInfo(adapters) != ERROR_SUCCESS) return false;
  const std::string own = FormatDottedIp(ip), link = FormatDottedIp(kStaticAddress);
  for (const auto& a : adapters) {
    if (a.adapterName != id) continue;
    if (a.connected) return true;
    for (const auto& address : a.ipAddresses)
      if (address.address != "0.0.0.0" && !address.address.empty() && address.address != own &&
          address.address != link)
        return true;
  }
  return false;
}

int OpenAdapter(unsigned instance, const BYTE ip[4], int useDhcp, DWORD tapDelay, DWORD leaseTime,
                const char* componentId, const AdapterTakeOverQuestion& mayTakeOver) {
  // An adapter left open by an earlier call is closed first, never leaked.
  if (HANDLE old = ReplaceHandle(INVALID_HANDLE_VALUE); old != INVALID_HANDLE_VALUE) DeviceIo().Close(old);

  char id[kAdapterIdSize];
  if (instance > INT_MAX || !FindAdapter(static_cast<int>(instance), id, componentId)) {
    LogInit("Brannox driver not installed ?");
    return kAdapterNotInstalled;
  }
  // A VPN's TAP adapter would lose its connection and addresses to our configuration.
  if (mayTakeOver && OwnAdapterId() != id && AdapterLooksTaken(id, ip) && !mayTakeOver(id)) {
    LogInit("Adapter in use by another program, left alone");
    return kAdapterNotInstalled;
  }

  HANDLE h = DeviceIo().Open(AdapterDevicePath(id), kAdapterOpenMode);
  if (h == INVALID_HANDLE_VALUE) {
    char text[64];
    std::snprintf(text, sizeof(text), "Can't open Brannox Driver %i !", static_cast<int>(instance));
    LogInit(text);
    return kAdapterOpenFailed;
  }
  auto fail = [&](const char* text, int code) {
    LogInit(text);
    DeviceIo().Close(h);
    return code;
  };

  DWORD version[3] = {0, 0, 0};
  if (Control(h, kTapIoctlGetVersion, version, sizeof(version)))
    LogMessage("Brannox Driver Version %d.%d %s", static_cast<int>(version[0]), static_cast<int>(version[1]),
               version[2] ? "(DEBUG)" : "");
  else
    LogInit("Can't get version Brannox Driver !");

  BYTE mac[6] = {};
  if (Control(h, kTapIoctlGetMac, mac, sizeof(mac)))
    LogMessage("Brannox MAC %s", FormatMacAddress(mac).c_str());
  else
    LogInit("Can't get MAC-address MTU Brannox network adapter !");

  DWORD mtu = 0;
  if (Control(h, kTapIoctlGetMtu, &mtu, sizeof(mtu))) {
    LogMessage("Brannox MTU %u", static_cast<unsigned>(mtu));
  } else {
    mtu = kDefaultMtu;
    LogInit("Can't get MTU Brannox network adapter !");
  }

  BYTE tun[12];
  std::memcpy(tun, ip, 4);
  std::memcpy(tun + 4, ip, 3);
  tun[7] = 0;
  std::memcpy(tun + 8, kNetmask, 4);
  LogMessage("Brannox IP: %s", FormatDottedIp(tun).c_str());
  LogMessage("Brannox NET: %s", FormatDottedIp(tun + 4).c_str());
  LogMessage("Brannox NETMASK: %s", FormatDottedIp(tun + 8).c_str());
  if (!Control(h, kTapIoctlConfigTun, tun, sizeof(tun))) return fail("TUN config failed !", kAdapterConfigFailed);
  LogInit("TUN config success !");

  BYTE address[4];
  std::memcpy(address, useDhcp ? ip : kStaticAddress, 4);

  BYTE dhcp[16];
  std::memcpy(dhcp, address, 4);
  std::memcpy(dhcp + 4, kNetmask, 4);
  std::memcpy(dhcp + 8, address, 3);
  dhcp[11] = address[3] == 1 ? 2 : 1;
  std::memcpy(dhcp + 12, &leaseTime, 4);
  if (!Control(h, kTapIoctlConfigDhcpMasq, dhcp, sizeof(dhcp)))
    return fail("DHCP config failed !", kAdapterConfigFailed);
  LogInit("DHCP config success !");

  DWORD status = 1;
  if (!Control(h, kTapIoctlSetMediaStatus, &status, sizeof(status))) return fail("Start failed !", kAdapterMediaFailed);
  LogInit("Start success !");

  SystemServices().Sleep(tapDelay);

  const std::string expectedAddress = FormatDottedIp(address), expectedMask = FormatDottedIp(kNetmask);
  int result = kAdapterNotListed;
  for (int attempt = 0; attempt < kAddressAttempts; ++attempt) {
    std::vector<ADAPTER_INFO> adapters;
    if (AdapterList().GetAdaptersInfo(adapters) != ERROR_SUCCESS) {
      LogInit("Can't retrieve Network Adapters Info");
      OwnAdapterId() = id;
      ReplaceHandle(h);
      return kAdapterReady;
    }
    const ADAPTER_INFO* entry = nullptr;
    for (const auto& a : adapters)
      if (a.adapterName == id) {
        entry = &a;
        break;
      }
    if (!entry) {
      result = kAdapterNotListed;
      LogInit("Can't find Brannox Network Adapter info");
    } else if (useDhcp && !entry->dhcpEnabled) {
      LogInit("DHCP must be enabled for Brannox Network Adapter");
      result = kAdapterDhcpDisabled;
    } else {
      bool verify = useDhcp || entry->dhcpEnabled;
      bool found = !verify;
      for (const auto& a : entry->ipAddresses)
        if (a.address == expectedAddress && a.mask == expectedMask) found = true;
      if (found) {
        result = kAdapterReady;
      } else {
        LogMessage("Brannox init: %s/%s not set, wait %i ms", expectedAddress.c_str(), expectedMask.c_str(),
                   static_cast<int>(tapDelay));
        result = kAdapterAddressNotSet;
      }
    }
    if (result == kAdapterReady) {
      OwnAdapterId() = id;
      ReplaceHandle(h);
      if (!StartServiceAndWait("RemoteAccess", 1)) LogInit("RemoteAccess service not started");
      return kAdapterReady;
    }
    SystemServices().Sleep(tapDelay);
  }
  DeviceIo().Close(h);
  return result;
}

void CloseAdapter(DWORD delay) {
  HANDLE old = ReplaceHandle(INVALID_HANDLE_VALUE);
  if (old == INVALID_HANDLE_VALUE) return;
  DeviceIo().Close(old);
  SystemServices().Sleep(delay);
}

BOOL GetAdapterMac(BYTE mac[6]) {
  HANDLE h = TheAdapterHandle().Get();
  if (h == INVALID_HANDLE_VALUE) {
    SystemServices().SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  DWORD returned = 0;
  return DeviceIo().IoControl(h, kTapIoctlGetMac, mac, 6, mac, 6, &returned);
}

int WriteAdapterMac(const BYTE mac[6], const char* componentId) {
  const bool brannox = std::strcmp(ChosenComponentId(componentId ? componentId : ""), kBrannoxComponentId) == 0;
  return WalkAdapterKeys(kKeyQueryValue | kKeySetValue, [&](RegKey unit, const char* component) {
    if (brannox ? std::strcmp(component, kBrannoxComponentId) != 0 : !ComponentIdMatches(component, componentId))
      return -1;
    const std::string text = FormatMacAddress(mac);
    LONG rc = Registry().SetValue(unit, "MAC", kRegSz, reinterpret_cast<const BYTE*>(text.c_str()), kMacTextSize);
    if (rc != ERROR_SUCCESS) {
      LogMessage("Unable to set registry key MAC. Error: %i", static_cast<int>(rc));
      return 0;
    }
    return 1;
  });
}

int StartServiceAndWait(const char* name, int start) {
  CServiceControl& sc = ServiceControl();
  ServiceHandle manager = sc.OpenManager();
  if (!manager) {
    TraceError("OpenSCManager", "failed");
    return 0;
  }
  ServiceHandle service = sc.OpenNamedService(manager, name ? name : "");
  if (!service) {
    TraceError("OpenService", "failed");
    sc.Close(manager);
    return 0;
  }
  auto finish = [&](int result) {
    sc.Close(service);
    sc.Close(manager);
    return result;
  };
  SERVICE_STATE state;
  if (!sc.QueryStatus(service, state)) {
    TraceError("QueryServiceStatusEx", "failed");
    return finish(0);
  }
  if (state.currentState == kServiceRunning) return finish(1);
  if (!start) return finish(0);
  // A service already on its way up is waited for, not started a second time.
  if (state.currentState != kServiceStartPending) {
    if (!sc.Start(service)) {
      TraceError("StartService", "failed");
      return finish(0);
    }
    if (!sc.QueryStatus(service, state)) {
      TraceError("QueryServiceStatusEx", "failed");
      return finish(0);
    }
  }
  CSystemServices& sys = SystemServices();
  DWORD startTick = sys.GetTickCount(), firstTick = startTick;
  DWORD oldCheckPoint = state.checkPoint;
  while (state.currentState == kServiceStartPending) {
    DWORD wait = state.waitHint / 10;
    if (wait < 1000) wait = 1000;
    if (wait > 10000) wait = 10000;
    sys.Sleep(wait);
    if (!sc.QueryStatus(service, state)) {
      state.currentState = kServiceStopped;
      break;
    }
    DWORD now = sys.GetTickCount();
    if (state.checkPoint > oldCheckPoint) {
      startTick = now;
      oldCheckPoint = state.checkPoint;
    } else if (now - startTick > state.waitHint) {
      break;
    }
    if (now - firstTick > kServiceWaitLimit) break;
  }
  return finish(state.currentState == kServiceRunning ? 1 : 0);
}
