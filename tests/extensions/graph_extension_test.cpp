// The extension chosen inside BuildGraph on emulated devices of each family:
// the graph hands over the right interfaces and the vendor sets reach the driver.
#include "bda/bda_fixture.h"
#include "bda/device_selection.h"
#include "common/fake_system.h"
#include "extensions/families.h"
#include "extensions/technotrend_api.h"
#include "platform/device_io.h"
#include "platform/emulated/emulated_device_io.h"

namespace {
CSampleGrabberCB& Callback() {
  static CSampleGrabberCB callback(&CSampleCollector::Handler);
  return callback;
}

class GraphExtensionTest : public BdaTest {
 protected:
  // Kernel handles of emulated filters belong to the emulated device I/O, on Windows too.
  void SetUp() override {
    BdaTest::SetUp();
    m_previousIo = SetDeviceIo(&EmulatedDeviceIo());
  }
  void TearDown() override {
    SetDeviceIo(m_previousIo);
    BdaTest::TearDown();
  }
  CFakeSystem m_system;
  CDeviceIo* m_previousIo = nullptr;
};
}  // namespace

TEST_F(GraphExtensionTest, BuildGraphChoosesTheFamilysExtension) {
  const struct {
    const char* family;
    const char* name;
    int type;
  } cases[] = {
      {"tbs-nxp", "TBS 6984 Quad DVBS/S2 Tuner B", 13}, {"tbs-pcie", "TBS 6903 DVBS/S2 Tuner A", 21},
      {"tbs-usb", "TBS 5925 DVBS/S2 Tuner", 20},        {"tbs-qbox", "TBS QBOX DVBS/S2 Tuner", 12},
      {"tbs-cxt", "TBS 8920 BDA Tuner/Demod", 3},       {"conexant", "Conexant Tuner", 5},
      {"geniatech", "Geniatech SU3000", 8},             {"hauppauge", "Hauppauge WinTV", 6},
      {"omicom", "Omicom S2 PCI", 11},                  {"compro", "Compro S350", 14},
      {"genpix", "Genpix SkyWalker", 17},               {"genpix-3dparty", "Genpix 8PSK", 16},
      {"netup", "Netup Dual 1", 18},                    {"quarn", "Quarn S2", 19},
      {"jactek", "TeVii S470", 9},                      {"bestunar", "Bestunar S2", 10},
      {"twinhan", "Twinhan 1041", 2},                   {"dvbworld", "DVBWorld 2104", 4},
      {"anysee", "AnySee E7", 15},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.family);
    std::string ini = std::string("[dev]\nFriendlyName=") + c.name + "\nFamily=" + c.family + "\n";
    // These families talk to the capture filter.
    if (std::string(c.family) == "anysee" || std::string(c.family) == "geniatech") ini += "Capture=Vendor Capture\n";
    Describe(ini);
    CBdaGraph graph;
    auto devices = Enumerate(graph);
    ASSERT_EQ(devices.size(), 1u);
    ASSERT_EQ(graph.BuildGraph(devices[0], 0, &Callback()), 0);
    EXPECT_EQ(graph.Extension().ExtensionType(), c.type);
    EXPECT_NE(graph.Extension().GetCaps(), 0u);
    const BYTE message[4] = {0xE0, 0x10, 0x38, 0xF0};
    EXPECT_EQ(graph.Extension().SendDiseqc(message, 4, 0, 0), S_OK);
    graph.DestroyGraph();
    EXPECT_EQ(graph.Extension().GetCaps(), 0u);
  }
}

TEST_F(GraphExtensionTest, TbsCxtCardReadsItsMacThroughTheAttachedVideoCapture) {
  Describe("[dev]\nFriendlyName=TBS 6921 BDA DVBS/S2 Tuner/Demod\nFamily=tbs-cxt\nMac=00:22:AB:01:02:03\n");
  CBdaGraph graph;
  auto devices = Enumerate(graph);
  ASSERT_EQ(graph.BuildGraph(devices.at(0), 0, &Callback()), 0);
  CExtension& e = graph.Extension();
  ASSERT_EQ(e.ExtensionType(), 3);
  ASSERT_TRUE(e.GetCaps() & CAP_MAC);
  EXPECT_EQ(e.MacEepromOffset(), 0xA0);
  BYTE mac[6] = {};
  ASSERT_EQ(e.GetHardwareMac(mac), S_OK);
  EXPECT_EQ(mac[0], 0x00);
  EXPECT_EQ(mac[1], 0x22);
  EXPECT_EQ(mac[5], 0x03);

  // A video-capture filter without a property set is still attached; the loss is traced
  // and the card has no MAC read.
  Describe("[dev]\nFriendlyName=TBS 6921 BDA DVBS/S2 Tuner/Demod\nFamily=tbs-cxt\nVideoCapturePropertySet=0\n");
  CBdaGraph bare;
  ASSERT_EQ(bare.BuildGraph(Enumerate(bare).at(0), 0, &Callback()), 0);
  EXPECT_EQ(bare.Extension().ExtensionType(), 3);
  EXPECT_FALSE(bare.Extension().GetCaps() & CAP_MAC);
  const std::string debug = m_system.DebugOutput();
  EXPECT_NE(debug.find("BuildGraph() : m_pVideoCaptureDevice->QI: Can't QI for IKsPropertySet"), std::string::npos);
  EXPECT_EQ(debug.find("Cannot attach to VideoCaptureDevice"), std::string::npos);
}

// Every Technotrend class, its tuner named as its driver names it, is recognised at
// start-up (product name looked up through the API) and served by the vendor API; the
// USB classes answer the port-speed check the main dialog makes after building.
TEST_F(GraphExtensionTest, TechnotrendClassesAreServedByTheVendorApi) {
  const struct {
    const char* family;
    const char* name;
    const char* extra;  // further description lines
    int ttClass;
    DWORD caps;
    const char* listed;
    bool fullSpeed;  // the box sits on a full-speed USB port
  } cases[] = {
      {"technotrend", "TechnoTrend BDA/DVB-S Tuner", "", 1, 0x035, "1: TT-budget S2-3200 - Satellite", false},
      {"tt-budget2", "ttBudget2 BDA DVB-C Tuner", "Delivery=cable\n", 1, 0x020, "1: TT-budget S2-3200 - Cable", false},
      {"tt-budget3", "TTHybridTV BDA DVBT Tuner", "Delivery=terrestrial\n", 2, 0x030,
       "1: TTHybridTV BDA DVBT Tuner - Terrestial", false},
      {"technotrend", "USB 2.0 BDA DVB-S Tuner", "Medium=3\n", 3, 0x035,
       "1: TT-connect USB 2.0 BDA Device - Satellite", false},
      // Joined to its capture filter in the graph, as the real box is.
      {"tt-usb2", "USB 2.0 BDA DVB-T Tuner", "Delivery=terrestrial\nCapture=USB 2.0 BDA DVB Capture\n", 3, 0x030,
       "1: TT-connect USB 2.0 BDA Device - Terrestial", false},
      {"technotrend", "Pinnacle PCTV 4XXe Tuner", "UsbHighSpeed=0\n", 4, 0x035,
       "1: Pinnacle PCTV 4XXe Tuner - Satellite", true},
      {"tt-dss", "USB 2.0 BDA DSS Tuner", "UsbHighSpeed=0\n", 5, 0x035,
       "1: TT-connect USB 2.0 BDA Device - Satellite", true},
      {"technotrend", "TT-premium BDA DVBS Tuner", "", 6, 0x035, "1: TT-premium S2-Dual - Satellite", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.family) + " " + c.name);
    Describe(std::string("[dev]\nFriendlyName=") + c.name + "\nFamily=" + c.family + "\nMac=00:D0:5C:01:02:03\n" +
             c.extra);
    CBdaGraph graph;
    DEVICE_LIST list;
    list.finder = &graph;
    graph.FindEnumDevice(&AddEnumeratedDevice, &list);
    ASSERT_EQ(list.devices.size(), 1u);
    EXPECT_EQ(list.texts[0], c.listed);
    EXPECT_EQ(list.devices[0].ttDeviceClass, c.ttClass);

    ASSERT_EQ(graph.BuildGraph(list.devices[0], 0, &Callback()), 0);
    CExtension& e = graph.Extension();
    ASSERT_EQ(e.ExtensionType(), 1);
    ASSERT_NE(e.TtHandle(), nullptr);
    EXPECT_EQ(e.TtHandle()->deviceClass, c.ttClass);
    EXPECT_EQ(e.GetCaps(), c.caps);
    BYTE mac[6] = {};
    if (c.ttClass != TT_CLASS_PREMIUM) {
      ASSERT_EQ(e.GetHardwareMac(mac), S_OK);
      EXPECT_EQ(mac[0], 0x00);
      EXPECT_EQ(mac[5], 0x03);
    }

    const bool usb = c.ttClass >= TT_CLASS_USB2 && c.ttClass <= TT_CLASS_USB2_DSS;
    USB_SPEED_CHECK speed = e.CheckUsbHighSpeed();
    EXPECT_EQ(speed.usbDevice, usb);
    EXPECT_EQ(speed.status, usb ? 0u : 2u);
    EXPECT_EQ(speed.mode, c.fullSpeed ? 0u : 1u);
    EXPECT_EQ(speed.FullSpeedOnly(), c.fullSpeed);
    graph.DestroyGraph();
    EXPECT_FALSE(e.CheckUsbHighSpeed().usbDevice) << "no check without a graph";
  }
}
