// velvetfin-probe: lists the BDA tuners, builds, runs and tunes one of them, reads its
// signal and prints what the program would see. With a device description it uses the
// emulated devices, and --dump-calls shows every call their drivers received.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "bda/bda_graph.h"
#include "bda/device_selection.h"
#include "datapath/data_path.h"
#include "datapath/filter_settings.h"
#include "datapath/sample_grabber_cb.h"
#include "datapath/stream_statistics.h"
#include "extensions/extension_report.h"
#include "platform/device_io.h"
#include "platform/emulated/bda_platform.h"
#include "platform/emulated/emulated_device_io.h"

namespace {

struct OPTIONS {
  std::string devices;
  int device = 0;  // 1-based list number; 0: list only
  bool tune = false;
  PARAM_TUNE values = kDefaultTune;
  bool dumpCalls = false;
  int seconds = 0;
  std::vector<EXTENSION_COMMAND> commands;  // extension operations, in the order given
};

int Fail(const std::string& text) {
  std::fprintf(stderr, "velvetfin-probe: %s\n", text.c_str());
  return 2;
}

void Usage() {
  std::printf(
      "usage: velvetfin-probe [--devices FILE] [--device N] [--freq KHZ] [--symrate KSPS] [--pol 0|1|2]\n"
      "                       [--modulation N] [--fec N] [--inversion N] [--bandwidth N]\n"
      "                       [--lof1 KHZ] [--lof2 KHZ] [--lofsw KHZ] [--dump-calls] [--seconds N]\n"
      "                       [--diseqc HEX] [--tone-burst A|B] [--lnb-power 0|1] [--position N]\n"
      "                       [--stream-id N] [--pls MODE,CODE] [--modcode N]\n"
      "Frequencies in kHz, symbol rates in kS/s, values as the BDA enumerations number them.\n");
}

bool ParseNumber(const char* text, long long low, long long high, LONG* value) {
  if (!text || !*text) return false;
  char* end = nullptr;
  long long v = std::strtoll(text, &end, 10);
  if (*end || v < low || v > high) return false;
  *value = static_cast<LONG>(v);
  return true;
}

// Returns an error text, empty on success.
std::string ParseOptions(int argc, char** argv, OPTIONS* o) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
    LONG v = 0;
    auto need = [&](long long low, long long high) {
      if (!ParseNumber(next, low, high, &v)) return false;
      ++i;
      return true;
    };
    if (a == "--help" || a == "-h") {
      Usage();
      std::exit(0);
    } else if (a == "--devices") {
      if (!next) return "--devices needs a file";
      o->devices = next;
      ++i;
    } else if (a == "--device") {
      if (!need(1, 65536)) return "--device needs the device's list number";
      o->device = v;
    } else if (a == "--dump-calls") {
      o->dumpCalls = true;
    } else if (a == "--seconds") {
      if (!need(1, 86400)) return "--seconds needs a number of seconds (1..86400)";
      o->seconds = v;
    } else if (IsExtensionOption(a)) {
      if (!next) return a + " needs a value";
      EXTENSION_COMMAND command;
      std::string why;
      if (!ParseExtensionOption(a, next, &command, &why)) return why;
      o->commands.push_back(command);
      ++i;
    } else {
      static const char* const kTuning[] = {"--freq", "--modulation", "--inversion", "--symrate", "--pol",
                                            "--fec", "--bandwidth", "--lof1", "--lof2", "--lofsw"};
      int which = -1;
      for (int k = 0; k < 10; ++k)
        if (a == kTuning[k]) which = k;
      if (which < 0) return "unknown option " + a;
      if (!need(-2147483648LL, 2147483647LL)) return a + " needs a number";
      o->tune = true;
      // Stored by name; placed into the record once the delivery type is known.
      static const int kSlot[] = {0, 1, 2, 3, 4, 5, 6, 8, 9, 10};
      o->values.field[kSlot[which]] = v;
    }
  }
  return "";
}

// The option values in the record layout of the device's delivery type. Field 6 holds
// --bandwidth meanwhile (it is carried along unsent for satellites).
PARAM_TUNE PlaceTuning(const PARAM_TUNE& given, LONG deliveryType) {
  PARAM_TUNE t = given;
  const LONG symbolRate = given.field[3], polarisation = given.field[4], bandwidth = given.field[6];
  t.field[6] = kDefaultTune.field[6];
  switch (deliveryType) {
    case kDeliveryCable:
      t.field[kTuneBandwidth] = bandwidth;
      t.field[kTuneCableSymbolRate] = symbolRate;
      break;
    case kDeliveryTerrestrial:
      t.field[kTuneBandwidth] = bandwidth;
      break;
    default:
      (void)polarisation;
      break;
  }
  return t;
}

std::string CapsText(LONG caps) {
  static const char* const kNames[] = {"DISEQC", "DISEQC_REPLY", "TONEBURST", "DISEQC_POSITION", "LNB_POWER",
                                       "MAC",    "SIGNAL_EX",    "STREAM_ID", "PLS",             "MODCODE"};
  char text[32];
  std::snprintf(text, sizeof(text), "0x%03lX", static_cast<unsigned long>(caps));
  std::string result = text;
  for (int bit = 0; bit < 10; ++bit)
    if (caps & (1L << bit)) result += std::string(" ") + kNames[bit];
  return result;
}

const char* DeliveryName(LONG type) {
  static const char* const kNames[] = {"undetermined", "Satellite", "Cable", "Terrestrial", "ATSC", "ISDB"};
  return type >= 0 && type <= 5 ? kNames[type] : "undetermined";
}

int Probe(const OPTIONS& o, bool emulated) {
  CBdaGraph graph;
  DEVICE_LIST list;
  list.finder = &graph;
  HRESULT hr = graph.FindEnumDevice(&AddEnumeratedDevice, &list);
  if (FAILED(hr)) {
    char text[64];
    std::snprintf(text, sizeof(text), "device enumeration failed (0x%08lX)", static_cast<unsigned long>(hr));
    return Fail(text);
  }
  if (list.devices.empty()) return Fail("BDA devices not found !");
  for (const std::string& text : list.texts) std::printf("%s\n", text.c_str());
  if (o.device == 0) return 0;

  const PARAM_DEVICE* chosen = nullptr;
  for (const PARAM_DEVICE& d : list.devices)
    if (d.index + 1 == o.device) chosen = &d;
  if (!chosen) return Fail("no device number " + std::to_string(o.device) + " in the list");

  // --seconds runs the data path with the default reception filters.
  if (o.seconds > 0) {
    FILTER_SETTINGS settings;
    if (ParseFilterTexts(FILTER_TEXTS{}, settings).error != FilterTextError::kNone)
      return Fail("default filters do not parse");
    FILTER_ENTRIES entries;
    {
      std::lock_guard<std::mutex> guard(TheSampleGrabberCB().Lock());
      entries = SetFilterEntries(TheFilterTable(), settings);
    }
    LogFilterEntries(entries);
  }

  hr = graph.BuildGraph(*chosen, 0, &TheSampleGrabberCB());
  if (hr != 0) {
    char text[96];
    std::snprintf(text, sizeof(text), "Can't build filter graph ! (%ld, 0x%08lX)", static_cast<long>(hr),
                  static_cast<unsigned long>(hr));
    return Fail(text);
  }
  if (FAILED(graph.RunGraph())) return Fail("Can't run filter graph !");

  // Extension operations go before the tune request, as the switching sequence sends them.
  for (const EXTENSION_COMMAND& command : o.commands) RunExtensionCommand(graph.Extension(), command, stdout);

  PARAM_TUNE tune = PlaceTuning(o.values, chosen->deliveryType);
  HRESULT tuned = S_OK;
  if (o.tune) tuned = graph.ChangeParameters(tune);

  std::printf("Device: %u: %s\n", static_cast<unsigned>(chosen->index) + 1u, graph.Device().friendlyName);
  std::printf("Platform: %s\n", DevicePlatform().Name());
  std::printf("Delivery type: %ld (%s)\n", static_cast<long>(graph.NetworkType()), DeliveryName(graph.NetworkType()));
  std::printf("Device path: %s\n", graph.Device().devicePath);
  std::printf("Capture: %s\n", graph.Device().captureName[0] ? graph.Device().captureName : "(none, tuner feeds the grabber)");
  std::printf("Extension: %s (%ld)\n", graph.ExtensionName(), static_cast<long>(graph.ExtensionType()));
  std::printf("Capabilities: %s\n", CapsText(graph.GetCaps()).c_str());
  PrintExtensionDetails(graph.Extension(), stdout);
  if (o.tune) {
    std::printf("Tuning:");
    for (int i = 0; i < kTuneFieldCount; ++i) std::printf(" %ld", static_cast<long>(tune.field[i]));
    std::printf(" -> 0x%08lX\n", static_cast<unsigned long>(tuned));
  }

  if (o.seconds > 0) {
    auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(o.seconds));
    auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    graph.StopGraph();
    std::printf("%s\n", FormatStatisticLine(TheStreamCounters(), static_cast<DWORD>(elapsed.count())).c_str());
  }
  std::printf("Locked: %ld  Level: %ld  Quality: %ld\n", static_cast<long>(graph.GetSignalLocked()),
              static_cast<long>(graph.GetSignalStrength()), static_cast<long>(graph.GetSignalQuality()));
  graph.StopGraph();
  if (o.dumpCalls) {
    if (emulated) std::printf("%s", EmulatedDevicePlatform().DumpCalls().c_str());
    else std::printf("(--dump-calls shows the calls of emulated devices; give --devices FILE)\n");
  }
  return FAILED(tuned) ? Fail("tuning failed") : 0;
}

}  // namespace

int main(int argc, char** argv) {
  OPTIONS o;
  std::string error = ParseOptions(argc, argv, &o);
  if (!error.empty()) return Fail(error);

  bool emulated = true;
#ifdef _WIN32
  emulated = !o.devices.empty();
#endif
  if (emulated) {
    if (!o.devices.empty() && !EmulatedDevicePlatform().LoadFile(o.devices, &error)) return Fail(error);
    SetDevicePlatform(&EmulatedDevicePlatform());
    SetDeviceIo(&EmulatedDeviceIo());
  }
  if (FAILED(DevicePlatform().Startup())) return Fail("cannot start the device platform");
  int result = Probe(o, emulated);
  DevicePlatform().Shutdown();
  return result;
}
