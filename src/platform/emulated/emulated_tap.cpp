#include "platform/emulated/emulated_tap.h"

#include <cstdio>
#include <cstring>

#include "platform/portable/file_registry.h"
#include "platform/profile_file.h"
#include "platform/system.h"
#include "platform/text_util.h"

namespace {
constexpr char kClassKey[] =
    "SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-08002BE10318}";
constexpr DWORD kGetMac = 0x220004, kGetVersion = 0x220008, kGetMtu = 0x22000C,
                kSetMedia = 0x220018, kConfigDhcp = 0x22001C, kConfigTun = 0x220028;

uint32_t Load32(const void* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

bool ParseMac(const std::string& text, BYTE mac[6]) {
  unsigned v[6];
  char tail;
  if (std::sscanf(text.c_str(), "%2x:%2x:%2x:%2x:%2x:%2x%c", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5],
                  &tail) != 6)
    return false;
  for (int i = 0; i < 6; ++i) mac[i] = static_cast<BYTE>(v[i]);
  return true;
}
}  // namespace

CEmulatedTapAdapter::CEmulatedTapAdapter(std::string instanceId, const BYTE mac[6],
                                         std::shared_ptr<CPacketSink> sink)
    : m_instanceId(std::move(instanceId)), m_sink(std::move(sink)) {
  std::memcpy(m_mac, mac, 6);
}

std::string CEmulatedTapAdapter::DevicePath() const { return "\\\\.\\Global\\" + m_instanceId + ".tap"; }

void CEmulatedTapAdapter::SetWindowsDhcp(bool enabled) {
  std::lock_guard g(m_lock);
  m_windowsDhcp = enabled;
}
void CEmulatedTapAdapter::SetFixedAddress(const std::string& address, const std::string& mask) {
  std::lock_guard g(m_lock);
  m_fixedAddress = address;
  m_fixedMask = mask;
}
void CEmulatedTapAdapter::SetAddressDelay(int listQueries) {
  std::lock_guard g(m_lock);
  m_addressDelay = listQueries;
}
void CEmulatedTapAdapter::SetListed(bool listed) {
  std::lock_guard g(m_lock);
  m_listed = listed;
}
void CEmulatedTapAdapter::SetRefuseOpen(bool refuse) {
  std::lock_guard g(m_lock);
  m_refuseOpen = refuse;
}
void CEmulatedTapAdapter::SetControlFails(DWORD code, bool fails) {
  std::lock_guard g(m_lock);
  if (fails)
    m_failing.insert(code);
  else
    m_failing.erase(code);
}
void CEmulatedTapAdapter::SetVersion(DWORD major, DWORD minor, DWORD debug) {
  std::lock_guard g(m_lock);
  m_version[0] = major;
  m_version[1] = minor;
  m_version[2] = debug;
}
void CEmulatedTapAdapter::SetMtu(DWORD mtu) {
  std::lock_guard g(m_lock);
  m_mtu = mtu;
}
std::vector<TAP_CONTROL_RECORD> CEmulatedTapAdapter::Controls() const {
  std::lock_guard g(m_lock);
  return m_controls;
}
void CEmulatedTapAdapter::ClearControls() {
  std::lock_guard g(m_lock);
  m_controls.clear();
}
bool CEmulatedTapAdapter::MediaConnected() const {
  std::lock_guard g(m_lock);
  return m_media;
}
int CEmulatedTapAdapter::OpenHandles() const {
  std::lock_guard g(m_lock);
  return m_openHandles;
}
void CEmulatedTapAdapter::GetMac(BYTE mac[6]) const {
  std::lock_guard g(m_lock);
  std::memcpy(mac, m_mac, 6);
}

void CEmulatedTapAdapter::SetGone(bool gone) {
  std::lock_guard g(m_lock);
  m_gone = gone;
  if (gone) m_staleHandles = true;
}
uint64_t CEmulatedTapAdapter::RefusedWrites() const { return m_refusedWrites.load(); }

void CEmulatedTapAdapter::SetDescription(const std::string& description) {
  std::lock_guard g(m_lock);
  m_description = description;
}

void CEmulatedTapAdapter::SetUsedElsewhere(const std::string& address, const std::string& mask) {
  std::lock_guard g(m_lock);
  m_usedElsewhere = true;
  m_otherAddress = ADAPTER_IP{address, mask};
}

bool CEmulatedTapAdapter::OnOpen() {
  std::lock_guard g(m_lock);
  if (m_refuseOpen || m_gone.load()) return false;
  m_staleHandles = false;
  m_usedElsewhere = false;
  ++m_openHandles;
  return true;
}

void CEmulatedTapAdapter::OnClose() {
  std::lock_guard g(m_lock);
  // The driver drops the link with its last handle, as TAP-Windows does.
  if (m_openHandles > 0 && --m_openHandles == 0) {
    m_media = false;
    m_queriesSinceMedia = 0;
  }
}

BOOL CEmulatedTapAdapter::Fail(DWORD error) {
  SystemServices().SetLastError(error);
  return FALSE;
}

BOOL CEmulatedTapAdapter::IoControl(DWORD code, const void* in, DWORD inLength, void* out,
                                    DWORD outLength, DWORD* returned) {
  std::lock_guard g(m_lock);
  if (returned) *returned = 0;
  TAP_CONTROL_RECORD record{code, {}};
  if (in && inLength) record.in.assign(static_cast<const BYTE*>(in), static_cast<const BYTE*>(in) + inLength);
  m_controls.push_back(record);
  if (m_failing.count(code)) return Fail(ERROR_GEN_FAILURE);
  auto answer = [&](const void* data, DWORD size) -> BOOL {
    if (!out || outLength < size) return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(out, data, size);
    if (returned) *returned = size;
    return TRUE;
  };
  switch (code) {
    case kGetMac:
      return answer(m_mac, 6);
    case kGetVersion:
      return answer(m_version, 12);
    case kGetMtu:
      return answer(&m_mtu, 4);
    case kSetMedia:
      if (!in || inLength < 4) return Fail(ERROR_INVALID_PARAMETER);
      m_media = Load32(in) != 0;
      m_queriesSinceMedia = 0;
      if (returned) *returned = 4;
      return TRUE;
    case kConfigTun: {
      if (!in || inLength < 12) return Fail(ERROR_INVALID_PARAMETER);
      const BYTE* p = static_cast<const BYTE*>(in);
      // The driver insists that the network is the local address under the mask.
      if ((Load32(p) & Load32(p + 8)) != Load32(p + 4)) return Fail(ERROR_INVALID_PARAMETER);
      m_tunSet = true;
      if (returned) *returned = 12;
      return TRUE;
    }
    case kConfigDhcp: {
      if (!in || inLength < 16) return Fail(ERROR_INVALID_PARAMETER);
      const BYTE* p = static_cast<const BYTE*>(in);
      uint32_t addr = Load32(p), mask = Load32(p + 4), server = Load32(p + 8);
      // The DHCP server must sit in the adapter's subnet at another address.
      if ((addr & mask) != (server & mask) || addr == server || Load32(p + 12) == 0)
        return Fail(ERROR_INVALID_PARAMETER);
      std::memcpy(m_dhcpAddress, p, 4);
      std::memcpy(m_dhcpMask, p + 4, 4);
      m_dhcpSet = true;
      if (returned) *returned = 16;
      return TRUE;
    }
    default:
      return Fail(ERROR_NOT_SUPPORTED);
  }
}

BOOL CEmulatedTapAdapter::Write(const void* data, DWORD length, DWORD* written) {
  if (written) *written = 0;
  if (!data || length == 0) return Fail(ERROR_INVALID_PARAMETER);
  if (m_staleHandles.load(std::memory_order_relaxed)) {
    m_refusedWrites.fetch_add(1, std::memory_order_relaxed);
    return Fail(ERROR_DEVICE_NOT_CONNECTED);
  }
  // What the sink could not take (a full disk, an interface that is down) fails the
  // write, as the driver's would: the data path logs it and counts it as lost.
  if (m_sink && !m_sink->Deliver(static_cast<const BYTE*>(data), length)) return Fail(ERROR_GEN_FAILURE);
  if (written) *written = length;
  return TRUE;
}

bool CEmulatedTapAdapter::Describe(ADAPTER_INFO& info) {
  std::lock_guard g(m_lock);
  if (!m_listed) return false;
  info.adapterName = m_instanceId;
  info.description = m_description;
  std::memcpy(info.address, m_mac, 6);
  info.addressLength = 6;
  info.dhcpEnabled = m_windowsDhcp;
  info.connected = m_media || m_usedElsewhere;
  ADAPTER_IP ip{"0.0.0.0", "0.0.0.0"};
  if (m_usedElsewhere) {
    ip = m_otherAddress;
  } else if (!m_windowsDhcp) {
    ip = ADAPTER_IP{m_fixedAddress, m_fixedMask};
  } else if (m_media && m_dhcpSet) {
    // Windows asks the driver's DHCP server once the link is up; the lease takes a moment.
    if (m_addressDelay >= 0 && m_queriesSinceMedia >= m_addressDelay)
      ip = ADAPTER_IP{FormatDottedIp(m_dhcpAddress), FormatDottedIp(m_dhcpMask)};
    ++m_queriesSinceMedia;
  }
  info.ipAddresses.push_back(ip);
  return true;
}

std::shared_ptr<CEmulatedTapAdapter> InstallEmulatedTap(const EMULATED_TAP_SETUP& setup) {
  CFileRegistry& reg = setup.registry ? *setup.registry : FileRegistry();
  CEmulatedDeviceIo& io = setup.deviceIo ? *setup.deviceIo : EmulatedDeviceIo();
  CEmulatedAdapterList& list = setup.adapterList ? *setup.adapterList : EmulatedAdapterList();

  // Reuse this adapter's class sub-key if a kept registry has it already.
  std::string subKey;
  RegKey classKey = kNoKey;
  if (reg.CreateKey(kHkeyLocalMachine, kClassKey, kKeyRead, &classKey) == ERROR_SUCCESS) {
    std::string name;
    for (DWORD i = 0; reg.EnumKey(classKey, i, name, 256) == ERROR_SUCCESS; ++i) {
      std::string id;
      if (reg.GetString(kHkeyLocalMachine, std::string(kClassKey) + "\\" + name, "NetCfgInstanceId", id) &&
          id == setup.instanceId)
        subKey = name;
    }
    reg.CloseKey(classKey);
  }
  if (subKey.empty()) {
    for (unsigned n = 0; n < 10000; ++n) {
      char name[8];
      std::snprintf(name, sizeof(name), "%04u", n);
      if (!reg.KeyExists(kHkeyLocalMachine, std::string(kClassKey) + "\\" + name)) {
        subKey = name;
        break;
      }
    }
  }
  std::string keyPath = std::string(kClassKey) + "\\" + subKey;
  reg.PutString(kHkeyLocalMachine, keyPath, "ComponentId", setup.componentId);
  reg.PutString(kHkeyLocalMachine, keyPath, "NetCfgInstanceId", setup.instanceId);

  BYTE mac[6];
  std::memcpy(mac, setup.mac, 6);
  std::string stored;
  if (reg.GetString(kHkeyLocalMachine, keyPath, "MAC", stored)) ParseMac(stored, mac);

  auto sink = setup.sink ? setup.sink : std::make_shared<CPacketSink>();
  auto adapter = std::make_shared<CEmulatedTapAdapter>(setup.instanceId, mac, sink);
  // The name Windows shows for a TAP-Windows6 adapter.
  if (LowerCase(setup.componentId).find("tap0901") != std::string::npos)
    adapter->SetDescription("TAP-Windows Adapter V9");
  if (!setup.usedElsewhereAddress.empty()) adapter->SetUsedElsewhere(setup.usedElsewhereAddress, "255.255.255.0");
  io.Install(adapter->DevicePath(), adapter);
  list.AddSource(adapter);
  return adapter;
}

void ReadAdapterDescription(CProfileFile& files, const std::string& file, EMULATED_TAP_SETUP& setup) {
  setup.componentId = files.GetString(file, "Adapter", "ComponentId", setup.componentId.c_str(), 256);
  setup.usedElsewhereAddress = files.GetString(file, "Adapter", "UsedBy", "", 64);
}

void UninstallEmulatedTap(const std::shared_ptr<CEmulatedTapAdapter>& adapter, CEmulatedDeviceIo* deviceIo,
                          CEmulatedAdapterList* adapterList) {
  if (!adapter) return;
  (deviceIo ? *deviceIo : EmulatedDeviceIo()).Uninstall(adapter->DevicePath());
  (adapterList ? *adapterList : EmulatedAdapterList()).RemoveSource(adapter.get());
}
