// Direct I/O-control back ends of the Technotrend devices, one class per device
// class. Each finds its device among the devices of a category that carry its
// filter's friendly name, opens it by device path and talks I/O controls.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "extensions/extension_host.h"
#include "platform/win_types.h"

// Result codes shared with the API (see TtResultText).
enum : DWORD {
  TT_OK = 0,
  TT_NOT_IMPLEMENTED = 1,
  TT_NOT_SUPPORTED = 2,
  TT_BAD_HANDLE = 3,
  TT_NO_DEVICE_HANDLE = 4,
  TT_IOCTL_FAILED = 5,
  TT_NOT_SET = 13,
  TT_GENERAL_ERROR = 14,
};

// I/O-control codes.
enum : DWORD {
  TT_BDG2_DEVICE_INDEX = 0x23341C,
  TT_BDG2_MAC = 0x233418,
  TT_BDG2_DEVICE_IDS = 0x233420,
  TT_BDG2_DISEQC = 0x233468,
  TT_BDG2_DVBT_FAKE = 0x233480,
  TT_USB2_DEVICE_INDEX = 0x23204C,
  TT_USB2_MAC = 0x232030,
  TT_USB2_HIGHSPEED = 0x232034,
  TT_USB2_DISEQC = 0x232040,
  TT_USB2_ANTENNA_POWER = 0x232044,
  TT_USB2_DEVICE_IDS = 0x232054,
  TT_USB2_DVBT_FAKE = 0x23206C,
  TT_USB2_ALT_DEVICE_INDEX = 0x232418,
  TT_USB2_ALT_MAC = 0x232410,
  TT_USB2_ALT_HIGHSPEED = 0x232414,
  TT_USB2_ALT_DISEQC = 0x23240C,
  TT_USB2_ALT_DEVICE_IDS = 0x232420,
  TT_USB2_ALT_DVBT_FAKE = 0x23243C,
  TT_PREM_EVENT = 0x23203C,
};

constexpr size_t kTtNameSize = 260;
constexpr ULONG kTtMaxDiseqc = 6;

// Base of all back ends. COM start-up belongs to the device platform, which
// initialises it for the thread that enumerates devices.
class CDriverAccess {
 public:
  CDriverAccess() = default;
  virtual ~CDriverAccess() = default;
  CDriverAccess(const CDriverAccess&) = delete;
  CDriverAccess& operator=(const CDriverAccess&) = delete;
};

class CIOCTLBase : public CDriverAccess {
 public:
  CIOCTLBase(CKsDeviceFinder& finder, const GUID& category, const char* filterName);
  ~CIOCTLBase() override;

  // The open device's own index.
  virtual DWORD ReadDeviceIndex(DWORD* index) = 0;
  // Opens the n-th device (0-based) of the category with the filter name; TRUE on success.
  virtual BOOL OpenDevice(int n);
  virtual void GetDevicePath(char* buffer, size_t size) const;

  // Opens the device whose reported index equals index; the others are closed again.
  bool OpenDeviceWithIndex(DWORD index);
  void CloseDevice();
  int DeviceCount() const { return m_deviceCount; }
  bool IsOpen() const { return m_device != INVALID_HANDLE_VALUE; }
  const char* FilterName() const { return m_filterName; }

 protected:
  // One I/O control whose reply must be exactly expected bytes.
  DWORD Control(DWORD code, const void* in, DWORD inLength, void* out, DWORD outLength,
                DWORD expected);

  CKsDeviceFinder& m_finder;
  GUID m_category;
  int m_deviceCount = 0;
  HANDLE m_device = INVALID_HANDLE_VALUE;
  char m_filterName[kTtNameSize] = {};
  char m_devicePath[kTtNameSize] = {};
  int m_openIndex = -1;
};

// Budget-2 cards (class 1): the capture filter or one of the three tuner filters.
class CIOCTLBdg2 : public CIOCTLBase {
 public:
  CIOCTLBdg2(CKsDeviceFinder& finder, const GUID& category, const char* filterName);
  DWORD ReadDeviceIndex(DWORD* index) override;
  DWORD GetMac(DWORD* first, DWORD* second);
  DWORD GetDeviceIds(WORD ids[4]);
  DWORD SendDiseqc(const BYTE* message, ULONG length, BYTE repeat, BYTE toneBurst, BYTE polarity);
  DWORD GetDvbtFake(DWORD* fake);
};

// Budget-3 (class 2, hybrid); the program uses mode 0 (receiver-component category).
class CIOCTLBdg3 : public CIOCTLBdg2 {
 public:
  CIOCTLBdg3(CKsDeviceFinder& finder, int mode);
};

// USB 2.0 boxes (classes 3, 4, 5); the Pinnacle capture filter uses the alternate codes.
class CIOCTLUsb2 : public CIOCTLBase {
 public:
  CIOCTLUsb2(CKsDeviceFinder& finder, const char* filterName, bool alternate);
  DWORD ReadDeviceIndex(DWORD* index) override;
  DWORD GetMac(DWORD* first, DWORD* second);
  DWORD GetDeviceIds(WORD ids[4]);
  DWORD SendDiseqc(const BYTE* message, ULONG length, BYTE repeat, BYTE toneBurst, BYTE polarity);
  DWORD GetHighSpeedMode(DWORD* mode);
  DWORD SetAntennaPower(ULONG on);
  DWORD GetDvbtFake(DWORD* fake);
  bool Alternate() const { return m_alternate; }

 private:
  bool m_alternate;
};

// Premium cards (class 6).
class CIOCTLPrem : public CIOCTLBase {
 public:
  explicit CIOCTLPrem(CKsDeviceFinder& finder);
  // Unregisters any event before the device is closed.
  ~CIOCTLPrem() override;
  DWORD ReadDeviceIndex(DWORD* index) override;
};
