// A capture replayed by an emulated tuner, through the graph and the data path, comes
// out at the adapter exactly as it was put into the stream.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include "bda_fixture.h"
#include "datapath/data_path.h"
#include "datapath/filter_settings.h"
#include "platform/device_io.h"
#include "platform/emulated/stream_generator.h"

namespace {

// The adapter: records every packet written.
class CRecordingIo final : public CDeviceIo {
 public:
  HANDLE Open(const std::string&, const DEVICE_OPEN_MODE&) override { return INVALID_HANDLE_VALUE; }
  BOOL IoControl(HANDLE, DWORD, const void*, DWORD, void*, DWORD, DWORD*) override { return FALSE; }
  BOOL Write(HANDLE, const void* data, DWORD length, DWORD* written) override {
    const BYTE* p = static_cast<const BYTE*>(data);
    packets.emplace_back(p, p + length);
    if (written) *written = length;
    return TRUE;
  }
  BOOL Close(HANDLE) override { return TRUE; }
  std::vector<std::vector<BYTE>> packets;
};

CDataPath* g_path = nullptr;
void ToDataPath(const BYTE* data, DWORD size) { g_path->ProcessTransportBuffer(data, size); }

}  // namespace

TEST_F(BdaTest, ReplayedServiceReachesTheAdapterUnchanged) {
  // Multicast on two PIDs with stuffing, null packets and foreign packets around them.
  STREAM_PROFILE profile;
  profile.seed = 7;
  STREAM_SERVICE a;
  a.pid = 500;
  a.payloadMin = 100;
  a.payloadMax = 1400;
  STREAM_SERVICE b = a;
  b.pid = 700;
  b.destination[3] = 9;
  b.crc = false;
  profile.services = {a, b};
  profile.nullRate = 0.1;
  profile.otherPidRate = 0.05;
  profile.packSections = false;
  CStreamGenerator generator(profile);
  std::vector<BYTE> capture;
  generator.Append(capture, 3000);
  const std::vector<GEN_DATAGRAM> expected = generator.Datagrams();
  ASSERT_GT(expected.size(), 100u);

  std::string path = ::testing::TempDir() + "vf_bda_end_to_end.ts";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(capture.data()), capture.size());
  Describe("[Replay]\nDelivery=cable\nLockFrequency=0-99999999\nStreamRate=0\nSampleSize=4136\nStream=file:" + path +
           "\n");

  FilterTable table;
  StreamCounters counters;
  CAdapterHandle adapter;
  CDataPath dataPath(table, counters, adapter);
  CRecordingIo io;
  dataPath.SetDeviceIo(&io);
  adapter.Set(reinterpret_cast<HANDLE>(static_cast<intptr_t>(0x1234)));
  FILTER_SETTINGS settings;
  ASSERT_EQ(ParseFilterTexts(FILTER_TEXTS{}, settings).error, FilterTextError::kNone);  // multicast on any PID
  SetFilterEntries(table, settings);
  g_path = &dataPath;
  CSampleGrabberCB callback(&ToDataPath);

  CBdaGraph graph;
  ASSERT_EQ(graph.BuildGraph(Enumerate(graph).at(0), 0, &callback), 0);
  PARAM_TUNE tune = kDefaultTune;
  graph.ChangeParameters(tune);
  ASSERT_EQ(graph.RunGraph(), S_OK);
  for (int i = 0; i < 1000 && m_platform.Device(0)->BytesDelivered() < capture.size(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_EQ(graph.StopGraph(), S_OK);
  EXPECT_EQ(m_platform.Device(0)->BytesDelivered(), capture.size());

  ASSERT_EQ(io.packets.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(io.packets[i], expected[i].packet) << "datagram " << i;
  std::remove(path.c_str());
}
