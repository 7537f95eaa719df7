// The DirectShow backend against what the system provides (under Wine: the filter graph
// manager, the sample grabber and an empty tuner category).
#ifdef _WIN32
#include "platform/win32/directshow_platform.h"
#include "platform/win32/directshow_shells.h"

#include <gtest/gtest.h>

#include <tuner.h>

#include <cstring>

#include "bda/bda_graph.h"
#include "bda/network_provider.h"
#include "platform/bda_guids.h"

namespace {

class DirectShowTest : public ::testing::Test {
 protected:
  void SetUp() override { m_com = SUCCEEDED(OsDevicePlatform().Startup()); }
  void TearDown() override {
    if (m_com) OsDevicePlatform().Shutdown();
  }
  bool m_com = false;
};

// A media sample with a fixed buffer and flags.
class CFakeSample final : public IMediaSample {
 public:
  CFakeSample(BYTE* data, LONG length, bool preroll, bool discontinuity)
      : m_data(data), m_length(length), m_preroll(preroll), m_discontinuity(discontinuity) {}
  virtual ~CFakeSample() = default;
  STDMETHODIMP QueryInterface(REFIID, void** ppv) override {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 1; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP GetPointer(BYTE** buffer) override {
    *buffer = m_data;
    return S_OK;
  }
  STDMETHODIMP_(LONG) GetSize() override { return m_length; }
  STDMETHODIMP GetTime(REFERENCE_TIME*, REFERENCE_TIME*) override { return VFW_E_SAMPLE_TIME_NOT_SET; }
  STDMETHODIMP SetTime(REFERENCE_TIME*, REFERENCE_TIME*) override { return S_OK; }
  STDMETHODIMP IsSyncPoint() override { return S_OK; }
  STDMETHODIMP SetSyncPoint(BOOL) override { return S_OK; }
  STDMETHODIMP IsPreroll() override { return m_preroll ? S_OK : S_FALSE; }
  STDMETHODIMP SetPreroll(BOOL) override { return S_OK; }
  STDMETHODIMP_(LONG) GetActualDataLength() override { return m_length; }
  STDMETHODIMP SetActualDataLength(LONG) override { return S_OK; }
  STDMETHODIMP GetMediaType(AM_MEDIA_TYPE**) override { return S_FALSE; }
  STDMETHODIMP SetMediaType(AM_MEDIA_TYPE*) override { return S_OK; }
  STDMETHODIMP IsDiscontinuity() override { return m_discontinuity ? S_OK : S_FALSE; }
  STDMETHODIMP SetDiscontinuity(BOOL) override { return S_OK; }
  STDMETHODIMP GetMediaTime(LONGLONG*, LONGLONG*) override { return VFW_E_MEDIA_TIME_NOT_SET; }
  STDMETHODIMP SetMediaTime(LONGLONG*, LONGLONG*) override { return S_OK; }

 private:
  BYTE* m_data;
  LONG m_length;
  bool m_preroll, m_discontinuity;
};

class CRecordingCallback final : public CSampleCallback {
 public:
  HRESULT SampleCB(double, const MEDIA_SAMPLE_INFO& sample) override {
    last = sample;
    ++calls;
    return S_OK;
  }
  MEDIA_SAMPLE_INFO last{};
  int calls = 0;
};


// An input pin for our provider's output: proposes one media type, answers
// GetAllocatorRequirements with E_NOTIMPL, and can refuse a connection or an allocator.
class CTestInputPin final : public IPin, public IMemInputPin {
 public:
  CTestInputPin() {
    proposed.majortype = kKsDataFormatTypeBdaAntenna;
    proposed.subtype = kTestSubtype;
    proposed.formattype = kTestFormat;
  }
  virtual ~CTestInputPin() {
    if (connected) connected->Release();
    if (ownAllocator) ownAllocator->Release();
    if (notified) notified->Release();
  }
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_IPin) *ppv = static_cast<IPin*>(this);
    else if (riid == IID_IMemInputPin) *ppv = static_cast<IMemInputPin*>(this);
    else {
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP Connect(IPin*, const AM_MEDIA_TYPE*) override { return E_UNEXPECTED; }
  STDMETHODIMP ReceiveConnection(IPin* pin, const AM_MEDIA_TYPE* type) override {
    if (refuseConnection) return VFW_E_TYPE_NOT_ACCEPTED;
    received = *type;
    connected = pin;
    pin->AddRef();
    return S_OK;
  }
  STDMETHODIMP Disconnect() override {
    ++disconnects;
    if (connected) connected->Release();
    connected = nullptr;
    return S_OK;
  }
  STDMETHODIMP ConnectedTo(IPin** pin) override {
    *pin = connected;
    if (!connected) return VFW_E_NOT_CONNECTED;
    connected->AddRef();
    return S_OK;
  }
  STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
  STDMETHODIMP QueryPinInfo(PIN_INFO* info) override {
    std::memset(info, 0, sizeof(*info));
    info->dir = PINDIR_INPUT;
    return S_OK;
  }
  STDMETHODIMP QueryDirection(PIN_DIRECTION* direction) override {
    *direction = PINDIR_INPUT;
    return S_OK;
  }
  STDMETHODIMP QueryId(LPWSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE*) override { return S_OK; }
  STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** types) override;
  STDMETHODIMP QueryInternalConnections(IPin**, ULONG*) override { return E_NOTIMPL; }
  STDMETHODIMP EndOfStream() override { return S_OK; }
  STDMETHODIMP BeginFlush() override { return S_OK; }
  STDMETHODIMP EndFlush() override { return S_OK; }
  STDMETHODIMP NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override { return S_OK; }
  // IMemInputPin.
  STDMETHODIMP GetAllocator(IMemAllocator** allocator) override {
    *allocator = ownAllocator;
    if (!ownAllocator) return VFW_E_NO_ALLOCATOR;
    ownAllocator->AddRef();
    return S_OK;
  }
  STDMETHODIMP NotifyAllocator(IMemAllocator* allocator, BOOL) override {
    if (refuseOwnAllocator && allocator == ownAllocator) return E_FAIL;
    if (notified) notified->Release();
    notified = allocator;
    allocator->AddRef();
    return S_OK;
  }
  STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) override { return E_NOTIMPL; }
  STDMETHODIMP Receive(IMediaSample*) override { return E_UNEXPECTED; }
  STDMETHODIMP ReceiveMultiple(IMediaSample**, LONG, LONG*) override { return E_UNEXPECTED; }
  STDMETHODIMP ReceiveCanBlock() override { return S_FALSE; }

  static constexpr GUID kTestSubtype = {0x5A1E0001, 0x1, 0x2, {1, 2, 3, 4, 5, 6, 7, 8}};
  static constexpr GUID kTestFormat = {0x5A1E0002, 0x1, 0x2, {1, 2, 3, 4, 5, 6, 7, 8}};
  AM_MEDIA_TYPE proposed = {};
  AM_MEDIA_TYPE received = {};
  IPin* connected = nullptr;
  IMemAllocator* ownAllocator = nullptr;
  IMemAllocator* notified = nullptr;
  bool refuseConnection = false;
  bool refuseOwnAllocator = false;
  int disconnects = 0;
};

// IEnumMediaTypes over the pin's one proposal.
class COneTypeEnum final : public IEnumMediaTypes {
 public:
  explicit COneTypeEnum(const AM_MEDIA_TYPE& type) : m_type(type) {}
  virtual ~COneTypeEnum() = default;
  STDMETHODIMP QueryInterface(REFIID, void** ppv) override {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++m_references; }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG left = --m_references;
    if (!left) delete this;
    return left;
  }
  STDMETHODIMP Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override {
    ULONG got = 0;
    if (count && !m_done) {
      types[0] = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
      *types[0] = m_type;
      m_done = true;
      got = 1;
    }
    if (fetched) *fetched = got;
    return got == count ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG) override { return S_FALSE; }
  STDMETHODIMP Reset() override {
    m_done = false;
    return S_OK;
  }
  STDMETHODIMP Clone(IEnumMediaTypes**) override { return E_NOTIMPL; }

 private:
  AM_MEDIA_TYPE m_type;
  bool m_done = false;
  ULONG m_references = 1;
};

STDMETHODIMP CTestInputPin::EnumMediaTypes(IEnumMediaTypes** types) {
  *types = new COneTypeEnum(proposed);
  return S_OK;
}

// IMemAllocator that counts commits and decommits.
class CCountingAllocator final : public IMemAllocator {
 public:
  STDMETHODIMP QueryInterface(REFIID, void** ppv) override {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++references; }
  STDMETHODIMP_(ULONG) Release() override { return --references; }
  STDMETHODIMP SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override {
    *actual = *request;
    return S_OK;
  }
  STDMETHODIMP GetProperties(ALLOCATOR_PROPERTIES*) override { return E_NOTIMPL; }
  STDMETHODIMP Commit() override {
    ++commits;
    return S_OK;
  }
  STDMETHODIMP Decommit() override {
    ++decommits;
    return S_OK;
  }
  STDMETHODIMP GetBuffer(IMediaSample**, REFERENCE_TIME*, REFERENCE_TIME*, DWORD) override { return E_FAIL; }
  STDMETHODIMP ReleaseBuffer(IMediaSample*) override { return S_OK; }
  ULONG references = 1;
  int commits = 0, decommits = 0;
};

// A sample grabber that keeps the callback it was given, as a streaming thread inside
// SampleCB still would after SetCallback replaced it.
class CKeepingGrabber final : public IBaseFilter, public ISampleGrabber {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (riid == __uuidof(ISampleGrabber)) *ppv = static_cast<ISampleGrabber*>(this);
    else if (riid == IID_IUnknown || riid == IID_IBaseFilter) *ppv = static_cast<IBaseFilter*>(this);
    else {
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP GetClassID(CLSID*) override { return E_NOTIMPL; }
  STDMETHODIMP Stop() override { return S_OK; }
  STDMETHODIMP Pause() override { return S_OK; }
  STDMETHODIMP Run(REFERENCE_TIME) override { return S_OK; }
  STDMETHODIMP GetState(DWORD, FILTER_STATE*) override { return E_NOTIMPL; }
  STDMETHODIMP SetSyncSource(IReferenceClock*) override { return S_OK; }
  STDMETHODIMP GetSyncSource(IReferenceClock**) override { return E_NOTIMPL; }
  STDMETHODIMP EnumPins(IEnumPins**) override { return E_NOTIMPL; }
  STDMETHODIMP FindPin(LPCWSTR, IPin**) override { return E_NOTIMPL; }
  STDMETHODIMP QueryFilterInfo(FILTER_INFO*) override { return E_NOTIMPL; }
  STDMETHODIMP JoinFilterGraph(IFilterGraph*, LPCWSTR) override { return S_OK; }
  STDMETHODIMP QueryVendorInfo(LPWSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP SetOneShot(BOOL) override { return S_OK; }
  STDMETHODIMP SetMediaType(const AM_MEDIA_TYPE*) override { return S_OK; }
  STDMETHODIMP GetConnectedMediaType(AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
  STDMETHODIMP SetBufferSamples(BOOL) override { return S_OK; }
  STDMETHODIMP GetCurrentBuffer(LONG*, LONG*) override { return E_NOTIMPL; }
  STDMETHODIMP GetCurrentSample(IMediaSample**) override { return E_NOTIMPL; }
  STDMETHODIMP SetCallback(ISampleGrabberCB* callback, LONG) override {
    if (callback) {
      callback->AddRef();
      held.push_back(callback);
    }
    return S_OK;
  }
  std::vector<ISampleGrabberCB*> held;
};

// Our provider in a real graph with the test pin, connected directly.
struct PROVIDER_SHELL {
  std::shared_ptr<CDVBNetworkProviderFilter> logic = std::make_shared<CDVBNetworkProviderFilter>();
  std::shared_ptr<CGraphFilter> filter;
  IBaseFilter* raw = nullptr;
  IPin* pin = nullptr;
  bool Create() {
    if (FAILED(OsDevicePlatform().CreateNetworkProviderFilter(logic, &filter))) return false;
    raw = DirectShowFilterOf(filter);
    return raw && SUCCEEDED(raw->FindPin(L"Antenna Out", &pin));
  }
  ~PROVIDER_SHELL() {
    if (pin) pin->Release();
  }
};
}  // namespace

TEST(GrabberCallbackShell, AnswersComAsTheGrabberExpectsAndPassesFlags) {
  CRecordingCallback callback;
  CSampleGrabberCBShell shell(&callback);
  void* p = nullptr;
  EXPECT_EQ(shell.QueryInterface(__uuidof(ISampleGrabberCB), &p), S_OK);
  EXPECT_EQ(p, static_cast<ISampleGrabberCB*>(&shell));
  EXPECT_EQ(shell.QueryInterface(IID_IUnknown, &p), S_OK);
  EXPECT_EQ(shell.QueryInterface(IID_IBaseFilter, &p), E_NOINTERFACE);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(shell.AddRef(), 2u);
  EXPECT_EQ(shell.Release(), 1u);

  BYTE data[376] = {0x47};
  CFakeSample sample(data, sizeof(data), true, false);
  EXPECT_EQ(shell.SampleCB(0.5, &sample), S_OK);
  EXPECT_EQ(callback.calls, 1);
  EXPECT_EQ(callback.last.data, data);
  EXPECT_EQ(callback.last.actualLength, 376u);
  EXPECT_TRUE(callback.last.preroll);
  EXPECT_FALSE(callback.last.discontinuity);
  EXPECT_EQ(shell.SampleCB(0.5, nullptr), S_OK);
  EXPECT_EQ(callback.calls, 1);
}

TEST_F(DirectShowTest, GraphGrabberAndOurProviderInARealGraph) {
  CDevicePlatform& platform = OsDevicePlatform();
  std::shared_ptr<CFilterGraph> graph;
  if (FAILED(platform.CreateFilterGraph(&graph))) GTEST_SKIP() << "no filter graph manager here";
  std::shared_ptr<CGraphFilter> grabber;
  HRESULT hr = platform.CreateSampleGrabber(&grabber);
  if (FAILED(hr)) GTEST_SKIP() << "no sample grabber here";
  std::shared_ptr<CSampleGrabber> sg;
  ASSERT_EQ(grabber->QuerySampleGrabber(&sg), S_OK);
  EXPECT_EQ(sg->SetMediaType(DS_MEDIA_TYPE{kMediaTypeStream, kGuidNull, kGuidNull}), S_OK);
  EXPECT_EQ(sg->SetOneShot(FALSE), S_OK);
  EXPECT_EQ(sg->SetBufferSamples(FALSE), S_OK);
  CRecordingCallback callback;
  EXPECT_EQ(sg->SetCallback(&callback, 0), S_OK);
  EXPECT_EQ(sg->SetCallback(nullptr, 0), S_OK);
  ASSERT_EQ(graph->AddFilter(grabber, "SampleGrabber"), S_OK);

  auto provider = std::make_shared<CDVBNetworkProviderFilter>();
  std::shared_ptr<CGraphFilter> np;
  ASSERT_EQ(platform.CreateNetworkProviderFilter(provider, &np), S_OK);
  ASSERT_EQ(graph->AddFilter(np, "Network Provider"), S_OK);
  std::string name;
  EXPECT_EQ(np->QueryFilterInfo(&name), S_OK);
  EXPECT_EQ(name, "Network Provider");

  IBaseFilter* raw = DirectShowFilterOf(np);
  ASSERT_NE(raw, nullptr);
  CLSID clsid;
  EXPECT_EQ(raw->GetClassID(&clsid), S_OK);
  EXPECT_TRUE(clsid == kClsidNetworkProvider);
  for (REFIID iid : {IID_IBaseFilter, IID_IMediaFilter, IID_IPersist, __uuidof(IBDA_NetworkProvider),
                     __uuidof(ITuner), IID_IAMovieSetup}) {
    IUnknown* unknown = nullptr;
    EXPECT_EQ(raw->QueryInterface(iid, reinterpret_cast<void**>(&unknown)), S_OK);
    if (unknown) unknown->Release();
  }
  // Created by the program, never from the filter registry: nothing to register.
  IAMovieSetup* setup = nullptr;
  ASSERT_EQ(raw->QueryInterface(IID_IAMovieSetup, reinterpret_cast<void**>(&setup)), S_OK);
  EXPECT_EQ(setup->Register(), S_FALSE);
  EXPECT_EQ(setup->Unregister(), S_FALSE);
  setup->Release();
  IBDA_NetworkProvider* bda = nullptr;
  ASSERT_EQ(raw->QueryInterface(__uuidof(IBDA_NetworkProvider), reinterpret_cast<void**>(&bda)), S_OK);
  ULONG number = 0;
  EXPECT_EQ(bda->RegisterDeviceFilter(raw, &number), S_OK);
  EXPECT_EQ(number, 1u);
  EXPECT_EQ(bda->PutTuningSpace(GUID_NULL), E_NOTIMPL);
  bda->Release();
  CBdaNetworkProvider* logic = nullptr;
  EXPECT_EQ(np->QueryNetworkProvider(&logic), S_OK);
  EXPECT_EQ(logic, provider.get());

  std::vector<std::shared_ptr<CGraphPin>> pins;
  ASSERT_EQ(np->EnumPins(&pins), S_OK);
  ASSERT_EQ(pins.size(), 1u);
  PIN_INFO_DATA info;
  ASSERT_EQ(pins[0]->QueryPinInfo(&info), S_OK);
  EXPECT_EQ(info.name, "Antenna Out");
  EXPECT_EQ(info.direction, PinDirection::Output);
  std::shared_ptr<CGraphPin> peer;
  EXPECT_EQ(pins[0]->ConnectedTo(&peer), kVfwENotConnected);

  // The pin takes only the antenna type; the grabber's input is no antenna.
  AM_MEDIA_TYPE antenna = {};
  antenna.majortype = kKsDataFormatTypeBdaAntenna;
  AM_MEDIA_TYPE stream = {};
  stream.majortype = kMediaTypeStream;
  IPin* rawPin = nullptr;
  ASSERT_EQ(raw->FindPin(L"Antenna Out", &rawPin), S_OK);
  EXPECT_EQ(rawPin->QueryAccept(&antenna), S_OK);
  EXPECT_EQ(rawPin->QueryAccept(&stream), S_FALSE);
  rawPin->Release();
  std::vector<std::shared_ptr<CGraphPin>> grabberPins;
  grabber->EnumPins(&grabberPins);
  ASSERT_FALSE(grabberPins.empty());
  EXPECT_TRUE(FAILED(graph->ConnectDirect(pins[0], grabberPins[0])));
  EXPECT_EQ(pins[0]->ConnectedTo(&peer), kVfwENotConnected);
  EXPECT_EQ(provider->ConnectedPin(), nullptr);

  EXPECT_EQ(graph->RemoveFilter(np), S_OK);
  EXPECT_EQ(graph->RemoveFilter(grabber), S_OK);
}

TEST_F(DirectShowTest, EmptyTunerCategoryListsNothing) {
  std::shared_ptr<CDeviceEnumerator> enumerator;
  if (FAILED(OsDevicePlatform().CreateDeviceEnumerator(&enumerator))) GTEST_SKIP() << "no device enumerator here";
  std::vector<std::shared_ptr<CDeviceMoniker>> monikers;
  HRESULT hr = enumerator->CreateClassEnumerator(kKsCategoryBdaNetworkTuner, &monikers);
  if (hr == S_OK) GTEST_SKIP() << "this system has BDA tuners";
  EXPECT_EQ(hr, S_FALSE);
  EXPECT_TRUE(monikers.empty());

  CDevicePlatform* previous = SetDevicePlatform(&OsDevicePlatform());
  CBdaGraph graph;
  int seen = 0;
  EXPECT_EQ(graph.FindEnumDevice([](PARAM_DEVICE*, void* c) -> HRESULT { return ++*static_cast<int*>(c), S_OK; }, &seen),
            0);
  EXPECT_EQ(seen, 0);
  SetDevicePlatform(previous);
}

TEST_F(DirectShowTest, ProviderPinTakesWinesAllocatorWhenTheReceiverStatesNoAlignment) {
  PROVIDER_SHELL np;
  ASSERT_TRUE(np.Create());
  CTestInputPin input;  // no allocator of its own, no requirements
  ASSERT_EQ(np.pin->Connect(&input, nullptr), S_OK);
  ASSERT_NE(input.notified, nullptr);
  ALLOCATOR_PROPERTIES props = {};
  EXPECT_EQ(input.notified->GetProperties(&props), S_OK);
  EXPECT_EQ(props.cbAlign, 1);
  EXPECT_EQ(props.cBuffers, 0);
  // The negotiated type is the receiver's full proposal.
  EXPECT_TRUE(input.received.subtype == CTestInputPin::kTestSubtype);
  // An allocator with an empty pool has nothing to commit: the filter still runs.
  EXPECT_EQ(np.raw->Pause(), S_OK);
  EXPECT_EQ(np.raw->Run(0), S_OK);
  EXPECT_EQ(np.raw->Stop(), S_OK);
  EXPECT_EQ(np.pin->Disconnect(), S_OK);
  input.Disconnect();
}

TEST_F(DirectShowTest, ProviderPinFallsBackToItsOwnAllocatorAndCommitsWithTheState) {
  PROVIDER_SHELL np;
  ASSERT_TRUE(np.Create());
  CCountingAllocator own;
  CTestInputPin input;
  input.ownAllocator = &own;
  own.AddRef();
  input.refuseOwnAllocator = true;
  ASSERT_EQ(np.pin->Connect(&input, nullptr), S_OK);
  ASSERT_NE(input.notified, nullptr);
  EXPECT_NE(input.notified, static_cast<IMemAllocator*>(&own));
  EXPECT_EQ(np.pin->Disconnect(), S_OK);
  input.Disconnect();

  // The receiver's allocator, accepted: committed on Pause, kept through Run, decommitted on Stop.
  input.refuseOwnAllocator = false;
  ASSERT_EQ(np.pin->Connect(&input, nullptr), S_OK);
  EXPECT_EQ(input.notified, static_cast<IMemAllocator*>(&own));
  EXPECT_EQ(own.commits, 0);
  EXPECT_EQ(np.raw->Pause(), S_OK);
  EXPECT_EQ(own.commits, 1);
  EXPECT_EQ(np.raw->Run(0), S_OK);
  EXPECT_EQ(own.commits, 1);
  EXPECT_EQ(own.decommits, 0);
  EXPECT_EQ(np.raw->Stop(), S_OK);
  EXPECT_EQ(own.decommits, 1);
  FILTER_STATE state = State_Running;
  EXPECT_EQ(np.raw->GetState(0, &state), S_OK);
  EXPECT_EQ(state, State_Stopped);
  EXPECT_EQ(np.pin->Disconnect(), S_OK);
  input.Disconnect();
}

TEST_F(DirectShowTest, RefusedOrPartialConnectionsLeaveTheReceiverAlone) {
  PROVIDER_SHELL np;
  ASSERT_TRUE(np.Create());
  CTestInputPin input;
  input.refuseConnection = true;
  EXPECT_TRUE(FAILED(np.pin->Connect(&input, nullptr)));
  EXPECT_EQ(input.disconnects, 0);  // its other connection is not ours to break
  IPin* peer = nullptr;
  EXPECT_EQ(np.pin->ConnectedTo(&peer), VFW_E_NOT_CONNECTED);
  EXPECT_EQ(np.logic->ConnectedPin(), nullptr);

  // A partial type is matched against the receiver's proposals, not passed on as it is.
  input.refuseConnection = false;
  AM_MEDIA_TYPE partial = {};
  partial.majortype = kKsDataFormatTypeBdaAntenna;
  ASSERT_EQ(np.pin->Connect(&input, &partial), S_OK);
  EXPECT_TRUE(input.received.subtype == CTestInputPin::kTestSubtype);
  EXPECT_TRUE(input.received.formattype == CTestInputPin::kTestFormat);
  EXPECT_EQ(np.pin->Disconnect(), S_OK);
  input.Disconnect();
  AM_MEDIA_TYPE other = {};
  other.majortype = kMediaTypeStream;
  EXPECT_EQ(np.pin->Connect(&input, &other), VFW_E_NO_ACCEPTABLE_TYPES);
}

TEST(GrabberCallbackShell, OneShellPerCallbackObjectThatOutlivesEveryGrabber) {
  CKeepingGrabber keeping;
  std::shared_ptr<CGraphFilter> filter = WrapDirectShowFilter(static_cast<IBaseFilter*>(&keeping));
  std::shared_ptr<CSampleGrabber> grabber;
  ASSERT_EQ(filter->QuerySampleGrabber(&grabber), S_OK);
  CRecordingCallback callback;
  ASSERT_EQ(grabber->SetCallback(&callback, 0), S_OK);
  ASSERT_EQ(grabber->SetCallback(nullptr, 0), S_OK);
  ASSERT_EQ(grabber->SetCallback(&callback, 0), S_OK);
  grabber.reset();
  filter.reset();
  ASSERT_EQ(keeping.held.size(), 2u);
  EXPECT_EQ(keeping.held[0], keeping.held[1]);
  // A streaming thread still inside the first shell after it was replaced reaches the callback.
  BYTE data[188] = {0x47};
  CFakeSample sample(data, sizeof(data), false, false);
  EXPECT_EQ(keeping.held[0]->SampleCB(0.0, &sample), S_OK);
  EXPECT_EQ(callback.calls, 1);
  EXPECT_EQ(callback.last.data, data);
}

TEST_F(DirectShowTest, RebuildingInWinesGraphLeavesTheProviderAsItWas) {
  std::shared_ptr<CFilterGraph> graph;
  if (FAILED(OsDevicePlatform().CreateFilterGraph(&graph))) GTEST_SKIP() << "no filter graph manager here";
  PROVIDER_SHELL np;
  ASSERT_TRUE(np.Create());
  CCountingAllocator own;
  CTestInputPin input;
  input.ownAllocator = &own;
  own.AddRef();
  const ULONG references = np.raw->AddRef() - 1;
  np.raw->Release();
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    ASSERT_EQ(graph->AddFilter(np.filter, "Network Provider"), S_OK);
    // Straight to the pin: the test pin has no filter for the graph's own checks.
    ASSERT_EQ(np.pin->Connect(&input, nullptr), S_OK);
    EXPECT_EQ(graph->Run(), S_OK);
    FILTER_STATE state = State_Stopped;
    EXPECT_EQ(np.raw->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Running);
    const int decommits = own.decommits;
    EXPECT_EQ(graph->Stop(), S_OK);
    EXPECT_EQ(own.commits, round + 1);
    EXPECT_EQ(own.decommits, decommits + 1);
    ASSERT_EQ(graph->RemoveFilter(np.filter), S_OK);
    EXPECT_EQ(input.connected, nullptr);  // the graph broke the connection on both sides
    EXPECT_EQ(np.logic->ConnectedPin(), nullptr);
    EXPECT_EQ(np.raw->AddRef() - 1, references);
    np.raw->Release();
  }
  EXPECT_EQ(own.references, 3u);  // ours, the input pin's and the one it was notified of: the provider let go
}
#endif
