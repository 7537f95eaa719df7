#include "extensions/tt_ioctl.h"

#include <cstdio>
#include <cstring>

#include "extensions/property_call.h"
#include "platform/vendor_guids.h"
#include "platform/device_io.h"
#include "platform/system.h"
#include "platform/text_util.h"

namespace {
// Friendly names are UTF-8: a long one is cut between characters.
void CopyName(char* dst, const char* src) { CopyUtf8Bounded(dst, kTtNameSize, src ? src : ""); }

// DiSEqC request: length, six message bytes, repeat, tone burst, polarity value.
void BuildDiseqcRequest(BYTE* request, const BYTE* message, ULONG length, BYTE repeat, BYTE toneBurst,
                        BYTE polarity) {
  request[0] = static_cast<BYTE>(length);
  if (length) std::memcpy(request + 1, message, length);
  request[7] = repeat;
  request[8] = toneBurst;
  request[9] = polarity;
}

DWORD DiseqcReply(BYTE reply) {
  switch (reply) {
    case 0: return TT_OK;
    case 1: return TT_NOT_IMPLEMENTED;
    case 2: return TT_NOT_SUPPORTED;
    default: return TT_GENERAL_ERROR;
  }
}
}  // namespace

CIOCTLBase::CIOCTLBase(CKsDeviceFinder& finder, const GUID& category, const char* filterName)
    : m_finder(finder), m_category(category) {
  CopyName(m_filterName, filterName);
  m_deviceCount = static_cast<int>(m_finder.FindDevicePaths(m_category, m_filterName).size());
}

CIOCTLBase::~CIOCTLBase() { CloseDevice(); }

void CIOCTLBase::CloseDevice() {
  if (m_device != INVALID_HANDLE_VALUE) DeviceIo().Close(m_device);
  m_device = INVALID_HANDLE_VALUE;
  m_openIndex = -1;
}

BOOL CIOCTLBase::OpenDevice(int n) {
  CloseDevice();
  std::vector<std::string> paths = m_finder.FindDevicePaths(m_category, m_filterName);
  if (n < 0 || static_cast<size_t>(n) >= paths.size()) return FALSE;
  CopyName(m_devicePath, paths[static_cast<size_t>(n)].c_str());
  m_device = DeviceIo().Open(m_devicePath, kTechnotrendOpenMode);
  if (m_device == INVALID_HANDLE_VALUE) return FALSE;
  m_openIndex = n;
  return TRUE;
}

void CIOCTLBase::GetDevicePath(char* buffer, size_t size) const {
  if (buffer && size) CopyUtf8Bounded(buffer, size, m_devicePath);
}

bool CIOCTLBase::OpenDeviceWithIndex(DWORD index) {
  for (int n = 0; n < m_deviceCount; ++n) {
    if (!OpenDevice(n)) continue;
    DWORD reported = 0;
    if (ReadDeviceIndex(&reported) == TT_OK && reported == index) return true;
    CloseDevice();
  }
  return false;
}

DWORD CIOCTLBase::Control(DWORD code, const void* in, DWORD inLength, void* out, DWORD outLength,
                          DWORD expected) {
  if (m_device == INVALID_HANDLE_VALUE) return TT_NO_DEVICE_HANDLE;
  DWORD returned = 0;
  if (!DeviceIo().IoControl(m_device, code, in, inLength, out, outLength, &returned)) return TT_IOCTL_FAILED;
  return returned == expected ? TT_OK : TT_NOT_SET;
}

CIOCTLBdg2::CIOCTLBdg2(CKsDeviceFinder& finder, const GUID& category, const char* filterName)
    : CIOCTLBase(finder, category, filterName) {}

DWORD CIOCTLBdg2::ReadDeviceIndex(DWORD* index) {
  BYTE out[4] = {};
  DWORD r = Control(TT_BDG2_DEVICE_INDEX, nullptr, 0, out, sizeof(out), sizeof(out));
  if (r == TT_OK) *index = GetDword(out, 0);
  return r;
}

DWORD CIOCTLBdg2::GetMac(DWORD* first, DWORD* second) {
  char text[32];
  std::snprintf(text, sizeof(text), "m_hDevice=%08x",
                static_cast<unsigned>(reinterpret_cast<uintptr_t>(m_device)));
  SystemServices().OutputDebugString(text);
  BYTE out[8] = {};
  DWORD r = Control(TT_BDG2_MAC, nullptr, 0, out, sizeof(out), sizeof(out));
  if (r == TT_OK) {
    *first = GetDword(out, 0);
    *second = GetDword(out, 4);
  }
  return r;
}

DWORD CIOCTLBdg2::GetDeviceIds(WORD ids[4]) {
  BYTE out[8] = {};
  DWORD r = Control(TT_BDG2_DEVICE_IDS, nullptr, 0, out, sizeof(out), sizeof(out));
  if (r == TT_OK) {
    for (int i = 0; i < 4; ++i) ids[i] = static_cast<WORD>(out[2 * i] | (out[2 * i + 1] << 8));
  }
  return r;
}

DWORD CIOCTLBdg2::SendDiseqc(const BYTE* message, ULONG length, BYTE repeat, BYTE toneBurst, BYTE polarity) {
  BYTE request[10] = {};
  BuildDiseqcRequest(request, message, length, repeat, toneBurst, polarity);
  BYTE reply[1] = {};
  DWORD r = Control(TT_BDG2_DISEQC, request, sizeof(request), reply, sizeof(reply), sizeof(reply));
  return r == TT_OK ? DiseqcReply(reply[0]) : r;
}

DWORD CIOCTLBdg2::GetDvbtFake(DWORD* fake) {
  BYTE out[4] = {};
  DWORD r = Control(TT_BDG2_DVBT_FAKE, nullptr, 0, out, sizeof(out), sizeof(out));
  if (r == TT_OK) *fake = GetDword(out, 0);
  return r;
}

CIOCTLBdg3::CIOCTLBdg3(CKsDeviceFinder& finder, int mode)
    : CIOCTLBdg2(finder, mode == 0 ? KSCATEGORY_BDA_RECEIVER_COMPONENT : CLSID_VideoInputDeviceCategory,
                 "TTHybridTV BDA Digital Capture") {}

CIOCTLUsb2::CIOCTLUsb2(CKsDeviceFinder& finder, const char* filterName, bool alternate)
    : CIOCTLBase(finder, KSCATEGORY_BDA_RECEIVER_COMPONENT, filterName), m_alternate(alternate) {}

DWORD CIOCTLUsb2::ReadDeviceIndex(DWORD* index) {
  BYTE out[4] = {};
  DWORD r = Control(m_alternate ? TT_USB2_ALT_DEVICE_INDEX : TT_USB2_DEVICE_INDEX, nullptr, 0, out,
                    sizeof(out), sizeof(out));
  if (r == TT_OK) *index = GetDword(out, 0);
  return r;
}

DWORD CIOCTLUsb2::GetMac(DWORD* first, DWORD* second) {
  BYTE out[8] = {};
  DWORD r = Control(m_alternate ? TT_USB2_ALT_MAC : TT_USB2_MAC, nullptr, 0, out, sizeof(out), sizeof(out));
  if (r == TT_OK) {
    *first = GetDword(out, 0);
    *second = GetDword(out, 4);
  }
  return r;
}

DWORD CIOCTLUsb2::GetDeviceIds(WORD ids[4]) {
  BYTE out[8] = {};
  DWORD r = Control(m_alternate ? TT_USB2_ALT_DEVICE_IDS : TT_USB2_DEVICE_IDS, nullptr, 0, out,
                    sizeof(out), sizeof(out));
  if (r == TT_OK) {
    for (int i = 0; i < 4; ++i) ids[i] = static_cast<WORD>(out[2 * i] | (out[2 * i + 1] << 8));
  }
  return r;
}

DWORD CIOCTLUsb2::SendDiseqc(const BYTE* message, ULONG length, BYTE repeat, BYTE toneBurst, BYTE polarity) {
  BYTE request[10] = {};
  BuildDiseqcRequest(request, message, length, repeat, toneBurst, polarity);
  BYTE reply[1] = {};
  DWORD r = Control(m_alternate ? TT_USB2_ALT_DISEQC : TT_USB2_DISEQC, request, sizeof(request), reply,
                    sizeof(reply), sizeof(reply));
  return r == TT_OK ? DiseqcReply(reply[0]) : r;
}

DWORD CIOCTLUsb2::GetHighSpeedMode(DWORD* mode) {
  BYTE out[4] = {};
  DWORD r = Control(m_alternate ? TT_USB2_ALT_HIGHSPEED : TT_USB2_HIGHSPEED, nullptr, 0, out, sizeof(out),
                    sizeof(out));
  if (r == TT_OK) *mode = GetDword(out, 0);
  return r;
}

DWORD CIOCTLUsb2::SetAntennaPower(ULONG on) {
  BYTE in[4] = {};
  PutDword(in, 0, on ? 1 : 0);
  BYTE out[4] = {};
  DWORD r = Control(TT_USB2_ANTENNA_POWER, in, sizeof(in), out, sizeof(out), sizeof(out));
  if (r != TT_OK) return r;
  return GetDword(out, 0) ? TT_OK : TT_GENERAL_ERROR;
}

DWORD CIOCTLUsb2::GetDvbtFake(DWORD* fake) {
  BYTE out[4] = {};
  DWORD r = Control(m_alternate ? TT_USB2_ALT_DVBT_FAKE : TT_USB2_DVBT_FAKE, nullptr, 0, out, sizeof(out),
                    sizeof(out));
  if (r == TT_OK) *fake = GetDword(out, 0);
  return r;
}

CIOCTLPrem::CIOCTLPrem(CKsDeviceFinder& finder)
    : CIOCTLBase(finder, CLSID_VideoInputDeviceCategory, "TT-premium STi7109 Capture") {}

CIOCTLPrem::~CIOCTLPrem() {
  if (IsOpen()) {
    BYTE in[4] = {};  // no event
    DWORD returned = 0;
    DeviceIo().IoControl(m_device, TT_PREM_EVENT, in, sizeof(in), nullptr, 0, &returned);
  }
}

DWORD CIOCTLPrem::ReadDeviceIndex(DWORD* index) {
  *index = 0;
  return TT_OK;
}
