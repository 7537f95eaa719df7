// CBdaGraph: the filter graph of the selected device and every interface to its driver.
// Network provider -> tuner -> [receiver component] -> sample grabber; all tuning and
// every vendor extension talk to the driver through the property sets held here.
#pragma once
#include <memory>
#include <string>

#include "bda/bda_types.h"
#include "platform/device_platform.h"

class CSampleGrabberCB;
class CDVBNetworkProviderFilter;

// Extension capability bits.
constexpr LONG CAP_DISEQC = 0x001;
constexpr LONG CAP_DISEQC_REPLY = 0x002;
constexpr LONG CAP_TONEBURST = 0x004;
constexpr LONG CAP_DISEQC_POSITION = 0x008;
constexpr LONG CAP_LNB_POWER = 0x010;
constexpr LONG CAP_MAC = 0x020;
constexpr LONG CAP_SIGNAL_EX = 0x040;
constexpr LONG CAP_STREAM_ID = 0x080;
constexpr LONG CAP_PLS = 0x100;
constexpr LONG CAP_MODCODE = 0x200;

constexpr size_t kInstanceDataSize = 24;
constexpr LONG kInvalidApiHandle = -1;
constexpr BYTE kDefaultMacEepromOffset = 16;

// Called once per accepted tuner; a failure HRESULT stops the enumeration.
using ENUM_DEVICE_CALLBACK = HRESULT (*)(PARAM_DEVICE* device, void* context);

class CBdaGraph {
 public:
  CBdaGraph();
  ~CBdaGraph();
  CBdaGraph(const CBdaGraph&) = delete;
  CBdaGraph& operator=(const CBdaGraph&) = delete;

  // Graph construction.
  HRESULT InitializeGraphBuilder();
  HRESULT LoadNetworkProvider();
  HRESULT LoadSampleGrabber(std::shared_ptr<CGraphFilter>* filter);
  HRESULT SetupSampleGrabber(const std::shared_ptr<CGraphFilter>& filter, CSampleGrabberCB* callback);
  HRESULT FindFilterInputPin(const std::shared_ptr<CGraphFilter>& filter, std::shared_ptr<CGraphPin>* pin);
  HRESULT FindFilterOutputPin(const std::shared_ptr<CGraphFilter>& filter, std::shared_ptr<CGraphPin>* pin);
  HRESULT ConnectFilters(const std::shared_ptr<CGraphFilter>& upstream,
                         const std::shared_ptr<CGraphFilter>& downstream);
  // The first device of the category that connects; name null for any.
  HRESULT LoadFilter(const GUID& category, std::shared_ptr<CGraphFilter>* filter,
                     const std::shared_ptr<CGraphFilter>& upstream, BOOL connectDownstream, const char* name);
  // Binds the device of the category with this exact name, without adding it to the graph.
  HRESULT AttachFilter(const GUID& category, std::shared_ptr<CGraphFilter>* filter, const char* name);
  // 0 on success, 1 for an undetermined delivery type or no callback, else the failing HRESULT.
  HRESULT BuildGraph(const PARAM_DEVICE& device, LONG bdaType, CSampleGrabberCB* callback);
  HRESULT RunGraph();
  HRESULT StopGraph();
  HRESULT DestroyGraph();

  // Device enumeration over the BDA network tuner category.
  HRESULT FindEnumDevice(ENUM_DEVICE_CALLBACK callback, void* context);

  // Standard BDA properties: setters return the HRESULT, getters the value or 0.
  HRESULT PutLowOscillator(LONG value);
  HRESULT PutHighOscillator(LONG value);
  HRESULT PutLNBSwitch(LONG value);
  HRESULT PutTunerFrequency(LONG value);
  HRESULT PutTunerPolarity(LONG value);
  HRESULT PutTunerInputRange(LONG value);
  HRESULT PutTunerBandwidth(LONG value);
  HRESULT PutTunerFrequencyMultiplier(LONG value);
  HRESULT PutDemodulatorModulation(LONG value);
  HRESULT PutDemodulatorInnerFECRate(LONG value);
  HRESULT PutDemodulatorSymbolRate(LONG value);
  HRESULT PutDemodulatorSpectralInversion(LONG value);
  HRESULT PutDemodulatorPLPNumber(LONG value);
  HRESULT PutEnableDiseqCommands(LONG value);
  HRESULT PutDiseqLNBSource(LONG value);
  HRESULT PutDiseqUseToneBurst(LONG value);
  HRESULT PutDiseqRepeats(LONG value);
  HRESULT PutDiseqSendCommand(ULONG requestId, const BYTE* bytes, ULONG length);
  LONG GetSignalStrength();
  LONG GetSignalQuality();
  LONG GetSignalPresent();
  LONG GetSignalLocked();
  HRESULT StartChanges();
  HRESULT CommitChanges();
  // Sends the record for the device's delivery type; may complete a satellite record's
  // oscillator and switch fields. The commit's HRESULT.
  HRESULT ChangeParameters(PARAM_TUNE& tune);

  // Extension operations; defined with the extensions (src/extensions).
  HRESULT SendDiseqc(const BYTE* message, ULONG length, ULONG repeats, BYTE toneBurst);
  HRESULT SetLnbPower(LONG on);
  HRESULT SetDiseqcPosition(LONG position, LONG toneBurst);
  HRESULT GetHardwareMac(BYTE* mac);
  HRESULT GetSignalEx(LONG* rfLevel, double* snr, double* ber);
  HRESULT SetStreamId(LONG streamId);
  HRESULT SetPls(LONG mode, LONG code);
  HRESULT SetModcode(ULONG modcode);
  LONG S2Modulation();

  // The capability flags; 0 unless the graph is built and not failed.
  LONG GetCaps() const { return (m_built && !m_failed) ? m_caps : 0; }
  bool IsBuilt() const { return m_built; }
  bool IsRunning() const { return m_running; }
  bool IsFailed() const { return m_failed; }
  LONG ExtensionType() const { return m_device.extensionType; }
  LONG NetworkType() const { return m_device.deliveryType; }
  const PARAM_DEVICE& Device() const { return m_device; }
  const PARAM_TUNE& CurrentTuning() const { return m_tune; }
  LONG BdaType() const { return m_bdaType; }

  // The driver interfaces, shared with the extension code. All owned here and released
  // by DestroyGraph.
  std::unique_ptr<CDVBNetworkProviderFilter> m_pNetworkProvider;
  std::shared_ptr<CDeviceEnumerator> m_pDeviceEnum;
  std::shared_ptr<CFilterGraph> m_pGraph;
  bool m_haveMediaControl = false;
  std::shared_ptr<CGraphFilter> m_pNetworkProviderFilter;
  std::shared_ptr<CGraphFilter> m_pTunerDevice;
  std::shared_ptr<CGraphFilter> m_pCaptureDevice;
  std::shared_ptr<CGraphFilter> m_pSampleGrabber;
  std::shared_ptr<CKsPropertySet> m_pKsTunerInputPropSet;    // tuner's first input pin
  std::shared_ptr<CKsPropertySet> m_pKsTunerOutputPropSet;   // tuner's first output pin
  std::shared_ptr<CKsPropertySet> m_pKsTunerPropSet;         // tuner filter
  std::shared_ptr<CKsPropertySet> m_pKsCapturePropSet;       // capture filter
  std::shared_ptr<CKsPropertySet> m_pKsVideoCapturePropSet;  // vendor video-capture filter
  std::shared_ptr<CGraphFilter> m_pVideoCaptureDevice;       // held, never added to the graph
  LONG m_hTTApi = kInvalidApiHandle;                         // Technotrend API handle
  HANDLE m_hPropertyIoctl = INVALID_HANDLE_VALUE;            // tuner's kernel handle
  BYTE m_tunerIndex = 0;
  BYTE m_macEepromOffset = kDefaultMacEepromOffset;
  DWORD m_quarnStreamWord = 0;
  BYTE m_instanceData[kInstanceDataSize] = {};
  PARAM_DEVICE m_device;  // extensionType is the chosen ExtensionType
  PARAM_TUNE m_tune = kDefaultTune;
  LONG m_caps = 0;
  bool m_built = false;
  bool m_running = false;
  bool m_failed = false;
  LONG m_bdaType = 0;

 private:
  HRESULT PutProperty(const char* operation, const std::shared_ptr<CKsPropertySet>& set, const GUID& setId,
                      DWORD id, const void* value, DWORD length, bool toLog);
  LONG GetProperty(const char* operation, DWORD id, bool toLog);
  HRESULT FailBuild(HRESULT hr, const char* text);
  HRESULT WalkCategory(const char* operation, const GUID& category, std::shared_ptr<CGraphFilter>* filter,
                       const std::shared_ptr<CGraphFilter>& upstream, BOOL connectDownstream,
                       const char* name, bool attachOnly);

  std::unique_ptr<CSampleCallback> m_grabberCallback;
};
