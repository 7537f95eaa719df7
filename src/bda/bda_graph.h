// CBdaGraph: the filter graph of the selected device and every interface to its driver.
// Network provider -> tuner -> [receiver component] -> sample grabber; all tuning and
// every vendor extension talk to the driver through the property sets held here.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "bda/bda_types.h"
#include "extensions/extension_select.h"
#include "platform/device_platform.h"
#include "tuner/tuner_properties.h"

class CSampleGrabberCB;
class CDVBNetworkProviderFilter;

// Called once per accepted tuner; a failure HRESULT stops the enumeration.
using ENUM_DEVICE_CALLBACK = HRESULT (*)(PARAM_DEVICE* device, void* context);

class CBdaGraph : public CExtensionHost {
 public:
  CBdaGraph();
  ~CBdaGraph() override;
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

  // Standard BDA properties (the tuner's, below): setters return the HRESULT, getters the
  // value or 0.
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

  // Extension operations, served by the extension chosen at build time; E_FAIL (caps 0)
  // unless the graph is built and not failed.
  HRESULT SendDiseqc(const BYTE* message, ULONG length, ULONG repeats, BYTE toneBurst);
  HRESULT SetLnbPower(ULONG on);
  HRESULT SetDiseqcPosition(ULONG position, ULONG toneBurst);
  HRESULT GetHardwareMac(BYTE* mac);
  HRESULT GetSignalEx(LONG* rfLevel, double* snr, double* ber);
  HRESULT SetStreamId(LONG streamId);
  HRESULT SetPls(ULONG mode, ULONG code);
  HRESULT SetModcode(ULONG modcode);
  LONG S2Modulation() const;
  LONG GetCaps() const;
  const char* ExtensionName() const;
  CExtension& Extension() { return m_extension; }

  // CExtensionHost.
  HRESULT GetTunerKernelHandle(HANDLE* handle) override;
  HRESULT AttachVideoCapture(const char* name, CKsPropertySet** propertySet) override;
  std::vector<std::string> FindDevicePaths(const GUID& category, const std::string& friendlyName) override;

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
  std::shared_ptr<CDVBNetworkProviderFilter> m_pNetworkProvider;
  std::shared_ptr<CDeviceEnumerator> m_pDeviceEnum;
  std::shared_ptr<CFilterGraph> m_pGraph;
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
  // The Technotrend handle, the kernel handle, tuner index, MAC EEPROM offset and the
  // Quarn stream word live in the extension object, which settles them.
  CExtension m_extension;

 private:
  // The standard properties over the tuner and its pins' property sets above; the
  // extension sets some of them too.
  CTunerProperties m_properties{m_pTunerDevice, m_pKsTunerInputPropSet, m_pKsTunerOutputPropSet};
  // The graph's state: changed only by building, running, stopping and destroying.
  PARAM_DEVICE m_device;  // extensionType is the chosen ExtensionType
  PARAM_TUNE m_tune = kDefaultTune;
  bool m_built = false;
  bool m_running = false;
  bool m_failed = false;
  bool m_haveMediaControl = false;
  LONG m_bdaType = 0;

  HRESULT PutProperty(const char* operation, const std::shared_ptr<CKsPropertySet>& set, const GUID& setId,
                      DWORD id, const void* value, DWORD length, bool toLog);
  LONG GetProperty(const char* operation, DWORD id, bool toLog);
  HRESULT FailBuild(HRESULT hr, const char* text);
  HRESULT WalkCategory(const char* operation, const GUID& category, std::shared_ptr<CGraphFilter>* filter,
                       const std::shared_ptr<CGraphFilter>& upstream, BOOL connectDownstream,
                       const char* name, bool attachOnly);
};
