// The transport stream from an emulated tuner to the data path's callback.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include "bda_fixture.h"
#include "platform/emulated/stream_generator.h"

namespace {

CSampleGrabberCB& Callback() {
  static CSampleGrabberCB callback(&CSampleCollector::Handler);
  return callback;
}

bool WaitFor(const std::function<bool()>& done) {
  for (int i = 0; i < 1000 && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return done();
}

std::string WriteCapture(const std::vector<BYTE>& bytes) {
  std::string path = ::testing::TempDir() + "vf_bda_capture.ts";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  return path;
}

}  // namespace

class SamplesTest : public BdaTest {
 protected:
  void SetUp() override {
    BdaTest::SetUp();
    CSampleCollector::Instance().Clear();
  }
  void BuildAndTune(PARAM_TUNE tune) {
    auto devices = Enumerate(m_graph);
    ASSERT_FALSE(devices.empty());
    ASSERT_EQ(m_graph.BuildGraph(devices[0], 0, &Callback()), 0);
    m_graph.ChangeParameters(tune);
  }
  CBdaGraph m_graph;
};

TEST_F(SamplesTest, ReplayedCaptureArrivesUnchangedAroundFlaggedSamples) {
  // An odd size, so the last sample is a short one.
  STREAM_PROFILE profile = DemoStreamProfile();
  CStreamGenerator generator(profile);
  std::vector<BYTE> capture;
  generator.Append(capture, 1000);
  capture.resize(capture.size() - 100);
  std::string path = WriteCapture(capture);
  Describe("[R]\nLockFrequency=474000\nStream=file:" + path +
           "\nStreamRate=0\nSampleSize=18800\nPrerollSamples=2\nDiscontinuityEvery=3\nDelivery=cable\n");
  PARAM_TUNE tune = kDefaultTune;
  tune.field[kTuneFrequency] = 474000;
  BuildAndTune(tune);
  ASSERT_TRUE(m_platform.Device(0)->Locked());
  ASSERT_EQ(m_graph.RunGraph(), S_OK);
  EXPECT_TRUE(WaitFor([&] { return CSampleCollector::Instance().Bytes().size() >= capture.size(); }));
  EXPECT_EQ(m_graph.StopGraph(), S_OK);
  EXPECT_EQ(CSampleCollector::Instance().Bytes(), capture);
  // Two preroll and three discontinuity samples were delivered besides the ten of the file.
  EXPECT_EQ(m_platform.Device(0)->SamplesDelivered(), 15u);
  std::remove(path.c_str());
}

TEST_F(SamplesTest, NoSamplesWithoutLockOrAfterStop) {
  Describe("[G]\nLockFrequency=11000000-12000000\nStreamRate=40000000\n");
  PARAM_TUNE tune = kDefaultTune;  // 722000: out of the window
  BuildAndTune(tune);
  ASSERT_EQ(m_graph.RunGraph(), S_OK);
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  EXPECT_EQ(CSampleCollector::Instance().Samples(), 0u);

  tune.field[kTuneFrequency] = 11500000;
  m_graph.ChangeParameters(tune);
  ASSERT_TRUE(m_platform.Device(0)->Locked());
  EXPECT_TRUE(WaitFor([] { return CSampleCollector::Instance().Samples() >= 5; }));
  ASSERT_EQ(m_graph.StopGraph(), S_OK);
  size_t atStop = CSampleCollector::Instance().Samples();
  uint64_t deliveredAtStop = m_platform.Device(0)->SamplesDelivered();
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  EXPECT_EQ(CSampleCollector::Instance().Samples(), atStop);
  EXPECT_EQ(m_platform.Device(0)->SamplesDelivered(), deliveredAtStop);

  // Running again resumes the stream, but the stop detached the data path for good.
  ASSERT_EQ(m_graph.RunGraph(), S_OK);
  EXPECT_TRUE(WaitFor([&] { return m_platform.Device(0)->SamplesDelivered() > deliveredAtStop + 2; }));
  m_graph.StopGraph();
  EXPECT_EQ(CSampleCollector::Instance().Samples(), atStop);
}

TEST_F(SamplesTest, CaptureFilterPathCarriesTheStream) {
  Describe("[Split]\nCapture=Split Capture\nLockFrequency=0-99999999\nStreamRate=0\n");
  BuildAndTune(kDefaultTune);
  ASSERT_NE(m_graph.m_pCaptureDevice, nullptr);
  ASSERT_EQ(m_graph.RunGraph(), S_OK);
  EXPECT_TRUE(WaitFor([] { return CSampleCollector::Instance().Samples() >= 3; }));
  m_graph.StopGraph();
  auto bytes = CSampleCollector::Instance().Bytes();
  ASSERT_GE(bytes.size(), 188u);
  EXPECT_EQ(bytes.size() % 188, 0u);
  for (size_t i = 0; i < bytes.size(); i += 188) ASSERT_EQ(bytes[i], 0x47) << "packet " << i / 188;
}

TEST(EmulatedDescription, ParsesEveryKeyAndRejectsBadValues) {
  EMULATED_DESCRIPTION d;
  std::string error;
  ASSERT_TRUE(ParseEmulatedDescription(
      "; comment\n[One]\nFriendlyName = Box\nDelivery=2\nNodes=rf, {2DAC6E05-EDBE-4B9C-B387-1B6FAD7D6495}\n"
      "InputSets=frequency:2,{1347D106-CF3A-428A-A5CB-AC0D9A2A4338}:1\nLockFrequency=100-200\nMac=00-11-22-33-44-55\n"
      "Stream=file:cap.ts\n",
      "/base", &d, &error))
      << error;
  ASSERT_EQ(d.devices.size(), 1u);
  const EMULATED_DEVICE_DESC& dev = d.devices[0];
  EXPECT_EQ(dev.friendlyName, "Box");
  EXPECT_EQ(dev.deliveryType, 2);
  ASSERT_EQ(dev.nodes.size(), 2u);
  EXPECT_TRUE(dev.nodes[1] == kKsNodeBdaCofdmDemodulator);
  ASSERT_EQ(dev.inputSets.size(), 2u);
  EXPECT_EQ(dev.inputSets[0].support, 2u);
  EXPECT_TRUE(dev.inputSets[1].set == kKsPropSetBdaSignalStats);
  EXPECT_EQ(dev.lockFrequencyMin, 100);
  EXPECT_EQ(dev.lockFrequencyMax, 200);
  EXPECT_EQ(dev.mac[5], 0x55);
  EXPECT_EQ(dev.streamFile, "/base/cap.ts");
  // Defaults for what the section left out: the cable demodulator set on the output pin.
  ASSERT_EQ(dev.outputSets.size(), 1u);

  for (const char* bad : {"[X]\nDelivery=radio\n", "[X]\nNodes=warp\n", "[X]\nLockFrequency=5-1\n", "Key=1\n",
                          "[X]\nUnknownKey=1\n", "[X\n", "[X]\nSampleSize=10\n", "[X]\nMac=1:2:3\n", ""}) {
    EXPECT_FALSE(ParseEmulatedDescription(bad, "", &d, &error)) << bad;
  }
}
