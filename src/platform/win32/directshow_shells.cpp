#ifdef _WIN32
#include "platform/win32/directshow_shells.h"

#include <bdaiface.h>
#include <tuner.h>

#include <cstring>
#include <cwchar>

#include "platform/bda_guids.h"
#include "platform/win32/directshow_platform.h"
#include "platform/win32/wide_text.h"

namespace {

// ITuner answered for drivers that ask; the program never calls it.
class CNullTuner final : public ITuner {
 public:
  explicit CNullTuner(IUnknown* outer) : m_outer(outer) {}
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == __uuidof(ITuner)) {
      *ppv = static_cast<ITuner*>(this);
      AddRef();
      return S_OK;
    }
    return m_outer->QueryInterface(riid, ppv);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return m_outer->AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return m_outer->Release(); }
  STDMETHODIMP get_TuningSpace(ITuningSpace**) override { return E_NOTIMPL; }
  STDMETHODIMP put_TuningSpace(ITuningSpace*) override { return E_NOTIMPL; }
  STDMETHODIMP EnumTuningSpaces(IEnumTuningSpaces**) override { return E_NOTIMPL; }
  STDMETHODIMP get_TuneRequest(ITuneRequest**) override { return E_NOTIMPL; }
  STDMETHODIMP put_TuneRequest(ITuneRequest*) override { return E_NOTIMPL; }
  STDMETHODIMP Validate(ITuneRequest*) override { return E_NOTIMPL; }
  STDMETHODIMP get_PreferredComponentTypes(IComponentTypes**) override { return E_NOTIMPL; }
  STDMETHODIMP put_PreferredComponentTypes(IComponentTypes*) override { return E_NOTIMPL; }
  STDMETHODIMP get_SignalStrength(LONG*) override { return E_NOTIMPL; }
  STDMETHODIMP TriggerSignalEvents(LONG) override { return E_NOTIMPL; }

 private:
  IUnknown* m_outer;
};

using CPinEnum = CListEnum<IEnumPins, IPin*, IPin*>;
// The pin proposes no type of its own.
using CTypeEnum = CListEnum<IEnumMediaTypes, AM_MEDIA_TYPE, AM_MEDIA_TYPE*>;

// IMemAllocator as the logic sees it.
class CAllocatorView final : public CSampleAllocator {
 public:
  explicit CAllocatorView(IMemAllocator* allocator) : m_allocator(allocator) {}
  HRESULT SetProperties(const BUFFER_PROPS& request, BUFFER_PROPS* actual) override {
    ALLOCATOR_PROPERTIES in = {request.buffers, request.bufferSize, request.align, request.prefix};
    ALLOCATOR_PROPERTIES out = {};
    HRESULT hr = m_allocator->SetProperties(&in, &out);
    if (actual) *actual = BUFFER_PROPS{out.cBuffers, out.cbBuffer, out.cbAlign, out.cbPrefix};
    return hr;
  }

 private:
  IMemAllocator* m_allocator;
};

}  // namespace

// ---- sample-grabber callback ----

STDMETHODIMP CSampleGrabberCBShell::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == __uuidof(ISampleGrabberCB) || riid == IID_IUnknown) {
    *ppv = static_cast<ISampleGrabberCB*>(this);
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP CSampleGrabberCBShell::SampleCB(double sampleTime, IMediaSample* sample) {
  if (!sample) return S_OK;
  BYTE* data = nullptr;
  if (FAILED(sample->GetPointer(&data))) data = nullptr;
  LONG length = sample->GetActualDataLength();
  MEDIA_SAMPLE_INFO info = {data, length > 0 ? static_cast<DWORD>(length) : 0, sample->IsPreroll() == S_OK,
                            sample->IsDiscontinuity() == S_OK};
  return m_callback->SampleCB(sampleTime, info);
}

// ---- network-provider pin ----

CNetworkProviderPinShell::CNetworkProviderPinShell(CNetworkProviderShell* filter) : CBasePin(filter) {}

CNetworkProviderPinShell::~CNetworkProviderPinShell() { BreakConnection(); }

CNetworkProviderLogic* CNetworkProviderPinShell::Logic() const {
  return static_cast<CNetworkProviderShell*>(m_filter)->Logic();
}

STDMETHODIMP CNetworkProviderPinShell::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IPin) {
    *ppv = static_cast<IPin*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

void CNetworkProviderPinShell::BreakConnection() {
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  if (m_allocator) {
    m_allocator->Decommit();
    m_allocator->Release();
    m_allocator = nullptr;
  }
  if (m_connected) {
    m_connected->Release();
    m_connected = nullptr;
  }
  FreeMediaTypeContents(m_type);
  std::memset(&m_type, 0, sizeof(m_type));
  Logic()->SetConnectedPin(nullptr);
}

HRESULT CNetworkProviderPinShell::TryAllocator(IMemInputPin* input, IMemAllocator* allocator,
                                               ALLOCATOR_PROPERTIES props) {
  BUFFER_PROPS request = {props.cBuffers, props.cbBuffer, props.cbAlign, props.cbPrefix};
  CAllocatorView view(allocator);
  HRESULT hr = Logic()->DecideBufferSize(&view, &request);
  if (SUCCEEDED(hr)) hr = input->NotifyAllocator(allocator, FALSE);
  if (SUCCEEDED(hr)) {
    allocator->AddRef();
    m_allocator = allocator;
  }
  return hr;
}

HRESULT CNetworkProviderPinShell::DecideAllocator(IPin* receivePin) {
  IMemInputPin* input = nullptr;
  // An antenna input without a memory pin takes no samples anyway.
  if (FAILED(receivePin->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&input))) || !input) return S_OK;
  const ALLOCATOR_PROPERTIES props = AllocatorRequirements(input);
  HRESULT hr =
      ::DecideAllocator(input, [&](IMemAllocator* allocator) { return TryAllocator(input, allocator, props); });
  input->Release();
  return hr;
}

HRESULT CNetworkProviderPinShell::AttemptConnection(IPin* receivePin, const AM_MEDIA_TYPE* mediaType) {
  DS_MEDIA_TYPE type = ToDsMediaType(*mediaType);
  HRESULT hr = Logic()->CheckMediaType(&type);
  if (hr != S_OK) return FAILED(hr) ? hr : VFW_E_TYPE_NOT_ACCEPTED;
  // Connected before the receiver hears of it: the tuner registers from its side of the
  // connection and the provider then builds its topology on this peer.
  m_connected = receivePin;
  m_connected->AddRef();
  m_type = *mediaType;
  m_type.pbFormat = nullptr;
  m_type.cbFormat = 0;
  m_type.pUnk = nullptr;
  Logic()->SetConnectedPin(WrapDirectShowPin(receivePin));
  hr = receivePin->ReceiveConnection(this, mediaType);
  if (FAILED(hr)) {
    // The receiver refused: it is not connected to us, and any other connection it has is
    // not ours to break.
    BreakConnection();
    return hr;
  }
  hr = Logic()->CompleteConnect(Logic()->ConnectedPin().get());
  if (SUCCEEDED(hr)) hr = DecideAllocator(receivePin);
  if (FAILED(hr)) {
    receivePin->Disconnect();
    BreakConnection();
  }
  return hr;
}

namespace {
// The base classes call a type partial when its major type or format type is open.
bool IsPartiallySpecified(const AM_MEDIA_TYPE& type) {
  return type.majortype == GUID_NULL || type.formattype == GUID_NULL;
}

bool MatchesPartial(const AM_MEDIA_TYPE& partial, const AM_MEDIA_TYPE& type) {
  if (partial.majortype != GUID_NULL && partial.majortype != type.majortype) return false;
  if (partial.subtype != GUID_NULL && partial.subtype != type.subtype) return false;
  if (partial.formattype != GUID_NULL) {
    if (partial.formattype != type.formattype || partial.cbFormat != type.cbFormat) return false;
    if (partial.cbFormat && std::memcmp(partial.pbFormat, type.pbFormat, partial.cbFormat) != 0) return false;
  }
  return true;
}
}  // namespace

HRESULT CNetworkProviderPinShell::TryMediaTypes(IPin* receivePin, const AM_MEDIA_TYPE* partial,
                                                IEnumMediaTypes* types) {
  HRESULT failure = VFW_E_NO_ACCEPTABLE_TYPES;
  AM_MEDIA_TYPE* type = nullptr;
  ULONG fetched = 0;
  while (types->Next(1, &type, &fetched) == S_OK && fetched == 1 && type) {
    HRESULT hr = VFW_E_TYPE_NOT_ACCEPTED;
    if (!partial || MatchesPartial(*partial, *type)) hr = AttemptConnection(receivePin, type);
    FreeMediaTypeContents(*type);
    CoTaskMemFree(type);
    type = nullptr;
    if (SUCCEEDED(hr)) return S_OK;
    if (hr != E_FAIL && hr != E_INVALIDARG && hr != VFW_E_TYPE_NOT_ACCEPTED) failure = hr;
  }
  return failure;
}

STDMETHODIMP CNetworkProviderPinShell::Connect(IPin* receivePin, const AM_MEDIA_TYPE* mediaType) {
  if (!receivePin) return E_POINTER;
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  if (m_connected) return VFW_E_ALREADY_CONNECTED;
  if (m_filter->State() != State_Stopped) return VFW_E_NOT_STOPPED;
  if (mediaType && !IsPartiallySpecified(*mediaType)) return AttemptConnection(receivePin, mediaType);

  // Open or partial type: the receiver's proposals that match it (ours are none).
  IEnumMediaTypes* types = nullptr;
  HRESULT hr = receivePin->EnumMediaTypes(&types);
  if (FAILED(hr) || !types) return VFW_E_NO_ACCEPTABLE_TYPES;
  hr = TryMediaTypes(receivePin, mediaType, types);
  types->Release();
  return hr;
}

HRESULT CNetworkProviderPinShell::Active() {
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  if (!m_allocator) return S_OK;
  HRESULT hr = m_allocator->Commit();
  // The pin asks for no buffers (nothing ever flows towards the tuner); an allocator that
  // will not commit an empty pool has nothing to commit.
  if (hr == VFW_E_SIZENOTSET || hr == VFW_E_BUFFER_NOTSET) return S_OK;
  return hr;
}

HRESULT CNetworkProviderPinShell::Inactive() {
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  return m_allocator ? m_allocator->Decommit() : S_OK;
}

STDMETHODIMP CNetworkProviderPinShell::QueryPinInfo(PIN_INFO* info) {
  if (!info) return E_POINTER;
  info->pFilter = m_filter->AsFilter();
  info->pFilter->AddRef();
  info->dir = PINDIR_OUTPUT;
  CopyWideBounded(info->achName, MAX_PIN_NAME, Logic()->PinName());
  return S_OK;
}

STDMETHODIMP CNetworkProviderPinShell::QueryId(LPWSTR* id) {
  if (!id) return E_POINTER;
  const char* name = Logic()->PinName();
  return CoTaskMemText(Utf8ToWide(name ? name : ""), id);
}

STDMETHODIMP CNetworkProviderPinShell::QueryAccept(const AM_MEDIA_TYPE* mediaType) {
  if (!mediaType) return E_POINTER;
  DS_MEDIA_TYPE type = ToDsMediaType(*mediaType);
  return Logic()->CheckMediaType(&type) == S_OK ? S_OK : S_FALSE;
}

STDMETHODIMP CNetworkProviderPinShell::EnumMediaTypes(IEnumMediaTypes** types) {
  if (!types) return E_POINTER;
  *types = new CTypeEnum({}, 0);
  return S_OK;
}

// ---- network-provider filter ----

CNetworkProviderShell::CNetworkProviderShell(std::shared_ptr<CNetworkProviderLogic> logic)
    : CBaseFilter(kClsidNetworkProvider),
      m_logic(std::move(logic)),
      m_pin(this),
      m_tuner(new CNullTuner(static_cast<IBaseFilter*>(this))) {}

CNetworkProviderShell::~CNetworkProviderShell() { delete static_cast<CNullTuner*>(m_tuner); }

STDMETHODIMP CNetworkProviderShell::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  std::lock_guard<std::recursive_mutex> guard(m_filterLock);
  if (riid == __uuidof(IBDA_NetworkProvider)) {
    *ppv = static_cast<IBDA_NetworkProvider*>(this);
  } else if (riid == __uuidof(ITuner)) {
    *ppv = static_cast<ITuner*>(static_cast<CNullTuner*>(m_tuner));
  } else if (riid == IID_IAMovieSetup) {
    *ppv = static_cast<IAMovieSetup*>(this);
  } else if (riid == IID_IUnknown || riid == IID_IBaseFilter || riid == IID_IMediaFilter || riid == IID_IPersist) {
    *ppv = static_cast<IBaseFilter*>(this);
  } else {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP CNetworkProviderShell::Stop() {
  std::lock_guard<std::recursive_mutex> guard(m_filterLock);
  HRESULT hr = m_state != State_Stopped ? m_pin.Inactive() : S_OK;
  m_state = State_Stopped;
  return hr;
}

STDMETHODIMP CNetworkProviderShell::Pause() {
  std::lock_guard<std::recursive_mutex> guard(m_filterLock);
  if (m_state == State_Stopped) {
    HRESULT hr = m_pin.Active();
    if (FAILED(hr)) return hr;
  }
  m_state = State_Paused;
  return S_OK;
}

STDMETHODIMP CNetworkProviderShell::Run(REFERENCE_TIME) {
  std::lock_guard<std::recursive_mutex> guard(m_filterLock);
  if (m_state == State_Stopped) {
    HRESULT hr = Pause();
    if (FAILED(hr)) return hr;
  }
  HRESULT hr = m_logic->Run();
  if (FAILED(hr)) return hr;
  m_state = State_Running;
  return S_OK;
}

STDMETHODIMP CNetworkProviderShell::EnumPins(IEnumPins** pins) {
  if (!pins) return E_POINTER;
  *pins = new CPinEnum({&m_pin}, 0);
  return S_OK;
}

STDMETHODIMP CNetworkProviderShell::FindPin(LPCWSTR id, IPin** pin) {
  if (!id || !pin) return E_POINTER;
  if (Utf8ToWide(m_logic->PinName()) != id) {
    *pin = nullptr;
    return VFW_E_NOT_FOUND;
  }
  *pin = &m_pin;
  m_pin.AddRef();
  return S_OK;
}

STDMETHODIMP CNetworkProviderShell::RegisterDeviceFilter(IUnknown* filter, ULONG* registration) {
  return m_logic->RegisterDeviceFilter(filter, registration);
}

STDMETHODIMP CNetworkProviderShell::UnRegisterDeviceFilter(ULONG registration) {
  return m_logic->UnRegisterDeviceFilter(registration);
}

CNetworkProviderShell* AsNetworkProviderShell(IBaseFilter* filter) {
  if (!filter) return nullptr;
  CLSID clsid = {};
  if (FAILED(filter->GetClassID(&clsid)) || clsid != kClsidNetworkProvider) return nullptr;
  return static_cast<CNetworkProviderShell*>(filter);
}
#endif
