// COM shells of the program's own DirectShow objects: the network-provider filter with
// its output pin (on our small base filter and pin, allocator negotiation included), and
// the sample-grabber callback.
#pragma once
#ifdef _WIN32
// Our platform headers first: the DirectShow headers turn some of their names into macros.
#include "platform/device_platform.h"
#include "platform/win32/directshow_base.h"

#include <windows.h>
#include <dshow.h>
#include <bdaiface.h>
#include <qedit.h>

#include <atomic>
#include <memory>
#include <mutex>

// ISampleGrabberCB over the program's callback. It lives as long as the callback object it
// serves (which keeps it), so AddRef and Release only answer 2 and 1.
class CSampleGrabberCBShell final : public ISampleGrabberCB, public CSampleCallbackShell {
 public:
  explicit CSampleGrabberCBShell(CSampleCallback* callback) : m_callback(callback) {}
  virtual ~CSampleGrabberCBShell() = default;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP SampleCB(double sampleTime, IMediaSample* sample) override;
  STDMETHODIMP BufferCB(double, BYTE*, LONG) override { return S_OK; }

 private:
  CSampleCallback* m_callback;
};

class CNetworkProviderShell;

// The output pin "Antenna Out".
class CNetworkProviderPinShell final : public CBasePin {
 public:
  explicit CNetworkProviderPinShell(CNetworkProviderShell* filter);
  ~CNetworkProviderPinShell() override;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;

  STDMETHODIMP Connect(IPin* receivePin, const AM_MEDIA_TYPE* mediaType) override;
  STDMETHODIMP ReceiveConnection(IPin*, const AM_MEDIA_TYPE*) override { return E_UNEXPECTED; }
  STDMETHODIMP QueryPinInfo(PIN_INFO* info) override;
  STDMETHODIMP QueryId(LPWSTR* id) override;
  STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* mediaType) override;
  STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** types) override;
  STDMETHODIMP EndOfStream() override { return E_UNEXPECTED; }
  STDMETHODIMP BeginFlush() override { return E_UNEXPECTED; }
  STDMETHODIMP EndFlush() override { return E_UNEXPECTED; }

  // The filter's state changes: the allocator is committed while paused or running.
  HRESULT Active();
  HRESULT Inactive();

 private:
  PIN_DIRECTION Direction() const override { return PINDIR_OUTPUT; }
  void BreakConnection() override;
  CNetworkProviderLogic* Logic() const;
  HRESULT AttemptConnection(IPin* receivePin, const AM_MEDIA_TYPE* mediaType);
  HRESULT TryMediaTypes(IPin* receivePin, const AM_MEDIA_TYPE* partial, IEnumMediaTypes* types);
  HRESULT DecideAllocator(IPin* receivePin);
  HRESULT TryAllocator(IMemInputPin* input, IMemAllocator* allocator, ALLOCATOR_PROPERTIES props);
};

// The network-provider filter: IBaseFilter, IBDA_NetworkProvider, IAMovieSetup and an
// ITuner that implements nothing (some tuner drivers only ask for it).
class CNetworkProviderShell final : public CBaseFilter, public IBDA_NetworkProvider, public IAMovieSetup {
 public:
  explicit CNetworkProviderShell(std::shared_ptr<CNetworkProviderLogic> logic);
  ~CNetworkProviderShell() override;

  // IUnknown (the base filter's; the other interfaces forward).
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override { return CBaseFilter::AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return CBaseFilter::Release(); }

  // IMediaFilter / IBaseFilter beyond the base filter.
  STDMETHODIMP Stop() override;
  STDMETHODIMP Pause() override;
  STDMETHODIMP Run(REFERENCE_TIME start) override;
  STDMETHODIMP EnumPins(IEnumPins** pins) override;
  STDMETHODIMP FindPin(LPCWSTR id, IPin** pin) override;

  // IBDA_NetworkProvider.
  STDMETHODIMP PutSignalSource(ULONG) override { return E_NOTIMPL; }
  STDMETHODIMP GetSignalSource(ULONG*) override { return E_NOTIMPL; }
  STDMETHODIMP GetNetworkType(GUID*) override { return E_NOTIMPL; }
  STDMETHODIMP PutTuningSpace(REFGUID) override { return E_NOTIMPL; }
  STDMETHODIMP GetTuningSpace(GUID*) override { return E_NOTIMPL; }
  STDMETHODIMP RegisterDeviceFilter(IUnknown* filter, ULONG* registration) override;
  STDMETHODIMP UnRegisterDeviceFilter(ULONG registration) override;

  // IAMovieSetup: the program creates this filter itself and never through the system's
  // filter registry, so there is nothing to register (S_FALSE, as the base filter answers
  // a filter without setup data).
  STDMETHODIMP Register() override { return S_FALSE; }
  STDMETHODIMP Unregister() override { return S_FALSE; }

  CNetworkProviderLogic* Logic() const { return m_logic.get(); }

 private:
  std::shared_ptr<CNetworkProviderLogic> m_logic;
  CNetworkProviderPinShell m_pin;
  IUnknown* m_tuner;  // ITuner
};

// Our own shell behind a CGraphFilter of the DirectShow backend, if it is one.
CNetworkProviderShell* AsNetworkProviderShell(IBaseFilter* filter);
#endif
