// velvetfin: the receiver without a window system. The same application object,
// main dialog and pages as the Windows program, on in-memory dialogs driven by the
// portable event loop, with the emulated tuners and adapter. Message boxes go to
// standard error and are answered as the command line says; a status line is
// printed once a second.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>

#include "app/receiver_app.h"
#include "app/receiver_dlg.h"
#include "datapath/data_path.h"
#include "datapath/data_path_warnings.h"
#include "datapath/filter_table.h"
#include "datapath/filter_text.h"
#include "log/log.h"
#include "pages/tuner_dlg_ids.h"
#include "platform/adapter_list.h"
#include "platform/device_io.h"
#include "platform/device_platform.h"
#include "platform/emulated/bda_platform.h"
#include "platform/emulated/emulated_adapter_list.h"
#include "platform/emulated/emulated_device_io.h"
#include "platform/emulated/emulated_services.h"
#include "platform/emulated/emulated_tap.h"
#include "platform/emulated/vendor_driver.h"
#include "platform/portable/event_loop.h"
#include "platform/portable/file_registry.h"
#include "platform/profile_file.h"
#include "platform/registry.h"
#include "platform/service_control.h"
#include "platform/sound.h"
#include "platform/system.h"
#include "remote/receiver_figures.h"
#include "remote/remote_control.h"
#include "settings/settings_store.h"
#include "ui/dialog_ids.h"
#include "ui/message_box.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include "platform/linux/privileges.h"
#include "platform/linux/sd_notify.h"
#endif

namespace {

// The run ended normally, but packets the adapter took could not all be written.
constexpr int kExitDataLost = 3;

struct OPTIONS {
  std::string commandLine;  // what the application object reads its instance number from
  std::string devices;
  int seconds = 0;
  int select = 0;  // 1-based entry of the device-selection dialog; 0: cancel it
  bool selectDefault = false;
  bool answerYes = true;
  std::string pcap;
  bool tun = false;
  std::string user;  // --user: who to become once the TUN interface exists
  std::string dumpCalls;
  std::string adapterSection;  // description: [Adapter] Installed=0 leaves it out
  std::string statFile;
  bool counters = false;
  std::string metrics;  // Prometheus text file rewritten each tick
  // Sound alerts as if ticked on the Status/Tuner page: list entry (-1 off) and the two boxes.
  int soundMode = -1;
  bool soundNoSignal = false;
  bool soundDigits = false;
};

void Usage(FILE* out) {
  std::fprintf(out,
               "usage: velvetfin [N] [--devices FILE] [--seconds S] [--select K[,default]] [--answer yes|no]\n"
               "                 [--pcap FILE] [--tun [--user NAME]] [--dump-calls FILE] [--stat-file FILE] [--counters]\n"
               "                 [--sound combo|level|quality[,nosignal][,digits]] [--metrics FILE]\n"
               "  N                 instance number (separate settings, log and adapter)\n"
               "  --devices FILE    emulated tuners from a description (default: the built-in DVB-S2 tuner)\n"
               "  --seconds S       quit after S seconds (as the Exit button does)\n"
               "  --select K        answer the device-selection dialog with entry K (,default ticks the box)\n"
               "  --answer yes|no   the answer to every question box (default yes)\n"
               "  --pcap FILE       also write every packet the adapter receives to FILE\n"
               "  --tun             hand the packets to a TUN interface vf<N> (root or CAP_NET_ADMIN); then\n"
               "                    run as the user sudo was called by, or as --user NAME, without capabilities\n"
               "  --dump-calls FILE at exit, write every call the emulated drivers received\n"
               "  --stat-file FILE  log the signal statistic to FILE (as if chosen on the Status/Tuner page)\n"
               "  --sound MODE      tick the page's sound alerts with MODE (,nosignal: \"Notify, when no\n"
               "                    signal\", ,digits: \"Say each digit\"); each file is printed, not played\n"
               "  --metrics FILE    rewrite FILE each second with the figures in the Prometheus text format\n"
               "  --counters        end each status line with the datagrams the emulated stream carried per\n"
               "                    PID and the packets the adapter took, read at one instant\n");
}

int BadCommandLine(const std::string& why) {
  std::fprintf(stderr, "velvetfin: %s\n", why.c_str());
  Usage(stderr);
  return 2;
}

bool ParseCount(const char* text, long low, long high, long* value) {
  if (!text || !*text) return false;
  char* end = nullptr;
  long v = std::strtol(text, &end, 10);
  if (*end || v < low || v > high) return false;
  *value = v;
  return true;
}

// Returns an error text, empty on success.
std::string ParseOptions(int argc, char** argv, OPTIONS* o) {
  int first = 1;
  if (argc > 1 && argv[1][0] != '-') {
    o->commandLine = argv[1];
    first = 2;
  }
  for (int i = first; i < argc; ++i) {
    std::string a = argv[i];
    const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
    long v = 0;
    if (a == "--help" || a == "-h") {
      Usage(stdout);
      std::exit(0);
    } else if (a == "--devices" || a == "--pcap" || a == "--dump-calls" || a == "--stat-file" || a == "--metrics") {
      if (!next || !*next) return a + " needs a file";
      (a == "--devices"      ? o->devices
       : a == "--pcap"       ? o->pcap
       : a == "--dump-calls" ? o->dumpCalls
       : a == "--metrics"    ? o->metrics
                             : o->statFile) = next;
      ++i;
    } else if (a == "--seconds") {
      if (!ParseCount(next, 1, 31 * 86400L, &v)) return "--seconds needs a number of seconds (1..2678400)";
      o->seconds = static_cast<int>(v);
      ++i;
    } else if (a == "--select") {
      std::string text = next ? next : "";
      size_t comma = text.find(',');
      std::string number = text.substr(0, comma);
      if (!ParseCount(number.c_str(), 1, 65536, &v)) return "--select needs an entry number, optionally with ,default";
      if (comma != std::string::npos && text.substr(comma + 1) != "default") return "--select K takes only ,default";
      o->select = static_cast<int>(v);
      o->selectDefault = comma != std::string::npos;
      ++i;
    } else if (a == "--answer") {
      std::string text = next ? next : "";
      if (text != "yes" && text != "no") return "--answer needs yes or no";
      o->answerYes = text == "yes";
      ++i;
    } else if (a == "--sound") {
      std::string text = next ? next : "";
      const char* modes[] = {"combo", "level", "quality"};
      size_t comma = text.find(',');
      for (int m = 0; m < 3; ++m)
        if (text.substr(0, comma) == modes[m]) o->soundMode = m;
      while (o->soundMode >= 0 && comma != std::string::npos) {
        size_t end = text.find(',', comma + 1);
        std::string flag = text.substr(comma + 1, end == std::string::npos ? std::string::npos : end - comma - 1);
        if (flag == "nosignal") {
          o->soundNoSignal = true;
        } else if (flag == "digits") {
          o->soundDigits = true;
        } else {
          o->soundMode = -1;
        }
        comma = end;
      }
      if (o->soundMode < 0) return "--sound needs combo, level or quality, optionally with ,nosignal and ,digits";
      ++i;
    } else if (a == "--tun") {
      o->tun = true;
    } else if (a == "--user") {
      if (!next || !*next) return "--user needs a user name";
      o->user = next;
      ++i;
    } else if (a == "--counters") {
      o->counters = true;
    } else if (!a.empty() && a[0] != '-' && i == 1) {
      o->commandLine = a;
    } else if (!a.empty() && a[0] != '-') {
      return "the instance number comes first";
    } else {
      return "unknown option " + a;
    }
  }
  if (o->tun && !o->pcap.empty()) return "give --pcap or --tun, not both";
  if (!o->user.empty() && !o->tun) return "--user goes with --tun";
  return "";
}

// Ticks "Acoustic signalization" and its options as a user would; the sound options are
// not stored, so they last for this run only. A page that offers no sound (an unknown
// delivery type) stays silent.
void TickSoundAlerts(CReceiverDlg& dialog, const OPTIONS& o) {
  CWindow* window = dialog.TunerWindow();
  CTunerPage* page = dialog.TunerPage();
  if (!window || !page || !window->Controls().IsItemEnabled(IDC_SOUND)) return;
  CDialogControls& controls = window->Controls();
  controls.CheckButton(IDC_SOUND, 1);
  page->OnCommand(IDC_SOUND, 0);
  controls.SetCurSel(IDC_SOUND_MODE, o.soundMode);
  controls.CheckButton(IDC_SOUND_NO_SIGNAL, o.soundNoSignal ? 1 : 0);
  controls.CheckButton(IDC_SOUND_DIGITS, o.soundDigits ? 1 : 0);
}

// One line per box: caption and text, line breaks shown as " / ".
std::string BoxLine(const MESSAGE_BOX_RECORD& box) {
  std::string text;
  for (size_t i = 0; i < box.text.size(); ++i) {
    char c = box.text[i];
    if (c == '\r' || c == '\n') {
      while (i + 1 < box.text.size() && (box.text[i + 1] == '\r' || box.text[i + 1] == '\n')) ++i;
      text += " / ";
    } else {
      text += c;
    }
  }
  return box.caption + " " + text;
}

// Once a second: time, profile, signal, status icon and the rates since the last line.
class CStatusPrinter {
 public:
  void Print(CReceiverDlg& dialog) {
    auto now = std::chrono::steady_clock::now();
    double seconds = m_started ? std::chrono::duration<double>(now - m_last).count() : 0.0;
    m_last = now;
    uint64_t bytes[kFilterCount];
    double rate[kFilterCount];
    double total = 0.0;
    for (int k = 0; k < kFilterCount; ++k) {
      bytes[k] = TheFilterTable().entry[k].bytes.Get();
      rate[k] = m_started && seconds > 0 ? double(bytes[k] - m_bytes[k]) * 8.0 / 1000.0 / seconds : 0.0;
      total += rate[k];
      m_bytes[k] = bytes[k];
    }
    m_started = true;

    SIGNAL_STATE signal;
    if (CTunerPage* tuner = dialog.TunerPage()) {
      signal = tuner->Signal();
    } else {
      CBdaGraph& graph = dialog.Graph();
      signal.locked = graph.GetSignalLocked() != 0;
      signal.level = graph.GetSignalStrength() & 0xFF;
      signal.quality = graph.GetSignalQuality() & 0xFF;
    }
    LOCAL_TIME t = SystemServices().GetLocalTime();
    std::string line = FormatText("%02u:%02u:%02u %s lock %d level %ld quality %ld", t.hour, t.minute, t.second,
                                  dialog.ProfileName().c_str(), signal.locked ? 1 : 0, static_cast<long>(signal.level),
                                  static_cast<long>(signal.quality));
    if (signal.haveExtended)
      line += FormatText(" rf %ld snr %.1f ber %.2e", static_cast<long>(signal.rfLevel), signal.snr, signal.ber);
    line += FormatText(" icon %d total %.3f kbit/s uc %.3f bc %.3f mc %.3f", dialog.StatusIcon(), total, rate[0],
                       rate[1], rate[2]);
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
  }

 private:
  bool m_started = false;
  std::chrono::steady_clock::time_point m_last;
  uint64_t m_bytes[kFilterCount] = {};
};

// Each tick's figures for the figures block, the metrics file and the service manager.
class CFiguresReport {
 public:
  CFiguresReport(unsigned instance, std::string metricsPath)
      : m_publisher(instance), m_metricsPath(std::move(metricsPath)) {
    m_figures.instance = instance;
  }
  void Tick(CReceiverDlg& dialog, const CPacketSink& sink) {
    auto now = std::chrono::steady_clock::now();
    const double seconds = m_started ? std::chrono::duration<double>(now - m_last).count() : 0.0;
    m_last = now;
    RECEIVER_FIGURES& f = m_figures;
    for (int k = 0; k < kFilterCount && k < kFigureFilters; ++k) {
      const uint64_t before = f.filterBytes[k];
      f.filterBytes[k] = m_filterBytes[k].Update(TheFilterTable().entry[k].bytes.Get());
      f.filterBytesPerSecond[k] = seconds > 0 ? double(f.filterBytes[k] - before) / seconds : 0.0;
    }
    m_started = true;
    SIGNAL_STATE signal;
    if (CTunerPage* tuner = dialog.TunerPage()) {
      signal = tuner->Signal();
      f.retunes = tuner->RetuneCount();
    }
    f.locked = signal.locked;
    f.level = signal.level;
    f.quality = signal.quality;
    f.extended = signal.haveExtended;
    f.rfLevel = signal.rfLevel;
    f.snr = signal.snr;
    f.ber = signal.ber;
    f.icon = dialog.StatusIcon();
    f.profile = dialog.ProfileName();
    StreamCounters& counters = TheStreamCounters();
    f.tsBytes = m_tsBytes.Update(counters.tsPayloadBytes.Get());
    f.crcErrors = m_crcErrors.Update(counters.crcErrors.Get());
    f.continuityErrors = m_continuity.Update(counters.discontinuityCount.Get());
    // As the summary counts them: taken by the adapter, less those that never got out.
    f.packetsFailed = sink.Failures();
    f.packetsWritten = sink.Packets() - f.packetsFailed;
    f.bytesWritten = sink.Bytes();
    m_publisher.Publish(f);
    if (!m_metricsPath.empty()) {
      std::string error;
      if (!WriteFileAtomically(m_metricsPath, FormatMetricsText(f), &error)) {
        if (!m_metricsFailureSaid) std::fprintf(stderr, "velvetfin: --metrics: %s\n", error.c_str());
        m_metricsFailureSaid = true;
      } else {
        m_metricsFailureSaid = false;
      }
    }
  }

 private:
  CFiguresPublisher m_publisher;
  std::string m_metricsPath;
  RECEIVER_FIGURES m_figures;
  bool m_started = false;
  bool m_metricsFailureSaid = false;
  std::chrono::steady_clock::time_point m_last;
  CMonotonicTotal m_filterBytes[kFigureFilters], m_tsBytes, m_crcErrors, m_continuity;
};

// The emulated stream's carried datagrams per PID and the adapter's packets, read at
// one instant, so that a watcher can check that nothing accepted went missing.
void PrintCounters(CEmulatedBdaPlatform& devices, const CPacketSink& sink) {
  std::string line = "counters carried";
  uint64_t taken = 0, failed = 0, tsBytes = 0;
  bool read = false;
  for (size_t i = 0; i < devices.DeviceCount(); ++i) {
    std::shared_ptr<CEmulatedBdaDevice> device = devices.Device(i);
    if (!device || device->SamplesDelivered() == 0) continue;
    STREAM_TOTALS totals = device->StreamTotals([&] {
      taken = sink.Packets();
      failed = sink.Failures();
      tsBytes = device->BytesDelivered();
      read = true;
    });
    for (const STREAM_TOTALS::PID_DATAGRAMS& p : totals.byPid)
      line += FormatText(" %d:%llu", static_cast<int>(p.pid), static_cast<unsigned long long>(p.datagrams - p.lost));
    break;
  }
  if (!read) {
    taken = sink.Packets();
    failed = sink.Failures();
  }
  line += FormatText(" written %llu failed %llu ts %llu", static_cast<unsigned long long>(taken - failed),
                     static_cast<unsigned long long>(failed), static_cast<unsigned long long>(tsBytes));
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

// Where the settings file could not be used, the user hears of it once.
class CSettingsFileReport {
 public:
  void AtStart() {
    CFileRegistry& reg = FileRegistry();
    const std::string& path = reg.FilePath();
    if (reg.AttachState() == REGISTRY_FILE_STATE::SetAside)
      Say(FormatText("Settings file %s could not be read: kept as %s, defaults in use", path.c_str(),
                     reg.SetAsidePath().c_str()));
    else if (reg.AttachState() == REGISTRY_FILE_STATE::Unusable)
      Say(FormatText("Settings file %s could not be read nor set aside: defaults in use, nothing is saved",
                     path.c_str()));
  }
  void EachTick() {
    CFileRegistry& reg = FileRegistry();
    if (m_saveFailureSaid || reg.SaveFailures() == 0) return;
    m_saveFailureSaid = true;
    Say(FormatText("Settings could not be saved to %s: changes last for this run only", reg.FilePath().c_str()));
  }

 private:
  static void Say(const std::string& text) {
    LogMessage("%s", text.c_str());
    std::fprintf(stderr, "velvetfin: %s\n", text.c_str());
  }
  bool m_saveFailureSaid = false;
};

// The window a quit request goes to, once the main dialog runs.
std::atomic<CWindow*> g_mainWindow{nullptr};
std::atomic<int> g_signals{0};
std::atomic<bool> g_deadlinePassed{false};
// The adapter's sink, for the last flush of the third signal.
std::atomic<CPacketSink*> g_sink{nullptr};

void RequestQuit(bool force) {
  CWindow* window = g_mainWindow.load();
  if (!window) return;
  if (force) PortableWindowServices().PostEndDialog(window, IDOK);
  else PortableWindowServices().PostMessage(window, WM_COMMAND, IDOK, 0);
}

// The first signal is a quit request (the question may be asked); the second ends
// the dialog without one; a third, while even that hangs, ends the process.
void OnSignal() {
  int n = ++g_signals;
  if (n >= 3) {
    // No shutdown, but the capture file keeps every whole record it was given (unless
    // the writer itself is what hangs).
    if (CPacketSink* sink = g_sink.load()) sink->Flush(1000);
    std::_Exit(1);
  }
  RequestQuit(n >= 2);
}

#ifndef _WIN32
// Quit requests (SIGINT, SIGTERM, SIGHUP) are taken from a signalfd by a thread of their
// own. It is stopped through a pipe only this process writes to: no signal from outside
// can end it.
class CSignalThread {
 public:
  CSignalThread() {
    // A pcap pipe whose reader quit, or standard output into `head`, is a failed write
    // (EPIPE), not the end of the run; a stray SIGUSR1 means nothing to us.
    signal(SIGPIPE, SIG_IGN);
    signal(SIGUSR1, SIG_IGN);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    // Blocked before any other thread exists, so every thread inherits it and no quit
    // signal takes its default action anywhere.
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    m_signals = signalfd(-1, &set, SFD_CLOEXEC);
    if (m_signals < 0 || pipe2(m_stop, O_CLOEXEC) != 0) {
      std::fprintf(stderr, "velvetfin: no signal handling: %s\n", std::strerror(errno));
      return;
    }
    m_thread = std::thread([this] { Run(); });
  }
  ~CSignalThread() { Stop(); }
  void Stop() {
    if (m_thread.joinable()) {
      char byte = 1;
      while (write(m_stop[1], &byte, 1) < 0 && errno == EINTR) {
      }
      m_thread.join();
    }
    for (int* fd : {&m_signals, &m_stop[0], &m_stop[1]}) {
      if (*fd >= 0) close(*fd);
      *fd = -1;
    }
  }

 private:
  void Run() {
    pollfd fds[2] = {{m_signals, POLLIN, 0}, {m_stop[0], POLLIN, 0}};
    for (;;) {
      if (poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (fds[1].revents) return;
      signalfd_siginfo info;
      if (read(m_signals, &info, sizeof info) == ssize_t(sizeof info)) OnSignal();
    }
  }

  int m_signals = -1;
  int m_stop[2] = {-1, -1};
  std::thread m_thread;
};
#endif

#ifdef _WIN32
BOOL WINAPI ConsoleHandler(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
  OnSignal();
  return TRUE;
}
#endif

// Runs `work` after `seconds` unless cancelled first.
class CDeadline {
 public:
  CDeadline(int seconds, std::function<void()> work) {
    if (seconds <= 0) return;
    m_thread = std::thread([this, seconds, work] {
      std::unique_lock<std::mutex> lock(m_lock);
      if (!m_wake.wait_for(lock, std::chrono::seconds(seconds), [this] { return m_cancelled; })) {
        lock.unlock();
        work();
      }
    });
  }
  ~CDeadline() {
    {
      std::lock_guard<std::mutex> guard(m_lock);
      m_cancelled = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) m_thread.join();
  }

 private:
  std::mutex m_lock;
  std::condition_variable m_wake;
  bool m_cancelled = false;
  std::thread m_thread;
};

}  // namespace

int main(int argc, char** argv) {
  OPTIONS o;
  std::string error = ParseOptions(argc, argv, &o);
  if (!error.empty()) return BadCommandLine(error);
#ifndef _WIN32
  CSignalThread signals;
#endif

  // The emulated platform stands in for drivers and the adapter, and for tuners where none exist.
  CEmulatedBdaPlatform& devices = EmulatedDevicePlatform();
  if (!o.devices.empty() && !devices.LoadFile(o.devices, &error)) {
    std::fprintf(stderr, "velvetfin: %s\n", error.c_str());
    return 2;
  }
#ifdef _WIN32
  SetDevicePlatform(&devices);
#else
  // A machine with DVB cards tunes them, unless a description asks for emulated tuners.
  SetDevicePlatform(o.devices.empty() ? &OsDevicePlatform() : &devices);
#endif
  SetDeviceIo(&EmulatedDeviceIo());
  SetWindowServices(&PortableWindowServices());
  // The emulated drivers' call record is kept only when it is to be written out.
  SetEmulatedCallRecording(!o.dumpCalls.empty());
#ifdef _WIN32
  // Under Windows this is a demonstration on emulated devices: the whole machine is emulated.
  SetRegistry(&FileRegistry());
  SetAdapterList(&EmulatedAdapterList());
  SetServiceControl(&EmulatedServices());
#endif
  bool installAdapter = true;
  if (!o.devices.empty()) installAdapter = ProfileFile().GetInt(o.devices, "Adapter", "Installed", 1) != 0;

  CReceiverApp app(o.commandLine);
  std::shared_ptr<CPacketSink> sink = std::make_shared<CPacketSink>();
  // Files, the TUN interface and stored choices are touched only once this instance holds
  // its lock: a refused second start must not truncate the capture of the running one.
  bool startFailed = false;
  bool locked = false;
  app.SetStartCheck([&] {
    locked = true;
    SettingsStore& store = *app.Store();
    std::string why;
    if (!o.statFile.empty()) {
      // The page reads these when it opens, as after the user chose the file in its dialog.
      store.WriteInt(kCommonSection, "LogStat", 1);
      store.WriteText(kCommonSection, "StatFile", o.statFile.c_str());
    }
    // IPv6 may come when the profile the program starts with has IPv6 or a ULE PID.
    const std::string active = store.ReadText(kCommonSection, "ActiveProfile", "Standard");
    const bool mayCarryIpv6 =
        store.ReadInt(active.c_str(), "IPv6", 0) != 0 || store.ReadInt(active.c_str(), "ULE_PID", 0) != 0;
    if (!o.pcap.empty() && !sink->OpenPcap(o.pcap, why, mayCarryIpv6)) {
      std::fprintf(stderr, "velvetfin: %s\n", why.c_str());
      startFailed = true;
      return false;
    }
    if (o.tun) {
      // The TUN interface carries the unicast address of the profile the program starts with.
      std::string profile = store.ReadText(kCommonSection, "ActiveProfile", "Standard");
      // An address the MPE-Filter page would refuse gives way to its default.
      BYTE ip[4] = {192, 168, 238, 238};
      BYTE stored[4];
      if (ParseIpText(store.ReadText(profile.c_str(), "UC_IP", "192.168.238.238"), stored))
        std::copy(stored, stored + 4, ip);
#ifndef _WIN32
      DROP_TARGET target;
      bool found = false;
      const bool root = geteuid() == 0;
      bool resolved = ResolveDropTarget(o.user, std::getenv("SUDO_UID"), std::getenv("SUDO_GID"), &target, &found, &why);
      if (resolved && !root && !o.user.empty() && target.uid != getuid()) {
        why = "only root can become " + o.user;
        resolved = false;
      }
      if (!resolved) {
        std::fprintf(stderr, "velvetfin: %s\n", why.c_str());
        startFailed = true;
        return false;
      }
#endif
      if (!sink->OpenTun(FormatText("vf%u", app.Instance()), ip, 24, why)) {
        std::fprintf(stderr, "velvetfin: %s\n", why.c_str());
        startFailed = true;
        return false;
      }
      // IPv6 packets pass without an address; one is given only when the profile names it.
      const std::string ipv6 = store.ReadText(profile.c_str(), "IPv6Address", "");
      if (!ipv6.empty() && !sink->SetTunIpv6Address(ipv6, why)) {
        std::fprintf(stderr, "velvetfin: %s\n", why.c_str());
        startFailed = true;
        return false;
      }
#ifndef _WIN32
      // The interface exists: from here on the rights to make it are only a danger.
      if (root && !found) {
        std::fprintf(stderr, "velvetfin: still running as root: give --user NAME to run as a user once %s exists\n",
                     sink->TunName().c_str());
      } else if (!DropPrivileges(found && root ? &target : nullptr, SystemIdentityCalls(), &why)) {
        std::fprintf(stderr, "velvetfin: %s\n", why.c_str());
        startFailed = true;
        return false;
      } else if (root) {
        std::fprintf(stderr, "velvetfin: %s up, running as %s\n", sink->TunName().c_str(), target.name.c_str());
      }
#endif
    }
    return true;
  });
  std::shared_ptr<CEmulatedTapAdapter> adapter;
  if (installAdapter) {
    EMULATED_TAP_SETUP setup;
    setup.sink = sink;
    // The description may make the adapters TAP-Windows6 ones, this instance's a VPN's.
    if (!o.devices.empty()) ReadAdapterDescription(ProfileFile(), o.devices, setup);
    // Each instance has its own adapter, as each finds "its" adapter by number.
    for (unsigned k = 0; k < app.Instance(); ++k) {
      EMULATED_TAP_SETUP other = setup;
      other.usedElsewhereAddress.clear();
      other.sink = std::make_shared<CPacketSink>();
      other.instanceId = FormatText("{5F3A1C2E-7B4D-4E8A-9C61-0B2D3E4F5A%02X}", 0x70 + k);
      InstallEmulatedTap(other);
    }
    adapter = InstallEmulatedTap(setup);
  }

  CPortableWindowServices& windows = PortableWindowServices();
  const bool answerYes = o.answerYes;
  windows.SetMessageBoxHandler([answerYes](const MESSAGE_BOX_RECORD& box, BoxResult given) {
    std::fprintf(stderr, "%s\n", BoxLine(box).c_str());
    std::fflush(stderr);
    if (box.buttons == BoxButtons::Ok) return given;
    return answerYes ? BoxResult::Yes : BoxResult::No;
  });
  windows.SetTextObserver([](int templateId, int control, const std::string& text) {
    if (templateId == IDD_SPLASH && control == IDC_SPLASH_TEXT) {
      std::printf("%s\n", text.c_str());
      std::fflush(stdout);
    }
  });
  const int select = o.select;
  const bool selectDefault = o.selectDefault;
  bool selectBeyondList = false;
  windows.SetModalScript(IDD_DEVICE_SELECTION, [select, selectDefault, &selectBeyondList](CPortableWindow& window,
                                                                                       CWindowHandler& handler) {
    if (select == 0) {
      window.EndDialog(IDCANCEL);
      return;
    }
    // An entry the list does not have would otherwise open the first device.
    const int entries = window.Controls().GetCount(IDC_DEVICE_LIST);
    if (select > entries) {
      std::fprintf(stderr, "velvetfin: --select %d: the device list has %d entries\n", select, entries);
      selectBeyondList = true;
      window.EndDialog(IDCANCEL);
      return;
    }
    window.Controls().SetCurSel(IDC_DEVICE_LIST, select - 1);
    window.Controls().CheckButton(IDC_DEFAULT_DEVICE, selectDefault ? 1 : 0);
    LRESULT result = 0;
    handler.OnMessage(WM_COMMAND, IDOK, 0, &result);
  });
  // A new or renamed profile needs a user at a screen.
  windows.SetModalScript(IDD_PROFILE, [](CPortableWindow& window, CWindowHandler&) { window.EndDialog(IDCANCEL); });

  // Sound alerts are shown, not played.
  CRecordingSoundPlayer sounds;
  SetSoundPlayer(&sounds);
  CStatusPrinter status;
  CSettingsFileReport settingsReport;
  std::unique_ptr<CFiguresReport> figures;
#ifndef _WIN32
  // Under systemd (Type=notify): ready at the first tick, alive at every tick after it.
  CServiceNotifier serviceManager;
#endif
  const bool counters = o.counters;
  // Other programs control the receiver through its remote socket (window under
  // Windows) and watch its status block.
  SetStatusPublisherFactory(&CreateStatusBlockPublisher);
  std::unique_ptr<CRemoteServer> remote;
  const unsigned instance = app.Instance();
  app.SetDialogObserver([&, counters, instance](CReceiverDlg& dialog) {
    std::printf("%s - version %s\n", kProgramName, kVersionText);
    std::fflush(stdout);
    settingsReport.AtStart();
    dialog.SetTickObserver([&, counters, instance] {
      // Quit requests wait for the first tick: before it, start-up still holds the loop.
      if (!g_mainWindow.load()) {
        g_mainWindow = dialog.Window();
        // The two lines the dialog shows under its pages: which device, which extension.
        std::printf("%s\n%s\n", dialog.DeviceLine().c_str(), dialog.ExtensionLine().c_str());
        std::fflush(stdout);
        // Served from the first tick on, when the loop runs that the requests wait for.
        std::string error;
        remote = StartRemoteControl(dialog.Window(), instance, kRemoteMessageNames, &error);
        if (!remote) std::fprintf(stderr, "velvetfin: no remote control: %s\n", error.c_str());
        if (int pending = g_signals.load()) RequestQuit(pending >= 2);
        if (g_deadlinePassed.load()) RequestQuit(false);
        if (o.soundMode >= 0) TickSoundAlerts(dialog, o);
        figures = std::make_unique<CFiguresReport>(instance, o.metrics);
#ifndef _WIN32
        serviceManager.Notify("READY=1");
#endif
      }
      status.Print(dialog);
      // A capture file reads whole up to the last second, however the run ends later.
      if (!sink->Flush(1000)) RaiseDataPathWarning(DATA_PATH_WARNING::CantWrite);
      figures->Tick(dialog, *sink);
#ifndef _WIN32
      serviceManager.Notify("WATCHDOG=1");
#endif
      if (counters) PrintCounters(devices, *sink);
      settingsReport.EachTick();
      for (const CRecordingSoundPlayer::PLAYED& played : sounds.TakePlayed())
        std::printf("sound %s%s\n", played.path.c_str(), played.synchronous ? " (waits)" : "");
    });
  });

  g_sink = sink.get();
#ifdef _WIN32
  ::SetConsoleCtrlHandler(&ConsoleHandler, TRUE);
#endif

  int result;
  {
    CDeadline deadline(o.seconds, [] {
      g_deadlinePassed = true;
      RequestQuit(false);
    });
    result = app.Run();
  }
#ifndef _WIN32
  serviceManager.Notify("STOPPING=1");
#endif
  figures.reset();
  // After the loop: a request still waiting is answered 0, none runs beside the shutdown.
  remote.reset();
  SetStatusPublisherFactory(nullptr);
  g_mainWindow = nullptr;
  SetSoundPlayer(nullptr);

#ifndef _WIN32
  signals.Stop();
  g_sink = nullptr;
#endif

  // A refused start leaves the files of the running instance alone.
  if (locked && !o.dumpCalls.empty()) {
    std::ofstream out(o.dumpCalls, std::ios::binary | std::ios::trunc);
    out << devices.DumpCalls();
    if (!out) std::fprintf(stderr, "velvetfin: cannot write %s\n", o.dumpCalls.c_str());
  }
  // Whatever the capture file still holds back is written (or counted as lost) first.
  sink->Close();
  const uint64_t failed = sink->Failures();
  if (locked && adapter) {
    std::printf("Adapter: %llu packets, %llu bytes, %llu written, %llu failed\n",
                static_cast<unsigned long long>(sink->Packets()), static_cast<unsigned long long>(sink->Bytes()),
                static_cast<unsigned long long>(sink->Packets() - failed), static_cast<unsigned long long>(failed));
  }
  if (selectBeyondList || startFailed) return 2;
  // A run that lost packets the adapter took must not look complete to a script.
  if (result == 0 && failed > 0) {
    std::fprintf(stderr, "velvetfin: %llu packets could not be written\n", static_cast<unsigned long long>(failed));
    return kExitDataLost;
  }
  return result;
}
