// Emulated Brannox virtual adapters: the class-key installation in the registry,
// the device "\\.\Global\<id>.tap" answering the TAP-Windows controls, the entry in
// the system adapter list whose DHCP and address state follows what the program
// configured, and the packets written handed on to a packet sink.
#pragma once
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/emulated/emulated_adapter_list.h"
#include "platform/emulated/emulated_device_io.h"
#include "platform/portable/packet_sink.h"

class CFileRegistry;
class CProfileFile;

struct TAP_CONTROL_RECORD {
  DWORD code;
  std::vector<BYTE> in;
};

class CEmulatedTapAdapter final : public CEmulatedDevice, public CAdapterListSource {
 public:
  CEmulatedTapAdapter(std::string instanceId, const BYTE mac[6], std::shared_ptr<CPacketSink> sink);

  const std::string& InstanceId() const { return m_instanceId; }
  std::string DevicePath() const;
  std::shared_ptr<CPacketSink> Sink() const { return m_sink; }

  // How Windows has the adapter configured: DHCP (default) or a fixed address.
  void SetWindowsDhcp(bool enabled);
  void SetFixedAddress(const std::string& address, const std::string& mask);
  // The DHCP address shows in the adapter list only after this many list queries
  // once the media is connected (0: at once); negative: never.
  void SetAddressDelay(int listQueries);
  // Not shown in the system's adapter list at all.
  void SetListed(bool listed);
  // The name the adapter list shows.
  void SetDescription(const std::string& description);
  // Another program (a VPN client) has the adapter: the list shows it connected with
  // this address until the program here opens the device.
  void SetUsedElsewhere(const std::string& address, const std::string& mask);
  // The device refuses to open; a control fails with ERROR_GEN_FAILURE.
  void SetRefuseOpen(bool refuse);
  void SetControlFails(DWORD code, bool fails);
  // The adapter is gone (unplugged, driver stopped): writes fail with
  // ERROR_DEVICE_NOT_CONNECTED and opens are refused. Once it is back, handles from
  // before stay dead: writes succeed again only after the adapter is opened anew.
  void SetGone(bool gone);
  // Writes refused while gone.
  uint64_t RefusedWrites() const;
  void SetVersion(DWORD major, DWORD minor, DWORD debug);
  void SetMtu(DWORD mtu);

  std::vector<TAP_CONTROL_RECORD> Controls() const;
  void ClearControls();
  bool MediaConnected() const;
  int OpenHandles() const;
  void GetMac(BYTE mac[6]) const;

  bool OnOpen() override;
  void OnClose() override;
  BOOL IoControl(DWORD code, const void* in, DWORD inLength, void* out, DWORD outLength,
                 DWORD* returned) override;
  BOOL Write(const void* data, DWORD length, DWORD* written) override;
  bool Describe(ADAPTER_INFO& info) override;

 private:
  BOOL Fail(DWORD error);

  mutable std::mutex m_lock;
  std::string m_instanceId;
  BYTE m_mac[6];
  std::shared_ptr<CPacketSink> m_sink;
  DWORD m_version[3] = {9, 24, 0};
  DWORD m_mtu = 1500;
  bool m_refuseOpen = false;
  std::atomic<bool> m_gone{false};
  std::atomic<bool> m_staleHandles{false};
  std::atomic<uint64_t> m_refusedWrites{0};
  std::set<DWORD> m_failing;
  std::vector<TAP_CONTROL_RECORD> m_controls;
  int m_openHandles = 0;
  bool m_media = false;
  bool m_tunSet = false;
  bool m_dhcpSet = false;
  BYTE m_dhcpAddress[4] = {};
  BYTE m_dhcpMask[4] = {};
  bool m_windowsDhcp = true;
  std::string m_fixedAddress = "0.0.0.0";
  std::string m_fixedMask = "0.0.0.0";
  int m_addressDelay = 0;
  int m_queriesSinceMedia = 0;
  bool m_listed = true;
  std::string m_description = "Brannox Virtual Ethernet Adapter";
  bool m_usedElsewhere = false;
  ADAPTER_IP m_otherAddress;
};

// The NetCfgInstanceId of the emulated platform's own adapter.
constexpr char kEmulatedTapInstanceId[] = "{5F3A1C2E-7B4D-4E8A-9C61-0B2D3E4F5A60}";

struct EMULATED_TAP_SETUP {
  std::string instanceId = kEmulatedTapInstanceId;
  std::string componentId = "brannoxnic";  // or "tap0901", "root\\tap0901"
  BYTE mac[6] = {0x00, 0xFF, 0x4B, 0x52, 0x00, 0x01};
  CFileRegistry* registry = nullptr;        // FileRegistry() when null
  CEmulatedDeviceIo* deviceIo = nullptr;        // EmulatedDeviceIo() when null
  CEmulatedAdapterList* adapterList = nullptr;  // EmulatedAdapterList() when null
  std::shared_ptr<CPacketSink> sink;            // a counting sink when null
  // Not empty: another program (a VPN client) has the adapter, connected with this address.
  std::string usedElsewhereAddress;
};

// What the [Adapter] section of a device description says about the adapter:
// "ComponentId" (default brannoxnic) and "UsedBy" (an address another program gave it).
void ReadAdapterDescription(CProfileFile& files, const std::string& file, EMULATED_TAP_SETUP& setup);

// Installs one adapter: the next free class sub-key ("0000", "0001", ...) with its
// "ComponentId" and "NetCfgInstanceId" (an existing sub-key with this id is reused),
// the device and the adapter-list entry. A valid "MAC" value in the class key is the
// address the adapter starts with, as the driver does.
std::shared_ptr<CEmulatedTapAdapter> InstallEmulatedTap(const EMULATED_TAP_SETUP& setup);
// Removes the device and the list entry (the registry installation stays).
void UninstallEmulatedTap(const std::shared_ptr<CEmulatedTapAdapter>& adapter,
                          CEmulatedDeviceIo* deviceIo = nullptr, CEmulatedAdapterList* adapterList = nullptr);
