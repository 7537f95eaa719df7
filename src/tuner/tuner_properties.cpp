#include "tuner/tuner_properties.h"

#include <cstring>

#include "platform/bda_guids.h"
#include "tuner/bda_diagnostics.h"

namespace {
constexpr ULONG kMaxDiseqcLength = 8;

struct DISEQC_SEND {
  ULONG requestId;
  ULONG length;
  BYTE bytes[kMaxDiseqcLength];
};
static_assert(sizeof(DISEQC_SEND) == 16, "the driver expects 16 bytes");
}  // namespace

CTunerProperties::CTunerProperties(const std::shared_ptr<CGraphFilter>& tuner,
                                   const std::shared_ptr<CKsPropertySet>& input,
                                   const std::shared_ptr<CKsPropertySet>& output)
    : m_tuner(tuner), m_input(input), m_output(output) {}

HRESULT CTunerProperties::PutProperty(const char* operation, const std::shared_ptr<CKsPropertySet>& set,
                                      const GUID& setId, DWORD id, const void* value, DWORD length,
                                      bool toLog) {
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

LONG CTunerProperties::GetSignalStat(const char* operation, DWORD id, bool toLog) {
  if (!m_input) return 0;
  auto report = toLog ? &BdaLog : &BdaTrace;
  DWORD support = 0;
  HRESULT hr = m_input->QuerySupported(kKsPropSetBdaSignalStats, id, &support);
  if (FAILED(hr) || !(support & KSPROPERTY_SUPPORT_GET)) {
    report(operation, "GET not supported !", E_NOTIMPL);
    return 0;
  }
  LONG value = 0;
  DWORD returned = 0;
  hr = m_input->Get(kKsPropSetBdaSignalStats, id, m_instanceData, kInstanceDataSize, &value, sizeof(value),
                    &returned);
  if (FAILED(hr)) {
    report(operation, "GET failed !", hr);
    return 0;
  }
  return value;
}

#define VF_SETTER(Name, SetId, Id, Which, ToLog, Missing)                      \
  HRESULT CTunerProperties::Name(LONG value) {                                 \
    if (!Which) return Missing;                                                \
    return PutProperty(#Name, Which, SetId, Id, &value, sizeof(value), ToLog); \
  }

VF_SETTER(PutLowOscillator, kKsPropSetBdaLnbInfo, 0, m_input, true, E_FAIL)
VF_SETTER(PutHighOscillator, kKsPropSetBdaLnbInfo, 1, m_input, true, E_FAIL)
VF_SETTER(PutLNBSwitch, kKsPropSetBdaLnbInfo, 2, m_input, true, E_FAIL)
VF_SETTER(PutTunerFrequency, kKsPropSetBdaFrequencyFilter, 0, m_input, true, E_FAIL)
VF_SETTER(PutTunerPolarity, kKsPropSetBdaFrequencyFilter, 1, m_input, true, E_FAIL)
VF_SETTER(PutTunerInputRange, kKsPropSetBdaFrequencyFilter, 2, m_input, true, E_FAIL)
VF_SETTER(PutTunerBandwidth, kKsPropSetBdaFrequencyFilter, 4, m_input, true, E_FAIL)
VF_SETTER(PutTunerFrequencyMultiplier, kKsPropSetBdaFrequencyFilter, 5, m_input, true, E_FAIL)
VF_SETTER(PutDemodulatorModulation, kKsPropSetBdaDigitalDemodulator, 0, m_output, false, E_FAIL)
VF_SETTER(PutDemodulatorInnerFECRate, kKsPropSetBdaDigitalDemodulator, 2, m_output, false, E_FAIL)
VF_SETTER(PutDemodulatorSymbolRate, kKsPropSetBdaDigitalDemodulator, 5, m_output, false, E_FAIL)
VF_SETTER(PutDemodulatorSpectralInversion, kKsPropSetBdaDigitalDemodulator, 6, m_output, false, E_FAIL)
VF_SETTER(PutDemodulatorPLPNumber, kKsPropSetBdaDigitalDemodulator, 12, m_output, false, E_FAIL)
VF_SETTER(PutDiseqLNBSource, kKsPropSetBdaDiseqCommand, 1, m_input, true, E_NOINTERFACE)
VF_SETTER(PutDiseqRepeats, kKsPropSetBdaDiseqCommand, 3, m_input, true, E_NOINTERFACE)
#undef VF_SETTER

// These two send only the argument's low byte, widened back to the 4-byte value.
HRESULT CTunerProperties::PutEnableDiseqCommands(LONG value) {
  if (!m_input) return E_NOINTERFACE;
  LONG low = value & 0xFF;
  return PutProperty("PutEnableDiseqCommands", m_input, kKsPropSetBdaDiseqCommand, 0, &low, sizeof(low), true);
}

HRESULT CTunerProperties::PutDiseqUseToneBurst(LONG value) {
  if (!m_input) return E_NOINTERFACE;
  LONG low = value & 0xFF;
  return PutProperty("PutDiseqUseToneBurst", m_input, kKsPropSetBdaDiseqCommand, 2, &low, sizeof(low), true);
}

HRESULT CTunerProperties::PutDiseqSendCommand(ULONG requestId, const BYTE* bytes, ULONG length) {
  if (!bytes || length == 0 || length > kMaxDiseqcLength) return E_INVALIDARG;
  if (!m_input) return E_NOINTERFACE;
  DISEQC_SEND send = {};
  send.requestId = requestId;
  send.length = length;
  std::memcpy(send.bytes, bytes, length);
  return PutProperty("PutDiseqSendCommand", m_input, kKsPropSetBdaDiseqCommand, 4, &send, sizeof(send), true);
}

HRESULT CTunerProperties::StartChanges() {
  if (!m_tuner) return E_NOINTERFACE;
  std::shared_ptr<CBdaDeviceControl> control;
  HRESULT hr = m_tuner->QueryDeviceControl(&control);
  if (FAILED(hr) || !control) {
    if (SUCCEEDED(hr)) hr = E_NOINTERFACE;
    BdaTrace("CommitChanges", "m_pTunerDevice->QI: Can't QI for IBDA_DeviceControl", hr);
    return hr;
  }
  hr = control->StartChanges();
  if (FAILED(hr)) BdaTrace("CommitChanges", "Can't StartChanges", hr);
  return hr;
}

HRESULT CTunerProperties::CommitChanges() {
  if (!m_tuner) return E_NOINTERFACE;
  std::shared_ptr<CBdaDeviceControl> control;
  HRESULT hr = m_tuner->QueryDeviceControl(&control);
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
