// The tuning layer of CBdaGraph: one standard BDA property per operation, always through
// IKsPropertySet on a tuner pin, and the tune request per delivery type.
#include "bda/bda_graph.h"
#include "tuner/bda_diagnostics.h"

namespace {
constexpr LONG kFrequencyMultiplier = 1000;
constexpr LONG kLnbSwitchOffset = 1000;  // kHz beside the one oscillator given
}  // namespace

// The standard properties themselves are the tuner's (CTunerProperties), which the
// extensions use as well.
#define VF_FORWARD(Name) \
  HRESULT CBdaGraph::Name(LONG value) { return m_properties.Name(value); }
VF_FORWARD(PutLowOscillator)
VF_FORWARD(PutHighOscillator)
VF_FORWARD(PutLNBSwitch)
VF_FORWARD(PutTunerFrequency)
VF_FORWARD(PutTunerPolarity)
VF_FORWARD(PutTunerInputRange)
VF_FORWARD(PutTunerBandwidth)
VF_FORWARD(PutTunerFrequencyMultiplier)
VF_FORWARD(PutDemodulatorModulation)
VF_FORWARD(PutDemodulatorInnerFECRate)
VF_FORWARD(PutDemodulatorSymbolRate)
VF_FORWARD(PutDemodulatorSpectralInversion)
VF_FORWARD(PutDemodulatorPLPNumber)
VF_FORWARD(PutEnableDiseqCommands)
VF_FORWARD(PutDiseqLNBSource)
VF_FORWARD(PutDiseqUseToneBurst)
VF_FORWARD(PutDiseqRepeats)
#undef VF_FORWARD

HRESULT CBdaGraph::PutDiseqSendCommand(ULONG requestId, const BYTE* bytes, ULONG length) {
  return m_properties.PutDiseqSendCommand(requestId, bytes, length);
}

LONG CBdaGraph::GetSignalStrength() {
  return m_properties.GetSignalStat("GetSignalStrength",
                                    m_extension.IsActive() ? m_extension.SignalStrengthId() : 0, true);
}
LONG CBdaGraph::GetSignalQuality() {
  return m_properties.GetSignalStat("GetSignalQuality",
                                    m_extension.IsActive() ? m_extension.SignalQualityId() : 1, true);
}
LONG CBdaGraph::GetSignalPresent() { return m_properties.GetSignalStat("GetSignalPresent", 2, false); }
LONG CBdaGraph::GetSignalLocked() { return m_properties.GetSignalStat("GetSignalLocked", 3, false); }

HRESULT CBdaGraph::StartChanges() { return m_properties.StartChanges(); }
HRESULT CBdaGraph::CommitChanges() { return m_properties.CommitChanges(); }

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
