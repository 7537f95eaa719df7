// Graph construction on emulated devices.
#include "bda/network_provider.h"
#include "bda_fixture.h"
#include "platform/emulated/vendor_driver.h"

namespace {

const char kTwoSameNames[] =
    "[A]\nFriendlyName=Twin Tuner\nDevicePath=path-a\n"
    "[B]\nFriendlyName=Twin Tuner\nDevicePath=path-b\n";

CSampleGrabberCB& Callback() {
  static CSampleGrabberCB callback(&CSampleCollector::Handler);
  return callback;
}

PARAM_DEVICE DeviceAt(std::vector<PARAM_DEVICE> devices, size_t i) { return devices.at(i); }

}  // namespace

TEST_F(BdaTest, DefaultDeviceConnectsStraightToTheGrabber) {
  CBdaGraph graph;
  auto devices = Enumerate(graph);
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0].deliveryType, kDeliverySatellite);

  EXPECT_EQ(graph.BuildGraph(devices[0], 0, &Callback()), 0);
  EXPECT_TRUE(graph.IsBuilt());
  EXPECT_FALSE(graph.IsFailed());
  EXPECT_EQ(graph.m_pCaptureDevice, nullptr);
  EXPECT_STREQ(graph.Device().captureName, "");
  EXPECT_NE(graph.m_pKsTunerInputPropSet, nullptr);
  EXPECT_NE(graph.m_pKsTunerOutputPropSet, nullptr);
  EXPECT_NE(graph.m_pKsTunerPropSet, nullptr);
  EXPECT_STREQ(graph.ExtensionName(), "Microsoft BDA extension (Win7)");  // the standard DiSEqC set
  // The tuner registered with our provider, which built its topology with ids 0 and 1.
  EXPECT_EQ(m_platform.Device(0)->Registrations(), 1);
  EXPECT_EQ(graph.m_pNetworkProvider->RegisteredCount(), 1);
  bool topology = false;
  for (const BDA_CALL& call : m_platform.Device(0)->Calls()) {
    EXPECT_NE(call.kind, "CreatePin");
    if (call.kind == "CreateTopology") {
      topology = true;
      EXPECT_EQ(call.data, (std::vector<BYTE>{0, 1}));
    }
  }
  EXPECT_TRUE(topology);
}

TEST_F(BdaTest, CaptureFilterJoinsWhenTheTunerCannotFeedTheGrabber) {
  Describe("[Dev]\nFriendlyName=Split Tuner\nCapture=Split Capture\nMedium=7\n");
  CBdaGraph graph;
  auto devices = Enumerate(graph);
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0].tunerPinMedium, 7u);
  ASSERT_EQ(graph.BuildGraph(devices[0], 0, &Callback()), 0);
  ASSERT_NE(graph.m_pCaptureDevice, nullptr);
  EXPECT_NE(graph.m_pCaptureDevice, graph.m_pTunerDevice);
  EXPECT_STREQ(graph.Device().captureName, "Split Capture");
  EXPECT_NE(graph.m_pKsCapturePropSet, nullptr);
}

TEST_F(BdaTest, ReceiverNamedLikeTheTunerIsTheTunerItself) {
  Describe("[Dev]\nFriendlyName=Self Tuner\nCaptureIsTuner=1\n");
  CBdaGraph graph;
  ASSERT_EQ(graph.BuildGraph(DeviceAt(Enumerate(graph), 0), 0, &Callback()), 0);
  // It connected directly, so the receiver walk was not needed at all.
  EXPECT_EQ(graph.m_pCaptureDevice, nullptr);
  EXPECT_EQ(graph.LoadFilter(kKsCategoryBdaReceiverComponent, &graph.m_pCaptureDevice, graph.m_pTunerDevice, TRUE,
                             nullptr),
            S_OK);
  EXPECT_EQ(graph.m_pCaptureDevice, graph.m_pTunerDevice);
  graph.DestroyGraph();
  EXPECT_EQ(graph.m_pTunerDevice, nullptr);
}

TEST_F(BdaTest, SameFriendlyNamesLoadTheDeviceAtTheStoredPosition) {
  Describe(kTwoSameNames);
  CBdaGraph graph;
  auto devices = Enumerate(graph);
  ASSERT_EQ(devices.size(), 2u);
  EXPECT_EQ(devices[1].index, 1);
  EXPECT_STREQ(devices[1].devicePath, "path-b");
  ASSERT_EQ(graph.BuildGraph(devices[1], 0, &Callback()), 0);
  EXPECT_EQ(m_platform.Device(0)->Registrations(), 0);
  EXPECT_EQ(m_platform.Device(1)->Registrations(), 1);
}

TEST_F(BdaTest, BuildRefusesUndeterminedDevicesAndRebuildsCleanly) {
  CBdaGraph graph;
  PARAM_DEVICE device = DeviceAt(Enumerate(graph), 0);
  PARAM_DEVICE unknown = device;
  unknown.deliveryType = kDeliveryUnknown;
  EXPECT_EQ(graph.BuildGraph(unknown, 0, &Callback()), 1);
  EXPECT_EQ(graph.BuildGraph(device, 0, nullptr), 1);
  EXPECT_FALSE(graph.IsBuilt());
  EXPECT_EQ(graph.m_pGraph, nullptr);  // nothing touched

  ASSERT_EQ(graph.BuildGraph(device, 0, &Callback()), 0);
  ASSERT_EQ(graph.RunGraph(), S_OK);
  auto firstTuner = graph.m_pTunerDevice;
  ASSERT_EQ(graph.BuildGraph(device, 0, &Callback()), 0);
  EXPECT_FALSE(graph.IsRunning());
  EXPECT_NE(graph.m_pTunerDevice, firstTuner);
  std::vector<std::shared_ptr<CGraphPin>> pins;
  firstTuner->EnumPins(&pins);
  for (const auto& pin : pins) {
    std::shared_ptr<CGraphPin> peer;
    EXPECT_EQ(pin->ConnectedTo(&peer), kVfwENotConnected);  // the old tuner left the graph
  }
  std::string name;
  firstTuner->QueryFilterInfo(&name);
  EXPECT_EQ(name, "");
}

TEST_F(BdaTest, RunAndStopAreIdempotentAndRunResetsTheInputRange) {
  CBdaGraph graph;
  ASSERT_EQ(graph.BuildGraph(DeviceAt(Enumerate(graph), 0), 0, &Callback()), 0);
  EXPECT_EQ(graph.StopGraph(), S_OK);  // not running yet
  m_platform.Device(0)->ClearCalls();
  EXPECT_EQ(graph.RunGraph(), S_OK);
  EXPECT_EQ(graph.RunGraph(), S_OK);
  EXPECT_TRUE(graph.IsRunning());
  EXPECT_EQ(SetCalls(0), (std::vector<SENT>{{"frequency", 2, -1}}));
  EXPECT_EQ(graph.StopGraph(), S_OK);
  EXPECT_FALSE(graph.IsRunning());
  EXPECT_EQ(graph.StopGraph(), S_OK);
  EXPECT_EQ(graph.RunGraph(), S_OK);
  EXPECT_TRUE(graph.IsRunning());
}

TEST_F(BdaTest, EmptyTunerCategoryFailsTheBuild) {
  ASSERT_TRUE(m_platform.Load(EMULATED_DESCRIPTION{}));
  CBdaGraph graph;
  EXPECT_TRUE(Enumerate(graph).empty());
  PARAM_DEVICE device;
  device.deliveryType = kDeliverySatellite;
  EXPECT_EQ(graph.BuildGraph(device, 0, &Callback()), E_HANDLE);
  EXPECT_TRUE(graph.IsFailed());
  EXPECT_FALSE(graph.IsBuilt());
  EXPECT_EQ(graph.GetCaps(), 0);
  EXPECT_EQ(graph.SetLnbPower(1), E_FAIL);
  EXPECT_EQ(graph.m_pNetworkProviderFilter, nullptr);
}

TEST_F(BdaTest, MonikerWithoutReadableNameHasNoPosition) {
  Describe("[Broken]\nNameReadable=0\n[Good]\nFriendlyName=Good Tuner\n");
  CBdaGraph graph;
  auto devices = Enumerate(graph);
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0].index, 0);
  EXPECT_STREQ(devices[0].friendlyName, "Good Tuner");
  // The build counts the same way and loads the device enumeration meant.
  ASSERT_EQ(graph.BuildGraph(devices[0], 0, &Callback()), 0);
  EXPECT_EQ(m_platform.Device(0)->Registrations(), 0);
  EXPECT_EQ(m_platform.Device(1)->Registrations(), 1);
}

TEST_F(BdaTest, ProviderOutlivesTheGraphForWhoeverStillHoldsIt) {
  CBdaGraph graph;
  auto devices = Enumerate(graph);
  ASSERT_EQ(graph.BuildGraph(devices.at(0), 0, &Callback()), 0);
  // A driver's plug-in or a kept pin enumerator can outlast the graph.
  std::shared_ptr<CGraphFilter> kept = graph.m_pNetworkProviderFilter;
  std::vector<std::shared_ptr<CGraphPin>> pins;
  ASSERT_EQ(kept->EnumPins(&pins), S_OK);
  ASSERT_EQ(pins.size(), 1u);
  graph.DestroyGraph();
  CBdaNetworkProvider* provider = nullptr;
  ASSERT_EQ(kept->QueryNetworkProvider(&provider), S_OK);
  ULONG number = 0;
  EXPECT_EQ(provider->RegisterDeviceFilter(nullptr, &number), S_OK);
  EXPECT_EQ(provider->UnRegisterDeviceFilter(number), S_OK);
  PIN_INFO_DATA info;
  ASSERT_EQ(pins[0]->QueryPinInfo(&info), S_OK);
  EXPECT_EQ(info.name, "Antenna Out");
  std::shared_ptr<CGraphPin> peer;
  EXPECT_EQ(pins[0]->ConnectedTo(&peer), kVfwENotConnected);
}

// A receiver left running reads the signal every second: what the emulated drivers
// keep of their calls is bounded, and the dump says how many went unrecorded.
TEST(EmulatedCallRecord, StaysBoundedAndCountsWhatItDrops) {
  EMULATED_DESCRIPTION description;
  std::string error;
  ASSERT_TRUE(ParseEmulatedDescription("[Sat]\nDelivery=satellite\n", "", &description, &error)) << error;
  CEmulatedBdaPlatform platform;
  ASSERT_TRUE(platform.Load(description, &error)) << error;
  auto device = platform.Device(0);
  BDA_CALL call;
  call.object = "tuner";
  call.kind = "Get";
  for (size_t i = 0; i < kMaxRecordedCalls + 5; ++i) device->Record(call);
  EXPECT_EQ(device->Calls().size(), kMaxRecordedCalls);
  EXPECT_NE(device->DumpCalls().find("(5 later calls not recorded)\n"), std::string::npos);
  device->ClearCalls();
  EXPECT_EQ(device->DumpCalls().find("not recorded"), std::string::npos);
}
