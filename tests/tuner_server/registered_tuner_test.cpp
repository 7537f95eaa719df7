// The DirectShow device path end to end under Wine, with the test tuners registered in the
// test's own Wine prefix (ctest makes it and runs regsvr32 first): the real system device
// enumerator lists them, the real graph manager builds, runs and stops the program's graph
// around them, their calls match the emulated platform's for the same description, and a
// replayed capture reaches the adapter exactly as the transport-stream tool decodes it.
#ifdef _WIN32
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bda/bda_graph.h"
#include "datapath/data_path.h"
#include "datapath/filter_settings.h"
#include "datapath/sample_grabber_cb.h"
#include "platform/bda_guids.h"
#include "platform/device_io.h"
#include "platform/system.h"

// After our headers: the DirectShow headers turn some of their names into macros.
#include <windows.h>
#include <dshow.h>
#include <bdaiface.h>
#include <ks.h>

// IKsPin as far as the test calls it. Outside the anonymous namespace: a class only this
// file could derive from would let the compiler take its pure call for unreachable.
struct IMediumsOfPin : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE KsQueryMediums(PKSMULTIPLE_ITEM* mediumList) = 0;
};

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
std::string RunProgram(const std::string& program, const std::string& args, int* status) {
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

// The server's class of described device n.
CLSID TunerClass(int device) {
  CLSID clsid = {0x5E3A1C70, 0x9B2D, 0x4F61, {0x8C, 0x4E, 0x7A, 0x0D, 0x2B, 0x6F, 0x1E, 0x00}};
  clsid.Data4[7] = static_cast<BYTE>(device);
  return clsid;
}

const IID kIidKsPin = {0xb61178d1, 0xa2d9, 0x11cf, {0x9e, 0x53, 0x00, 0xaa, 0x00, 0xa2, 0x16, 0xa1}};

template <class T>
T* Query(IUnknown* from, const IID& iid) {
  T* to = nullptr;
  return SUCCEEDED(from->QueryInterface(iid, reinterpret_cast<void**>(&to))) ? to : nullptr;
}

// The kind of kernel object a handle stands for ("Event", "Key", ...), empty if none.
std::string HandleType(HANDLE handle) {
  using QUERY = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
  static const QUERY query =
      reinterpret_cast<QUERY>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryObject")));
  // OBJECT_TYPE_INFORMATION starts with the type name as a UNICODE_STRING.
  alignas(8) BYTE buffer[1024] = {};
  ULONG got = 0;
  if (!query || query(handle, 2 /* ObjectTypeInformation */, buffer, sizeof buffer, &got) != 0) return "";
  const USHORT length = *reinterpret_cast<const USHORT*>(buffer);
  const WCHAR* name = *reinterpret_cast<WCHAR* const*>(buffer + sizeof(void*));
  std::string type;
  for (USHORT i = 0; name && i < length / 2; ++i) type += static_cast<char>(name[i]);
  return type;
}

// The process's open handles but registry keys: Wine 8's device enumerator leaks keys of
// its category on every walk (a bare CreateClassEnumerator, Next and Release does), so
// they say nothing of ours. Wine answers GetProcessHandleCount with 0, so handles are
// counted one by one: their values are small multiples of 4 there, as on Windows.
size_t OpenHandles() {
  size_t count = 0;
  for (uintptr_t value = 4; value < 0x10000; value += 4) {
    DWORD flags = 0;
    HANDLE handle = reinterpret_cast<HANDLE>(value);
    if (GetHandleInformation(handle, &flags) && HandleType(handle) != "Key") ++count;
  }
  return count;
}

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

TEST_F(RegisteredTunerTest, ComShellAnswersAsADriversTunerDoes) {
  IBaseFilter* filter = nullptr;
  ASSERT_EQ(CoCreateInstance(TunerClass(0), nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                             reinterpret_cast<void**>(&filter)),
            S_OK);
  // A class number past the description's devices creates nothing.
  IBaseFilter* none = nullptr;
  EXPECT_TRUE(FAILED(CoCreateInstance(TunerClass(5), nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                      reinterpret_cast<void**>(&none))));
  CLSID clsid = {};
  EXPECT_EQ(filter->GetClassID(&clsid), S_OK);
  EXPECT_TRUE(clsid == TunerClass(0));

  // Antenna input first, transport output second, each with its types and mediums.
  IEnumPins* pins = nullptr;
  ASSERT_EQ(filter->EnumPins(&pins), S_OK);
  IPin* pin[3] = {};
  ULONG got = 0;
  EXPECT_EQ(pins->Next(3, pin, &got), S_FALSE);
  pins->Release();
  ASSERT_EQ(got, 2u);
  PIN_DIRECTION direction;
  pin[0]->QueryDirection(&direction);
  EXPECT_EQ(direction, PINDIR_INPUT);
  pin[1]->QueryDirection(&direction);
  EXPECT_EQ(direction, PINDIR_OUTPUT);
  AM_MEDIA_TYPE antenna = {}, transport = {};
  antenna.majortype = kKsDataFormatTypeBdaAntenna;
  transport.majortype = kMediaTypeStream;
  transport.subtype = kKsDataFormatSubtypeBdaMpeg2Transport;
  EXPECT_EQ(pin[0]->QueryAccept(&antenna), S_OK);
  EXPECT_EQ(pin[0]->QueryAccept(&transport), S_FALSE);
  EXPECT_EQ(pin[1]->QueryAccept(&transport), S_OK);
  IEnumMediaTypes* types = nullptr;
  ASSERT_EQ(pin[1]->EnumMediaTypes(&types), S_OK);
  AM_MEDIA_TYPE* proposed = nullptr;
  ASSERT_EQ(types->Next(1, &proposed, nullptr), S_OK);
  EXPECT_TRUE(proposed->majortype == kMediaTypeStream && proposed->subtype == kKsDataFormatSubtypeBdaMpeg2Transport);
  CoTaskMemFree(proposed);
  types->Release();
  IPin* peer = reinterpret_cast<IPin*>(1);
  EXPECT_EQ(pin[1]->ConnectedTo(&peer), VFW_E_NOT_CONNECTED);
  EXPECT_EQ(peer, nullptr);
  if (auto* mediums = Query<IMediumsOfPin>(pin[1], kIidKsPin)) {
    PKSMULTIPLE_ITEM list = nullptr;
    ASSERT_EQ(mediums->KsQueryMediums(&list), S_OK);
    ASSERT_EQ(list->Count, 1u);
    EXPECT_EQ(list->Size, sizeof(KSMULTIPLE_ITEM) + sizeof(REGPINMEDIUM));
    EXPECT_TRUE(reinterpret_cast<REGPINMEDIUM*>(list + 1)->clsMedium == kKsMediumSetIdStandard);
    CoTaskMemFree(list);
    mediums->Release();
  } else {
    ADD_FAILURE() << "no IKsPin on the transport pin";
  }

  // Tuned through the node interfaces and the demodulator's property set, it locks and
  // reports the described signal; before the commit it does not.
  auto* control = Query<IBDA_DeviceControl>(filter, __uuidof(IBDA_DeviceControl));
  auto* frequency = Query<IBDA_FrequencyFilter>(filter, __uuidof(IBDA_FrequencyFilter));
  auto* statistics = Query<IBDA_SignalStatistics>(filter, __uuidof(IBDA_SignalStatistics));
  auto* demodulator = Query<IKsPropertySet>(pin[1], IID_IKsPropertySet);
  ASSERT_TRUE(control && frequency && statistics && demodulator);
  // Off the transponder first (an earlier test may have left the device locked).
  ASSERT_EQ(control->StartChanges(), S_OK);
  EXPECT_EQ(frequency->put_Frequency(10714000), S_OK);
  ASSERT_EQ(control->CommitChanges(), S_OK);
  ASSERT_EQ(control->StartChanges(), S_OK);
  EXPECT_EQ(frequency->put_FrequencyMultiplier(1000), S_OK);
  EXPECT_EQ(frequency->put_Frequency(11263000), S_OK);
  EXPECT_EQ(frequency->put_Polarity(BDA_POLARISATION_LINEAR_H), S_OK);
  BYTE instance[24] = {};
  ULONG symbolRate = 33000;
  EXPECT_EQ(demodulator->Set(kKsPropSetBdaDigitalDemodulator, 5, instance, sizeof instance, &symbolRate, 4), S_OK);
  BOOLEAN locked = TRUE;
  EXPECT_EQ(statistics->get_SignalLocked(&locked), S_OK);
  EXPECT_FALSE(locked);
  ASSERT_EQ(control->CommitChanges(), S_OK);
  EXPECT_EQ(statistics->get_SignalLocked(&locked), S_OK);
  EXPECT_TRUE(locked);
  LONG strength = 0, quality = 0;
  statistics->get_SignalStrength(&strength);
  statistics->get_SignalQuality(&quality);
  EXPECT_EQ(strength, 81);
  EXPECT_EQ(quality, 77);
  ULONG read = 0;
  EXPECT_EQ(frequency->get_Frequency(&read), S_OK);
  EXPECT_EQ(read, 11263000u);

  for (IUnknown* i : {static_cast<IUnknown*>(control), static_cast<IUnknown*>(frequency),
                      static_cast<IUnknown*>(statistics), static_cast<IUnknown*>(demodulator)})
    i->Release();
  pin[0]->Release();
  pin[1]->Release();
  EXPECT_GT(m_server.liveObjects(), 0);
  filter->Release();
  EXPECT_EQ(m_server.liveObjects(), 0) << "the filter's references did not balance";
}

TEST_F(RegisteredTunerTest, ProbeThroughTheRealEnumeratorMatchesTheEmulatedRunCallForCall) {
  const std::string tuning = "--device 1 --freq 11263000 --symrate 33000 --pol 1";
  const std::string callsFile = Temp("calls.txt");
  std::remove(callsFile.c_str());
  ASSERT_TRUE(SetEnvironmentVariableA("VELVETFIN_TEST_TUNER_CALLS", callsFile.c_str()));
  int status = -1;
  const std::string registered = RunProgram("velvetfin-probe.exe", tuning, &status);
  SetEnvironmentVariableA("VELVETFIN_TEST_TUNER_CALLS", nullptr);
  ASSERT_EQ(status, 0) << registered;
  const std::string emulated =
      RunProgram("velvetfin-probe.exe", "--devices \"" + std::string(kDescription) + "\" " + tuning + " --dump-calls", &status);
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
      RunProgram("velvetfin-ts.exe", "--uc-pid 1001 --mc-pid 0 --quiet --pcap \"" + pcap + "\" \"" + kCapture + "\"", &status);
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
  CCountingCallback callback;
  auto cycle = [&](CBdaGraph& graph) {
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
  {
    // The graph manager lives as long as the graph object; Wine's keeps an event for good
    // when it goes, so the rebuilds share one, as the program's do. The first round makes
    // what Wine keeps for the process.
    CBdaGraph graph;
    cycle(graph);
    const size_t handlesBefore = OpenHandles();
    for (int rebuild = 0; rebuild < 8; ++rebuild) {
      cycle(graph);
      if (HasFatalFailure()) return;
    }
    const size_t handlesAfter = OpenHandles();
    // Wine's thread pools start and end a worker of their own now and then, so a handle or
    // two may come and go; a leak of even one handle per build shows as eight.
    EXPECT_LT(handlesAfter, handlesBefore + 4) << "handles grew over eight rebuilds (" << handlesBefore << " before)";
    graph.DestroyGraph();
    EXPECT_EQ(m_server.liveObjects(), 0) << "a tuner filter or enumerator outlived DestroyGraph";
  }
  // A new graph object on the same server, destroyed without DestroyGraph first.
  {
    CBdaGraph graph;
    cycle(graph);
  }
  EXPECT_EQ(m_server.liveObjects(), 0) << "a tuner filter outlived its graph object";
}
#endif
