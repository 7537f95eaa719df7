// The test tuner's COM filter: a BDA network tuner that Windows' (or Wine's) system device
// enumerator lists and binds like a driver's tuner. Behind the COM shell stands an emulated
// tuner of a device description, so its properties, lock, signal, topology and recorded
// calls are those of the emulated platform; its transport pin streams through the graph's
// real allocator into whatever it is connected to.
#pragma once
#ifdef _WIN32
// Our platform headers first: the DirectShow headers turn some of their names into macros.
#include "platform/emulated/bda_filters.h"
#include "platform/win32/directshow_base.h"

#include <windows.h>
#include <dshow.h>
#include <bdaiface.h>
#include <ks.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

// IKsPin as far as a graph's code calls it (the SDK declares it only inside its base
// classes): the mediums of a pin.
struct ITestKsPin : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE KsQueryMediums(PKSMULTIPLE_ITEM* mediumList) = 0;
};
// {B61178D1-A2D9-11CF-9E53-00AA00A216A1}
inline constexpr IID kIidKsPin = {0xb61178d1, 0xa2d9, 0x11cf, {0x9e, 0x53, 0x00, 0xaa, 0x00, 0xa2, 0x16, 0xa1}};

// COM objects of this server alive now (filters, enumerators, factories); the server can
// unload at zero, and tests count leaks with it.
std::atomic<long>& TestTunerObjects();
// The server's record keeping when a filter goes (the call record file).
void OnTestTunerFilterReleased();

// The plain COM objects of the server (enumerators, class objects): one interface,
// counted among the server's objects while they live.
template <class INTERFACE>
class CServerObject : public CUnknownObject<INTERFACE> {
 public:
  CServerObject() { ++TestTunerObjects(); }
  ~CServerObject() override { --TestTunerObjects(); }
};

class CTestTunerFilter;

// A pin of the tuner over one pin of the emulated tuner. Its references are the filter's.
class CTestTunerPin final : public CBasePin, public IMemInputPin, public IKsPropertySet, public ITestKsPin {
 public:
  CTestTunerPin(CTestTunerFilter* filter, std::shared_ptr<CEmuPin> pin, int number);
  ~CTestTunerPin() override;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override { return CBasePin::AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return CBasePin::Release(); }

  // IPin beyond the base pin.
  STDMETHODIMP Connect(IPin* receivePin, const AM_MEDIA_TYPE* mediaType) override;
  STDMETHODIMP ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* mediaType) override;
  STDMETHODIMP QueryPinInfo(PIN_INFO* info) override;
  STDMETHODIMP QueryId(LPWSTR* id) override;
  STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* mediaType) override;
  STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** types) override;
  STDMETHODIMP EndOfStream() override { return S_OK; }
  STDMETHODIMP BeginFlush() override { return S_OK; }
  STDMETHODIMP EndFlush() override { return S_OK; }

  // IMemInputPin of the antenna input: it takes the provider's allocator and no samples.
  STDMETHODIMP GetAllocator(IMemAllocator** allocator) override;
  STDMETHODIMP NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
  STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) override { return E_NOTIMPL; }
  STDMETHODIMP Receive(IMediaSample*) override { return S_FALSE; }
  STDMETHODIMP ReceiveMultiple(IMediaSample**, LONG, LONG* done) override;
  STDMETHODIMP ReceiveCanBlock() override { return S_FALSE; }

  // IKsPropertySet: the emulated pin's property sets.
  STDMETHODIMP Set(REFGUID set, DWORD id, LPVOID instance, DWORD instanceLength, LPVOID data,
                   DWORD dataLength) override;
  STDMETHODIMP Get(REFGUID set, DWORD id, LPVOID instance, DWORD instanceLength, LPVOID data, DWORD dataLength,
                   DWORD* returned) override;
  STDMETHODIMP QuerySupported(REFGUID set, DWORD id, DWORD* support) override;

  // IKsPin.
  STDMETHODIMP KsQueryMediums(PKSMULTIPLE_ITEM* mediumList) override;

  const std::shared_ptr<CEmuPin>& Emulated() const { return m_pin; }
  // The filter's state changes of the transport output.
  HRESULT Active();
  void Inactive();
  // One sample of the emulated tuner's streaming thread, into the connected pin.
  void Deliver(double sampleTime, const MEDIA_SAMPLE_INFO& sample);

 private:
  PIN_DIRECTION Direction() const override {
    return m_pin->Direction() == PinDirection::Output ? PINDIR_OUTPUT : PINDIR_INPUT;
  }
  void BreakConnection() override;
  CTestTunerFilter* Owner() const;
  HRESULT AttemptConnection(IPin* receivePin, const AM_MEDIA_TYPE& type);
  HRESULT DecideAllocator(IMemInputPin* input);
  void RegisterWithProvider(IPin* connector);
  AM_MEDIA_TYPE OwnType() const;

  std::shared_ptr<CEmuPin> m_pin;
  int m_number;
  // The base pin's allocator: on the output the decided one, on the input the provider's.
  IMemInputPin* m_input = nullptr;  // output: the receiver's memory pin
  LONG m_bufferSize = 0;
};

class CTestTunerFilter final : public CBaseFilter,
                               public IBDA_Topology,
                               public IBDA_DeviceControl,
                               public IKsPropertySet,
                               public IBDA_FrequencyFilter,
                               public IBDA_SignalStatistics {
 public:
  CTestTunerFilter(const CLSID& clsid, std::shared_ptr<CEmulatedBdaDevice> device);
  ~CTestTunerFilter();

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override { return CBaseFilter::AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return CBaseFilter::Release(); }

  // IMediaFilter / IBaseFilter beyond the base filter.
  STDMETHODIMP Stop() override;
  STDMETHODIMP Pause() override;
  STDMETHODIMP Run(REFERENCE_TIME start) override;
  STDMETHODIMP EnumPins(IEnumPins** pins) override;
  STDMETHODIMP FindPin(LPCWSTR id, IPin** pin) override;

  // IBDA_Topology: the emulated tuner's.
  STDMETHODIMP GetNodeTypes(ULONG* count, ULONG maxCount, ULONG types[]) override;
  STDMETHODIMP GetNodeDescriptors(ULONG* count, ULONG maxCount, BDANODE_DESCRIPTOR descriptors[]) override;
  STDMETHODIMP GetNodeInterfaces(ULONG nodeType, ULONG* count, ULONG maxCount, GUID interfaces[]) override;
  STDMETHODIMP GetPinTypes(ULONG* count, ULONG maxCount, ULONG types[]) override;
  STDMETHODIMP GetTemplateConnections(ULONG* count, ULONG, BDA_TEMPLATE_CONNECTION[]) override;
  STDMETHODIMP CreatePin(ULONG pinType, ULONG* pinId) override;
  STDMETHODIMP DeletePin(ULONG) override { return E_NOTIMPL; }
  STDMETHODIMP SetMediaType(ULONG, AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
  STDMETHODIMP SetMedium(ULONG, REGPINMEDIUM*) override { return E_NOTIMPL; }
  STDMETHODIMP CreateTopology(ULONG inputPinId, ULONG outputPinId) override;
  STDMETHODIMP GetControlNode(ULONG inputPinId, ULONG outputPinId, ULONG nodeType, IUnknown** node) override;

  // IBDA_DeviceControl.
  STDMETHODIMP StartChanges() override;
  STDMETHODIMP CheckChanges() override;
  STDMETHODIMP CommitChanges() override;
  STDMETHODIMP GetChangeState(ULONG* state) override;

  // IKsPropertySet of the filter (vendor sets, as the description's family answers them).
  STDMETHODIMP Set(REFGUID set, DWORD id, LPVOID instance, DWORD instanceLength, LPVOID data,
                   DWORD dataLength) override;
  STDMETHODIMP Get(REFGUID set, DWORD id, LPVOID instance, DWORD instanceLength, LPVOID data, DWORD dataLength,
                   DWORD* returned) override;
  STDMETHODIMP QuerySupported(REFGUID set, DWORD id, DWORD* support) override;

  // IBDA_FrequencyFilter and IBDA_SignalStatistics: the tuner node's standard properties,
  // through the antenna input's property sets as a driver's control node reaches them.
  STDMETHODIMP put_Autotune(ULONG) override { return E_NOTIMPL; }
  STDMETHODIMP get_Autotune(ULONG*) override { return E_NOTIMPL; }
  STDMETHODIMP put_Frequency(ULONG value) override { return PutInput(kKsPropSetBdaFrequencyFilter, 0, value); }
  STDMETHODIMP get_Frequency(ULONG* value) override { return GetInput(kKsPropSetBdaFrequencyFilter, 0, value); }
  STDMETHODIMP put_Polarity(Polarisation value) override {
    return PutInput(kKsPropSetBdaFrequencyFilter, 1, static_cast<ULONG>(value));
  }
  STDMETHODIMP get_Polarity(Polarisation* value) override;
  STDMETHODIMP put_Range(ULONG value) override { return PutInput(kKsPropSetBdaFrequencyFilter, 2, value); }
  STDMETHODIMP get_Range(ULONG* value) override { return GetInput(kKsPropSetBdaFrequencyFilter, 2, value); }
  STDMETHODIMP put_Bandwidth(ULONG value) override { return PutInput(kKsPropSetBdaFrequencyFilter, 4, value); }
  STDMETHODIMP get_Bandwidth(ULONG* value) override { return GetInput(kKsPropSetBdaFrequencyFilter, 4, value); }
  STDMETHODIMP put_FrequencyMultiplier(ULONG value) override {
    return PutInput(kKsPropSetBdaFrequencyFilter, 5, value);
  }
  STDMETHODIMP get_FrequencyMultiplier(ULONG* value) override {
    return GetInput(kKsPropSetBdaFrequencyFilter, 5, value);
  }
  // The statistics are the driver's to measure.
  STDMETHODIMP put_SignalStrength(LONG) override { return E_NOTIMPL; }
  STDMETHODIMP get_SignalStrength(LONG* value) override;
  STDMETHODIMP put_SignalQuality(LONG) override { return E_NOTIMPL; }
  STDMETHODIMP get_SignalQuality(LONG* value) override;
  STDMETHODIMP put_SignalPresent(BOOLEAN) override { return E_NOTIMPL; }
  STDMETHODIMP get_SignalPresent(BOOLEAN* value) override;
  STDMETHODIMP put_SignalLocked(BOOLEAN) override { return E_NOTIMPL; }
  STDMETHODIMP get_SignalLocked(BOOLEAN* value) override;
  STDMETHODIMP put_SampleTime(LONG) override { return E_NOTIMPL; }
  STDMETHODIMP get_SampleTime(LONG* value) override;

  const std::shared_ptr<CEmulatedBdaDevice>& Device() const { return m_tuner->Device(); }
  // The pins in the emulated tuner's order (pins it creates on demand join here).
  std::vector<CTestTunerPin*> Pins();

 private:
  HRESULT PutInput(const GUID& set, DWORD id, ULONG value);
  template <class T>
  HRESULT GetInput(const GUID& set, DWORD id, T* value);
  std::shared_ptr<CKsPropertySet> InputSet();

  std::shared_ptr<CEmuTunerFilter> m_tuner;
  std::vector<std::unique_ptr<CTestTunerPin>> m_pins;
};
#endif
