// The standard BDA properties of the tuner: LNB, frequency-filter, demodulator and DiSEqC
// properties set on the tuner's pins, the signal statistics read there, and the start and
// commit of a change through its device control. It sits below the vendor extensions: the
// graph tunes through it, and the extensions that drive the standard properties call it
// too, so neither layer calls back into the one above.
#pragma once
#include <cstddef>
#include <memory>

#include "platform/device_platform.h"
#include "platform/ks_property_set.h"
#include "platform/win_types.h"

constexpr size_t kInstanceDataSize = 24;

// The standard setters the vendor extensions use (tests stand in for them).
class CBdaSetters {
 public:
  virtual ~CBdaSetters() = default;
  virtual HRESULT PutTunerPolarity(LONG value) = 0;
  virtual HRESULT PutTunerInputRange(LONG value) = 0;
  virtual HRESULT PutDemodulatorPLPNumber(LONG value) = 0;
  virtual HRESULT PutEnableDiseqCommands(LONG value) = 0;
  virtual HRESULT PutDiseqLNBSource(LONG value) = 0;
  virtual HRESULT PutDiseqUseToneBurst(LONG value) = 0;
  virtual HRESULT PutDiseqRepeats(LONG value) = 0;
  virtual HRESULT PutDiseqSendCommand(ULONG requestId, const BYTE* bytes, ULONG length) = 0;
  virtual HRESULT StartChanges() = 0;
  virtual HRESULT CommitChanges() = 0;
};

// Over the tuner filter and its first input and output pins' property sets as the graph
// holds them: empty until the graph is built and again once it is destroyed. Setters
// return the HRESULT, a missing property set E_FAIL (E_NOINTERFACE for DiSEqC); reads
// return the value or 0.
class CTunerProperties final : public CBdaSetters {
 public:
  CTunerProperties(const std::shared_ptr<CGraphFilter>& tuner, const std::shared_ptr<CKsPropertySet>& input,
                   const std::shared_ptr<CKsPropertySet>& output);
  CTunerProperties(const CTunerProperties&) = delete;
  CTunerProperties& operator=(const CTunerProperties&) = delete;

  HRESULT PutLowOscillator(LONG value);
  HRESULT PutHighOscillator(LONG value);
  HRESULT PutLNBSwitch(LONG value);
  HRESULT PutTunerFrequency(LONG value);
  HRESULT PutTunerPolarity(LONG value) override;
  HRESULT PutTunerInputRange(LONG value) override;
  HRESULT PutTunerBandwidth(LONG value);
  HRESULT PutTunerFrequencyMultiplier(LONG value);
  HRESULT PutDemodulatorModulation(LONG value);
  HRESULT PutDemodulatorInnerFECRate(LONG value);
  HRESULT PutDemodulatorSymbolRate(LONG value);
  HRESULT PutDemodulatorSpectralInversion(LONG value);
  HRESULT PutDemodulatorPLPNumber(LONG value) override;
  HRESULT PutEnableDiseqCommands(LONG value) override;
  HRESULT PutDiseqLNBSource(LONG value) override;
  HRESULT PutDiseqUseToneBurst(LONG value) override;
  HRESULT PutDiseqRepeats(LONG value) override;
  HRESULT PutDiseqSendCommand(ULONG requestId, const BYTE* bytes, ULONG length) override;
  HRESULT StartChanges() override;
  HRESULT CommitChanges() override;
  // One KSPROPSETID_BdaSignalStats value of the input pin; failures reported to the log
  // (toLog) or the trace.
  LONG GetSignalStat(const char* operation, DWORD id, bool toLog);

 private:
  HRESULT PutProperty(const char* operation, const std::shared_ptr<CKsPropertySet>& set, const GUID& setId,
                      DWORD id, const void* value, DWORD length, bool toLog);

  const std::shared_ptr<CGraphFilter>& m_tuner;
  const std::shared_ptr<CKsPropertySet>& m_input;
  const std::shared_ptr<CKsPropertySet>& m_output;
  BYTE m_instanceData[kInstanceDataSize] = {};
};
