// velvetfin-ts: runs the receiver's own data path over a transport stream (a file,
// standard input or the built-in demo stream) and hands the packets it delivers to
// a pcap file, a Linux TUN interface or a counter. For replaying captures and measuring.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>

#ifdef _WIN32
// The C runtime's binary mode for standard input; nothing else of the OS.
#include <fcntl.h>
#include <io.h>
#endif

#include "datapath/crc32.h"
#include "datapath/data_path.h"
#include "datapath/data_path_warnings.h"
#include "datapath/filter_settings.h"
#include "datapath/sample_grabber_cb.h"
#include "datapath/stream_statistics.h"
#include "log/log.h"
#include "pages/filter_dlg.h"
#include "platform/emulated/emulated_device_io.h"
#include "platform/emulated/sink_device.h"
#include "platform/emulated/stream_generator.h"
#include "platform/portable/file_registry.h"
#include "platform/portable/packet_sink.h"
#include "settings/settings_store.h"

namespace {
constexpr int kExitError = 2;
constexpr DWORD kDefaultBuffer = 188 * 256;
constexpr DWORD kMaxBuffer = 64u << 20;
constexpr size_t kReadAhead = 512u << 10;  // bytes read at once from a regular file
const char kAdapterPath[] = "\\\\.\\Global\\velvetfin-ts.tap";

struct OPTIONS {
  std::string input;         // path, "-" for standard input
  double generateSeconds = -1;
  std::string savePath;      // write the generated stream instead of running it
  FILTER_TEXTS filters;
  bool ucIpGiven = false;
  int ulePids = 0;           // --ule-pid options given
  std::string tunIpv6;       // address for the TUN interface, none when empty
  std::string pcapPath;
  std::string tunName;
  std::string logPath;
  DWORD bufferSize = kDefaultBuffer;
  double rateMbps = 0;
  bool quiet = false;
  bool applyLog = false;
};

void Usage() {
  std::fprintf(stderr,
               "usage: velvetfin-ts [options] (FILE | - | --generate SECONDS)\n"
               "  --uc-pid N --uc-mac TEXT --uc-ip A.B.C.D --ip-filter   unicast filter\n"
               "  --bc-pid N --mc-pid N          broadcast and multicast filters (multicast: 8192)\n"
               "  --ipv6                         IPv6 and LLC/SNAP in MPE sections\n"
               "  --ule-pid N                    PID N carries ULE (RFC 4326); repeatable, up to 8\n"
               "  --pcap FILE | --tun NAME       where delivered packets go (else counted)\n"
               "  --tun-ipv6 ADDRESS/PREFIX      an IPv6 address for the TUN interface\n"
               "  --log FILE                     the program's log file\n"
               "  --buffer BYTES                 bytes handed over per sample (default %u)\n"
               "  --rate MBPS                    pace the input (default: as fast as possible)\n"
               "  --save FILE                    with --generate: write the stream to FILE\n"
               "  --quiet                        no statistic line every second\n"
               "  --apply-log                    print the log lines and list rows an apply of the\n"
               "                                 filters would produce, and stop\n",
               unsigned(kDefaultBuffer));
}

bool ParseNumber(const char* text, double& out) {
  char* end = nullptr;
  out = std::strtod(text, &end);
  return end != text && *end == '\0' && out >= 0 && out < 1e12;
}

// 0: parsed; otherwise the exit status.
int ParseOptions(int argc, char** argv, OPTIONS& o) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](const char*& v) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "velvetfin-ts: %s needs a value\n", a.c_str());
        return false;
      }
      v = argv[++i];
      return true;
    };
    const char* v = nullptr;
    double number = 0;
    if (a == "--ip-filter") {
      o.filters.useIpFilter = true;
    } else if (a == "--ipv6") {
      o.filters.ipv6 = true;
    } else if (a == "--apply-log") {
      o.applyLog = true;
    } else if (a == "--quiet") {
      o.quiet = true;
    } else if (a == "--help" || a == "-h") {
      Usage();
      return 1;
    } else if (a == "--uc-pid" || a == "--bc-pid" || a == "--mc-pid" || a == "--uc-mac" ||
               a == "--uc-ip" || a == "--pcap" || a == "--tun" || a == "--log" || a == "--save" ||
               a == "--generate" || a == "--buffer" || a == "--rate" || a == "--ule-pid" || a == "--tun-ipv6") {
      if (!value(v)) return kExitError;
      if (a == "--ule-pid") {
        if (++o.ulePids > kMaxUlePids) {
          std::fprintf(stderr, "velvetfin-ts: at most %d --ule-pid\n", kMaxUlePids);
          return kExitError;
        }
        o.filters.ulePidText = o.ulePids == 1 ? std::string(v) : o.filters.ulePidText + "," + v;
      }
      if (a == "--tun-ipv6") o.tunIpv6 = v;
      if (a == "--uc-pid") o.filters.ucPidText = v;
      if (a == "--bc-pid") o.filters.bcPidText = v;
      if (a == "--mc-pid") o.filters.mcPidText = v;
      if (a == "--uc-mac") o.filters.macText = v;
      if (a == "--uc-ip") {
        o.filters.ipText = v;
        o.ucIpGiven = true;
      }
      if (a == "--pcap") o.pcapPath = v;
      if (a == "--tun") o.tunName = v;
      if (a == "--log") o.logPath = v;
      if (a == "--save") o.savePath = v;
      if (a == "--generate" || a == "--buffer" || a == "--rate") {
        if (!ParseNumber(v, number)) {
          std::fprintf(stderr, "velvetfin-ts: invalid value for %s: %s\n", a.c_str(), v);
          return kExitError;
        }
        if (a == "--generate") o.generateSeconds = number;
        if (a == "--rate") o.rateMbps = number;
        if (a == "--buffer") {
          if (number < 1 || number > kMaxBuffer) {
            std::fprintf(stderr, "velvetfin-ts: --buffer must be 1..%u\n", unsigned(kMaxBuffer));
            return kExitError;
          }
          o.bufferSize = static_cast<DWORD>(number);
        }
      }
    } else if (a.size() > 1 && a[0] == '-' && a != "-") {
      std::fprintf(stderr, "velvetfin-ts: unknown option %s\n", a.c_str());
      Usage();
      return kExitError;
    } else if (o.input.empty()) {
      o.input = a;
    } else {
      std::fprintf(stderr, "velvetfin-ts: more than one input: %s\n", a.c_str());
      return kExitError;
    }
  }
  if (!o.applyLog && (o.generateSeconds >= 0) == !o.input.empty()) {
    std::fprintf(stderr, "velvetfin-ts: give one input: a file, - or --generate SECONDS\n");
    Usage();
    return kExitError;
  }
  if (!o.savePath.empty() && o.generateSeconds < 0) {
    std::fprintf(stderr, "velvetfin-ts: --save needs --generate\n");
    return kExitError;
  }
  if (!o.tunIpv6.empty() && o.tunName.empty()) {
    std::fprintf(stderr, "velvetfin-ts: --tun-ipv6 needs --tun\n");
    return kExitError;
  }
  if (!o.pcapPath.empty() && !o.tunName.empty()) {
    std::fprintf(stderr, "velvetfin-ts: give --pcap or --tun, not both\n");
    return kExitError;
  }
  return 0;
}

// Where the stream comes from: a file, standard input or the generator.
class CInput {
 public:
  bool OpenFile(const std::string& path, std::string& error) {
    if (path == "-") {
#ifdef _WIN32
      _setmode(_fileno(stdin), _O_BINARY);
#endif
      m_file = stdin;
      return true;
    }
    m_file = std::fopen(path.c_str(), "rb");
    if (!m_file) {
      error = "Can't open " + path + ": " + std::strerror(errno);
      return false;
    }
    m_owned = true;
    struct stat st;
    m_regular = fstat(fileno(m_file), &st) == 0 && S_ISREG(st.st_mode);
    return true;
  }
  // A regular file can be read ahead; a pipe or terminal may be a live stream.
  bool IsRegularFile() const { return m_regular; }
  void Generate(double seconds) {
    m_generator = std::make_unique<CStreamGenerator>(DemoStreamProfile());
    m_packetsLeft = static_cast<uint64_t>(seconds * kDemoStreamBitsPerSecond / (188 * 8) + 0.5);
  }
  ~CInput() {
    if (m_owned) std::fclose(m_file);
  }
  // Up to n bytes; 0 at the end. False on a read error.
  bool Read(BYTE* out, size_t n, size_t& got) {
    got = 0;
    if (m_file) {
      got = std::fread(out, 1, n, m_file);
      return !(got == 0 && std::ferror(m_file));
    }
    while (got < n) {
      if (m_stagePos == m_stage.size()) {
        if (m_packetsLeft == 0) break;
        size_t packets = static_cast<size_t>(std::min<uint64_t>(m_packetsLeft, 1024));
        m_stage.resize(packets * 188);
        m_generator->Fill(m_stage.data(), packets);
        m_packetsLeft -= packets;
        m_stagePos = 0;
      }
      size_t k = std::min(n - got, m_stage.size() - m_stagePos);
      std::memcpy(out + got, m_stage.data() + m_stagePos, k);
      m_stagePos += k;
      got += k;
    }
    return true;
  }

 private:
  std::FILE* m_file = nullptr;
  bool m_owned = false;
  bool m_regular = false;
  std::unique_ptr<CStreamGenerator> m_generator;
  uint64_t m_packetsLeft = 0;
  std::vector<BYTE> m_stage;
  size_t m_stagePos = 0;
};

// The emulated adapter: every write goes to the sink, and each write is put down
// to the filter whose byte counter grew since the previous write (the data path
// counts every write once, in one filter; the last one is taken after the run).
class CToolAdapter : public CSinkDevice {
 public:
  using CSinkDevice::CSinkDevice;
  BOOL Write(const void* data, DWORD length, DWORD* written) override {
    Attribute();
    return CSinkDevice::Write(data, length, written);
  }
  void Attribute() {
    FilterTable& t = TheFilterTable();
    for (int k = 0; k < kFilterCount; ++k) {
      uint64_t now = t.entry[k].bytes.Get();
      if (now != m_seen[k]) {
        m_seen[k] = now;
        ++m_packets[k];
      }
    }
  }
  uint64_t FilterPackets(int k) const { return m_packets[k]; }

 private:
  uint64_t m_seen[kFilterCount] = {};
  uint64_t m_packets[kFilterCount] = {};
};

int Fail(const std::string& text) {
  std::fprintf(stderr, "velvetfin-ts: %s\n", text.c_str());
  return kExitError;
}

int SaveGenerated(const OPTIONS& o, CInput& input) {
  std::FILE* f = std::fopen(o.savePath.c_str(), "wb");
  if (!f) return Fail("Can't create " + o.savePath + ": " + std::strerror(errno));
  std::vector<BYTE> buffer(188 * 4096);
  size_t got = 0;
  bool ok = true;
  while (ok && input.Read(buffer.data(), buffer.size(), got) && got)
    ok = std::fwrite(buffer.data(), 1, got, f) == got;
  if (std::fclose(f) != 0) ok = false;
  if (!ok) return Fail("Can't write " + o.savePath + ": " + std::strerror(errno));
  return 0;
}

void PrintStatistic(DWORD elapsedMs) {
  StreamCounters& c = TheStreamCounters();
  const FilterTable& t = TheFilterTable();
  std::printf("%s\n", FormatStatisticLine(c, elapsedMs, t.ipv6 || t.ulePidCount > 0).c_str());
  std::fflush(stdout);
  c.tsPayloadBytesPrev.Set(c.tsPayloadBytes.Get());
}

// Prints the statistic line once a second, also while the input is stalled (a pipe
// or a paced stream), and writes the data path's folded warnings, as the page's timer
// does. It only reads the counters.
class CStatisticPrinter {
 public:
  using Clock = std::chrono::steady_clock;
  explicit CStatisticPrinter(bool print) : m_print(print), m_last(Clock::now()) {
    m_thread = std::thread([this] { Run(); });
  }
  ~CStatisticPrinter() { Stop(); }
  // Stops the thread and prints the closing line over the time since the last one.
  void Finish() {
    Stop();
    std::lock_guard<std::mutex> g(m_lock);
    FlushDataPathWarnings();
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - m_last).count();
    PrintStatistic(ms > 0 ? static_cast<DWORD>(ms) : 1);
  }

 private:
  void Stop() {
    {
      std::lock_guard<std::mutex> g(m_lock);
      m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) m_thread.join();
  }
  void Run() {
    std::unique_lock<std::mutex> g(m_lock);
    while (!m_wake.wait_until(g, m_last + std::chrono::seconds(1), [this] { return m_stop; })) {
      auto now = Clock::now();
      FlushDataPathWarnings();
      if (m_print)
        PrintStatistic(static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(now - m_last).count()));
      m_last = now;
    }
  }

  const bool m_print;
  std::mutex m_lock;
  std::condition_variable m_wake;
  bool m_stop = false;
  Clock::time_point m_last;
  std::thread m_thread;
};
}  // namespace

// The filters stored as a profile holds them and put through the MPE-Filter page's apply,
// without touching the adapter or the running table.
int PrintApplyPreview(const OPTIONS& o, const FILTER_SETTINGS& settings) {
  CFileRegistry registry;
  std::unique_ptr<SettingsStore> store = SettingsStore::CreateRegistryStore("velvetfin-ts", &registry);
  const char* profile = "Standard";
  store->WriteText(profile, "UC_MAC", settings.texts.macText.c_str());
  store->WriteText(profile, "UC_IP", settings.texts.ipText.c_str());
  store->WriteInt(profile, "UC_PID", settings.pid[kUnicastFilter]);
  store->WriteInt(profile, "BC_PID", settings.pid[kBroadcastFilter]);
  store->WriteInt(profile, "MC_PID", settings.pid[kMulticastFilter]);
  store->WriteInt(profile, "UseIPFilter", o.filters.useIpFilter ? 1 : 0);
  if (settings.ipv6) store->WriteInt(profile, "IPv6", 1);
  // A profile holds one ULE PID.
  if (settings.ulePidCount > 0) store->WriteInt(profile, "ULE_PID", settings.ulePid[0]);
  std::fputs(FormatFilterApplyPreview(PreviewFilterApply(*store, profile)).c_str(), stdout);
  return 0;
}

int main(int argc, char** argv) {
  OPTIONS o;
  if (int status = ParseOptions(argc, argv, o)) return status == 1 ? 0 : status;

  CInput input;
  std::string error;
  if (o.generateSeconds >= 0)
    input.Generate(o.generateSeconds);
  else if (!o.applyLog && !input.OpenFile(o.input, error))
    return Fail(error);
  if (!o.savePath.empty()) return SaveGenerated(o, input);

  if (!o.logPath.empty()) SetLogFile(o.logPath.c_str(), TRUE);

  // The filters as a profile holds them, refused with the page's own texts.
  FILTER_SETTINGS settings;
  FILTER_VALIDATION v = ParseFilterTexts(o.filters, settings);
  if (v.error != FilterTextError::kNone) {
    std::fprintf(stderr, "%s\n", ValidationErrorText(v).c_str());
    return kExitError;
  }
  if (o.applyLog) return PrintApplyPreview(o, settings);

  auto sink = std::make_shared<CPacketSink>();
  auto adapter = std::make_shared<CToolAdapter>(sink);
  // IPv6 can come with either option: the pcap then takes raw IPv4 and IPv6 records.
  const bool mayCarryIpv6 = settings.ipv6 || settings.ulePidCount > 0;
  if (!o.pcapPath.empty() && !sink->OpenPcap(o.pcapPath, error, mayCarryIpv6)) return Fail(error);
  if (!o.tunName.empty() && !sink->OpenTun(o.tunName, settings.ip, 24, error)) return Fail(error);
  if (!o.tunIpv6.empty() && !sink->SetTunIpv6Address(o.tunIpv6, error)) return Fail(error);

  CEmulatedDeviceIo& io = EmulatedDeviceIo();
  io.Install(kAdapterPath, adapter);
  HANDLE handle = io.Open(kAdapterPath, kAdapterOpenMode);
  if (handle == INVALID_HANDLE_VALUE) return Fail("Can't open the emulated adapter");

  InitCrc32Table();
  CSampleGrabberCB& callback = TheSampleGrabberCB();
  FILTER_ENTRIES entries;
  {
    std::lock_guard<std::mutex> g(callback.Lock());
    TheDataPath().SetDeviceIo(&io);
    TheAdapterHandle().Set(handle);
    entries = SetFilterEntries(TheFilterTable(), settings);
    for (FilterEntry& e : TheFilterTable().entry) e.bytes.Set(0);
    TheStreamCounters().ZeroAll();
  }
  LogFilterEntries(entries);
  const std::vector<FILTER_ROW>& rows = entries.rows;
  std::printf("%-6s %-4s %-18s %s\n", "PID", "Set", "MAC", "IP");
  for (const FILTER_ROW& r : rows)
    std::printf("%-6s %-4s %-18s %s\n", r.pid.c_str(), r.set.c_str(), r.mac.c_str(), r.ip.c_str());
  std::fflush(stdout);

  using Clock = std::chrono::steady_clock;
  // A regular file is read several samples at a time: the system call per sample was a
  // tenth of the tool's time. The samples the data path gets are the same.
  const size_t samplesPerRead = input.IsRegularFile() ? std::max<size_t>(1, kReadAhead / o.bufferSize) : 1;
  std::vector<BYTE> buffer(o.bufferSize * samplesPerRead);
  const auto start = Clock::now();
  uint64_t fed = 0;
  bool readError = false;
  CStatisticPrinter printer(!o.quiet);
  for (;;) {
    size_t got = 0;
    if (!input.Read(buffer.data(), buffer.size(), got)) {
      readError = true;
      break;
    }
    if (got == 0) break;
    for (size_t at = 0; at < got; at += o.bufferSize) {
      const size_t size = std::min<size_t>(o.bufferSize, got - at);
      MEDIA_SAMPLE_INFO sample{buffer.data() + at, static_cast<DWORD>(size), false, false};
      callback.SampleCB(0, sample);
      fed += size;
      if (o.rateMbps > 0) {
        auto due = start + std::chrono::duration<double>(fed * 8.0 / (o.rateMbps * 1e6));
        std::this_thread::sleep_until(std::chrono::time_point_cast<Clock::duration>(due));
      }
    }
  }
  auto end = Clock::now();
  {
    std::lock_guard<std::mutex> g(callback.Lock());
    TheAdapterHandle().Set(INVALID_HANDLE_VALUE);
  }
  adapter->Attribute();
  io.Close(handle);
  io.Uninstall(kAdapterPath);

  printer.Finish();
  static const char* const kSet[kFilterCount] = {"UC", "BC", "MC"};
  for (int k = 0; k < kFilterCount; ++k) {
    if (TheFilterTable().entry[k].pid == kPidOff) continue;
    std::printf("%s: %" PRIu64 " packets, %" PRIu64 " bytes\n", kSet[k], adapter->FilterPackets(k),
                TheFilterTable().entry[k].bytes.Get());
  }
  double seconds = std::chrono::duration<double>(end - start).count();
  std::printf("Input: %" PRIu64 " bytes in %.3f s (%.1f MB/s); adapter: %" PRIu64 " packets, %" PRIu64
              " bytes\n",
              fed, seconds, seconds > 0 ? fed / seconds / 1e6 : 0.0, sink->Packets(), sink->Bytes());
  bool sinkFailed = sink->Failures() > 0;
  sink->Close();
  if (readError) return Fail("Read error on " + (o.input.empty() ? std::string("input") : o.input));
  if (sinkFailed && !o.pcapPath.empty()) return Fail("Can't write " + o.pcapPath);
  return 0;
}
