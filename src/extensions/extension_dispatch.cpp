// The uniform extension operations and which family function serves each type.
#include <cstring>

#include "extensions/extension_select.h"
#include "extensions/families.h"
#include "extensions/technotrend_api.h"
#include "platform/vendor_guids.h"

namespace {
bool HasMessage(const BYTE* message, ULONG length) { return message && length; }
// Family tone-burst functions take 0 for burst A and 1 for burst B.
ULONG BurstIndex(BYTE toneBurst) { return toneBurst > 1 ? 1 : 0; }
// Input-range words of the committed ports 1..4.
LONG InputRange(ULONG position) {
  switch (position) {
    case 1: return 0;
    case 2: return 1;
    case 3: return 0x100;
    case 4: return 0x101;
    default: return -1;
  }
}
}  // namespace

DWORD CExtension::GetCaps() const { return Ready() ? m_caps : 0; }

USB_SPEED_CHECK CExtension::CheckUsbHighSpeed() {
  if (!Ready() || m_type != EXT_TECHNOTREND) return {};
  return TtCheckUsbSpeed(m_ttHandle);
}

HRESULT CExtension::SendDiseqc(const BYTE* message, ULONG length, ULONG repeat, BYTE toneBurst) {
  if (!Ready()) return E_FAIL;
  if (m_device.networkType != NET_SATELLITE) return E_NOTIMPL;
  switch (m_type) {
    case EXT_TECHNOTREND: {
      DWORD r = bdaapiSetDiSEqCMsg(m_ttHandle, message, length, static_cast<BYTE>(repeat), toneBurst, 1);
      LogTtResult("bdaapiSetDiSEqCMsg", r);
      return r == 0 ? S_OK : E_FAIL;
    }
    case EXT_TWINHAN: {
      HRESULT hr = S_OK;
      if (toneBurst) {
        BYTE config[kTwinhanLnbConfigSize];
        hr = Twinhan_ReadLnbConfig(m_ps.tunerInput, config);
        if (SUCCEEDED(hr)) {
          config[1] = toneBurst == TONEBURST_A ? 0 : 1;
          hr = Twinhan_WriteLnbConfig(m_ps.tunerInput, config);
        }
      }
      if (!HasMessage(message, length)) return E_INVALIDARG;
      return Twinhan_SendDiseqc(m_ps.tunerInput, message, length);
    }
    case EXT_TBS_CXT: return TBS_CXT_DiseqSendCommand(m_ps.tunerInput, message, length, repeat);
    case EXT_DVBWORLD: return DW_DiseqSendCommand(m_kernelHandle, message, length, repeat);
    case EXT_CONEXANT:
    case EXT_GENIATECH: return CXT_DiseqSendCommand(m_ps.tunerInput, message, length, repeat);
    case EXT_HAUPPAUGE: return HAUP_DiseqSendCommand(m_ps.tunerInput, message, length, repeat);
    case EXT_MICROSOFT: {
      HRESULT hr = m_setters->PutDiseqRepeats(static_cast<LONG>(repeat));
      if (HasMessage(message, length)) hr = m_setters->PutDiseqSendCommand(1, message, length);
      if (toneBurst) {
        m_setters->PutDiseqUseToneBurst(1);
        m_setters->PutDiseqLNBSource(toneBurst);
        hr = m_setters->PutEnableDiseqCommands(1);
      }
      return hr;
    }
    case EXT_JACTEK: return TeVii_DiseqSendCommand(m_ps.tunerInput, m_jacTekSet, message, length, repeat);
    case EXT_BESTUNAR: return BST_DiseqSendCommand(m_ps.tunerInput, message, length, repeat);
    case EXT_OMICOM:
      if (HasMessage(message, length)) return OMC_DiseqSendCommand(m_ps.tuner, message, length, repeat);
      if (toneBurst) return OMC_DiseqSendToneBurst(m_ps.tuner, BurstIndex(toneBurst));
      return E_INVALIDARG;
    case EXT_TBS_QBOX: return TBS_QBOX_DiseqSendCommand(m_ps.tuner, message, length, repeat);
    case EXT_TBS_NXP: return TBS_NXP_DiseqSendCommand(m_ps.tunerInput, message, length, repeat);
    case EXT_COMPRO: return Compro_DiseqSendCommand(m_ps.tuner, message, length, repeat);
    case EXT_ANYSEE: return AnySee_DiseqSendCommand(m_ps.capture, message, length, repeat, toneBurst);
    case EXT_GENPIX_OLD:
      return GenpixOld_DiseqSendCommand(m_ps.tunerOutput, message, length, repeat, toneBurst);
    case EXT_GENPIX: return Genpix_DiseqSendCommand(m_ps.tuner, message, length, repeat, toneBurst);
    case EXT_NETUP: return Netup_DiseqSendCommand(m_ps.tunerOutput, message, length, repeat);
    case EXT_QUARN: return Quarn_DiseqSendCommand(m_ps.tuner, message, length, repeat);
    case EXT_TBS_USB:
      if (HasMessage(message, length)) return TBS_USB_DiseqSendCommand(m_ps.tuner, message, length, repeat);
      if (toneBurst) return TBS_USB_DiseqSendToneBurst(m_ps.tuner, BurstIndex(toneBurst));
      return E_INVALIDARG;
    case EXT_TBS_PCIE:
      if (HasMessage(message, length)) return TBS_DiseqSendCommand(m_ps.tunerInput, message, length, repeat);
      if (toneBurst) return TBS_DiseqSendToneBurst(m_ps.tunerInput, BurstIndex(toneBurst));
      return E_INVALIDARG;
    default: return E_NOTIMPL;
  }
}

HRESULT CExtension::SetLnbPower(ULONG on) {
  if (!Ready()) return E_FAIL;
  if (m_device.networkType == NET_SATELLITE) {
    switch (m_type) {
      case EXT_TWINHAN: {
        BYTE config[kTwinhanLnbConfigSize];
        HRESULT hr = Twinhan_ReadLnbConfig(m_ps.tunerInput, config);
        if (FAILED(hr)) return hr;
        config[0] = on ? 1 : 0;
        return Twinhan_WriteLnbConfig(m_ps.tunerInput, config);
      }
      case EXT_TBS_CXT: return TBS_CXT_LNBPower(m_ps.tunerInput, on);
      case EXT_CONEXANT:
      case EXT_GENIATECH: return CXT_LNBPower(m_ps.tunerInput, on);
      case EXT_JACTEK:
      case EXT_BESTUNAR: return m_setters->PutTunerPolarity(on ? 1 : -1);
      case EXT_TBS_QBOX: return TBS_QBOX_LNBPower(m_ps.tuner, on);
      case EXT_COMPRO: return Compro_LNBPower(m_ps.tuner, on);
      case EXT_TBS_USB: return TBS_USB_LNBPower(m_ps.tuner, on);
      case EXT_TBS_PCIE: return TBS_LNBPower(m_ps.tunerInput, on);
      default: return E_NOTIMPL;
    }
  }
  if (m_device.networkType == NET_TERRESTRIAL) {
    if (m_type == EXT_TECHNOTREND) {
      DWORD r = bdaapiSetDVBTAntPwr(m_ttHandle, on ? TRUE : FALSE);
      LogTtResult("bdaapiSetDVBTAntPwr", r);
      return r == 0 ? S_OK : E_FAIL;
    }
    if (m_type == EXT_TWINHAN) return Twinhan_SetAntennaPower(m_ps.tunerInput, on);
  }
  return E_NOTIMPL;
}

HRESULT CExtension::SetDiseqcPosition(ULONG position, ULONG toneBurst) {
  if (!Ready()) return E_FAIL;
  if (m_device.networkType != NET_SATELLITE) return E_NOTIMPL;
  if (m_type == EXT_TWINHAN) {
    BYTE config[kTwinhanLnbConfigSize];
    HRESULT hr = Twinhan_ReadLnbConfig(m_ps.tunerInput, config);
    if (FAILED(hr)) return hr;
    config[17] = static_cast<BYTE>(position);
    config[1] = static_cast<BYTE>(toneBurst);
    return Twinhan_WriteLnbConfig(m_ps.tunerInput, config);
  }
  if (m_type == EXT_MICROSOFT) {
    m_setters->StartChanges();
    m_setters->PutEnableDiseqCommands(1);
    m_setters->PutDiseqRepeats(2);
    m_setters->PutDiseqUseToneBurst(static_cast<LONG>(toneBurst));
    m_setters->PutDiseqLNBSource(static_cast<LONG>(position));
    return m_setters->CommitChanges();
  }
  return m_setters->PutTunerInputRange(InputRange(position));
}

HRESULT CExtension::GetHardwareMac(BYTE* mac) {
  if (!Ready()) return E_FAIL;
  switch (m_type) {
    case EXT_TECHNOTREND: {
      if (!mac) return E_POINTER;
      DWORD first = 0, second = 0;
      DWORD r = bdaapiGetMAC(m_ttHandle, &first, &second);
      LogTtResult("bdaapiGetMAC", r);
      if (r != 0) return E_FAIL;
      TtMacFromDwords(first, second, mac);
      return S_OK;
    }
    case EXT_TWINHAN: return Twinhan_GetMAC(m_ps.tunerInput, mac);
    case EXT_TBS_CXT: return TBS_CXT_GetMAC(m_videoCapture, m_macEepromOffset, mac);
    case EXT_DVBWORLD: return DW_GetMAC(m_kernelHandle, mac);
    case EXT_GENIATECH: return Geniatech_GetMAC(m_ps.capture, mac);
    case EXT_JACTEK: return TeVii_GetMAC(m_ps.tunerInput, m_jacTekSet, mac);
    case EXT_BESTUNAR: return BST_GetMAC(m_ps.tunerInput, mac);
    case EXT_OMICOM: return OMC_GetMAC(m_ps.tuner, mac);
    case EXT_TBS_QBOX:
    case EXT_TBS_USB: return TBS_QBOX_GetMAC(m_ps.tuner, mac);
    case EXT_TBS_NXP:
    case EXT_TBS_PCIE: return TBS_NXP_GetMAC(m_ps.tunerInput, m_tunerIndex, mac);
    case EXT_COMPRO: return Compro_GetMAC(m_ps.tuner, mac);
    case EXT_NETUP: return Netup_GetMAC(m_ps.tunerOutput, m_tunerIndex, mac);
    default: return E_NOTIMPL;
  }
}

HRESULT CExtension::GetSignalEx(LONG* level, double* snr, double* ber) {
  if (!Ready()) return E_FAIL;
  switch (m_type) {
    case EXT_TBS_CXT:
    case EXT_TBS_NXP:
    case EXT_TBS_PCIE: return TBS_NXP_GetSignalEx(m_ps.tunerInput, level, snr, ber);
    case EXT_OMICOM: return OMC_GetSignalEx(m_ps.tuner, level, snr, ber);
    case EXT_TBS_QBOX:
    case EXT_TBS_USB: return TBS_USB_GetSignalEx(m_ps.tuner, level, snr, ber);
    case EXT_QUARN: return Quarn_GetSignal(m_ps.tuner, level, snr, ber);
    default: return E_NOTIMPL;
  }
}

HRESULT CExtension::SetStreamId(LONG streamId) {
  if (!Ready()) return E_FAIL;
  switch (m_type) {
    case EXT_TBS_CXT:
    case EXT_TBS_NXP:
    case EXT_TBS_PCIE: return TBS_NXP_SetPLP(m_ps.tunerInput, streamId);
    case EXT_OMICOM: return OMC_SetMIS(m_ps.tuner, streamId);
    case EXT_TBS_QBOX:
    case EXT_TBS_USB: return TBS_USB_SetPLP(m_ps.tuner, streamId);
    case EXT_QUARN:
      // The Quarn driver takes stream id and PLS in one word: the id starts it.
      m_quarnStreamWord = static_cast<DWORD>(streamId);
      return m_setters->PutDemodulatorPLPNumber(static_cast<LONG>(m_quarnStreamWord));
    default: return E_NOTIMPL;
  }
}

HRESULT CExtension::SetPls(ULONG mode, ULONG code) {
  if (!Ready()) return E_FAIL;
  switch (m_type) {
    case EXT_TBS_CXT:
    case EXT_TBS_NXP:
    case EXT_TBS_PCIE: return TBS_NXP_SetPLS(m_ps.tunerInput, mode, code);
    case EXT_OMICOM: return OMC_SetPLS(m_ps.tuner, mode, code);
    case EXT_TBS_QBOX:
    case EXT_TBS_USB: return TBS_USB_SetPLS(m_ps.tuner, mode, code);
    case EXT_QUARN:
      m_quarnStreamWord |= (mode << 26) | (code << 8);
      return m_setters->PutDemodulatorPLPNumber(static_cast<LONG>(m_quarnStreamWord));
    default: return E_NOTIMPL;
  }
}

HRESULT CExtension::SetModcode(ULONG modcode) {
  if (!Ready()) return E_FAIL;
  switch (m_type) {
    case EXT_TBS_CXT:
    case EXT_TBS_NXP:
    case EXT_TBS_PCIE: return TBS_NXP_SetModcode(m_ps.tunerInput, modcode);
    case EXT_OMICOM: return OMC_SetModcode(m_ps.tuner, modcode);
    case EXT_TBS_QBOX:
    case EXT_TBS_USB: return TBS_USB_SetModcode(m_ps.tuner, modcode);
    case EXT_QUARN: return Quarn_SetModcode(m_ps.tuner, modcode);
    default: return E_NOTIMPL;
  }
}

LONG CExtension::S2Modulation() const {
  switch (m_type) {
    case EXT_TECHNOTREND:
    case EXT_TWINHAN: return 23;
    case EXT_TBS_CXT:
    case EXT_DVBWORLD:
    case EXT_CONEXANT:
    case EXT_HAUPPAUGE:
    case EXT_TBS_QBOX:
    case EXT_TBS_NXP: return 32;
    default: return 27;
  }
}

DWORD CExtension::SignalStrengthId() const { return m_type == EXT_JACTEK ? 1 : 0; }
DWORD CExtension::SignalQualityId() const { return m_type == EXT_JACTEK ? 0 : 1; }
