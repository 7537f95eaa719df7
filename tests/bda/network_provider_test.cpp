// The network provider's registration table, topology creation and pin checks.
#include "bda/network_provider.h"
#include "bda_fixture.h"

namespace {

class CFailingAllocator final : public CSampleAllocator {
 public:
  explicit CFailingAllocator(HRESULT result, LONG grantedSize = 0) : m_result(result), m_granted(grantedSize) {}
  HRESULT SetProperties(const BUFFER_PROPS& request, BUFFER_PROPS* actual) override {
    *actual = request;
    actual->bufferSize = m_granted;
    return m_result;
  }

 private:
  HRESULT m_result;
  LONG m_granted;
};

// Builds a graph of provider and one bound tuner, connected.
struct PROVIDER_GRAPH {
  std::shared_ptr<CDVBNetworkProviderFilter> provider = std::make_shared<CDVBNetworkProviderFilter>();
  std::shared_ptr<CFilterGraph> graph;
  std::shared_ptr<CGraphFilter> providerFilter, tuner;
};

void Connect(CDevicePlatform& platform, PROVIDER_GRAPH& g) {
  ASSERT_EQ(platform.CreateFilterGraph(&g.graph), S_OK);
  ASSERT_EQ(platform.CreateNetworkProviderFilter(g.provider, &g.providerFilter), S_OK);
  std::shared_ptr<CDeviceEnumerator> enumerator;
  platform.CreateDeviceEnumerator(&enumerator);
  std::vector<std::shared_ptr<CDeviceMoniker>> monikers;
  ASSERT_EQ(enumerator->CreateClassEnumerator(kKsCategoryBdaNetworkTuner, &monikers), S_OK);
  ASSERT_EQ(monikers[0]->BindToObject(&g.tuner), S_OK);
  g.graph->AddFilter(g.providerFilter, "Network Provider");
  g.graph->AddFilter(g.tuner, "Tuner");
  std::vector<std::shared_ptr<CGraphPin>> out, in;
  g.providerFilter->EnumPins(&out);
  g.tuner->EnumPins(&in);
  ASSERT_EQ(g.graph->ConnectDirect(out[0], in[0]), S_OK);
}

std::vector<BDA_CALL> TopologyCalls(CEmulatedBdaDevice& device) {
  std::vector<BDA_CALL> calls;
  for (const BDA_CALL& call : device.Calls())
    if (call.object == "topology" && call.kind != "RegisterDeviceFilter") calls.push_back(call);
  return calls;
}

}  // namespace

TEST(NetworkProvider, TableHoldsTenRegistrationsAndRefusesTheEleventh) {
  CDVBNetworkProviderFilter provider;
  int objects[11];
  for (ULONG i = 0; i < 10; ++i) {
    ULONG number = 0;
    ASSERT_EQ(provider.RegisterDeviceFilter(&objects[i], &number), S_OK);
    EXPECT_EQ(number, i + 1);
  }
  ULONG number = 99;
  EXPECT_EQ(provider.RegisterDeviceFilter(&objects[10], &number), E_FAIL);
  EXPECT_EQ(number, 99u);
  EXPECT_EQ(provider.RegisteredCount(), 10);
  EXPECT_EQ(provider.RegisteredObject(9), &objects[9]);
  EXPECT_EQ(provider.UnRegisterDeviceFilter(1234), S_OK);  // the number given does not matter
  EXPECT_EQ(provider.RegisteredCount(), 9);
  for (int i = 0; i < 20; ++i) provider.UnRegisterDeviceFilter(0);
  EXPECT_EQ(provider.RegisteredCount(), 0);  // never below empty
}

TEST(NetworkProvider, PinChecksMediaTypeBuffersAndConnection) {
  CDVBNetworkProviderFilter provider;
  DS_MEDIA_TYPE antenna = {kKsDataFormatTypeBdaAntenna, kGuidNull, kGuidNull};
  DS_MEDIA_TYPE stream = {kMediaTypeStream, kGuidNull, kGuidNull};
  EXPECT_EQ(provider.CheckMediaType(&antenna), S_OK);
  EXPECT_EQ(provider.CheckMediaType(&stream), kVfwEInvalidMediaType);
  EXPECT_EQ(provider.CheckMediaType(nullptr), E_POINTER);

  BUFFER_PROPS request = {4, 4096, 1, 0};
  CFailingAllocator good(S_OK);
  EXPECT_EQ(provider.DecideBufferSize(&good, &request), S_OK);
  EXPECT_EQ(request.buffers, 0);
  EXPECT_EQ(request.bufferSize, 0);
  CFailingAllocator refusing(E_OUTOFMEMORY);
  EXPECT_EQ(provider.DecideBufferSize(&refusing, &request), E_OUTOFMEMORY);

  EXPECT_EQ(provider.CompleteConnect(nullptr), E_POINTER);
  EXPECT_EQ(provider.Run(), E_FAIL);  // nothing connected
  EXPECT_EQ(provider.ConnectedPin(), nullptr);
}

TEST_F(BdaTest, ProviderPinConnectsOnlyToAnAntennaInput) {
  auto provider = std::make_shared<CDVBNetworkProviderFilter>();
  std::shared_ptr<CFilterGraph> graph;
  std::shared_ptr<CGraphFilter> filter, grabber;
  m_platform.CreateFilterGraph(&graph);
  m_platform.CreateNetworkProviderFilter(provider, &filter);
  m_platform.CreateSampleGrabber(&grabber);
  graph->AddFilter(filter, "Network Provider");
  graph->AddFilter(grabber, "SampleGrabber");
  std::vector<std::shared_ptr<CGraphPin>> out, in;
  filter->EnumPins(&out);
  grabber->EnumPins(&in);
  ASSERT_EQ(out.size(), 1u);
  PIN_INFO_DATA info;
  out[0]->QueryPinInfo(&info);
  EXPECT_EQ(info.name, "Antenna Out");
  EXPECT_EQ(info.direction, PinDirection::Output);
  // The grabber offers the stream type it was given; the provider refuses it.
  std::shared_ptr<CSampleGrabber> sg;
  grabber->QuerySampleGrabber(&sg);
  sg->SetMediaType(DS_MEDIA_TYPE{kMediaTypeStream, kGuidNull, kGuidNull});
  EXPECT_EQ(graph->ConnectDirect(out[0], in[0]), kVfwEInvalidMediaType);
  EXPECT_EQ(provider->ConnectedPin(), nullptr);
}

TEST_F(BdaTest, RegistrationBuildsTopologyOnlyOnceConnected) {
  PROVIDER_GRAPH g;
  Connect(m_platform, g);
  auto calls = TopologyCalls(*m_platform.Device(0));
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.back().kind, "CreateTopology");
  EXPECT_EQ(calls.back().data, (std::vector<BYTE>{0, 1}));
  EXPECT_EQ(g.provider->RegisteredCount(), 1);
  EXPECT_NE(g.provider->RegisteredObject(0), nullptr);

  // Unconnected: a registration only records the object.
  m_platform.ClearCalls();
  CDVBNetworkProviderFilter lonely;
  int object = 0;
  ULONG number = 0;
  EXPECT_EQ(lonely.RegisterDeviceFilter(&object, &number), S_OK);
  EXPECT_TRUE(TopologyCalls(*m_platform.Device(0)).empty());
}

TEST_F(BdaTest, TopologyUsesReportedPinTypesAndCreatesMissingPins) {
  Describe("[Dev]\nFriendlyName=Lazy Tuner\nPinTypes=5,6,7\nPinsOnDemand=1\n");
  PROVIDER_GRAPH g;
  Connect(m_platform, g);
  auto calls = TopologyCalls(*m_platform.Device(0));
  std::vector<std::string> kinds;
  for (const auto& call : calls) kinds.push_back(call.kind);
  EXPECT_EQ(kinds, (std::vector<std::string>{"GetPinTypes", "CreatePin", "CreateTopology"}));
  EXPECT_EQ(calls[1].id, 6u);  // the output pin's type
  EXPECT_EQ(calls[2].data, (std::vector<BYTE>{5, 1}));  // input id: first type; output: the created pin
  std::vector<std::shared_ptr<CGraphPin>> pins;
  g.tuner->EnumPins(&pins);
  EXPECT_EQ(pins.size(), 2u);
}
