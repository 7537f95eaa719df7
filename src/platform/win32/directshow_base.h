// A small base of DirectShow filter and pin classes for the COM objects of our own: the
// network provider with its output pin, and the test tuner's filter and pins. As Wine's
// strmbase serves every filter of Wine, it keeps what all of them do alike: the reference
// count, graph membership, state and clock of a filter; the connection, media type and
// allocator of a pin; enumerators of pins and media types; the allocator negotiation of
// an output pin.
#pragma once
#ifdef _WIN32
// Our platform headers first: the DirectShow headers turn some of their names into macros.
#include "platform/device_platform.h"

#include <windows.h>
#include <dshow.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

// Frees the format block and the interface a media type holds; the type itself stays.
void FreeMediaTypeContents(AM_MEDIA_TYPE& type);
// The three GUIDs the program's logic looks at.
inline DS_MEDIA_TYPE ToDsMediaType(const AM_MEDIA_TYPE& type) {
  return DS_MEDIA_TYPE{type.majortype, type.subtype, type.formattype};
}
// A copy of the text in memory the caller frees with CoTaskMemFree (pin ids).
HRESULT CoTaskMemText(const std::wstring& text, LPWSTR* out);

// The allocator an output pin settles on with its receiver, as the base classes decide it:
// the receiver's requirements (an unstated alignment is 1, which every allocator takes),
// then the receiver's own allocator, then a memory allocator of ours. `tryAllocator` sets
// the properties, notifies the receiver and keeps the allocator it accepts.
ALLOCATOR_PROPERTIES AllocatorRequirements(IMemInputPin* input);
HRESULT DecideAllocator(IMemInputPin* input, const std::function<HRESULT(IMemAllocator*)>& tryAllocator);

// A COM object with one interface; it deletes itself with its last reference.
template <class INTERFACE>
class CUnknownObject : public INTERFACE {
 public:
  virtual ~CUnknownObject() = default;
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == __uuidof(INTERFACE)) {
      *ppv = static_cast<INTERFACE*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++m_references; }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG left = --m_references;
    if (left == 0) delete this;
    return left;
  }

 private:
  std::atomic<ULONG> m_references{1};
};

// An enumerator over a fixed list: pins (handed out with a reference) or format-less
// media types (handed out as copies the caller frees). OBJECT is the COM object base
// (a server counts its objects through its own).
template <class ENUM, class ITEM, class HANDED, template <class> class OBJECT = CUnknownObject>
class CListEnum final : public OBJECT<ENUM> {
 public:
  CListEnum(std::vector<ITEM> items, ULONG position) : m_items(std::move(items)), m_position(position) {
    for (ITEM& item : m_items) Hold(item);
  }
  ~CListEnum() {
    for (ITEM& item : m_items) Drop(item);
  }
  STDMETHODIMP Next(ULONG count, HANDED* items, ULONG* fetched) override {
    if (!items || (count > 1 && !fetched)) return E_POINTER;
    ULONG got = 0;
    while (got < count && m_position < m_items.size()) {
      if (!HandOut(m_items[m_position], &items[got])) break;
      ++got;
      ++m_position;
    }
    if (fetched) *fetched = got;
    return got == count ? S_OK : S_FALSE;
  }
  // S_OK when all `count` items were there to skip.
  STDMETHODIMP Skip(ULONG count) override {
    const bool all = size_t{m_position} + count <= m_items.size();
    m_position = static_cast<ULONG>(std::min<size_t>(m_items.size(), size_t{m_position} + count));
    return all ? S_OK : S_FALSE;
  }
  STDMETHODIMP Reset() override {
    m_position = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(ENUM** clone) override {
    if (!clone) return E_POINTER;
    *clone = new CListEnum(m_items, m_position);
    return S_OK;
  }

 private:
  static void Hold(IPin*& pin) { pin->AddRef(); }
  static void Hold(AM_MEDIA_TYPE&) {}
  static void Drop(IPin*& pin) { pin->Release(); }
  static void Drop(AM_MEDIA_TYPE&) {}
  static bool HandOut(IPin* pin, IPin** out) {
    *out = pin;
    pin->AddRef();
    return true;
  }
  // The types in these lists carry no format block, so a copy is a plain copy.
  static bool HandOut(const AM_MEDIA_TYPE& type, AM_MEDIA_TYPE** out) {
    auto* copy = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (copy) {
      *copy = type;
      copy->cbFormat = 0;
      copy->pbFormat = nullptr;
      copy->pUnk = nullptr;
    }
    *out = copy;
    return copy != nullptr;
  }

  std::vector<ITEM> m_items;
  ULONG m_position;
};

// The base filter: reference count, state, reference clock, graph membership and name. A
// filter with more interfaces answers IUnknown for all of them with these.
class CBaseFilter : public IBaseFilter {
 public:
  explicit CBaseFilter(const CLSID& clsid) : m_clsid(clsid) {}
  virtual ~CBaseFilter();
  CBaseFilter(const CBaseFilter&) = delete;
  CBaseFilter& operator=(const CBaseFilter&) = delete;

  STDMETHODIMP_(ULONG) AddRef() override { return ++m_references; }
  STDMETHODIMP_(ULONG) Release() override;

  STDMETHODIMP GetClassID(CLSID* clsid) override;
  STDMETHODIMP GetState(DWORD timeout, FILTER_STATE* state) override;
  STDMETHODIMP SetSyncSource(IReferenceClock* clock) override;
  STDMETHODIMP GetSyncSource(IReferenceClock** clock) override;
  STDMETHODIMP QueryFilterInfo(FILTER_INFO* info) override;
  STDMETHODIMP JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
  STDMETHODIMP QueryVendorInfo(LPWSTR*) override { return E_NOTIMPL; }

  FILTER_STATE State() const { return m_state; }
  IFilterGraph* Graph() const { return m_graph; }
  IBaseFilter* AsFilter() { return this; }

 protected:
  std::recursive_mutex m_filterLock;
  FILTER_STATE m_state = State_Stopped;

 private:
  CLSID m_clsid;
  std::atomic<ULONG> m_references{1};
  IReferenceClock* m_clock = nullptr;
  IFilterGraph* m_graph = nullptr;  // not held: the graph holds us
  WCHAR m_name[MAX_FILTER_NAME] = {};
};

// The base pin: its references are its filter's; the peer, the media type and the
// allocator of a connection, which only a stopped filter makes or breaks.
class CBasePin : public IPin {
 public:
  explicit CBasePin(CBaseFilter* filter) : m_filter(filter) {}
  virtual ~CBasePin() = default;
  CBasePin(const CBasePin&) = delete;
  CBasePin& operator=(const CBasePin&) = delete;

  STDMETHODIMP_(ULONG) AddRef() override { return m_filter->AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return m_filter->Release(); }

  STDMETHODIMP Disconnect() override;
  STDMETHODIMP ConnectedTo(IPin** pin) override;
  STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* mediaType) override;
  STDMETHODIMP QueryDirection(PIN_DIRECTION* direction) override;
  STDMETHODIMP QueryInternalConnections(IPin**, ULONG*) override { return E_NOTIMPL; }
  STDMETHODIMP NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override { return S_OK; }

  IPin* Connected() const { return m_connected; }

 protected:
  virtual PIN_DIRECTION Direction() const = 0;
  // Lets go of the peer, the allocator and the media type (the pin's lock is held).
  virtual void BreakConnection() = 0;

  CBaseFilter* m_filter;
  std::recursive_mutex m_lock;  // the pin's own lock
  IPin* m_connected = nullptr;
  IMemAllocator* m_allocator = nullptr;
  AM_MEDIA_TYPE m_type{};
};
#endif
