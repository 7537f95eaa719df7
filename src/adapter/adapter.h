// The Brannox virtual adapter: finding its installation, opening and configuring its
// device in TUN mode with the driver's DHCP server, waiting for the address, its MAC.
// The open device is TheAdapterHandle(), which the data path writes packets to.
#pragma once
#include <string>

#include "platform/win_types.h"

constexpr char kAdapterClassKey[] =
    "SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-08002BE10318}";
constexpr char kBrannoxComponentId[] = "brannoxnic";
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

// Drivers of the TAP-Windows line take IPv6 packets in TUN mode from version 9.8 on; with an
// older one (or none told) the data path drops IPv6 rather than write it as IPv4.
inline bool AdapterTakesIpv6(DWORD major, DWORD minor) { return major > 9 || (major == 9 && minor >= 8); }

// 1 when the n-th (from 0) Brannox adapter is installed; its NetCfgInstanceId is
// copied into `id` (kAdapterIdSize bytes) when given.
int FindAdapter(int n, char* id = nullptr);
// Opens and configures the adapter of this instance number; ip is four bytes in
// packet order. Returns one of the result codes above; closed unless 0.
int OpenAdapter(unsigned instance, const BYTE ip[4], int useDhcp, DWORD tapDelay, DWORD leaseTime);
// Closes an open adapter and waits `delay` milliseconds; nothing when closed.
void CloseAdapter(DWORD delay);
// The MAC address of the open adapter (6 bytes).
BOOL GetAdapterMac(BYTE mac[6]);
// Stores the MAC as "MAC" in the first Brannox adapter's class key; 1 written, 0 not.
int WriteAdapterMac(const BYTE mac[6]);
// 1 when the service runs at the end (started when `start` is set), else 0.
int StartServiceAndWait(const char* name, int start);

// "\\.\Global\<id>.tap"
std::string AdapterDevicePath(const char* id);
