// The DirectShow backend against what the system provides (under Wine: the filter graph
// manager, the sample grabber and an empty tuner category).
#ifdef _WIN32
#include "platform/win32/directshow_platform.h"
#include "platform/win32/directshow_shells.h"

#include <gtest/gtest.h>

#include <tuner.h>

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

  CDVBNetworkProviderFilter provider;
  std::shared_ptr<CGraphFilter> np;
  ASSERT_EQ(platform.CreateNetworkProviderFilter(&provider, &np), S_OK);
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
                     __uuidof(ITuner)}) {
    IUnknown* unknown = nullptr;
    EXPECT_EQ(raw->QueryInterface(iid, reinterpret_cast<void**>(&unknown)), S_OK);
    if (unknown) unknown->Release();
  }
  IBDA_NetworkProvider* bda = nullptr;
  ASSERT_EQ(raw->QueryInterface(__uuidof(IBDA_NetworkProvider), reinterpret_cast<void**>(&bda)), S_OK);
  ULONG number = 0;
  EXPECT_EQ(bda->RegisterDeviceFilter(raw, &number), S_OK);
  EXPECT_EQ(number, 1u);
  EXPECT_EQ(bda->PutTuningSpace(GUID_NULL), E_NOTIMPL);
  bda->Release();
  CBdaNetworkProvider* logic = nullptr;
  EXPECT_EQ(np->QueryNetworkProvider(&logic), S_OK);
  EXPECT_EQ(logic, &provider);

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
  EXPECT_EQ(provider.ConnectedPin(), nullptr);

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
#endif
