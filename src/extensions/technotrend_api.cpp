#include "extensions/technotrend_api.h"

#include <cstdio>
#include <cstring>

#include "platform/vendor_guids.h"
#include "log/log.h"
#include "platform/text_util.h"

namespace {
const char* const kResultTexts[] = {
    "",
    "operation is not implemented for the opened handle",
    "operation is not supported for the opened handle",
    "the given HANDLE seems not to be correct",
    "the internal IOCTL subsystem has no device handle",
    "the internal IOCTL failed",
    "the infrared interface is already initialised",
    "the infrared interface is not initialised",
    "length exceeds maximum in EEPROM-Userspace operation",
    "common interface hardware error",
    "common interface already opened",
    "operation finished with timeout",
    "read psi failed",
    "not set",
    "operation finished with general error",
    "operation finished with illegal pointer",
    "the tunerequest structure did not have the expected size",
    "the tuner interface was not available",
    "an unknown DVB type has been specified for the tune request",
    "length of buffer is too small",
};

CIOCTLBdg2* Budget(CIOCTLBase* b) { return static_cast<CIOCTLBdg2*>(b); }
CIOCTLUsb2* Usb(CIOCTLBase* b) { return static_cast<CIOCTLUsb2*>(b); }
bool IsUsbClass(int c) { return c >= TT_CLASS_USB2 && c <= TT_CLASS_USB2_DSS; }

struct PRODUCT {
  WORD id;
  const char* name;
};
const PRODUCT kBudget2Products[] = {
    {0x100F, "TT-budget S-1100"},  {0x1010, "TT-budget C-1500"},  {0x1012, "TT-budget T-1500"},
    {0x1016, "TT-budget S-1400"},  {0x1017, "TT-budget S-1500"},  {0x1018, "TT-budget S-1401"},
    {0x1019, "TT-budget S2-3200"}, {0x101A, "TT-budget C-1501"},  {0x101B, "TT-budget S-1501"},
    {0x101C, "TT-budget S2-1600"},
};
const WORD kOtherBudgetIds[] = {0x1003, 0x1004, 0x1005, 0x1009, 0x100A, 0x100B, 0x100C, 0x100D, 0x100E, 0x1011};
const PRODUCT kUsbProducts[] = {
    {0x3004, "TechnoTrend TT TV-Stick"}, {0x3005, "TechnoTrend TT TV-Stick"},
    {0x3006, "TT-connect S-2400"},       {0x3009, "TT-connect S-2400"},
    {0x3007, "TT-connect S2-3600"},      {0x300A, "TT-connect S2-3650 CI"},
    {0x300B, "TT-connect C-3650 CI"},    {0x300C, "TT-connect T-3650 CI"},
    {0x300D, "TT-connect CT-3650 CI (Hybrid)"}, {0x300E, "TT-connect C-2400"},
};
constexpr WORD kTechnotrendPciVendor = 0x13C2;
constexpr WORD kTechnotrendUsbVendor = 0x0B48;

// ids: vendor, device, subsystem vendor, subsystem id.
const char* ProductName(int deviceClass, const WORD ids[4]) {
  if (deviceClass == TT_CLASS_PREMIUM) return "TT-premium S2-Dual";
  if (deviceClass == TT_CLASS_BUDGET2) {
    if (ids[2] != kTechnotrendPciVendor) return nullptr;
    for (const PRODUCT& p : kBudget2Products)
      if (p.id == ids[3]) return p.name;
    for (WORD id : kOtherBudgetIds)
      if (id == ids[3]) return "TT-budget BDA Device";
    return nullptr;
  }
  if (deviceClass == TT_CLASS_BUDGET3) {
    return ids[2] == kTechnotrendPciVendor && ids[3] == 0x2804 ? "TT-budget T-3000" : nullptr;
  }
  if (IsUsbClass(deviceClass)) {
    if (ids[0] == kTechnotrendUsbVendor) {
      for (const PRODUCT& p : kUsbProducts)
        if (p.id == ids[1]) return p.name;
    }
    return "TT-connect USB 2.0 BDA Device";
  }
  return nullptr;
}

std::unique_ptr<CIOCTLBase> OpenWithIndex(std::unique_ptr<CIOCTLBase> b, DWORD index) {
  if (!b->OpenDeviceWithIndex(index)) return nullptr;
  return b;
}
}  // namespace

const char* TtResultText(DWORD code) {
  if (code < sizeof(kResultTexts) / sizeof(kResultTexts[0])) return kResultTexts[code];
  return "unknown error";
}

void LogTtResult(const char* function, DWORD code) {
  if (code != TT_OK) LogMessage("%s() : %s", function, TtResultText(code));
}

TTHANDLE bdaapiOpenDevice(CKsDeviceFinder& finder, int deviceClass, DWORD deviceIndex) {
  auto handle = std::make_unique<CTtApiHandle>();
  handle->deviceClass = deviceClass;
  switch (deviceClass) {
    case TT_CLASS_BUDGET2: {
      handle->main = OpenWithIndex(std::make_unique<CIOCTLBdg2>(finder, KSCATEGORY_BDA_RECEIVER_COMPONENT,
                                                                "TechnoTrend BDA/DVB Capture"),
                                   deviceIndex);
      if (!handle->main) return TtInvalidHandle();
      for (const char* name : {"TechnoTrend BDA/DVB-C Tuner", "TechnoTrend BDA/DVB-S Tuner",
                               "TechnoTrend BDA/DVB-T Tuner"}) {
        auto tuner = OpenWithIndex(std::make_unique<CIOCTLBdg2>(finder, KSCATEGORY_BDA_NETWORK_TUNER, name),
                                   deviceIndex);
        if (tuner) {
          handle->tuner = std::move(tuner);
          break;
        }
      }
      break;
    }
    case TT_CLASS_BUDGET3:
      handle->main = OpenWithIndex(std::make_unique<CIOCTLBdg3>(finder, 0), deviceIndex);
      break;
    case TT_CLASS_USB2:
      handle->main = OpenWithIndex(std::make_unique<CIOCTLUsb2>(finder, "USB 2.0 BDA DVB Capture", false),
                                   deviceIndex);
      break;
    case TT_CLASS_USB2_PINNACLE:
      handle->main = OpenWithIndex(
          std::make_unique<CIOCTLUsb2>(finder, "Pinnacle PCTV 4XXe Capture", true), deviceIndex);
      break;
    case TT_CLASS_USB2_DSS:
      handle->main = OpenWithIndex(std::make_unique<CIOCTLUsb2>(finder, "USB 2.0 BDA DSS Capture", false),
                                   deviceIndex);
      break;
    case TT_CLASS_PREMIUM: {
      auto prem = std::make_unique<CIOCTLPrem>(finder);
      if (prem->OpenDevice(static_cast<int>(deviceIndex))) handle->main = std::move(prem);
      break;
    }
    default:
      break;
  }
  if (!handle->main) return TtInvalidHandle();
  handle->open = true;
  return handle.release();
}

void bdaapiCloseDevice(TTHANDLE handle) {
  if (!TtValidHandle(handle)) return;
  std::unique_ptr<CTtApiHandle> owned(handle);
  owned->tuner.reset();
  owned->main.reset();
}

DWORD bdaapiSetDiSEqCMsg(TTHANDLE handle, const BYTE* message, ULONG length, BYTE repeat, BYTE toneBurst,
                         BYTE polarity) {
  if (!TtValidHandle(handle)) return TT_BAD_HANDLE;
  // The request carries at most six message bytes.
  if (length > kTtMaxDiseqc || (length && !message)) return TT_GENERAL_ERROR;
  switch (handle->deviceClass) {
    case TT_CLASS_BUDGET2: {
      CIOCTLBase* b = handle->tuner ? handle->tuner.get() : handle->main.get();
      if (!b) return TT_NO_DEVICE_HANDLE;
      return Budget(b)->SendDiseqc(message, length, repeat, toneBurst, polarity);
    }
    case TT_CLASS_BUDGET3:
      return TT_NOT_IMPLEMENTED;
    case TT_CLASS_USB2:
    case TT_CLASS_USB2_PINNACLE:
    case TT_CLASS_USB2_DSS:
      if (!handle->main) return TT_NO_DEVICE_HANDLE;
      return Usb(handle->main.get())->SendDiseqc(message, length, repeat, toneBurst, polarity);
    default:
      return TT_NOT_SUPPORTED;
  }
}

DWORD bdaapiSetDVBTAntPwr(TTHANDLE handle, BOOL on) {
  if (!TtValidHandle(handle)) return TT_BAD_HANDLE;
  if (handle->deviceClass != TT_CLASS_USB2) return TT_NOT_SUPPORTED;
  if (!handle->main) return TT_NO_DEVICE_HANDLE;
  return Usb(handle->main.get())->SetAntennaPower(on ? 1 : 0);
}

DWORD bdaapiGetMAC(TTHANDLE handle, DWORD* first, DWORD* second) {
  if (!TtValidHandle(handle)) return TT_BAD_HANDLE;
  if (!first || !second) return 15;  // illegal pointer
  int c = handle->deviceClass;
  if (!handle->main || c < TT_CLASS_BUDGET2 || c > TT_CLASS_USB2_DSS) return TT_GENERAL_ERROR;
  DWORD r = IsUsbClass(c) ? Usb(handle->main.get())->GetMac(first, second)
                          : Budget(handle->main.get())->GetMac(first, second);
  return r == TT_OK ? TT_OK : TT_GENERAL_ERROR;
}

DWORD bdaapiGetUSBHighspeedMode(TTHANDLE handle, DWORD* mode) {
  if (!TtValidHandle(handle)) return TT_BAD_HANDLE;
  if (!handle->main) return TT_NOT_IMPLEMENTED;
  if (!IsUsbClass(handle->deviceClass)) return TT_NOT_SUPPORTED;
  if (!mode) return 15;
  return Usb(handle->main.get())->GetHighSpeedMode(mode) == TT_OK ? TT_OK : TT_GENERAL_ERROR;
}

DWORD bdaapiGetDeviceDescription(TTHANDLE handle, TT_DEVICE_DESCRIPTION* description) {
  if (!TtValidHandle(handle)) return TT_BAD_HANDLE;
  if (!description) return 15;
  std::memset(description, 0, sizeof(*description));
  if (!handle->main) return TT_NO_DEVICE_HANDLE;
  int c = handle->deviceClass;
  WORD ids[4] = {};
  if (c != TT_CLASS_PREMIUM) {
    DWORD r = IsUsbClass(c) ? Usb(handle->main.get())->GetDeviceIds(ids)
                            : Budget(handle->main.get())->GetDeviceIds(ids);
    if (r != TT_OK) return TT_GENERAL_ERROR;
  }
  CopyUtf8Bounded(description->captureFilterName, kTtNameSize, handle->main->FilterName());
  if (handle->tuner) CopyUtf8Bounded(description->tunerFilterName, kTtNameSize, handle->tuner->FilterName());
  switch (c) {
    case TT_CLASS_BUDGET3: description->frontEndKind = 7; break;
    case TT_CLASS_USB2_DSS: description->frontEndKind = 6; break;
    case TT_CLASS_PREMIUM: description->frontEndKind = 8; break;
    default: break;
  }
  const char* name = ProductName(c, ids);
  if (!name) return TT_NOT_SUPPORTED;
  std::snprintf(description->productName, kTtNameSize, "%s", name);
  return TT_OK;
}

bool TtLookupProductName(CKsDeviceFinder& finder, int deviceClass, DWORD deviceIndex, std::string* name) {
  if (deviceClass != TT_CLASS_BUDGET2 && deviceClass != TT_CLASS_BUDGET3 && deviceClass != TT_CLASS_USB2 &&
      deviceClass != TT_CLASS_USB2_DSS && deviceClass != TT_CLASS_PREMIUM)
    return false;
  TTHANDLE h = bdaapiOpenDevice(finder, deviceClass, deviceIndex);
  if (!TtValidHandle(h)) return false;
  TT_DEVICE_DESCRIPTION description;
  DWORD r = bdaapiGetDeviceDescription(h, &description);
  bdaapiCloseDevice(h);
  if (r != TT_OK) return false;
  if (name) *name = description.productName;
  return true;
}

USB_SPEED_CHECK TtCheckUsbSpeed(TTHANDLE handle) {
  USB_SPEED_CHECK check;
  if (!TtValidHandle(handle) || !IsUsbClass(handle->deviceClass)) return check;
  check.usbDevice = true;
  DWORD mode = 1;
  check.status = bdaapiGetUSBHighspeedMode(handle, &mode);
  LogTtResult("bdaapiGetUSBHighspeedMode", check.status);
  // A failed read tells nothing about the port.
  if (check.status == TT_OK) check.mode = mode;
  return check;
}

bool TtUsbFullSpeedOnly(TTHANDLE handle) { return TtCheckUsbSpeed(handle).FullSpeedOnly(); }

void TtMacFromDwords(DWORD first, DWORD second, BYTE* mac) {
  mac[0] = static_cast<BYTE>(first >> 16);
  mac[1] = static_cast<BYTE>(first >> 8);
  mac[2] = static_cast<BYTE>(first);
  mac[3] = static_cast<BYTE>(second >> 16);
  mac[4] = static_cast<BYTE>(second >> 8);
  mac[5] = static_cast<BYTE>(second);
}
