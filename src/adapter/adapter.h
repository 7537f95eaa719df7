// The Brannox virtual adapter: finding its installation, opening and configuring its
// device in TUN mode with the driver's DHCP server, waiting for the address, its MAC.
// The open device is TheAdapterHandle(), which the data path writes packets to.
#pragma once
#include <functional>
#include <string>

#include "platform/win_types.h"

constexpr char kAdapterClassKey[] =
    "SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-08002BE10318}";
constexpr char kBrannoxComponentId[] = "brannoxnic";
// TAP-Windows6, the driver VPN software installs; the same device interface.
constexpr char kTapWindowsComponentId[] = "tap0901";
// "Common" value naming the adapter kind to use (default kBrannoxComponentId).
constexpr char kAdapterComponentIdValue[] = "AdapterComponentId";
constexpr char kAdapterDevicePrefix[] = "\\\\.\\Global\\";
constexpr char kAdapterDeviceSuffix[] = ".tap";
constexpr DWORD kAdapterIdSize = 256;
constexpr DWORD kDefaultTapDelay = 1000;
constexpr DWORD kDefaultDhcpLeaseTime = 604800;
constexpr DWORD kDefaultMtu = 1500;
constexpr int kAddressAttempts = 10;

// TAP-Windows device I/O controls.
constexpr DWORD kTapIoctlGetMac = 0x220004;
constexpr DWORD kTapIoctlGetVersion = 0x220008;
constexpr DWORD kTapIoctlGetMtu = 0x22000C;
constexpr DWORD kTapIoctlSetMediaStatus = 0x220018;
constexpr DWORD kTapIoctlConfigDhcpMasq = 0x22001C;
constexpr DWORD kTapIoctlConfigTun = 0x220028;

// Result codes of OpenAdapter.
enum : int {
  kAdapterReady = 0,
  kAdapterNotInstalled = 1,
  kAdapterOpenFailed = 2,
  kAdapterConfigFailed = 3,
  kAdapterMediaFailed = 4,
  kAdapterNotListed = 5,
  kAdapterDhcpDisabled = 6,
  kAdapterAddressNotSet = 7,
};

// The component id a stored "AdapterComponentId" stands for: kTapWindowsComponentId
// for "tap0901" in any case, with or without "root\"; kBrannoxComponentId for
// anything else.
const char* ChosenComponentId(const std::string& setting);
// Whether a class key's "ComponentId" is an adapter of the chosen kind. Brannox ids
// compare without regard to case; TAP-Windows6 ones also with the "root\" prefix
// that some installations give them.
bool ComponentIdMatches(const char* registryValue, const char* chosen);

// 1 when the n-th (from 0) adapter of the chosen kind is installed; its
// NetCfgInstanceId is copied into `id` (kAdapterIdSize bytes) when given.
int FindAdapter(int n, char* id = nullptr, const char* componentId = kBrannoxComponentId);

// Asked before an adapter that looks taken by another program is configured, with
// its NetCfgInstanceId; true: take it over.
using AdapterTakeOverQuestion = std::function<bool(const std::string& id)>;
// Whether the system lists this adapter as connected, or with an address other than
// the ones an opening with this ip sets (ip itself, or the static-mode address).
bool AdapterLooksTaken(const std::string& id, const BYTE ip[4]);

// Opens and configures the adapter of this instance number; ip is four bytes in
// packet order. Returns one of the result codes above; closed unless 0. With a
// question given, an adapter that looks taken is left alone unless it says yes
// (result 1, as if none were installed).
int OpenAdapter(unsigned instance, const BYTE ip[4], int useDhcp, DWORD tapDelay, DWORD leaseTime,
                const char* componentId = kBrannoxComponentId, const AdapterTakeOverQuestion& mayTakeOver = {});
// Closes an open adapter and waits `delay` milliseconds; nothing when closed.
void CloseAdapter(DWORD delay);
// The MAC address of the open adapter (6 bytes).
BOOL GetAdapterMac(BYTE mac[6]);
// Stores the MAC as "MAC" in the first adapter's class key of the chosen kind (a
// Brannox id must match exactly); 1 written, 0 not.
int WriteAdapterMac(const BYTE mac[6], const char* componentId = kBrannoxComponentId);
// 1 when the service runs at the end (started when `start` is set), else 0.
int StartServiceAndWait(const char* name, int start);

// "\\.\Global\<id>.tap"
std::string AdapterDevicePath(const char* id);
