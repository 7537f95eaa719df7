#ifdef _WIN32
#include "platform/win32/directshow_platform.h"

#include <bdaiface.h>
#include <ks.h>
#include <qedit.h>

#include <mutex>
#include <string>

#include "platform/bda_guids.h"
#include "platform/text_util.h"
#include "platform/win32/directshow_shells.h"
#include "platform/win32/wide_text.h"

// The two kernel-streaming proxy interfaces the program calls, declared as far as it
// calls them (the SDK declares them only inside its base-class build).
struct IKsObject : public IUnknown {
  virtual HANDLE STDMETHODCALLTYPE KsGetObjectHandle() = 0;
};
struct IKsPin : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE KsQueryMediums(PKSMULTIPLE_ITEM* mediumList) = 0;
};
__CRT_UUID_DECL(IKsObject, 0x423c13a2, 0x2070, 0x11d0, 0x9e, 0xf7, 0x00, 0xaa, 0x00, 0xa2, 0x16, 0xa1)
__CRT_UUID_DECL(IKsPin, 0xb61178d1, 0xa2d9, 0x11cf, 0x9e, 0x53, 0x00, 0xaa, 0x00, 0xa2, 0x16, 0xa1)

namespace {

// {C1F400A0-3F08-11D3-9F0B-006008039E37}
const CLSID kClsidSampleGrabber = {0xC1F400A0, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};

// Holds one reference of a COM object.
template <class T>
class CComRef {
 public:
  CComRef() = default;
  explicit CComRef(T* p, bool addRef = false) : m_p(p) {
    if (m_p && addRef) m_p->AddRef();
  }
  CComRef(const CComRef&) = delete;
  CComRef& operator=(const CComRef&) = delete;
  ~CComRef() { Reset(); }
  void Reset() {
    if (m_p) m_p->Release();
    m_p = nullptr;
  }
  T** Out() {
    Reset();
    return &m_p;
  }
  T* Get() const { return m_p; }
  T* operator->() const { return m_p; }
  explicit operator bool() const { return m_p != nullptr; }

 private:
  T* m_p = nullptr;
};

template <class T>
HRESULT Query(IUnknown* from, CComRef<T>* to) {
  return from->QueryInterface(__uuidof(T), reinterpret_cast<void**>(to->Out()));
}

// Names and paths from the system, in UTF-8: longer ones are cut to a path's size, as
// the program keeps at most 260 bytes of them, and never inside a character.
std::string NameText(const WCHAR* text) { return Utf8Truncate(WideToUtf8(text), MAX_PATH - 1); }

class CDsPropertySet final : public CKsPropertySet {
 public:
  explicit CDsPropertySet(IKsPropertySet* set) : m_set(set) {}
  HRESULT QuerySupported(const GUID& set, DWORD id, DWORD* support) override {
    return m_set->QuerySupported(set, id, support);
  }
  HRESULT Get(const GUID& set, DWORD id, void* instance, DWORD instanceLength, void* data, DWORD dataLength,
              DWORD* returned) override {
    DWORD got = 0;
    HRESULT hr = m_set->Get(set, id, instance, instanceLength, data, dataLength, &got);
    if (returned) *returned = got;
    return hr;
  }
  HRESULT Set(const GUID& set, DWORD id, void* instance, DWORD instanceLength, void* data,
              DWORD dataLength) override {
    return m_set->Set(set, id, instance, instanceLength, data, dataLength);
  }

 private:
  CComRef<IKsPropertySet> m_set;
};

template <class T>
HRESULT QueryPropertySet(IUnknown* object, std::shared_ptr<CKsPropertySet>* set) {
  if (!set) return E_POINTER;
  set->reset();
  IKsPropertySet* raw = nullptr;
  HRESULT hr = object->QueryInterface(IID_IKsPropertySet, reinterpret_cast<void**>(&raw));
  if (FAILED(hr) || !raw) return FAILED(hr) ? hr : E_NOINTERFACE;
  *set = std::make_shared<CDsPropertySet>(raw);
  return S_OK;
}

class CDsPin final : public CGraphPin {
 public:
  explicit CDsPin(IPin* pin) : m_pin(pin, true) {}
  HRESULT QueryPinInfo(PIN_INFO_DATA* info) override {
    if (!info) return E_POINTER;
    PIN_INFO pi = {};
    HRESULT hr = m_pin->QueryPinInfo(&pi);
    if (FAILED(hr)) return hr;
    info->filter = pi.pFilter ? WrapDirectShowFilter(pi.pFilter) : nullptr;
    if (pi.pFilter) pi.pFilter->Release();
    info->direction = pi.dir == PINDIR_OUTPUT ? PinDirection::Output : PinDirection::Input;
    info->name = NameText(pi.achName);
    return S_OK;
  }
  HRESULT ConnectedTo(std::shared_ptr<CGraphPin>* pin) override {
    if (!pin) return E_POINTER;
    pin->reset();
    CComRef<IPin> peer;
    HRESULT hr = m_pin->ConnectedTo(peer.Out());
    if (SUCCEEDED(hr) && peer) *pin = WrapDirectShowPin(peer.Get());
    return hr;
  }
  HRESULT QueryPropertySet(std::shared_ptr<CKsPropertySet>* set) override {
    return ::QueryPropertySet<IPin>(m_pin.Get(), set);
  }
  HRESULT KsQueryMediums(std::vector<KS_PIN_MEDIUM>* mediums) override {
    if (!mediums) return E_POINTER;
    mediums->clear();
    CComRef<IKsPin> ksPin;
    HRESULT hr = Query(m_pin.Get(), &ksPin);
    if (FAILED(hr)) return hr;
    PKSMULTIPLE_ITEM list = nullptr;
    hr = ksPin->KsQueryMediums(&list);
    if (FAILED(hr) || !list) return FAILED(hr) ? hr : E_FAIL;
    const REGPINMEDIUM* items = reinterpret_cast<const REGPINMEDIUM*>(list + 1);
    // The count is the driver's word; never read past the list's own size.
    ULONG room = list->Size > sizeof(KSMULTIPLE_ITEM)
                     ? static_cast<ULONG>((list->Size - sizeof(KSMULTIPLE_ITEM)) / sizeof(REGPINMEDIUM))
                     : 0;
    for (ULONG i = 0; i < list->Count && i < room; ++i)
      mediums->push_back(KS_PIN_MEDIUM{items[i].clsMedium, items[i].dw1, items[i].dw2});
    CoTaskMemFree(list);
    return S_OK;
  }
  IPin* Raw() const { return m_pin.Get(); }

 private:
  CComRef<IPin> m_pin;
};

class CDsTopology final : public CBdaTopology {
 public:
  explicit CDsTopology(IBDA_Topology* topology) : m_topology(topology) {}
  HRESULT GetNodeDescriptors(ULONG* count, ULONG maxCount, BDA_NODE_INFO* descriptors) override {
    if (!count) return E_POINTER;
    std::vector<BDANODE_DESCRIPTOR> raw(maxCount ? maxCount : 1);
    HRESULT hr = m_topology->GetNodeDescriptors(count, maxCount, raw.data());
    if (FAILED(hr)) return hr;
    for (ULONG i = 0; i < *count && i < maxCount; ++i)
      if (descriptors) descriptors[i] = BDA_NODE_INFO{raw[i].ulBdaNodeType, raw[i].guidFunction, raw[i].guidName};
    return hr;
  }
  HRESULT GetPinTypes(ULONG* count, ULONG maxCount, ULONG* types) override {
    return m_topology->GetPinTypes(count, maxCount, types);
  }
  HRESULT CreatePin(ULONG pinType, ULONG* pinId) override { return m_topology->CreatePin(pinType, pinId); }
  HRESULT CreateTopology(ULONG inputPinId, ULONG outputPinId) override {
    return m_topology->CreateTopology(inputPinId, outputPinId);
  }

 private:
  CComRef<IBDA_Topology> m_topology;
};

class CDsDeviceControl final : public CBdaDeviceControl {
 public:
  explicit CDsDeviceControl(IBDA_DeviceControl* control) : m_control(control) {}
  HRESULT StartChanges() override { return m_control->StartChanges(); }
  HRESULT CheckChanges() override { return m_control->CheckChanges(); }
  HRESULT CommitChanges() override { return m_control->CommitChanges(); }

 private:
  CComRef<IBDA_DeviceControl> m_control;
};

// The COM shell of a callback object, made once and kept by that object.
ISampleGrabberCB* ShellOf(CSampleCallback* callback) {
  static std::mutex lock;
  std::lock_guard<std::mutex> guard(lock);
  auto* shell = dynamic_cast<CSampleGrabberCBShell*>(callback->PlatformShell());
  if (!shell) {
    auto made = std::make_unique<CSampleGrabberCBShell>(callback);
    shell = made.get();
    callback->SetPlatformShell(std::move(made));
  }
  return shell;
}

class CDsSampleGrabber final : public CSampleGrabber {
 public:
  explicit CDsSampleGrabber(ISampleGrabber* grabber) : m_grabber(grabber) {}
  HRESULT SetMediaType(const DS_MEDIA_TYPE& type) override {
    AM_MEDIA_TYPE mt = {};
    mt.majortype = type.majorType;
    mt.subtype = type.subType;
    mt.formattype = type.formatType;
    return m_grabber->SetMediaType(&mt);
  }
  HRESULT SetOneShot(BOOL oneShot) override { return m_grabber->SetOneShot(oneShot); }
  HRESULT SetBufferSamples(BOOL buffer) override { return m_grabber->SetBufferSamples(buffer); }
  HRESULT SetCallback(CSampleCallback* callback, LONG whichMethod) override {
    return m_grabber->SetCallback(callback ? ShellOf(callback) : nullptr, whichMethod);
  }

 private:
  CComRef<ISampleGrabber> m_grabber;
};

class CDsFilter final : public CGraphFilter {
 public:
  explicit CDsFilter(IBaseFilter* filter) : m_filter(filter, true) {}
  HRESULT EnumPins(std::vector<std::shared_ptr<CGraphPin>>* pins) override {
    if (!pins) return E_POINTER;
    pins->clear();
    CComRef<IEnumPins> list;
    HRESULT hr = m_filter->EnumPins(list.Out());
    if (FAILED(hr) || !list) return FAILED(hr) ? hr : E_FAIL;
    IPin* pin = nullptr;
    while (list->Next(1, &pin, nullptr) == S_OK && pin) {
      pins->push_back(WrapDirectShowPin(pin));
      pin->Release();
      pin = nullptr;
    }
    return S_OK;
  }
  HRESULT QueryFilterInfo(std::string* name) override {
    if (!name) return E_POINTER;
    FILTER_INFO info = {};
    HRESULT hr = m_filter->QueryFilterInfo(&info);
    if (FAILED(hr)) return hr;
    if (info.pGraph) info.pGraph->Release();
    *name = NameText(info.achName);
    return S_OK;
  }
  HRESULT QueryPropertySet(std::shared_ptr<CKsPropertySet>* set) override {
    return ::QueryPropertySet<IBaseFilter>(m_filter.Get(), set);
  }
  HRESULT QueryTopology(std::shared_ptr<CBdaTopology>* topology) override {
    if (!topology) return E_POINTER;
    IBDA_Topology* raw = nullptr;
    HRESULT hr = m_filter->QueryInterface(__uuidof(IBDA_Topology), reinterpret_cast<void**>(&raw));
    if (FAILED(hr) || !raw) return FAILED(hr) ? hr : E_NOINTERFACE;
    *topology = std::make_shared<CDsTopology>(raw);
    return S_OK;
  }
  HRESULT QueryDeviceControl(std::shared_ptr<CBdaDeviceControl>* control) override {
    if (!control) return E_POINTER;
    IBDA_DeviceControl* raw = nullptr;
    HRESULT hr = m_filter->QueryInterface(__uuidof(IBDA_DeviceControl), reinterpret_cast<void**>(&raw));
    if (FAILED(hr) || !raw) return FAILED(hr) ? hr : E_NOINTERFACE;
    *control = std::make_shared<CDsDeviceControl>(raw);
    return S_OK;
  }
  HRESULT QuerySampleGrabber(std::shared_ptr<CSampleGrabber>* grabber) override {
    if (!grabber) return E_POINTER;
    ISampleGrabber* raw = nullptr;
    HRESULT hr = m_filter->QueryInterface(__uuidof(ISampleGrabber), reinterpret_cast<void**>(&raw));
    if (FAILED(hr) || !raw) return FAILED(hr) ? hr : E_NOINTERFACE;
    *grabber = std::make_shared<CDsSampleGrabber>(raw);
    return S_OK;
  }
  HRESULT QueryNetworkProvider(CBdaNetworkProvider** provider) override {
    if (!provider) return E_POINTER;
    CNetworkProviderShell* shell = AsNetworkProviderShell(m_filter.Get());
    *provider = shell ? shell->Logic() : nullptr;
    return shell ? S_OK : E_NOINTERFACE;
  }
  HRESULT KsGetObjectHandle(HANDLE* handle) override {
    if (!handle) return E_POINTER;
    *handle = INVALID_HANDLE_VALUE;
    CComRef<IKsObject> object;
    HRESULT hr = Query(m_filter.Get(), &object);
    if (FAILED(hr)) return hr;
    HANDLE h = object->KsGetObjectHandle();
    if (!h || h == INVALID_HANDLE_VALUE) return E_HANDLE;
    *handle = h;
    return S_OK;
  }
  IBaseFilter* Raw() const { return m_filter.Get(); }

 private:
  CComRef<IBaseFilter> m_filter;
};

class CDsGraph final : public CFilterGraph {
 public:
  explicit CDsGraph(IGraphBuilder* graph) : m_graph(graph) {}
  HRESULT AddFilter(const std::shared_ptr<CGraphFilter>& filter, const std::string& name) override {
    IBaseFilter* raw = DirectShowFilterOf(filter);
    if (!raw) return E_INVALIDARG;
    return m_graph->AddFilter(raw, Utf8ToWide(name).c_str());
  }
  HRESULT RemoveFilter(const std::shared_ptr<CGraphFilter>& filter) override {
    IBaseFilter* raw = DirectShowFilterOf(filter);
    return raw ? m_graph->RemoveFilter(raw) : E_INVALIDARG;
  }
  HRESULT ConnectDirect(const std::shared_ptr<CGraphPin>& out, const std::shared_ptr<CGraphPin>& in) override {
    auto* o = dynamic_cast<CDsPin*>(out.get());
    auto* i = dynamic_cast<CDsPin*>(in.get());
    if (!o || !i) return E_POINTER;
    return m_graph->ConnectDirect(o->Raw(), i->Raw(), nullptr);
  }
  HRESULT Run() override { return WithControl([](IMediaControl* c) { return c->Run(); }); }
  HRESULT Pause() override { return WithControl([](IMediaControl* c) { return c->Pause(); }); }
  HRESULT Stop() override { return WithControl([](IMediaControl* c) { return c->Stop(); }); }
  HRESULT StopWhenReady() override { return WithControl([](IMediaControl* c) { return c->StopWhenReady(); }); }
  HRESULT GetState(DWORD timeout, FilterState* state) override {
    if (!state) return E_POINTER;
    OAFilterState s = State_Stopped;
    HRESULT hr = WithControl([&](IMediaControl* c) { return c->GetState(timeout, &s); });
    *state = s == State_Running ? FilterState::Running : s == State_Paused ? FilterState::Paused : FilterState::Stopped;
    return hr;
  }

 private:
  template <class F>
  HRESULT WithControl(F call) {
    if (!m_control) {
      HRESULT hr = Query(m_graph.Get(), &m_control);
      if (FAILED(hr)) return hr;
    }
    return call(m_control.Get());
  }

  CComRef<IGraphBuilder> m_graph;
  CComRef<IMediaControl> m_control;
};

class CDsPropertyBag final : public CPropertyBag {
 public:
  explicit CDsPropertyBag(IPropertyBag* bag) : m_bag(bag) {}
  HRESULT Read(const char* name, std::string* value) override {
    if (!name || !value) return E_POINTER;
    VARIANT v;
    VariantInit(&v);
    HRESULT hr = m_bag->Read(Utf8ToWide(name).c_str(), &v, nullptr);
    if (SUCCEEDED(hr)) {
      if (v.vt == VT_BSTR) *value = NameText(v.bstrVal);
      else hr = DISP_E_TYPEMISMATCH;
    }
    VariantClear(&v);
    return hr;
  }

 private:
  CComRef<IPropertyBag> m_bag;
};

class CDsMoniker final : public CDeviceMoniker {
 public:
  explicit CDsMoniker(IMoniker* moniker) : m_moniker(moniker, true) {}
  HRESULT BindToStorage(std::shared_ptr<CPropertyBag>* bag) override {
    if (!bag) return E_POINTER;
    IPropertyBag* raw = nullptr;
    HRESULT hr = m_moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void**>(&raw));
    if (FAILED(hr) || !raw) return FAILED(hr) ? hr : E_FAIL;
    *bag = std::make_shared<CDsPropertyBag>(raw);
    return S_OK;
  }
  HRESULT GetDisplayName(std::string* name) override {
    if (!name) return E_POINTER;
    LPOLESTR text = nullptr;
    HRESULT hr = m_moniker->GetDisplayName(nullptr, nullptr, &text);
    if (FAILED(hr)) return hr;
    *name = NameText(text);
    CoTaskMemFree(text);
    return S_OK;
  }
  HRESULT BindToObject(std::shared_ptr<CGraphFilter>* filter) override {
    if (!filter) return E_POINTER;
    IBaseFilter* raw = nullptr;
    HRESULT hr = m_moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(&raw));
    if (FAILED(hr) || !raw) return FAILED(hr) ? hr : E_FAIL;
    *filter = WrapDirectShowFilter(raw);
    raw->Release();
    return S_OK;
  }

 private:
  CComRef<IMoniker> m_moniker;
};

class CDsEnumerator final : public CDeviceEnumerator {
 public:
  explicit CDsEnumerator(ICreateDevEnum* enumerator) : m_enumerator(enumerator) {}
  HRESULT CreateClassEnumerator(const GUID& category, std::vector<std::shared_ptr<CDeviceMoniker>>* monikers) override {
    if (!monikers) return E_POINTER;
    monikers->clear();
    CComRef<IEnumMoniker> list;
    HRESULT hr = m_enumerator->CreateClassEnumerator(category, list.Out(), 0);
    if (hr != S_OK || !list) return FAILED(hr) ? hr : S_FALSE;
    IMoniker* moniker = nullptr;
    while (list->Next(1, &moniker, nullptr) == S_OK && moniker) {
      monikers->push_back(std::make_shared<CDsMoniker>(moniker));
      moniker->Release();
      moniker = nullptr;
    }
    return monikers->empty() ? S_FALSE : S_OK;
  }

 private:
  CComRef<ICreateDevEnum> m_enumerator;
};

}  // namespace

std::shared_ptr<CGraphPin> WrapDirectShowPin(IPin* pin) {
  return pin ? std::make_shared<CDsPin>(pin) : nullptr;
}

std::shared_ptr<CGraphFilter> WrapDirectShowFilter(IBaseFilter* filter) {
  return filter ? std::make_shared<CDsFilter>(filter) : nullptr;
}

IBaseFilter* DirectShowFilterOf(const std::shared_ptr<CGraphFilter>& filter) {
  auto* ds = dynamic_cast<CDsFilter*>(filter.get());
  return ds ? ds->Raw() : nullptr;
}

HRESULT CDirectShowPlatform::CreateFilterGraph(std::shared_ptr<CFilterGraph>* graph) {
  if (!graph) return E_POINTER;
  IGraphBuilder* raw = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_SERVER, IID_IGraphBuilder,
                                reinterpret_cast<void**>(&raw));
  if (FAILED(hr) || !raw) return FAILED(hr) ? hr : E_FAIL;
  *graph = std::make_shared<CDsGraph>(raw);
  return S_OK;
}

HRESULT CDirectShowPlatform::CreateDeviceEnumerator(std::shared_ptr<CDeviceEnumerator>* enumerator) {
  if (!enumerator) return E_POINTER;
  ICreateDevEnum* raw = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                reinterpret_cast<void**>(&raw));
  if (FAILED(hr) || !raw) return FAILED(hr) ? hr : E_FAIL;
  *enumerator = std::make_shared<CDsEnumerator>(raw);
  return S_OK;
}

HRESULT CDirectShowPlatform::CreateSampleGrabber(std::shared_ptr<CGraphFilter>* filter) {
  if (!filter) return E_POINTER;
  IBaseFilter* raw = nullptr;
  HRESULT hr = CoCreateInstance(kClsidSampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                reinterpret_cast<void**>(&raw));
  if (FAILED(hr) || !raw) return FAILED(hr) ? hr : E_FAIL;
  *filter = WrapDirectShowFilter(raw);
  raw->Release();
  return S_OK;
}

HRESULT CDirectShowPlatform::CreateNetworkProviderFilter(std::shared_ptr<CNetworkProviderLogic> provider,
                                                         std::shared_ptr<CGraphFilter>* filter) {
  if (!provider || !filter) return E_POINTER;
  auto* shell = new CNetworkProviderShell(std::move(provider));
  *filter = WrapDirectShowFilter(shell->AsFilter());
  shell->Release();  // the wrapper holds it now
  return S_OK;
}

HRESULT CDirectShowPlatform::Startup() { return CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
void CDirectShowPlatform::Shutdown() { CoUninitialize(); }

CDevicePlatform& OsDevicePlatform() {
  static CDirectShowPlatform platform;
  return platform;
}
#endif
