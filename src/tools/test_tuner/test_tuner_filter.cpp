#ifdef _WIN32
#include "tools/test_tuner/test_tuner_filter.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <string>

namespace {

constexpr LONG kBuffers = 4;
// {0F6417D6-C318-11D0-A43F-00A0C9223196}
constexpr GUID kFormatNone = {0x0F6417D6, 0xC318, 0x11D0, {0xA4, 0x3F, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};

using CTypeEnum = CListEnum<IEnumMediaTypes, AM_MEDIA_TYPE, AM_MEDIA_TYPE*, CServerObject>;
using CPinEnum = CListEnum<IEnumPins, IPin*, IPin*, CServerObject>;

}  // namespace

std::atomic<long>& TestTunerObjects() {
  static std::atomic<long> objects{0};
  return objects;
}

// ---- pins ----

CTestTunerPin::CTestTunerPin(CTestTunerFilter* filter, std::shared_ptr<CEmuPin> pin, int number)
    : CBasePin(filter), m_pin(std::move(pin)), m_number(number) {}

CTestTunerPin::~CTestTunerPin() { BreakConnection(); }

CTestTunerFilter* CTestTunerPin::Owner() const { return static_cast<CTestTunerFilter*>(m_filter); }

STDMETHODIMP CTestTunerPin::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  const bool input = m_pin->Direction() == PinDirection::Input;
  if (riid == IID_IUnknown || riid == IID_IPin) *ppv = static_cast<IPin*>(this);
  else if (riid == IID_IMemInputPin && input) *ppv = static_cast<IMemInputPin*>(this);
  else if (riid == IID_IKsPropertySet && m_pin->propertySet) *ppv = static_cast<IKsPropertySet*>(this);
  else if (riid == kIidKsPin) *ppv = static_cast<ITestKsPin*>(this);
  else return E_NOINTERFACE;
  AddRef();
  return S_OK;
}

AM_MEDIA_TYPE CTestTunerPin::OwnType() const {
  AM_MEDIA_TYPE type = {};
  if (!m_pin->proposed.empty()) {
    type.majortype = m_pin->proposed[0].majorType;
    type.subtype = m_pin->proposed[0].subType;
    type.formattype = m_pin->proposed[0].formatType == kGuidNull ? kFormatNone : m_pin->proposed[0].formatType;
  }
  type.bFixedSizeSamples = TRUE;
  type.lSampleSize = m_pin->Direction() == PinDirection::Output ? 188 : 0;
  return type;
}

STDMETHODIMP CTestTunerPin::QueryAccept(const AM_MEDIA_TYPE* mediaType) {
  if (!mediaType) return E_POINTER;
  if (!m_pin->accept) return S_OK;
  return m_pin->accept(ToDsMediaType(*mediaType)) == S_OK ? S_OK : S_FALSE;
}

STDMETHODIMP CTestTunerPin::EnumMediaTypes(IEnumMediaTypes** types) {
  if (!types) return E_POINTER;
  std::vector<AM_MEDIA_TYPE> list;
  if (!m_pin->proposed.empty()) list.push_back(OwnType());
  *types = new CTypeEnum(std::move(list), 0);
  return S_OK;
}

HRESULT CTestTunerPin::AttemptConnection(IPin* receivePin, const AM_MEDIA_TYPE& type) {
  if (QueryAccept(&type) != S_OK) return VFW_E_TYPE_NOT_ACCEPTED;
  HRESULT hr = receivePin->ReceiveConnection(this, &type);
  if (FAILED(hr)) return hr;
  IMemInputPin* input = nullptr;
  hr = receivePin->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&input));
  if (SUCCEEDED(hr) && input) {
    hr = DecideAllocator(input);
  } else {
    hr = VFW_E_NO_TRANSPORT;
  }
  if (FAILED(hr)) {
    // Undo exactly what succeeded: the receiver's side, then ours.
    if (input) input->Release();
    receivePin->Disconnect();
    return hr;
  }
  m_connected = receivePin;
  m_connected->AddRef();
  m_input = input;
  m_type = type;
  return S_OK;
}

HRESULT CTestTunerPin::DecideAllocator(IMemInputPin* input) {
  const DWORD sampleSize = Owner()->Device()->Description().sampleSize;
  ALLOCATOR_PROPERTIES wanted = AllocatorRequirements(input);
  wanted.cBuffers = std::max(wanted.cBuffers, kBuffers);
  wanted.cbBuffer = std::max<LONG>(wanted.cbBuffer, static_cast<LONG>(sampleSize));
  return ::DecideAllocator(input, [&](IMemAllocator* allocator) {
    ALLOCATOR_PROPERTIES actual = {};
    HRESULT hr = allocator->SetProperties(&wanted, &actual);
    if (FAILED(hr)) return hr;
    if (actual.cbBuffer < 188) return E_FAIL;  // not one packet: unsuitable
    hr = input->NotifyAllocator(allocator, FALSE);
    if (FAILED(hr)) return hr;
    allocator->AddRef();
    m_allocator = allocator;
    m_bufferSize = actual.cbBuffer - actual.cbBuffer % 188;
    return S_OK;
  });
}

STDMETHODIMP CTestTunerPin::Connect(IPin* receivePin, const AM_MEDIA_TYPE* mediaType) {
  if (!receivePin) return E_POINTER;
  if (m_pin->Direction() != PinDirection::Output) return E_UNEXPECTED;
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  if (m_connected) return VFW_E_ALREADY_CONNECTED;
  if (m_filter->State() != State_Stopped) return VFW_E_NOT_STOPPED;
  AM_MEDIA_TYPE own = OwnType();
  if (mediaType) {
    // A partial type is completed from ours where it leaves members open.
    AM_MEDIA_TYPE type = own;
    if (mediaType->majortype != GUID_NULL) type.majortype = mediaType->majortype;
    if (mediaType->subtype != GUID_NULL) type.subtype = mediaType->subtype;
    if (mediaType->formattype != GUID_NULL) type.formattype = mediaType->formattype;
    if (mediaType->formattype != GUID_NULL && mediaType->cbFormat) return VFW_E_TYPE_NOT_ACCEPTED;
    return AttemptConnection(receivePin, type);
  }
  HRESULT hr = AttemptConnection(receivePin, own);
  return FAILED(hr) && hr != VFW_E_NO_TRANSPORT ? VFW_E_NO_ACCEPTABLE_TYPES : hr;
}

STDMETHODIMP CTestTunerPin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* mediaType) {
  if (!connector || !mediaType) return E_POINTER;
  if (m_pin->Direction() != PinDirection::Input) return E_UNEXPECTED;
  {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (m_connected) return VFW_E_ALREADY_CONNECTED;
    if (m_filter->State() != State_Stopped) return VFW_E_NOT_STOPPED;
    if (QueryAccept(mediaType) != S_OK) return VFW_E_TYPE_NOT_ACCEPTED;
    PIN_DIRECTION direction;
    if (FAILED(connector->QueryDirection(&direction)) || direction != PINDIR_OUTPUT) return VFW_E_INVALID_DIRECTION;
    m_connected = connector;
    m_connected->AddRef();
    m_type = *mediaType;
    m_type.cbFormat = 0;
    m_type.pbFormat = nullptr;
    m_type.pUnk = nullptr;
  }
  // A BDA tuner registers with the network provider it is connected to; the provider
  // calls back into the topology, so no lock of ours is held meanwhile.
  RegisterWithProvider(connector);
  return S_OK;
}

void CTestTunerPin::RegisterWithProvider(IPin* connector) {
  PIN_INFO info = {};
  if (FAILED(connector->QueryPinInfo(&info)) || !info.pFilter) return;
  IBDA_NetworkProvider* provider = nullptr;
  if (SUCCEEDED(info.pFilter->QueryInterface(__uuidof(IBDA_NetworkProvider), reinterpret_cast<void**>(&provider))) &&
      provider) {
    ULONG registration = 0;
    HRESULT hr = provider->RegisterDeviceFilter(m_filter->AsFilter(), &registration);
    // Recorded as the emulated tuner records it, so both call records compare.
    BDA_CALL call;
    call.object = "topology";
    call.kind = "RegisterDeviceFilter";
    call.id = registration;
    call.result = hr;
    Owner()->Device()->Record(std::move(call));
    if (SUCCEEDED(hr)) Owner()->Device()->CountRegistration();
    provider->Release();
  }
  info.pFilter->Release();
}

void CTestTunerPin::BreakConnection() {
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  if (m_allocator) m_allocator->Release();
  m_allocator = nullptr;
  if (m_input) m_input->Release();
  m_input = nullptr;
  if (m_connected) m_connected->Release();
  m_connected = nullptr;
  FreeMediaTypeContents(m_type);
  m_type = AM_MEDIA_TYPE{};
  m_bufferSize = 0;
}

STDMETHODIMP CTestTunerPin::QueryPinInfo(PIN_INFO* info) {
  if (!info) return E_POINTER;
  PIN_INFO_DATA data;
  m_pin->QueryPinInfo(&data);
  info->pFilter = m_filter->AsFilter();
  info->pFilter->AddRef();
  info->dir = m_pin->Direction() == PinDirection::Output ? PINDIR_OUTPUT : PINDIR_INPUT;
  MultiByteToWideChar(CP_ACP, 0, data.name.c_str(), -1, info->achName, MAX_PIN_NAME);
  info->achName[MAX_PIN_NAME - 1] = 0;
  return S_OK;
}

STDMETHODIMP CTestTunerPin::QueryId(LPWSTR* id) {
  if (!id) return E_POINTER;
  return CoTaskMemText(std::to_wstring(m_number), id);
}

STDMETHODIMP CTestTunerPin::GetAllocator(IMemAllocator** allocator) {
  if (!allocator) return E_POINTER;
  *allocator = nullptr;
  return CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                          reinterpret_cast<void**>(allocator));
}

STDMETHODIMP CTestTunerPin::NotifyAllocator(IMemAllocator* allocator, BOOL) {
  if (!allocator) return E_POINTER;
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  allocator->AddRef();
  if (m_allocator) m_allocator->Release();
  m_allocator = allocator;
  return S_OK;
}

STDMETHODIMP CTestTunerPin::ReceiveMultiple(IMediaSample**, LONG, LONG* done) {
  if (!done) return E_POINTER;
  *done = 0;
  return S_FALSE;
}

STDMETHODIMP CTestTunerPin::Set(REFGUID set, DWORD id, LPVOID instance, DWORD instanceLength, LPVOID data,
                                DWORD dataLength) {
  return m_pin->propertySet ? m_pin->propertySet->Set(set, id, instance, instanceLength, data, dataLength)
                            : E_NOTIMPL;
}

STDMETHODIMP CTestTunerPin::Get(REFGUID set, DWORD id, LPVOID instance, DWORD instanceLength, LPVOID data,
                                DWORD dataLength, DWORD* returned) {
  return m_pin->propertySet
             ? m_pin->propertySet->Get(set, id, instance, instanceLength, data, dataLength, returned)
             : E_NOTIMPL;
}

STDMETHODIMP CTestTunerPin::QuerySupported(REFGUID set, DWORD id, DWORD* support) {
  return m_pin->propertySet ? m_pin->propertySet->QuerySupported(set, id, support) : E_NOTIMPL;
}

STDMETHODIMP CTestTunerPin::KsQueryMediums(PKSMULTIPLE_ITEM* mediumList) {
  if (!mediumList) return E_POINTER;
  std::vector<KS_PIN_MEDIUM> mediums;
  m_pin->KsQueryMediums(&mediums);
  const ULONG size = static_cast<ULONG>(sizeof(KSMULTIPLE_ITEM) + mediums.size() * sizeof(REGPINMEDIUM));
  auto* list = static_cast<PKSMULTIPLE_ITEM>(CoTaskMemAlloc(size));
  if (!list) return E_OUTOFMEMORY;
  list->Size = size;
  list->Count = static_cast<ULONG>(mediums.size());
  auto* items = reinterpret_cast<REGPINMEDIUM*>(list + 1);
  for (size_t i = 0; i < mediums.size(); ++i) items[i] = REGPINMEDIUM{mediums[i].set, mediums[i].id, mediums[i].flags};
  *mediumList = list;
  return S_OK;
}

HRESULT CTestTunerPin::Active() {
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  // The input's allocator is the provider's to commit.
  if (m_pin->Direction() != PinDirection::Output || !m_allocator) return S_OK;
  return m_allocator->Commit();
}

void CTestTunerPin::Inactive() {
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  if (m_pin->Direction() == PinDirection::Output && m_allocator) m_allocator->Decommit();
}

void CTestTunerPin::Deliver(double sampleTime, const MEDIA_SAMPLE_INFO& sample) {
  // Connections change only while stopped, and the streaming thread runs only while
  // running, so these are stable here.
  IMemAllocator* allocator = m_allocator;
  IMemInputPin* input = m_input;
  if (!allocator || !input || m_bufferSize <= 0) return;
  DWORD offset = 0;
  // A sample larger than the allocator's buffers goes in several, none of its bytes lost.
  do {
    IMediaSample* out = nullptr;
    if (FAILED(allocator->GetBuffer(&out, nullptr, nullptr, 0)) || !out) return;  // decommitted: stopping
    BYTE* buffer = nullptr;
    const DWORD length = std::min<DWORD>(sample.actualLength - offset, static_cast<DWORD>(m_bufferSize));
    if (SUCCEEDED(out->GetPointer(&buffer)) && buffer) {
      if (sample.data && length) std::memcpy(buffer, sample.data + offset, length);
      out->SetActualDataLength(static_cast<LONG>(length));
      out->SetPreroll(sample.preroll ? TRUE : FALSE);
      out->SetDiscontinuity(sample.discontinuity && offset == 0 ? TRUE : FALSE);
      out->SetSyncPoint(TRUE);
      REFERENCE_TIME start = static_cast<REFERENCE_TIME>(sampleTime * 1e7), end = start + 1;
      out->SetTime(&start, &end);
      input->Receive(out);
    }
    out->Release();
    offset += length;
  } while (offset < sample.actualLength);
}

// ---- filter ----

CTestTunerFilter::CTestTunerFilter(const CLSID& clsid, std::shared_ptr<CEmulatedBdaDevice> device)
    : CBaseFilter(clsid), m_tuner(std::make_shared<CEmuTunerFilter>(std::move(device))) {
  ++TestTunerObjects();
}

CTestTunerFilter::~CTestTunerFilter() {
  m_tuner->StopStreaming();
  for (auto& pin : m_pins) pin->Inactive();
  m_pins.clear();
  OnTestTunerFilterReleased();
  --TestTunerObjects();
}

STDMETHODIMP CTestTunerFilter::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  const EMULATED_DEVICE_DESC& d = Device()->Description();
  if (riid == IID_IUnknown || riid == IID_IBaseFilter || riid == IID_IMediaFilter || riid == IID_IPersist)
    *ppv = static_cast<IBaseFilter*>(this);
  else if (riid == __uuidof(IBDA_Topology)) *ppv = static_cast<IBDA_Topology*>(this);
  else if (riid == __uuidof(IBDA_DeviceControl) && d.deviceControl) *ppv = static_cast<IBDA_DeviceControl*>(this);
  else if (riid == IID_IKsPropertySet && m_tuner->filterPropertySet) *ppv = static_cast<IKsPropertySet*>(this);
  else if (riid == __uuidof(IBDA_FrequencyFilter)) *ppv = static_cast<IBDA_FrequencyFilter*>(this);
  else if (riid == __uuidof(IBDA_SignalStatistics)) *ppv = static_cast<IBDA_SignalStatistics*>(this);
  else return E_NOINTERFACE;
  AddRef();
  return S_OK;
}

std::vector<CTestTunerPin*> CTestTunerFilter::Pins() {
  std::lock_guard<std::recursive_mutex> guard(m_filterLock);
  const auto& emulated = m_tuner->Pins();
  for (size_t i = m_pins.size(); i < emulated.size(); ++i)
    m_pins.push_back(std::make_unique<CTestTunerPin>(this, emulated[i], static_cast<int>(i)));
  std::vector<CTestTunerPin*> pins;
  for (auto& pin : m_pins) pins.push_back(pin.get());
  return pins;
}

STDMETHODIMP CTestTunerFilter::Stop() {
  std::lock_guard<std::recursive_mutex> guard(m_filterLock);
  // Decommitted first, so a streaming thread waiting for a buffer lets go.
  for (CTestTunerPin* pin : Pins()) pin->Inactive();
  m_tuner->StopStreaming();
  m_state = State_Stopped;
  return S_OK;
}

STDMETHODIMP CTestTunerFilter::Pause() {
  std::lock_guard<std::recursive_mutex> guard(m_filterLock);
  if (m_state == State_Stopped) {
    for (CTestTunerPin* pin : Pins()) {
      HRESULT hr = pin->Active();
      if (FAILED(hr)) return hr;
    }
  }
  // A live source delivers only while running.
  m_tuner->StopStreaming();
  m_state = State_Paused;
  return S_OK;
}

STDMETHODIMP CTestTunerFilter::Run(REFERENCE_TIME) {
  std::lock_guard<std::recursive_mutex> guard(m_filterLock);
  if (m_state == State_Stopped) {
    HRESULT hr = Pause();
    if (FAILED(hr)) return hr;
  }
  for (CTestTunerPin* pin : Pins()) {
    if (pin->Emulated()->Direction() != PinDirection::Output) continue;
    IPin* peer = nullptr;
    if (SUCCEEDED(pin->ConnectedTo(&peer)) && peer) {
      peer->Release();
      m_tuner->StartStreaming([pin](double time, const MEDIA_SAMPLE_INFO& sample) { pin->Deliver(time, sample); });
    }
    break;
  }
  m_state = State_Running;
  return S_OK;
}

STDMETHODIMP CTestTunerFilter::EnumPins(IEnumPins** pins) {
  if (!pins) return E_POINTER;
  std::vector<IPin*> list;
  for (CTestTunerPin* pin : Pins()) list.push_back(static_cast<IPin*>(pin));
  *pins = new CPinEnum(std::move(list), 0);
  return S_OK;
}

STDMETHODIMP CTestTunerFilter::FindPin(LPCWSTR id, IPin** pin) {
  if (!id || !pin) return E_POINTER;
  *pin = nullptr;
  for (CTestTunerPin* candidate : Pins()) {
    LPWSTR own = nullptr;
    if (FAILED(candidate->QueryId(&own))) continue;
    bool same = std::wcscmp(own, id) == 0;
    CoTaskMemFree(own);
    if (same) {
      *pin = static_cast<IPin*>(candidate);
      (*pin)->AddRef();
      return S_OK;
    }
  }
  return VFW_E_NOT_FOUND;
}

STDMETHODIMP CTestTunerFilter::GetNodeTypes(ULONG* count, ULONG maxCount, ULONG types[]) {
  if (!count) return E_POINTER;
  const auto& nodes = Device()->Description().nodes;
  *count = static_cast<ULONG>(nodes.size());
  if (nodes.size() > maxCount) return E_INVALIDARG;
  for (ULONG i = 0; i < *count; ++i)
    if (types) types[i] = i;
  return S_OK;
}

STDMETHODIMP CTestTunerFilter::GetNodeDescriptors(ULONG* count, ULONG maxCount, BDANODE_DESCRIPTOR descriptors[]) {
  if (!count) return E_POINTER;
  std::vector<BDA_NODE_INFO> nodes(std::max<ULONG>(maxCount, 1));
  HRESULT hr = m_tuner->GetNodeDescriptors(count, maxCount, nodes.data());
  if (SUCCEEDED(hr) && descriptors)
    for (ULONG i = 0; i < *count && i < maxCount; ++i)
      descriptors[i] = BDANODE_DESCRIPTOR{nodes[i].nodeType, nodes[i].function, nodes[i].name};
  return hr;
}

STDMETHODIMP CTestTunerFilter::GetNodeInterfaces(ULONG nodeType, ULONG* count, ULONG maxCount, GUID interfaces[]) {
  if (!count) return E_POINTER;
  if (nodeType >= Device()->Description().nodes.size()) return E_INVALIDARG;
  // The first node tunes, the others demodulate and report the signal.
  const GUID tuner[] = {__uuidof(IBDA_FrequencyFilter), __uuidof(IBDA_SignalStatistics)};
  const GUID demodulator[] = {__uuidof(IBDA_SignalStatistics)};
  const GUID* list = nodeType == 0 ? tuner : demodulator;
  *count = nodeType == 0 ? 2 : 1;
  if (*count > maxCount) return E_INVALIDARG;
  for (ULONG i = 0; i < *count; ++i)
    if (interfaces) interfaces[i] = list[i];
  return S_OK;
}

STDMETHODIMP CTestTunerFilter::GetPinTypes(ULONG* count, ULONG maxCount, ULONG types[]) {
  return m_tuner->GetPinTypes(count, maxCount, types);
}

STDMETHODIMP CTestTunerFilter::GetTemplateConnections(ULONG* count, ULONG, BDA_TEMPLATE_CONNECTION[]) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

STDMETHODIMP CTestTunerFilter::CreatePin(ULONG pinType, ULONG* pinId) {
  std::lock_guard<std::recursive_mutex> guard(m_filterLock);
  HRESULT hr = m_tuner->CreatePin(pinType, pinId);
  Pins();  // the new pin gets its shell
  return hr;
}

STDMETHODIMP CTestTunerFilter::CreateTopology(ULONG inputPinId, ULONG outputPinId) {
  return m_tuner->CreateTopology(inputPinId, outputPinId);
}

STDMETHODIMP CTestTunerFilter::GetControlNode(ULONG, ULONG, ULONG nodeType, IUnknown** node) {
  if (!node) return E_POINTER;
  *node = nullptr;
  if (nodeType >= Device()->Description().nodes.size()) return E_INVALIDARG;
  // Every node's interfaces are answered by the filter itself.
  *node = static_cast<IBaseFilter*>(this);
  AddRef();
  return S_OK;
}

STDMETHODIMP CTestTunerFilter::StartChanges() { return m_tuner->StartChanges(); }
STDMETHODIMP CTestTunerFilter::CheckChanges() { return m_tuner->CheckChanges(); }
STDMETHODIMP CTestTunerFilter::CommitChanges() { return m_tuner->CommitChanges(); }
STDMETHODIMP CTestTunerFilter::GetChangeState(ULONG* state) {
  if (!state) return E_POINTER;
  *state = 0;  // BDA_CHANGES_COMPLETE
  return S_OK;
}

STDMETHODIMP CTestTunerFilter::Set(REFGUID set, DWORD id, LPVOID instance, DWORD instanceLength, LPVOID data,
                                   DWORD dataLength) {
  return m_tuner->filterPropertySet->Set(set, id, instance, instanceLength, data, dataLength);
}

STDMETHODIMP CTestTunerFilter::Get(REFGUID set, DWORD id, LPVOID instance, DWORD instanceLength, LPVOID data,
                                   DWORD dataLength, DWORD* returned) {
  return m_tuner->filterPropertySet->Get(set, id, instance, instanceLength, data, dataLength, returned);
}

STDMETHODIMP CTestTunerFilter::QuerySupported(REFGUID set, DWORD id, DWORD* support) {
  return m_tuner->filterPropertySet->QuerySupported(set, id, support);
}

std::shared_ptr<CKsPropertySet> CTestTunerFilter::InputSet() {
  std::shared_ptr<CEmuPin> input = m_tuner->FirstPin(PinDirection::Input);
  return input ? input->propertySet : nullptr;
}

HRESULT CTestTunerFilter::PutInput(const GUID& set, DWORD id, ULONG value) {
  std::shared_ptr<CKsPropertySet> properties = InputSet();
  if (!properties) return E_NOINTERFACE;
  BYTE instance[24] = {};
  return properties->Set(set, id, instance, sizeof(instance), &value, sizeof(value));
}

template <class T>
HRESULT CTestTunerFilter::GetInput(const GUID& set, DWORD id, T* value) {
  if (!value) return E_POINTER;
  std::shared_ptr<CKsPropertySet> properties = InputSet();
  if (!properties) return E_NOINTERFACE;
  BYTE instance[24] = {};
  LONG read = 0;
  DWORD returned = 0;
  HRESULT hr = properties->Get(set, id, instance, sizeof(instance), &read, sizeof(read), &returned);
  *value = SUCCEEDED(hr) ? static_cast<T>(read) : T{};
  return hr;
}

STDMETHODIMP CTestTunerFilter::get_Polarity(Polarisation* value) {
  return GetInput(kKsPropSetBdaFrequencyFilter, 1, value);
}
STDMETHODIMP CTestTunerFilter::get_SignalStrength(LONG* value) { return GetInput(kKsPropSetBdaSignalStats, 0, value); }
STDMETHODIMP CTestTunerFilter::get_SignalQuality(LONG* value) { return GetInput(kKsPropSetBdaSignalStats, 1, value); }
STDMETHODIMP CTestTunerFilter::get_SignalPresent(BOOLEAN* value) { return GetInput(kKsPropSetBdaSignalStats, 2, value); }
STDMETHODIMP CTestTunerFilter::get_SignalLocked(BOOLEAN* value) { return GetInput(kKsPropSetBdaSignalStats, 3, value); }
STDMETHODIMP CTestTunerFilter::get_SampleTime(LONG* value) { return GetInput(kKsPropSetBdaSignalStats, 4, value); }
#endif
