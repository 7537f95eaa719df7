// The Technotrend BDA driver API, implemented over the direct I/O-control back
// ends: open a device by class and index, DiSEqC, antenna power, MAC, USB speed,
// device description with the product name.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "extensions/extension_host.h"
#include "extensions/tt_ioctl.h"
#include "platform/win_types.h"

// Technotrend device classes.
enum : int {
  TT_CLASS_BUDGET2 = 1,
  TT_CLASS_BUDGET3 = 2,
  TT_CLASS_USB2 = 3,
  TT_CLASS_USB2_PINNACLE = 4,
  TT_CLASS_USB2_DSS = 5,
  TT_CLASS_PREMIUM = 6,
};

// One opened device.
class CTtApiHandle {
 public:
  bool open = false;
  int deviceClass = 0;
  std::unique_ptr<CIOCTLBase> main;
  std::unique_ptr<CIOCTLBase> tuner;  // class 1 only
  void* spare = nullptr;
  WORD spareWord = 0;
};
using TTHANDLE = CTtApiHandle*;
// The API's invalid handle value (-1).
inline TTHANDLE TtInvalidHandle() { return reinterpret_cast<TTHANDLE>(static_cast<intptr_t>(-1)); }
inline bool TtValidHandle(TTHANDLE h) { return h && h != TtInvalidHandle(); }

// The device description; only the product name is used by the program.
constexpr size_t kTtDescriptionSize = 1824;
constexpr size_t kTtProductNameOffset = 1560;
struct TT_DEVICE_DESCRIPTION {
  char tunerFilterName[kTtNameSize];
  char captureFilterName[kTtNameSize];
  char otherFilterNames[4][kTtNameSize];
  char productName[kTtNameSize];
  DWORD frontEndKind;  // 1 DVB-C, 2 DVB-S, 3 DVB-S2, 4 DVB-T, 5 ATSC, 6 DSS, 7 DVB-C/T, 8 premium dual
};
static_assert(sizeof(TT_DEVICE_DESCRIPTION) == kTtDescriptionSize, "description size");
static_assert(offsetof(TT_DEVICE_DESCRIPTION, productName) == kTtProductNameOffset, "product name offset");

TTHANDLE bdaapiOpenDevice(CKsDeviceFinder& finder, int deviceClass, DWORD deviceIndex);
void bdaapiCloseDevice(TTHANDLE handle);
DWORD bdaapiSetDiSEqCMsg(TTHANDLE handle, const BYTE* message, ULONG length, BYTE repeat, BYTE toneBurst,
                         BYTE polarity);
DWORD bdaapiSetDVBTAntPwr(TTHANDLE handle, BOOL on);
DWORD bdaapiGetMAC(TTHANDLE handle, DWORD* first, DWORD* second);
DWORD bdaapiGetUSBHighspeedMode(TTHANDLE handle, DWORD* mode);
DWORD bdaapiGetDeviceDescription(TTHANDLE handle, TT_DEVICE_DESCRIPTION* description);

// The text of an API result code ("unknown error" for codes outside the table).
const char* TtResultText(DWORD code);
// "%s() : %s" to the log for a non-zero code.
void LogTtResult(const char* function, DWORD code);

// The product name of a device for device enumeration: true with the name for
// classes 1, 2, 3, 5 and 6 when the description lookup succeeds.
bool TtLookupProductName(CKsDeviceFinder& finder, int deviceClass, DWORD deviceIndex, std::string* name);

// What the USB speed check below found: the result code of
// "bdaapiGetUSBHighspeedMode" and the mode it read.
struct USB_SPEED_CHECK {
  bool usbDevice = false;  // checked: type 1 on a USB class; otherwise nothing was called
  DWORD status = 2;        // the API's result code (2, not supported, when not called)
  DWORD mode = 1;          // 0 full speed, otherwise high speed
  // The port cannot carry the stream: the caller shows message 108 and ends.
  bool FullSpeedOnly() const { return usbDevice && status == 0 && mode == 0; }
};

// The start-up check of Technotrend USB devices: for classes 3, 4 and 5 the port
// speed read through "bdaapiGetUSBHighspeedMode" (result code logged); other
// classes and invalid handles are not USB devices and nothing is called.
USB_SPEED_CHECK TtCheckUsbSpeed(TTHANDLE handle);
// True when that check says full speed (the caller shows message 108 and ends).
bool TtUsbFullSpeedOnly(TTHANDLE handle);

// The MAC address from the API's two dwords (bytes 1-3 and 4-6, high byte first).
void TtMacFromDwords(DWORD first, DWORD second, BYTE* mac);
