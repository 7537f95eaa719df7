#include "extensions/extension_select.h"

CExtension::CExtension() = default;
CExtension::~CExtension() { Release(); }

void CExtension::Select(const EXTENSION_DEVICE& device, const EXTENSION_INTERFACES& interfaces,
                        int bdaType, CExtensionHost& host) {
  Release();
  m_device = device;
  m_ps = interfaces;
  m_bdaType = bdaType;
  m_host = &host;
  m_type = EXT_GENERIC;
  m_caps = 0;
  m_active = true;
}

void CExtension::Release() {
  m_active = false;
  m_ps = EXTENSION_INTERFACES{};
  m_videoCapture = nullptr;
  m_videoCaptureShared = false;
  m_kernelHandle = INVALID_HANDLE_VALUE;
  m_host = nullptr;
}

DWORD CExtension::GetCaps() const { return Ready() ? m_caps : 0; }
HRESULT CExtension::SendDiseqc(const BYTE*, ULONG, ULONG, BYTE) { return Ready() ? E_NOTIMPL : E_FAIL; }
HRESULT CExtension::SetLnbPower(ULONG) { return Ready() ? E_NOTIMPL : E_FAIL; }
HRESULT CExtension::SetDiseqcPosition(ULONG, ULONG) { return Ready() ? E_NOTIMPL : E_FAIL; }
HRESULT CExtension::GetHardwareMac(BYTE*) { return Ready() ? E_NOTIMPL : E_FAIL; }
HRESULT CExtension::GetSignalEx(LONG*, double*, double*) { return Ready() ? E_NOTIMPL : E_FAIL; }
HRESULT CExtension::SetStreamId(LONG) { return Ready() ? E_NOTIMPL : E_FAIL; }
HRESULT CExtension::SetPls(ULONG, ULONG) { return Ready() ? E_NOTIMPL : E_FAIL; }
HRESULT CExtension::SetModcode(ULONG) { return Ready() ? E_NOTIMPL : E_FAIL; }
LONG CExtension::S2Modulation() const { return 27; }
DWORD CExtension::SignalStrengthId() const { return m_type == EXT_JACTEK ? 1 : 0; }
DWORD CExtension::SignalQualityId() const { return m_type == EXT_JACTEK ? 0 : 1; }
