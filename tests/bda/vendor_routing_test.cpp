// Emulated devices of a vendor family: private property sets and I/O controls reach the
// family's driver through the standard objects, and the extension is chosen from them.
#include "bda_fixture.h"
#include "platform/device_io.h"
#include "platform/emulated/emulated_device_io.h"
#include "platform/emulated/vendor_driver.h"

namespace {
CSampleGrabberCB& Callback() {
  static CSampleGrabberCB callback(&CSampleCollector::Handler);
  return callback;
}
}  // namespace

TEST_F(BdaTest, VendorFamiliesAreReachedThroughTheirObjects) {
  CDeviceIo* previousIo = SetDeviceIo(&EmulatedDeviceIo());
  struct CASE {
    const char* family;
    const char* extension;
  };
  for (const CASE& c : {CASE{"omicom", "Omicom BDA extension"}, CASE{"tbs-nxp", "Turbosight-NXP BDA extension"},
                        CASE{"dvbworld", "DVBWorld BDA extension"}, CASE{"generic", "Generic BDA"}}) {
    SCOPED_TRACE(c.family);
    Describe(std::string("[V]\nFriendlyName=Vendor Tuner\nDelivery=cable\nFamily=") + c.family + "\n");
    CBdaGraph graph;
    ASSERT_EQ(graph.BuildGraph(Enumerate(graph).at(0), 0, &Callback()), 0);
    EXPECT_STREQ(graph.ExtensionName(), c.extension);
    // Private sets went to the family's driver, which recorded them too.
    CEmulatedVendorDriver* vendor = m_platform.Device(0)->Vendor();
    ASSERT_NE(vendor, nullptr);
    if (std::string(c.family) != "generic") {
      EXPECT_FALSE(vendor->Calls().empty());
    }
  }
  std::string error;
  EMULATED_DESCRIPTION description;
  ASSERT_TRUE(ParseEmulatedDescription("[V]\nFamily=no-such-family\n", "", &description, &error));
  EXPECT_FALSE(m_platform.Load(description, &error));
  EXPECT_NE(error.find("no-such-family"), std::string::npos);
  SetDeviceIo(previousIo);
}

TEST_F(BdaTest, KernelHandleOfAVendorTunerAnswersIoControls) {
  Describe("[V]\nFriendlyName=Kernel Tuner\nFamily=dvbworld\n");
  CBdaGraph graph;
  ASSERT_EQ(graph.BuildGraph(Enumerate(graph).at(0), 0, &Callback()), 0);
  HANDLE handle = INVALID_HANDLE_VALUE;
  ASSERT_EQ(graph.GetTunerKernelHandle(&handle), S_OK);
  EXPECT_NE(handle, INVALID_HANDLE_VALUE);
  HANDLE again = INVALID_HANDLE_VALUE;
  EXPECT_EQ(graph.GetTunerKernelHandle(&again), S_OK);
  EXPECT_EQ(again, handle);  // the filter's one handle

  // A tuner without a vendor driver has no kernel object to talk to.
  Describe("[Plain]\n");
  CBdaGraph plain;
  ASSERT_EQ(plain.BuildGraph(Enumerate(plain).at(0), 0, &Callback()), 0);
  EXPECT_TRUE(FAILED(plain.GetTunerKernelHandle(&handle)));
  EXPECT_EQ(handle, INVALID_HANDLE_VALUE);
}
