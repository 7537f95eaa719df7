// Emulated devices of a vendor family: private property sets and I/O controls reach the
// family's driver through the standard objects, and the extension is chosen from them.
#include <cstdio>

#include "bda_fixture.h"
#include "platform/bda_guids.h"
#include "platform/device_io.h"
#include "platform/emulated/emulated_device_io.h"
#include "platform/emulated/vendor_driver.h"

namespace {
CSampleGrabberCB& Callback() {
  static CSampleGrabberCB callback(&CSampleCollector::Handler);
  return callback;
}

// One line per call a driver recorded: kind, object, set and id, or the I/O control code
// with the sizes of request and reply.
std::vector<std::string> CallLines(const std::vector<VENDOR_CALL>& calls) {
  static const char* const kKinds[] = {"query", "get", "set", "ioctl"};
  std::vector<std::string> lines;
  for (const VENDOR_CALL& c : calls) {
    char guid[64], line[160];
    FormatGuid(c.set, guid, sizeof(guid));
    if (c.kind == VENDOR_CALL::IOCTL)
      std::snprintf(line, sizeof(line), "ioctl %s %s 0x%X %zu %zu", c.path.c_str(), guid, static_cast<unsigned>(c.code), c.data.size(), c.reply.size());
    else
      std::snprintf(line, sizeof(line), "%s %d %s %u", kKinds[c.kind], c.object, guid, static_cast<unsigned>(c.id));
    lines.push_back(line);
  }
  return lines;
}
}  // namespace

TEST_F(BdaTest, VendorFamiliesAreReachedThroughTheirObjects) {
  CDeviceIo* previousIo = SetDeviceIo(&EmulatedDeviceIo());
  // The DVBWorld probe (24 bytes) goes to every tuner's kernel handle first and only a
  // DVBWorld driver answers it (12 bytes); then each family's own sets.
  const std::string probe = "ioctl kernel {09B56175-4423-47BA-8285-DD6A70BF084B} 0x2F0003 24 0";
  const std::string answeredProbe = "ioctl kernel {09B56175-4423-47BA-8285-DD6A70BF084B} 0x2F0003 24 12";
  const std::string omicom = "query 0 {7DB2DEEA-42B4-423D-A2F7-19C32E51CCC1} ";
  const std::string omicomCustom = "query 0 {7DB2DEE6-42B4-423D-A2F7-19C32E51CCC1} ";
  const std::string tbs = "query 1 {FAA8F3E5-31D4-4E41-88EF-D9EB716F6EC9} ";
  struct CASE {
    const char* family;
    const char* extension;
    std::vector<std::string> calls;
  };
  const CASE cases[] = {
      {"omicom", "Omicom BDA extension",
       {probe, omicom + "0", omicom + "1", omicom + "4", "query 0 {7DB2DEE9-42B4-423D-A2F7-19C32E51CCC1} 2",
        omicomCustom + "4", omicomCustom + "6", omicomCustom + "9", omicomCustom + "10"}},
      {"tbs-nxp", "Turbosight-NXP BDA extension",
       {probe, tbs + "0", tbs + "21", tbs + "0", tbs + "15", tbs + "22", tbs + "23", tbs + "24", tbs + "6"}},
      {"dvbworld", "DVBWorld BDA extension", {answeredProbe}},
      {"generic", "Generic BDA", {probe}},
  };
  for (const CASE& c : cases) {
    SCOPED_TRACE(c.family);
    Describe(std::string("[V]\nFriendlyName=Vendor Tuner\nDelivery=cable\nFamily=") + c.family + "\n");
    CBdaGraph graph;
    ASSERT_EQ(graph.BuildGraph(Enumerate(graph).at(0), 0, &Callback()), 0);
    EXPECT_STREQ(graph.ExtensionName(), c.extension);
    // Private sets went to the family's driver, which recorded exactly these.
    CEmulatedVendorDriver* vendor = m_platform.Device(0)->Vendor();
    ASSERT_NE(vendor, nullptr);
    EXPECT_EQ(CallLines(vendor->Calls()), c.calls);
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
