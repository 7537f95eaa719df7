// Device enumeration, list texts and the start-up selection.
#include "bda/device_selection.h"
#include "bda_fixture.h"
#include "settings/settings_store.h"

namespace {

constexpr HRESULT E_ABORT_TEST = static_cast<HRESULT>(0x80004004u);

const char kMixed[] =
    "[A]\nFriendlyName=First DVB-T\nDelivery=terrestrial\n"
    "[B]\nFriendlyName=Acme DVBLink Tuner\n"
    "[C]\nFriendlyName=USB 2.0 BDA DVB-S Tuner\nDelivery=cable\nMedium=3\n"
    "[D]\nFriendlyName=Combo\nNodes=rf,qpsk,qam\n"
    "[E]\nFriendlyName=Combo Reversed\nNodes=rf,qam,qpsk\n"
    "[F]\nFriendlyName=Mystery\nNodes=rf\n"
    "[G]\nFriendlyName=Atsc Box\nDelivery=atsc\n"
    "[H]\nFriendlyName=Isdb Box\nDelivery=isdb\n";

class CScriptedChooser final : public CDeviceChooser {
 public:
  bool Choose(const std::vector<std::string>& texts, int selected, bool* useAsDefault, int* chosen) override {
    ++calls;
    shownTexts = texts;
    shownSelected = selected;
    *useAsDefault = tick;
    *chosen = pick;
    return ok;
  }
  int calls = 0;
  std::vector<std::string> shownTexts;
  int shownSelected = -1;
  bool ok = true, tick = false;
  int pick = 0;
};

}  // namespace

TEST_F(BdaTest, EnumerationClassifiesListsAndSkips) {
  Describe(kMixed);
  CBdaGraph graph;
  DEVICE_LIST list;
  EXPECT_EQ(graph.FindEnumDevice(&AddEnumeratedDevice, &list), 0);
  EXPECT_EQ(list.texts, (std::vector<std::string>{"1: First DVB-T - Terrestial", "3: USB 2.0 BDA DVB-S Tuner - Satellite",
                                                  "4: Combo - Satellite", "5: Combo Reversed - Cable",
                                                  "6: Mystery", "7: Atsc Box - ATSC", "8: Isdb Box - ISDB"}));
  // The DVBLink tuner is skipped but keeps its position.
  EXPECT_EQ(list.devices[1].index, 2);
  // The Technotrend table overrides the topology.
  EXPECT_EQ(list.devices[1].deliveryType, kDeliverySatellite);
  EXPECT_EQ(list.devices[1].ttDeviceClass, 3);
  EXPECT_EQ(list.devices[1].extensionType, 1);
  EXPECT_EQ(list.devices[1].tunerPinMedium, 3u);
  EXPECT_EQ(list.devices[0].extensionType, 0);
  EXPECT_STREQ(list.devices[0].captureName, "");
  EXPECT_NE(std::string(list.devices[0].devicePath), "");
}

TEST(DeviceList, TtTableAndListText) {
  PARAM_DEVICE d;
  std::snprintf(d.friendlyName, sizeof(d.friendlyName), "My TTHybridTV BDA ATSC Tuner (2)");
  ApplyTtFamilyTable(&d);
  EXPECT_EQ(d.deliveryType, kDeliveryAtsc);
  EXPECT_EQ(d.ttDeviceClass, 2);
  EXPECT_EQ(d.extensionType, 1);
  // Where two rows match, the later one wins.
  std::snprintf(d.friendlyName, sizeof(d.friendlyName), "TechnoTrend BDA/DVB-S Tuner + USB 2.0 BDA DSS Tuner");
  ApplyTtFamilyTable(&d);
  EXPECT_EQ(d.ttDeviceClass, 5);
  d.index = 11;
  d.deliveryType = 9;  // no suffix for unknown types
  char text[300];
  FormatDeviceListText(d, text, sizeof(text));
  EXPECT_STREQ(text, "12: TechnoTrend BDA/DVB-S Tuner + USB 2.0 BDA DSS Tuner");
}

TEST_F(BdaTest, EnumerationCallbackCanStopTheWalk) {
  Describe(kMixed);
  CBdaGraph graph;
  int seen = 0;
  HRESULT hr = graph.FindEnumDevice(
      [](PARAM_DEVICE*, void* context) -> HRESULT { return ++*static_cast<int*>(context) == 2 ? E_ABORT_TEST : S_OK; },
      &seen);
  EXPECT_EQ(hr, E_ABORT_TEST);
  EXPECT_EQ(seen, 2);
}

TEST_F(BdaTest, SelectionTakesDefaultOnlyDeviceOrTheChoice) {
  auto store = SettingsStore::CreateRegistryStore("BdaSelectionTest");
  Describe(kMixed);
  CBdaGraph graph;
  CScriptedChooser chooser;
  DEVICE_CHOICE choice;

  // A stored default in range is taken without asking.
  store->WriteInt(kCommonSection, "DefaultDevice", 2);
  {
    DEVICE_LIST list;
    ASSERT_EQ(SelectDevice(graph, *store, chooser, &list, &choice), SELECTION_RESULT::Chosen);
    EXPECT_EQ(chooser.calls, 0);
    EXPECT_EQ(choice.position, 1);
    EXPECT_TRUE(choice.isDefault);
    EXPECT_EQ(store->ReadInt(kCommonSection, "DefaultDevice", -1), 2);
  }
  // A default beyond the list brings the dialog back; a ticked choice becomes the default.
  store->WriteInt(kCommonSection, "DefaultDevice", 40);
  chooser.pick = 3;
  chooser.tick = true;
  {
    DEVICE_LIST list;
    ASSERT_EQ(SelectDevice(graph, *store, chooser, &list, &choice), SELECTION_RESULT::Chosen);
    EXPECT_EQ(chooser.calls, 1);
    EXPECT_EQ(chooser.shownSelected, 0);
    EXPECT_EQ(chooser.shownTexts.size(), 7u);
    EXPECT_STREQ(choice.device.friendlyName, "Combo Reversed");
    EXPECT_EQ(store->ReadInt(kCommonSection, "DefaultDevice", -1), 4);
  }
  chooser.ok = false;
  store->WriteInt(kCommonSection, "DefaultDevice", 0);
  {
    DEVICE_LIST list;
    EXPECT_EQ(SelectDevice(graph, *store, chooser, &list, &choice), SELECTION_RESULT::Cancelled);
  }
}

TEST_F(BdaTest, SelectionWithOneOrNoDevice) {
  auto store = SettingsStore::CreateRegistryStore("BdaSelectionTest1");
  CScriptedChooser chooser;
  DEVICE_CHOICE choice;
  {
    CBdaGraph graph;
    store->WriteInt(kCommonSection, "DefaultDevice", 5);
    DEVICE_LIST list;
    ASSERT_EQ(SelectDevice(graph, *store, chooser, &list, &choice), SELECTION_RESULT::Chosen);
    EXPECT_EQ(chooser.calls, 0);
    EXPECT_FALSE(choice.isDefault);
    EXPECT_EQ(store->ReadInt(kCommonSection, "DefaultDevice", -1), 0);
  }
  ASSERT_TRUE(m_platform.Load(EMULATED_DESCRIPTION{}));
  CBdaGraph graph;
  DEVICE_LIST list;
  EXPECT_EQ(SelectDevice(graph, *store, chooser, &list, &choice), SELECTION_RESULT::NoDevice);
}
