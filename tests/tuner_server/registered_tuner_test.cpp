// The DirectShow device path end to end under Wine, with the test tuners registered in the
// test's own Wine prefix (ctest makes it and runs regsvr32 first): the real system device
// enumerator lists them, the real graph manager builds, runs and stops the program's graph
// around them, their calls match the emulated platform's for the same description, and a
// replayed capture reaches the adapter exactly as the transport-stream tool decodes it.
#ifdef _WIN32
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "bda/bda_graph.h"
#include "datapath/data_path.h"
#include "datapath/filter_settings.h"
#include "datapath/sample_grabber_cb.h"
#include "platform/device_io.h"
#include "platform/system.h"

namespace {

using Bytes = std::vector<BYTE>;
const char kDescription[] = VF_TESTDATA_DIR "/registered-tuners.ini";
const char kCapture[] = VF_TESTDATA_DIR "/mpe-udp-1001.ts";
const char kSatellite[] = "Velvetfin Test Tuner DVB-S2";
const char kCable[] = "Velvetfin Test Tuner DVB-C";

// The programs and the server are built beside each other: <build>/src, next to <build>/tests.
std::string BuildPath(const std::string& name) {
  std::string self = SystemServices().GetModulePath();
  size_t cut = self.find_last_of("/\\");
  return (cut == std::string::npos ? std::string(".") : self.substr(0, cut)) + "/../src/" + name;
}

std::string ReadText(const std::string& path) {
  std::string text;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    std::fclose(f);
  }
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  return text;
}

std::string Temp(const std::string& name) { return testing::TempDir() + "vf_tuner_" + name; }

// Runs a program of the build, standard output as text.
std::string Run(const std::string& program, const std::string& args, int* status) {
  const std::string out = Temp("stdout.txt");
  std::string command = "\"\"" + BuildPath(program) + "\" " + args + " > \"" + out + "\" 2>&1\"";
  *status = std::system(command.c_str());
  std::string text = ReadText(out);
  std::remove(out.c_str());
  return text;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return lines;
}

// The server's own exports, from the module COM loads (the same file, so the same module).
struct SERVER {
  HMODULE module = nullptr;
  LONG(WINAPI* liveObjects)() = nullptr;
};

class RegisteredTunerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_com = SUCCEEDED(OsDevicePlatform().Startup());
    ASSERT_TRUE(m_com);
    m_previous = SetDevicePlatform(&OsDevicePlatform());
    m_server.module = LoadLibraryA(BuildPath("velvetfin-test-tuner.dll").c_str());
    ASSERT_TRUE(m_server.module) << "velvetfin-test-tuner.dll is not built beside the programs";
    m_server.liveObjects =
        reinterpret_cast<LONG(WINAPI*)()>(reinterpret_cast<void*>(GetProcAddress(m_server.module, "TestTunerLiveObjects")));
    ASSERT_TRUE(m_server.liveObjects);
    CBdaGraph graph;
    m_devices = Enumerate(graph);
    if (m_devices.empty())
      GTEST_SKIP() << "the test tuners are not registered in this Wine prefix; run the suite through ctest, "
                      "which makes the prefix and registers them (scripts/wine-run --make-prefix)";
  }
  void TearDown() override {
    SetDevicePlatform(m_previous);
    if (m_server.module) FreeLibrary(m_server.module);
    if (m_com) OsDevicePlatform().Shutdown();
  }

  static std::vector<PARAM_DEVICE> Enumerate(CBdaGraph& graph) {
    std::vector<PARAM_DEVICE> devices;
    graph.FindEnumDevice(
        [](PARAM_DEVICE* device, void* context) -> HRESULT {
          static_cast<std::vector<PARAM_DEVICE>*>(context)->push_back(*device);
          return S_OK;
        },
        &devices);
    return devices;
  }

  const PARAM_DEVICE& Device(const char* name) {
    for (const PARAM_DEVICE& d : m_devices)
      if (std::string(d.friendlyName) == name) return d;
    ADD_FAILURE() << name << " is not listed";
    return m_devices.at(0);
  }

  static PARAM_TUNE SatelliteTuning() {
    PARAM_TUNE tune = kDefaultTune;
    tune.field[kTuneFrequency] = 11263000;
    tune.field[kTuneSatSymbolRate] = 33000;
    tune.field[kTuneSatPolarisation] = 1;
    return tune;
  }

  bool m_com = false;
  CDevicePlatform* m_previous = nullptr;
  SERVER m_server;
  std::vector<PARAM_DEVICE> m_devices;
};

// Counts samples, and those that come after the graph said it stopped.
class CCountingCallback final : public CSampleGrabberCB {
 public:
  CCountingCallback() : CSampleGrabberCB(nullptr) {}
  HRESULT SampleCB(double, const MEDIA_SAMPLE_INFO& sample) override {
    ++samples;
    bytes += sample.actualLength;
    if (stopped) ++late;
    return S_OK;
  }
  std::atomic<long> samples{0}, late{0};
  std::atomic<long long> bytes{0};
  std::atomic<bool> stopped{false};
};

template <class F>
bool WaitFor(F done, int milliseconds) {
  for (int waited = 0; waited < milliseconds; waited += 10) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return done();
}

}  // namespace

TEST_F(RegisteredTunerTest, SystemEnumeratorListsEachRegisteredTunerWithItsTopology) {
  ASSERT_EQ(m_devices.size(), 2u);
  // Registration order is enumeration order, and each moniker binds its own device.
  EXPECT_STREQ(m_devices[0].friendlyName, kSatellite);
  EXPECT_EQ(m_devices[0].index, 0);
  EXPECT_EQ(m_devices[0].deliveryType, kDeliverySatellite);
  EXPECT_STREQ(m_devices[1].friendlyName, kCable);
  EXPECT_EQ(m_devices[1].index, 1);
  EXPECT_EQ(m_devices[1].deliveryType, kDeliveryCable);
  EXPECT_STRNE(m_devices[0].devicePath, m_devices[1].devicePath);
  EXPECT_EQ(std::string(m_devices[0].devicePath).rfind("@device:", 0), 0u) << m_devices[0].devicePath;
}

TEST_F(RegisteredTunerTest, ProbeThroughTheRealEnumeratorMatchesTheEmulatedRunCallForCall) {
  const std::string tuning = "--device 1 --freq 11263000 --symrate 33000 --pol 1";
  const std::string callsFile = Temp("calls.txt");
  std::remove(callsFile.c_str());
  ASSERT_TRUE(SetEnvironmentVariableA("VELVETFIN_TEST_TUNER_CALLS", callsFile.c_str()));
  int status = -1;
  const std::string registered = Run("velvetfin-probe.exe", tuning, &status);
  SetEnvironmentVariableA("VELVETFIN_TEST_TUNER_CALLS", nullptr);
  ASSERT_EQ(status, 0) << registered;
  const std::string emulated =
      Run("velvetfin-probe.exe", "--devices \"" + std::string(kDescription) + "\" " + tuning + " --dump-calls", &status);
  ASSERT_EQ(status, 0) << emulated;

  // The same report but for the platform and the moniker's name.
  std::vector<std::string> a = Lines(registered), b = Lines(emulated);
  auto differs = [](const std::string& line) { return line.rfind("Platform:", 0) == 0 || line.rfind("Device path:", 0) == 0 || line.rfind("(--dump-calls", 0) == 0; };
  a.erase(std::remove_if(a.begin(), a.end(), differs), a.end());
  auto locked = std::find_if(b.begin(), b.end(), [](const std::string& l) { return l.rfind("Locked:", 0) == 0; });
  ASSERT_NE(locked, b.end()) << emulated;
  std::vector<std::string> dump(locked + 1, b.end());
  b.erase(locked + 1, b.end());
  b.erase(std::remove_if(b.begin(), b.end(), differs), b.end());
  EXPECT_EQ(a, b) << "registered:\n" << registered << "\nemulated:\n" << emulated;
  EXPECT_NE(registered.find("1: Velvetfin Test Tuner DVB-S2 - Satellite\n2: Velvetfin Test Tuner DVB-C - Cable\n"),
            std::string::npos)
      << registered;
  EXPECT_NE(registered.find("Locked: 1  Level: 81  Quality: 77"), std::string::npos) << registered;

  // Every call the tuner received, in order, with its bytes and results.
  std::string expected;
  for (const std::string& line : dump) expected += line + "\n";
  const std::string calls = ReadText(callsFile);
  ASSERT_FALSE(calls.empty()) << "the server wrote no call record";
  EXPECT_NE(calls.find("RegisterDeviceFilter"), std::string::npos) << calls;
  EXPECT_NE(calls.find("CommitChanges"), std::string::npos) << calls;
  EXPECT_EQ(calls, expected);
  std::remove(callsFile.c_str());
}

TEST_F(RegisteredTunerTest, ReplayedCaptureReachesTheAdapterAsTheToolDecodesIt) {
  // What velvetfin-ts writes for the capture with the same filters.
  const std::string pcap = Temp("expected.pcap");
  int status = -1;
  const std::string tool =
      Run("velvetfin-ts.exe", "--uc-pid 1001 --mc-pid 0 --quiet --pcap \"" + pcap + "\" \"" + kCapture + "\"", &status);
  ASSERT_EQ(status, 0) << tool;
  std::vector<Bytes> expected;
  if (std::FILE* f = std::fopen(pcap.c_str(), "rb")) {
    Bytes all;
    BYTE buffer[1 << 14];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) all.insert(all.end(), buffer, buffer + n);
    std::fclose(f);
    auto le32 = [&](size_t at) { return all[at] | all[at + 1] << 8 | all[at + 2] << 16 | uint32_t(all[at + 3]) << 24; };
    for (size_t at = 24; at + 16 <= all.size();) {
      uint32_t length = le32(at + 8);
      if (at + 16 + length > all.size()) break;
      expected.emplace_back(all.begin() + long(at + 16), all.begin() + long(at + 16 + length));
      at += 16 + length;
    }
  }
  std::remove(pcap.c_str());
  ASSERT_EQ(expected.size(), 660u) << tool;

  // The same capture replayed by the registered cable tuner through Wine's graph.
  class CRecordingIo final : public CDeviceIo {
   public:
    HANDLE Open(const std::string&, const DEVICE_OPEN_MODE&) override { return INVALID_HANDLE_VALUE; }
    BOOL IoControl(HANDLE, DWORD, const void*, DWORD, void*, DWORD, DWORD*) override { return FALSE; }
    BOOL Write(HANDLE, const void* data, DWORD length, DWORD* written) override {
      const BYTE* p = static_cast<const BYTE*>(data);
      std::lock_guard<std::mutex> guard(lock);
      packets.emplace_back(p, p + length);
      if (written) *written = length;
      return TRUE;
    }
    BOOL Close(HANDLE) override { return TRUE; }
    size_t Count() {
      std::lock_guard<std::mutex> guard(lock);
      return packets.size();
    }
    std::mutex lock;
    std::vector<Bytes> packets;
  };
  static FilterTable table;
  static StreamCounters counters;
  static CAdapterHandle adapter;
  static CDataPath dataPath(table, counters, adapter);
  CRecordingIo io;
  dataPath.SetDeviceIo(&io);
  adapter.Set(reinterpret_cast<HANDLE>(static_cast<intptr_t>(0x1234)));
  FILTER_TEXTS texts;
  texts.ucPidText = "1001";
  texts.mcPidText = "0";
  FILTER_SETTINGS settings;
  ASSERT_EQ(ParseFilterTexts(texts, settings).error, FilterTextError::kNone);
  SetFilterEntries(table, settings);
  CSampleGrabberCB callback([](const BYTE* data, DWORD size) { dataPath.ProcessTransportBuffer(data, size); });

  {
    CBdaGraph graph;
    ASSERT_EQ(graph.BuildGraph(Device(kCable), 0, &callback), 0);
    PARAM_TUNE tune = kDefaultTune;
    tune.field[kTuneFrequency] = 338000;
    ASSERT_EQ(graph.ChangeParameters(tune), S_OK);
    ASSERT_EQ(graph.RunGraph(), S_OK);
    EXPECT_EQ(graph.GetSignalLocked(), 1);
    WaitFor([&] { return io.Count() >= expected.size(); }, 20000);
    // The capture is over: nothing more comes however long the graph runs.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ASSERT_EQ(graph.StopGraph(), S_OK);
  }
  adapter.Set(INVALID_HANDLE_VALUE);
  dataPath.SetDeviceIo(nullptr);
  ASSERT_EQ(io.packets.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(io.packets[i], expected[i]) << "datagram " << i;
  EXPECT_EQ(counters.discontinuityCount.Get(), 0u);
}

TEST_F(RegisteredTunerTest, RebuildingRunningAndStoppingLeaksNothingAndNoSampleComesAfterStop) {
  auto cycle = [&](CBdaGraph& graph, CCountingCallback& callback) {
    callback.stopped = false;
    const long before = callback.samples;
    ASSERT_EQ(graph.BuildGraph(Device(kSatellite), 0, &callback), 0);
    PARAM_TUNE tune = SatelliteTuning();
    ASSERT_EQ(graph.ChangeParameters(tune), S_OK);
    ASSERT_EQ(graph.RunGraph(), S_OK);
    ASSERT_TRUE(WaitFor([&] { return callback.samples >= before + 3; }, 10000)) << "no samples reached the callback";
    ASSERT_EQ(graph.StopGraph(), S_OK);
    callback.stopped = true;
    // A streaming thread still running would deliver within a sample's time (19 ms here).
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(callback.late, 0) << "samples reached the callback after StopGraph returned";
  };
  CCountingCallback callback;
  {
    // One warm-up round: Wine's graph and COM keep some objects and handles for the process.
    CBdaGraph graph;
    cycle(graph, callback);
  }
  EXPECT_EQ(m_server.liveObjects(), 0) << "a tuner filter or enumerator outlived its graph";
  DWORD handlesBefore = 0;
  ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &handlesBefore));

  for (int round = 0; round < 3; ++round) {
    CBdaGraph graph;
    for (int rebuild = 0; rebuild < 3; ++rebuild) {
      cycle(graph, callback);
      if (HasFatalFailure()) return;
    }
    graph.DestroyGraph();
    EXPECT_EQ(m_server.liveObjects(), 0) << "round " << round;
  }
  DWORD handlesAfter = 0;
  ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &handlesAfter));
  EXPECT_LE(handlesAfter, handlesBefore) << "handles grew over nine builds";
  EXPECT_EQ(m_server.liveObjects(), 0);
}
#endif
