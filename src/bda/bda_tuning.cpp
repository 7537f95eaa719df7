// The tuning layer of CBdaGraph: one standard BDA property per operation, always through
// IKsPropertySet on a tuner pin, and the tune request per delivery type.
#include <cstring>

#include "bda/bda_diagnostics.h"
#include "bda/bda_graph.h"
#include "platform/bda_guids.h"

namespace {
constexpr LONG kFrequencyMultiplier = 1000;
constexpr ULONG kMaxDiseqcLength = 8;
constexpr LONG kLnbSwitchOffset = 1000;  // kHz beside the one oscillator given

struct DISEQC_SEND {
  ULONG requestId;
  ULONG length;
  BYTE bytes[kMaxDiseqcLength];
};
static_assert(sizeof(DISEQC_SEND) == 16, "the driver expects 16 bytes");
}  // namespace

HRESULT CBdaGraph::PutProperty(const char* operation, const std::shared_ptr<CKsPropertySet>& set,
                               const GUID& setId, DWORD id, const void* value, DWORD length, bool toLog) {
  auto report = toLog ? &BdaLog : &BdaTrace;
  DWORD support = 0;
  HRESULT hr = set->QuerySupported(setId, id, &support);
  if (FAILED(hr) || !(support & KSPROPERTY_SUPPORT_SET)) {
    report(operation, "SET not supported !", E_NOTIMPL);
    return E_NOTIMPL;
  }
  BYTE buffer[sizeof(DISEQC_SEND)];
  std::memcpy(buffer, value, length);
  hr = set->Set(setId, id, m_instanceData, kInstanceDataSize, buffer, length);
  if (FAILED(hr)) report(operation, "SET failed !", hr);
  return hr;
}

LONG CBdaGraph::GetProperty(const char* operation, DWORD id, bool toLog) {
  if (!m_pKsTunerInputPropSet) return 0;
  auto report = toLog ? &BdaLog : &BdaTrace;
  DWORD support = 0;
  HRESULT hr = m_pKsTunerInputPropSet->QuerySupported(kKsPropSetBdaSignalStats, id, &support);
  if (FAILED(hr) || !(support & KSPROPERTY_SUPPORT_GET)) {
    report(operation, "GET not supported !", E_NOTIMPL);
    return 0;
  }
  LONG value = 0;
  DWORD returned = 0;
  hr = m_pKsTunerInputPropSet->Get(kKsPropSetBdaSignalStats, id, m_instanceData, kInstanceDataSize, &value,
                                   sizeof(value), &returned);
  if (FAILED(hr)) {
    report(operation, "GET failed !", hr);
    return 0;
  }
  return value;
}

#define VF_SETTER(Name, SetId, Id, Which, ToLog, Missing)                                    \
  HRESULT CBdaGraph::Name(LONG value) {                                                      \
    if (!Which) return Missing;                                                              \
    return PutProperty(#Name, Which, SetId, Id, &value, sizeof(value), ToLog);               \
  }

VF_SETTER(PutLowOscillator, kKsPropSetBdaLnbInfo, 0, m_pKsTunerInputPropSet, true, E_FAIL)
VF_SETTER(PutHighOscillator, kKsPropSetBdaLnbInfo, 1, m_pKsTunerInputPropSet, true, E_FAIL)
VF_SETTER(PutLNBSwitch, kKsPropSetBdaLnbInfo, 2, m_pKsTunerInputPropSet, true, E_FAIL)
VF_SETTER(PutTunerFrequency, kKsPropSetBdaFrequencyFilter, 0, m_pKsTunerInputPropSet, true, E_FAIL)
VF_SETTER(PutTunerPolarity, kKsPropSetBdaFrequencyFilter, 1, m_pKsTunerInputPropSet, true, E_FAIL)
VF_SETTER(PutTunerInputRange, kKsPropSetBdaFrequencyFilter, 2, m_pKsTunerInputPropSet, true, E_FAIL)
VF_SETTER(PutTunerBandwidth, kKsPropSetBdaFrequencyFilter, 4, m_pKsTunerInputPropSet, true, E_FAIL)
VF_SETTER(PutTunerFrequencyMultiplier, kKsPropSetBdaFrequencyFilter, 5, m_pKsTunerInputPropSet, true, E_FAIL)
VF_SETTER(PutDemodulatorModulation, kKsPropSetBdaDigitalDemodulator, 0, m_pKsTunerOutputPropSet, false, E_FAIL)
VF_SETTER(PutDemodulatorInnerFECRate, kKsPropSetBdaDigitalDemodulator, 2, m_pKsTunerOutputPropSet, false, E_FAIL)
VF_SETTER(PutDemodulatorSymbolRate, kKsPropSetBdaDigitalDemodulator, 5, m_pKsTunerOutputPropSet, false, E_FAIL)
VF_SETTER(PutDemodulatorSpectralInversion, kKsPropSetBdaDigitalDemodulator, 6, m_pKsTunerOutputPropSet, false,
          E_FAIL)
VF_SETTER(PutDemodulatorPLPNumber, kKsPropSetBdaDigitalDemodulator, 12, m_pKsTunerOutputPropSet, false, E_FAIL)
VF_SETTER(PutDiseqLNBSource, kKsPropSetBdaDiseqCommand, 1, m_pKsTunerInputPropSet, true, E_NOINTERFACE)
VF_SETTER(PutDiseqRepeats, kKsPropSetBdaDiseqCommand, 3, m_pKsTunerInputPropSet, true, E_NOINTERFACE)
#undef VF_SETTER

// These two send only the argument's low byte, widened back to the 4-byte value.
HRESULT CBdaGraph::PutEnableDiseqCommands(LONG value) {
  if (!m_pKsTunerInputPropSet) return E_NOINTERFACE;
  LONG low = value & 0xFF;
  return PutProperty("PutEnableDiseqCommands", m_pKsTunerInputPropSet, kKsPropSetBdaDiseqCommand, 0, &low,
                     sizeof(low), true);
}

HRESULT CBdaGraph::PutDiseqUseToneBurst(LONG value) {
  if (!m_pKsTunerInputPropSet) return E_NOINTERFACE;
  LONG low = value & 0xFF;
  return PutProperty("PutDiseqUseToneBurst", m_pKsTunerInputPropSet, kKsPropSetBdaDiseqCommand, 2, &low,
                     sizeof(low), true);
}

HRESULT CBdaGraph::PutDiseqSendCommand(ULONG requestId, const BYTE* bytes, ULONG length) {
  if (!bytes || length == 0 || length > kMaxDiseqcLength) return E_INVALIDARG;
  if (!m_pKsTunerInputPropSet) return E_NOINTERFACE;
  DISEQC_SEND send = {};
  send.requestId = requestId;
  send.length = length;
  std::memcpy(send.bytes, bytes, length);
  return PutProperty("PutDiseqSendCommand", m_pKsTunerInputPropSet, kKsPropSetBdaDiseqCommand, 4, &send,
                     sizeof(send), true);
}

LONG CBdaGraph::GetSignalStrength() {
  return GetProperty("GetSignalStrength", m_extension.IsActive() ? m_extension.SignalStrengthId() : 0, true);
}
LONG CBdaGraph::GetSignalQuality() {
  return GetProperty("GetSignalQuality", m_extension.IsActive() ? m_extension.SignalQualityId() : 1, true);
}
LONG CBdaGraph::GetSignalPresent() { return GetProperty("GetSignalPresent", 2, false); }
LONG CBdaGraph::GetSignalLocked() { return GetProperty("GetSignalLocked", 3, false); }

HRESULT CBdaGraph::StartChanges() {
  if (!m_pTunerDevice) return E_NOINTERFACE;
  std::shared_ptr<CBdaDeviceControl> control;
  HRESULT hr = m_pTunerDevice->QueryDeviceControl(&control);
  if (FAILED(hr) || !control) {
    if (SUCCEEDED(hr)) hr = E_NOINTERFACE;
    BdaTrace("CommitChanges", "m_pTunerDevice->QI: Can't QI for IBDA_DeviceControl", hr);
    return hr;
  }
  hr = control->StartChanges();
  if (FAILED(hr)) BdaTrace("CommitChanges", "Can't StartChanges", hr);
  return hr;
}

HRESULT CBdaGraph::CommitChanges() {
  if (!m_pTunerDevice) return E_NOINTERFACE;
  std::shared_ptr<CBdaDeviceControl> control;
  HRESULT hr = m_pTunerDevice->QueryDeviceControl(&control);
  if (FAILED(hr) || !control) {
    if (SUCCEEDED(hr)) hr = E_NOINTERFACE;
    BdaTrace("CommitChanges", "m_pTunerDevice->QI: Can't QI for IBDA_DeviceControl", hr);
    return hr;
  }
  hr = control->CheckChanges();
  if (FAILED(hr)) {
    BdaTrace("CommitChanges", "CheckChanges failed !", hr);
    return hr;
  }
  hr = control->CommitChanges();
  if (FAILED(hr)) BdaTrace("CommitChanges", "Can't CommitChanges", hr);
  return hr;
}

HRESULT CBdaGraph::ChangeParameters(PARAM_TUNE& tune) {
  if (!m_pNetworkProviderFilter) {
    BdaTrace("ChangeParameters", "The FilterGraph is not yet built", E_FAIL);
    return E_FAIL;
  }
  HRESULT hr = StartChanges();
  if (FAILED(hr)) BdaLog("ChangeParameters", "Cannot Start Changes", hr);

  LONG* f = tune.field;
  switch (m_device.deliveryType) {
    case kDeliverySatellite:
      // One oscillator given: both bands use it, and the switch sits just beside the
      // frequency so the driver picks that band.
      if (f[kTuneLnbSwitch] == 0) {
        if (f[kTuneLofLow] != 0 && f[kTuneLofHigh] == 0) {
          f[kTuneLofHigh] = f[kTuneLofLow];
          f[kTuneLnbSwitch] = f[kTuneFrequency] + kLnbSwitchOffset;
        } else if (f[kTuneLofLow] == 0 && f[kTuneLofHigh] != 0) {
          f[kTuneLofLow] = f[kTuneLofHigh];
          f[kTuneLnbSwitch] = f[kTuneFrequency] - kLnbSwitchOffset;
        }
      }
      PutTunerFrequencyMultiplier(kFrequencyMultiplier);
      PutLowOscillator(f[kTuneLofLow]);
      PutHighOscillator(f[kTuneLofHigh]);
      PutLNBSwitch(f[kTuneLnbSwitch]);
      PutTunerFrequency(f[kTuneFrequency]);
      PutTunerPolarity(f[kTuneSatPolarisation]);
      PutDemodulatorSymbolRate(f[kTuneSatSymbolRate]);
      PutDemodulatorSpectralInversion(f[kTuneInversion]);
      PutDemodulatorModulation(f[kTuneModulation]);
      PutDemodulatorInnerFECRate(f[kTuneSatFec]);
      m_tune = tune;
      break;
    case kDeliveryCable:
      PutTunerFrequencyMultiplier(kFrequencyMultiplier);
      PutTunerFrequency(f[kTuneFrequency]);
      PutDemodulatorSymbolRate(f[kTuneCableSymbolRate]);
      PutDemodulatorSpectralInversion(f[kTuneInversion]);
      PutDemodulatorModulation(f[kTuneModulation]);
      PutTunerBandwidth(f[kTuneBandwidth]);
      for (int i = 0; i <= 4; ++i) m_tune.field[i] = f[i];
      break;
    case kDeliveryTerrestrial:
      PutTunerFrequencyMultiplier(kFrequencyMultiplier);
      PutTunerFrequency(f[kTuneFrequency]);
      PutDemodulatorSpectralInversion(f[kTuneInversion]);
      PutDemodulatorModulation(f[kTuneModulation]);
      PutTunerBandwidth(f[kTuneBandwidth]);
      for (int i = 0; i <= 3; ++i) m_tune.field[i] = f[i];
      break;
    case kDeliveryAtsc:
    case kDeliveryIsdb:
      PutTunerFrequencyMultiplier(kFrequencyMultiplier);
      PutTunerFrequency(f[kTuneFrequency]);
      for (int i = 0; i <= 3; ++i) m_tune.field[i] = f[i];
      break;
    default:
      break;
  }

  hr = CommitChanges();
  if (FAILED(hr)) BdaLog("ChangeParameters", "Cannot Commit Changes", hr);
  return hr;
}
