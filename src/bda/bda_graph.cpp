#include "bda/bda_graph.h"

#include <cstdio>
#include <cstring>

#include "bda/network_provider.h"
#include "datapath/sample_grabber_cb.h"
#include "platform/bda_guids.h"
#include "tuner/bda_diagnostics.h"

namespace {

void CopyName(char* target, const std::string& source) {
  std::snprintf(target, kDeviceNameSize, "%s", source.c_str());
}

}  // namespace

CBdaGraph::CBdaGraph() = default;

CBdaGraph::~CBdaGraph() {
  if (m_running) StopGraph();
  if (m_built || m_failed) DestroyGraph();
  m_extension.Release();
  m_pGraph.reset();
}

HRESULT CBdaGraph::InitializeGraphBuilder() {
  if (m_pGraph) return S_OK;
  HRESULT hr = DevicePlatform().CreateFilterGraph(&m_pGraph);
  if (FAILED(hr) || !m_pGraph) {
    if (SUCCEEDED(hr)) hr = E_FAIL;
    m_pGraph.reset();
    BdaTrace("InitializeGraphBuilder", "Couldn't CoCreate IGraphBuilder", hr);
    m_failed = true;
    return hr;
  }
  m_failed = false;
  return hr;
}

HRESULT CBdaGraph::LoadNetworkProvider() {
  if (!m_pGraph) return E_POINTER;
  m_pNetworkProvider = std::make_shared<CDVBNetworkProviderFilter>();
  HRESULT hr = DevicePlatform().CreateNetworkProviderFilter(m_pNetworkProvider, &m_pNetworkProviderFilter);
  if (FAILED(hr) || !m_pNetworkProviderFilter) {
    if (SUCCEEDED(hr)) hr = E_FAIL;
    BdaTrace("LoadNetworkProvider", "Couldn't CoCreate Network Provider", hr);
    m_pNetworkProviderFilter.reset();
    return hr;
  }
  return m_pGraph->AddFilter(m_pNetworkProviderFilter, "Network Provider");
}

HRESULT CBdaGraph::LoadSampleGrabber(std::shared_ptr<CGraphFilter>* filter) {
  if (!filter || !m_pGraph) {
    BdaTrace("LoadSampleGrabber", "Invalid pointer LoadSampleGrabber", E_POINTER);
    return E_POINTER;
  }
  HRESULT hr = DevicePlatform().CreateSampleGrabber(filter);
  if (FAILED(hr) || !*filter) {
    if (SUCCEEDED(hr)) hr = E_FAIL;
    BdaTrace("LoadSampleGrabber", "Could not CoCreateInstance CLSID_SampleGrabber", hr);
    filter->reset();
    return hr;
  }
  hr = m_pGraph->AddFilter(*filter, "SampleGrabber");
  if (FAILED(hr)) {
    BdaLog("LoadSampleGrabber", "Unable to add SampleGrabber filter to graph", hr);
    filter->reset();
  }
  return hr;
}

HRESULT CBdaGraph::SetupSampleGrabber(const std::shared_ptr<CGraphFilter>& filter, CSampleGrabberCB* callback) {
  if (!filter || !callback) return E_POINTER;
  std::shared_ptr<CSampleGrabber> grabber;
  HRESULT hr = filter->QuerySampleGrabber(&grabber);
  if (FAILED(hr) || !grabber) {
    if (SUCCEEDED(hr)) hr = E_NOINTERFACE;
    BdaTrace("SetupSampleGrabber", "Could not QueryInterface for SampleGrabber", hr);
    return hr;
  }
  // The whole transport stream, whatever its subtype.
  DS_MEDIA_TYPE type = {kMediaTypeStream, kGuidNull, kGuidNull};
  hr = grabber->SetMediaType(type);
  if (FAILED(hr)) return hr;
  hr = grabber->SetOneShot(FALSE);
  if (FAILED(hr)) return hr;
  hr = grabber->SetBufferSamples(FALSE);
  if (FAILED(hr)) return hr;
  hr = grabber->SetCallback(callback, 0);
  if (FAILED(hr)) BdaLog("SetupSampleGrabber", "Could not SetCallback for SampleGrabber", hr);
  return hr;
}

static HRESULT FindFilterPin(const char* operation, const std::shared_ptr<CGraphFilter>& filter,
                             std::shared_ptr<CGraphPin>* pin, PinDirection direction) {
  if (!filter || !pin) return E_POINTER;
  pin->reset();
  std::vector<std::shared_ptr<CGraphPin>> pins;
  HRESULT hr = filter->EnumPins(&pins);
  if (FAILED(hr)) {
    BdaTrace(operation, "Can't enumerate filter's pins", hr);
    return hr;
  }
  for (const auto& candidate : pins) {
    PIN_INFO_DATA info;
    hr = candidate->QueryPinInfo(&info);
    if (FAILED(hr)) {
      BdaTrace(operation, "Can't obtain filter's pin PIN_INFO", hr);
      return hr;
    }
    if (info.direction == direction) {
      *pin = candidate;
      return S_OK;
    }
  }
  return E_FAIL;
}

HRESULT CBdaGraph::FindFilterInputPin(const std::shared_ptr<CGraphFilter>& filter,
                                      std::shared_ptr<CGraphPin>* pin) {
  return FindFilterPin("FindFilterInputPin", filter, pin, PinDirection::Input);
}

HRESULT CBdaGraph::FindFilterOutputPin(const std::shared_ptr<CGraphFilter>& filter,
                                       std::shared_ptr<CGraphPin>* pin) {
  return FindFilterPin("FindFilterOutputPin", filter, pin, PinDirection::Output);
}

HRESULT CBdaGraph::ConnectFilters(const std::shared_ptr<CGraphFilter>& upstream,
                                  const std::shared_ptr<CGraphFilter>& downstream) {
  if (!upstream || !downstream || !m_pGraph) return E_POINTER;
  std::vector<std::shared_ptr<CGraphPin>> upPins;
  HRESULT hr = upstream->EnumPins(&upPins);
  if (FAILED(hr)) {
    BdaTrace("ConnectFilters", "Cannot Enumerate Upstream Filter's Pins", hr);
    return hr;
  }
  for (const auto& upPin : upPins) {
    PIN_INFO_DATA upInfo;
    hr = upPin->QueryPinInfo(&upInfo);
    if (FAILED(hr)) {
      BdaTrace("ConnectFilters", "Cannot Obtain Upstream Filter's PIN_INFO", hr);
      return hr;
    }
    std::shared_ptr<CGraphPin> peer;
    if (upInfo.direction != PinDirection::Output || upPin->ConnectedTo(&peer) != kVfwENotConnected) continue;

    std::vector<std::shared_ptr<CGraphPin>> downPins;
    hr = downstream->EnumPins(&downPins);
    if (FAILED(hr)) {
      BdaTrace("ConnectFilters", "Cannot enumerate pins on downstream filter!", hr);
      return hr;
    }
    for (const auto& downPin : downPins) {
      PIN_INFO_DATA downInfo;
      if (FAILED(downPin->QueryPinInfo(&downInfo))) continue;
      std::shared_ptr<CGraphPin> downPeer;
      hr = downPin->ConnectedTo(&downPeer);
      if (FAILED(hr) && hr != kVfwENotConnected) {
        BdaTrace("ConnectFilters", "Failed in pIPinDownstream->ConnectedTo()!", hr);
        continue;
      }
      if (downInfo.direction != PinDirection::Input || hr != kVfwENotConnected) continue;
      if (SUCCEEDED(m_pGraph->ConnectDirect(upPin, downPin))) return S_OK;
    }
  }
  return E_FAIL;
}

HRESULT CBdaGraph::WalkCategory(const char* operation, const GUID& category, std::shared_ptr<CGraphFilter>* filter,
                                const std::shared_ptr<CGraphFilter>& upstream, BOOL connectDownstream,
                                const char* name, bool attachOnly) {
  if (!filter) return E_POINTER;
  filter->reset();
  if (!m_pDeviceEnum) {
    HRESULT hr = DevicePlatform().CreateDeviceEnumerator(&m_pDeviceEnum);
    if (FAILED(hr) || !m_pDeviceEnum) {
      if (SUCCEEDED(hr)) hr = E_FAIL;
      BdaTrace(operation, "Cannot CoCreate ICreateDevEnum", hr);
      m_pDeviceEnum.reset();
      return hr;
    }
  }
  std::vector<std::shared_ptr<CDeviceMoniker>> monikers;
  HRESULT hr = m_pDeviceEnum->CreateClassEnumerator(category, &monikers);
  if (FAILED(hr)) {
    BdaTrace(operation, "Cannot CreateClassEnumerator", hr);
    return hr;
  }
  if (hr == S_FALSE) {
    BdaTrace(operation, "Class not found", hr);
    return E_HANDLE;
  }
  const bool tunerCategory = category == kKsCategoryBdaNetworkTuner;
  const bool receiverCategory = category == kKsCategoryBdaReceiverComponent;
  WORD position = 0;
  for (const auto& moniker : monikers) {
    std::shared_ptr<CPropertyBag> bag;
    hr = moniker->BindToStorage(&bag);
    if (FAILED(hr) || !bag) {
      if (SUCCEEDED(hr)) hr = E_FAIL;
      BdaTrace(operation, "Cannot BindToStorage", hr);
      return hr;
    }
    std::string friendlyName;
    hr = bag->Read("FriendlyName", &friendlyName);
    if (FAILED(hr)) {
      BdaTrace(operation, "IPropertyBag->Read method failed", hr);
      continue;
    }
    // Counted as enumeration counts: a moniker without a readable name has no position.
    const WORD current = position++;
    if (attachOnly) {
      if (!name || friendlyName != name) continue;
      std::shared_ptr<CGraphFilter> bound;
      if (FAILED(moniker->BindToObject(&bound)) || !bound) continue;
      *filter = bound;
      return S_OK;
    }
    // The tuner is chosen by its position in the category, as enumeration stored it.
    if (tunerCategory && current != m_device.index) continue;
    // Some drivers list the tuner itself as the receiver component: it feeds the grabber.
    if (receiverCategory && friendlyName == m_device.friendlyName) {
      *filter = upstream;
      return S_OK;
    }
    if (name && friendlyName != name) continue;
    std::shared_ptr<CGraphFilter> bound;
    if (FAILED(moniker->BindToObject(&bound)) || !bound) continue;
    hr = m_pGraph->AddFilter(bound, friendlyName);
    if (FAILED(hr)) {
      BdaLog(operation, "Cannot add filter", hr);
      return hr;
    }
    if (!upstream) {
      *filter = bound;
      return S_OK;
    }
    hr = connectDownstream ? ConnectFilters(upstream, bound) : ConnectFilters(bound, upstream);
    if (SUCCEEDED(hr)) {
      *filter = bound;
      return S_OK;
    }
    hr = m_pGraph->RemoveFilter(bound);
    if (FAILED(hr)) {
      BdaTrace(operation, "Failed unloading Filter", hr);
      return hr;
    }
  }
  return E_HANDLE;
}

HRESULT CBdaGraph::LoadFilter(const GUID& category, std::shared_ptr<CGraphFilter>* filter,
                              const std::shared_ptr<CGraphFilter>& upstream, BOOL connectDownstream,
                              const char* name) {
  if (!m_pGraph) return E_POINTER;
  return WalkCategory("LoadFilter", category, filter, upstream, connectDownstream, name, false);
}

HRESULT CBdaGraph::AttachFilter(const GUID& category, std::shared_ptr<CGraphFilter>* filter, const char* name) {
  return WalkCategory("AttachFilter", category, filter, nullptr, FALSE, name, true);
}

HRESULT CBdaGraph::FailBuild(HRESULT hr, const char* text) {
  BdaLog("BuildGraph", text, hr);
  // Failed first, so that DestroyGraph takes out what this build already added.
  m_failed = true;
  DestroyGraph();
  return hr;
}

HRESULT CBdaGraph::BuildGraph(const PARAM_DEVICE& device, LONG bdaType, CSampleGrabberCB* callback) {
  if (device.deliveryType == kDeliveryUnknown || !callback) return 1;
  m_device = device;
  m_bdaType = bdaType;
  if (FAILED(InitializeGraphBuilder())) return E_FAIL;
  if (m_built) {
    if (m_running) StopGraph();
    DestroyGraph();
  }

  HRESULT hr = LoadNetworkProvider();
  if (FAILED(hr)) return FailBuild(hr, "Cannot load network provider");

  hr = LoadFilter(kKsCategoryBdaNetworkTuner, &m_pTunerDevice, m_pNetworkProviderFilter, TRUE, nullptr);
  if (FAILED(hr)) return FailBuild(hr, "Cannot load TunerDevice and connect NetworkProvider");

  if (FAILED(hr = m_pTunerDevice->QueryPropertySet(&m_pKsTunerPropSet)))
    BdaTrace("BuildGraph", "m_pTunerDevice->QI: Can't QI for IKsPropertySet", hr);
  std::shared_ptr<CGraphPin> pin;
  if (SUCCEEDED(FindFilterInputPin(m_pTunerDevice, &pin)) && pin) {
    if (FAILED(hr = pin->QueryPropertySet(&m_pKsTunerInputPropSet)))
      BdaTrace("BuildGraph", "pIPinTunerInput->QI: Can't QI for IKsPropertySet", hr);
  } else {
    BdaTrace("BuildGraph", "pIPinTunerInput->QI: Can't QI for IKsPropertySet", E_NOINTERFACE);
  }
  if (SUCCEEDED(FindFilterOutputPin(m_pTunerDevice, &pin)) && pin) {
    if (FAILED(hr = pin->QueryPropertySet(&m_pKsTunerOutputPropSet)))
      BdaTrace("BuildGraph", "pIPinTunerOutput->QI: Can't QI for IKsPropertySet", hr);
  } else {
    BdaTrace("BuildGraph", "pIPinTunerOutput->QI: Can't QI for IKsPropertySet", E_NOINTERFACE);
  }

  hr = LoadSampleGrabber(&m_pSampleGrabber);
  if (FAILED(hr)) return FailBuild(hr, "Cannot load Full-TS SampleGrabber");
  hr = SetupSampleGrabber(m_pSampleGrabber, callback);
  if (FAILED(hr)) return FailBuild(hr, "Cannot setup Full-TS SampleGrabber callback");

  if (SUCCEEDED(ConnectFilters(m_pTunerDevice, m_pSampleGrabber))) {
    m_device.captureName[0] = 0;
  } else {
    hr = LoadFilter(kKsCategoryBdaReceiverComponent, &m_pCaptureDevice, m_pTunerDevice, TRUE, nullptr);
    if (FAILED(hr)) return FailBuild(hr, "Cannot load CaptureDevice and connect TunerDevice");
    // A tuner listed as its own receiver component comes back as m_pTunerDevice itself.
    if (FAILED(hr = m_pCaptureDevice->QueryPropertySet(&m_pKsCapturePropSet)))
      BdaTrace("BuildGraph", "m_pCaptureDevice->QI: Can't QI for IKsPropertySet", hr);
    std::string captureName;
    m_pCaptureDevice->QueryFilterInfo(&captureName);
    CopyName(m_device.captureName, captureName);
    hr = ConnectFilters(m_pCaptureDevice, m_pSampleGrabber);
    if (FAILED(hr)) return FailBuild(hr, "Cannot connect Full-TS SampleGrabber to CaptureDevice");
  }

  EXTENSION_DEVICE extDevice;
  extDevice.networkType = m_device.deliveryType;
  extDevice.friendlyName = m_device.friendlyName;
  extDevice.extensionTypeHint = m_device.extensionType;
  extDevice.ttDeviceClass = m_device.ttDeviceClass;
  extDevice.ttDeviceIndex = m_device.tunerPinMedium;
  EXTENSION_INTERFACES interfaces;
  interfaces.tunerInput = m_pKsTunerInputPropSet.get();
  interfaces.tunerOutput = m_pKsTunerOutputPropSet.get();
  interfaces.tuner = m_pKsTunerPropSet.get();
  interfaces.capture = m_pKsCapturePropSet.get();
  m_extension.Select(extDevice, interfaces, bdaType, *this, m_properties);
  m_device.extensionType = m_extension.ExtensionType();

  m_built = true;
  m_failed = false;
  return 0;
}

HRESULT CBdaGraph::RunGraph() {
  if (m_running) return S_OK;
  if (!m_pGraph) return E_POINTER;
  m_haveMediaControl = true;
  HRESULT hr = m_pGraph->Run();
  if (FAILED(hr)) {
    m_pGraph->Stop();
    BdaLog("RunGraph", "Cannot run graph", hr);
    m_running = false;
    return hr;
  }
  m_running = true;
  PutTunerInputRange(-1);
  return hr;
}

HRESULT CBdaGraph::StopGraph() {
  if (!m_running) return S_OK;
  if (!m_haveMediaControl || !m_pGraph) return E_POINTER;
  HRESULT hr = m_pGraph->Pause();
  FilterState state;
  m_pGraph->GetState(kInfinite, &state);
  // Detach the callback before the stop, so no sample reaches the data path afterwards.
  std::shared_ptr<CSampleGrabber> grabber;
  HRESULT qi = m_pSampleGrabber ? m_pSampleGrabber->QuerySampleGrabber(&grabber) : E_NOINTERFACE;
  if (FAILED(qi) || !grabber) {
    BdaTrace("StopGraph", "Could not QueryInterface for SampleGrabber", FAILED(qi) ? qi : E_NOINTERFACE);
  } else {
    HRESULT cb = grabber->SetCallback(nullptr, 0);
    if (FAILED(cb)) BdaLog("StopGraph", "Could not SetCallback for SampleGrabber", cb);
  }
  hr = m_pGraph->StopWhenReady();
  m_running = FAILED(hr);
  return hr;
}

HRESULT CBdaGraph::DestroyGraph() {
  m_haveMediaControl = false;
  m_pDeviceEnum.reset();
  if ((m_built || m_failed) && m_pGraph) {
    m_extension.Release();
    m_pKsTunerPropSet.reset();
    m_pKsCapturePropSet.reset();
    m_pKsTunerInputPropSet.reset();
    m_pKsVideoCapturePropSet.reset();
    m_pVideoCaptureDevice.reset();
    m_pKsTunerOutputPropSet.reset();
    // The tuner may double as the capture device; it leaves the graph once.
    if (m_pCaptureDevice == m_pTunerDevice) m_pCaptureDevice.reset();
    for (auto* filter : {&m_pCaptureDevice, &m_pSampleGrabber, &m_pTunerDevice, &m_pNetworkProviderFilter}) {
      if (*filter) m_pGraph->RemoveFilter(*filter);
      filter->reset();
    }
    m_pNetworkProvider.reset();
  }
  m_built = false;
  return S_OK;
}

// Extension operations: the extension object answers E_FAIL itself before selection and
// after release; a failed build leaves it released.
HRESULT CBdaGraph::SendDiseqc(const BYTE* message, ULONG length, ULONG repeats, BYTE toneBurst) {
  return m_extension.SendDiseqc(message, length, repeats, toneBurst);
}
HRESULT CBdaGraph::SetLnbPower(ULONG on) { return m_extension.SetLnbPower(on); }
HRESULT CBdaGraph::SetDiseqcPosition(ULONG position, ULONG toneBurst) {
  return m_extension.SetDiseqcPosition(position, toneBurst);
}
HRESULT CBdaGraph::GetHardwareMac(BYTE* mac) { return m_extension.GetHardwareMac(mac); }
HRESULT CBdaGraph::GetSignalEx(LONG* rfLevel, double* snr, double* ber) {
  return m_extension.GetSignalEx(rfLevel, snr, ber);
}
HRESULT CBdaGraph::SetStreamId(LONG streamId) { return m_extension.SetStreamId(streamId); }
HRESULT CBdaGraph::SetPls(ULONG mode, ULONG code) { return m_extension.SetPls(mode, code); }
HRESULT CBdaGraph::SetModcode(ULONG modcode) { return m_extension.SetModcode(modcode); }
LONG CBdaGraph::S2Modulation() const { return m_extension.S2Modulation(); }
LONG CBdaGraph::GetCaps() const {
  return (m_built && !m_failed) ? static_cast<LONG>(m_extension.GetCaps()) : 0;
}
const char* CBdaGraph::ExtensionName() const { return ExtensionDisplayName(m_device.extensionType); }

HRESULT CBdaGraph::GetTunerKernelHandle(HANDLE* handle) {
  if (!handle) return E_POINTER;
  *handle = INVALID_HANDLE_VALUE;
  if (!m_pTunerDevice) return E_NOINTERFACE;
  return m_pTunerDevice->KsGetObjectHandle(handle);
}

HRESULT CBdaGraph::AttachVideoCapture(const char* name, CKsPropertySet** propertySet) {
  if (!propertySet) return E_POINTER;
  *propertySet = nullptr;
  std::shared_ptr<CGraphFilter> filter;
  HRESULT hr = AttachFilter(kVideoInputDeviceCategory, &filter, name);
  if (FAILED(hr)) return hr;
  // Attached even without a property set: the extension reports that loss itself.
  std::shared_ptr<CKsPropertySet> set;
  if (FAILED(filter->QueryPropertySet(&set))) set.reset();
  m_pVideoCaptureDevice = filter;
  m_pKsVideoCapturePropSet = set;
  *propertySet = set.get();
  return S_OK;
}

std::vector<std::string> CBdaGraph::FindDevicePaths(const GUID& category, const std::string& friendlyName) {
  std::vector<std::string> paths;
  std::shared_ptr<CDeviceEnumerator> enumerator = m_pDeviceEnum;
  if (!enumerator && FAILED(DevicePlatform().CreateDeviceEnumerator(&enumerator))) return paths;
  std::vector<std::shared_ptr<CDeviceMoniker>> monikers;
  if (!enumerator || enumerator->CreateClassEnumerator(category, &monikers) != S_OK) return paths;
  for (const auto& moniker : monikers) {
    std::shared_ptr<CPropertyBag> bag;
    std::string name, path;
    if (FAILED(moniker->BindToStorage(&bag)) || !bag) continue;
    if (FAILED(bag->Read("FriendlyName", &name)) || name != friendlyName) continue;
    if (SUCCEEDED(bag->Read("DevicePath", &path))) paths.push_back(path);
  }
  return paths;
}
