#ifdef _WIN32
#include "platform/win32/directshow_base.h"

#include <cstring>
#include <cwchar>

void FreeMediaTypeContents(AM_MEDIA_TYPE& type) {
  if (type.cbFormat && type.pbFormat) CoTaskMemFree(type.pbFormat);
  type.cbFormat = 0;
  type.pbFormat = nullptr;
  if (type.pUnk) type.pUnk->Release();
  type.pUnk = nullptr;
}

HRESULT CoTaskMemText(const std::wstring& text, LPWSTR* out) {
  *out = static_cast<LPWSTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(WCHAR)));
  if (!*out) return E_OUTOFMEMORY;
  std::wmemcpy(*out, text.c_str(), text.size() + 1);
  return S_OK;
}

ALLOCATOR_PROPERTIES AllocatorRequirements(IMemInputPin* input) {
  ALLOCATOR_PROPERTIES props = {};
  if (FAILED(input->GetAllocatorRequirements(&props))) props = ALLOCATOR_PROPERTIES{};
  if (props.cbAlign == 0) props.cbAlign = 1;
  return props;
}

HRESULT DecideAllocator(IMemInputPin* input, const std::function<HRESULT(IMemAllocator*)>& tryAllocator) {
  IMemAllocator* allocator = nullptr;
  HRESULT hr = input->GetAllocator(&allocator);
  if (SUCCEEDED(hr) && allocator) {
    hr = tryAllocator(allocator);
    allocator->Release();
    allocator = nullptr;
  } else if (SUCCEEDED(hr)) {
    hr = E_NOINTERFACE;
  }
  if (FAILED(hr)) {
    hr = CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                          reinterpret_cast<void**>(&allocator));
    if (SUCCEEDED(hr) && allocator) {
      hr = tryAllocator(allocator);
      allocator->Release();
    } else if (SUCCEEDED(hr)) {
      hr = E_NOINTERFACE;
    }
  }
  return hr;
}

// ---- filter ----

CBaseFilter::~CBaseFilter() {
  if (m_clock) m_clock->Release();
}

STDMETHODIMP_(ULONG) CBaseFilter::Release() {
  ULONG left = --m_references;
  if (left == 0) delete this;
  return left;
}

STDMETHODIMP CBaseFilter::GetClassID(CLSID* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = m_clsid;
  return S_OK;
}

STDMETHODIMP CBaseFilter::GetState(DWORD, FILTER_STATE* state) {
  if (!state) return E_POINTER;
  *state = m_state;
  return S_OK;
}

STDMETHODIMP CBaseFilter::SetSyncSource(IReferenceClock* clock) {
  std::lock_guard<std::recursive_mutex> guard(m_filterLock);
  if (clock) clock->AddRef();
  if (m_clock) m_clock->Release();
  m_clock = clock;
  return S_OK;
}

STDMETHODIMP CBaseFilter::GetSyncSource(IReferenceClock** clock) {
  if (!clock) return E_POINTER;
  std::lock_guard<std::recursive_mutex> guard(m_filterLock);
  *clock = m_clock;
  if (m_clock) m_clock->AddRef();
  return S_OK;
}

STDMETHODIMP CBaseFilter::QueryFilterInfo(FILTER_INFO* info) {
  if (!info) return E_POINTER;
  std::lock_guard<std::recursive_mutex> guard(m_filterLock);
  std::memcpy(info->achName, m_name, sizeof(info->achName) < sizeof(m_name) ? sizeof(info->achName) : sizeof(m_name));
  info->achName[MAX_FILTER_NAME - 1] = 0;
  info->pGraph = m_graph;
  if (m_graph) m_graph->AddRef();
  return S_OK;
}

STDMETHODIMP CBaseFilter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
  std::lock_guard<std::recursive_mutex> guard(m_filterLock);
  m_graph = graph;
  std::memset(m_name, 0, sizeof(m_name));
  if (name) std::wcsncpy(m_name, name, MAX_FILTER_NAME - 1);
  return S_OK;
}

// ---- pin ----

STDMETHODIMP CBasePin::Disconnect() {
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  if (m_filter->State() != State_Stopped) return VFW_E_NOT_STOPPED;
  if (!m_connected) return S_FALSE;
  BreakConnection();
  return S_OK;
}

STDMETHODIMP CBasePin::ConnectedTo(IPin** pin) {
  if (!pin) return E_POINTER;
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  *pin = m_connected;
  if (!m_connected) return VFW_E_NOT_CONNECTED;
  m_connected->AddRef();
  return S_OK;
}

// The connection's type without a format block (our pins connect none).
STDMETHODIMP CBasePin::ConnectionMediaType(AM_MEDIA_TYPE* mediaType) {
  if (!mediaType) return E_POINTER;
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  std::memset(mediaType, 0, sizeof(*mediaType));
  if (!m_connected) return VFW_E_NOT_CONNECTED;
  *mediaType = m_type;
  return S_OK;
}

STDMETHODIMP CBasePin::QueryDirection(PIN_DIRECTION* direction) {
  if (!direction) return E_POINTER;
  *direction = Direction();
  return S_OK;
}
#endif
