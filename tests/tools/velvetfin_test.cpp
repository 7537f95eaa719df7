// The headless receiver run as a process, as users and scripts run it: start-up
// output, status lines, the demo stream decoded into a pcap file, the quit question,
// signals, a second instance, bad command lines.
#ifndef _WIN32
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/system.h"

namespace {

std::string Program() {
  std::string self = SystemServices().GetModulePath();
  return self.substr(0, self.find_last_of('/')) + "/../src/velvetfin";
}

std::string Slurp(const std::string& path) {
  std::string text;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    std::fclose(f);
  }
  return text;
}

// One run in a private settings and lock place of its own.
class VelvetfinProcess {
 public:
  explicit VelvetfinProcess(const std::string& tag) : m_dir(testing::TempDir() + "vf-" + tag + "-" + std::to_string(getpid())) {
    // Private (0700), so the receiver keeps its instance lock here and runs apart from others.
    std::system(("rm -rf '" + m_dir + "' && mkdir -m 700 -p '" + m_dir + "'").c_str());
  }
  ~VelvetfinProcess() { std::system(("rm -rf '" + m_dir + "'").c_str()); }

  pid_t Start(const std::vector<std::string>& args, int index = 0) {
    std::string out = Path("out" + std::to_string(index)), err = Path("err" + std::to_string(index));
    pid_t pid = fork();
    if (pid == 0) {
      if (m_fileLimit) {
        // A full disk, as far as the files the receiver writes are concerned.
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{m_fileLimit, m_fileLimit};
        setrlimit(RLIMIT_FSIZE, &limit);
      }
      setenv("VELVETFIN_REGISTRY", Path("registry").c_str(), 1);
      setenv("XDG_RUNTIME_DIR", m_dir.c_str(), 1);
      std::freopen(out.c_str(), "w", stdout);
      std::freopen(err.c_str(), "w", stderr);
      std::vector<char*> argv{const_cast<char*>("velvetfin")};
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(Program().c_str(), argv.data());
      _exit(127);
    }
    return pid;
  }
  static int Wait(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  int Run(const std::vector<std::string>& args) { return Wait(Start(args)); }
  std::string Out(int index = 0) { return Slurp(Path("out" + std::to_string(index))); }
  std::string Err(int index = 0) { return Slurp(Path("err" + std::to_string(index))); }
  std::string Path(const std::string& name) const { return m_dir + "/" + name; }
  void LimitFileSize(rlim_t bytes) { m_fileLimit = bytes; }

 private:
  std::string m_dir;
  rlim_t m_fileLimit = 0;
};

// Whole pcap records from the global header to the end of the file (-1 when one is cut).
long WholePcapRecords(const std::string& file) {
  size_t at = 24;
  long records = 0;
  while (at + 16 <= file.size()) {
    const auto* p = reinterpret_cast<const unsigned char*>(file.data() + at + 8);
    at += 16 + (p[0] | p[1] << 8 | p[2] << 16 | size_t(p[3]) << 24);
    ++records;
  }
  return file.size() >= 24 && at == file.size() ? records : -1;
}

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

}  // namespace

TEST(Velvetfin, RunsTheDemoTunerAndQuitsWhenAsked) {
  VelvetfinProcess p("demo");
  // The service manager's socket, under an abstract name as systemd gives it.
  const std::string notifyName = "@vf-notify-" + std::to_string(getpid());
  int notify = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(notify, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path + 1, notifyName.data() + 1, notifyName.size() - 1);
  ASSERT_EQ(bind(notify, reinterpret_cast<sockaddr*>(&address), socklen_t(offsetof(sockaddr_un, sun_path) + notifyName.size())), 0);
  setenv("NOTIFY_SOCKET", notifyName.c_str(), 1);
  const int status = p.Run({"--seconds", "4", "--pcap", p.Path("out.pcap"), "--dump-calls", p.Path("calls.txt"),
                            "--metrics", p.Path("velvetfin.prom")});
  unsetenv("NOTIFY_SOCKET");
  ASSERT_EQ(status, 0) << p.Err();
  std::vector<std::string> states;
  char datagram[256];
  for (ssize_t n; (n = recv(notify, datagram, sizeof datagram, MSG_DONTWAIT)) > 0;) states.emplace_back(datagram, size_t(n));
  close(notify);
  // Ready once, alive every tick from the first on, stopping at the end.
  ASSERT_GE(states.size(), 3u);
  EXPECT_EQ(states.front(), "READY=1");
  EXPECT_EQ(states[1], "WATCHDOG=1");
  EXPECT_EQ(states.back(), "STOPPING=1");
  EXPECT_EQ(Count(Slurp(p.Path("velvetfin.prom")), "\nvelvetfin_signal_locked{instance=\"0\"} 1\n"), 1u);
  // The metrics file was replaced whole each tick: no temporary file stays behind.
  EXPECT_EQ(std::system(("test -z \"$(ls -A '" + p.Path("") + "' | grep '\\.tmp$')\"").c_str()), 0);
  std::string out = p.Out();
  // Start-up as it happens, then a status line per tick.
  size_t version = out.find("Velvetfin - version 1.1.4.15\n");
  size_t first = out.find("Initialization ...\n");
  size_t last = out.find("Initialization completed ...\n");
  ASSERT_NE(version, std::string::npos) << out;
  ASSERT_NE(first, std::string::npos) << out;
  ASSERT_NE(last, std::string::npos) << out;
  EXPECT_LT(version, first);
  EXPECT_LT(first, out.find("Starting DVB device ...\n"));
  EXPECT_LT(out.find("Setup DVB tuner ...\n"), last);
  // Then the device and the extension, as the dialog shows them.
  EXPECT_NE(out.find("Initialization completed ...\nDevice: 1 - Velvetfin Emulated DVB-S2 Tuner\nExtension: "), std::string::npos)
      << out;
  EXPECT_GE(Count(out, " Standard lock 1 level "), 1u) << out;
  EXPECT_NE(out.find(" icon 203 "), std::string::npos) << out;
  // The question box on standard error, answered yes.
  EXPECT_NE(p.Err().find("Question ? Are you sure to quit the Velvetfin ?\n"), std::string::npos) << p.Err();
  // The demo stream reached the adapter, and the pcap file has what it received.
  EXPECT_GT(Slurp(p.Path("out.pcap")).size(), 24u + 1000u);
  EXPECT_NE(out.find("Adapter: "), std::string::npos);
  EXPECT_FALSE(Slurp(p.Path("calls.txt")).empty());
  // Started again on the settings file the first run left, it finds its adapter as before.
  ASSERT_EQ(p.Run({"--seconds", "2", "--pcap", p.Path("again.pcap")}), 0) << p.Err();
  EXPECT_GT(Slurp(p.Path("again.pcap")).size(), 24u + 1000u) << p.Err();
}

// The capture file's disk fills up: the records that did not fit are counted as failed
// in the counters and the summary, the file reads whole to its end, and the exit status
// says that data was lost.
TEST(Velvetfin, APcapThatCannotTakeMoreStaysWholeAndTheLossIsReported) {
  VelvetfinProcess p("full");
  p.LimitFileSize(100 * 1024);
  EXPECT_EQ(p.Run({"--seconds", "3", "--pcap", p.Path("out.pcap"), "--counters"}), 3) << p.Err();
  const std::string out = p.Out();
  unsigned long long packets = 0, bytes = 0, written = 0, failed = 0;
  const size_t summary = out.find("Adapter: ");
  ASSERT_NE(summary, std::string::npos) << out;
  ASSERT_EQ(std::sscanf(out.c_str() + summary, "Adapter: %llu packets, %llu bytes, %llu written, %llu failed", &packets,
                        &bytes, &written, &failed),
            4)
      << out;
  EXPECT_GT(failed, 0u);
  EXPECT_EQ(written + failed, packets);
  EXPECT_NE(out.find(" failed " + std::to_string(failed) + " ts "), std::string::npos) << out;
  EXPECT_EQ(WholePcapRecords(Slurp(p.Path("out.pcap"))), long(written));
  EXPECT_NE(p.Err().find("packets could not be written"), std::string::npos) << p.Err();
}

TEST(Velvetfin, SignalsQuitAndASecondInstanceIsRefused) {
  VelvetfinProcess p("signals");
  // Every question answered no: the first signal asks, the second ends it anyway.
  const std::string capture = p.Path("first.pcap");
  pid_t first = p.Start({"--answer", "no", "--pcap", capture}, 0);
  // Once packets are on disk, a refused second start must leave that file alone.
  for (int i = 0; i < 150 && Slurp(capture).size() < 100000; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(p.Wait(p.Start({"--seconds", "1", "--pcap", capture, "--stat-file", p.Path("stat.txt")}, 1)), 1);
  EXPECT_NE(p.Err(1).find("Velvetfin Velvetfin is already running !\n"), std::string::npos) << p.Err(1);
  EXPECT_EQ(p.Out(1), "");
  // Instance 1 runs beside instance 0.
  EXPECT_EQ(p.Wait(p.Start({"1", "--seconds", "1"}, 2)), 0) << p.Err(2);

  // Stray signals change nothing: SIGPIPE is a failed write at most, SIGUSR1 means nothing
  // and leaves the quit signals working.
  kill(first, SIGPIPE);
  kill(first, SIGUSR1);
  kill(first, SIGINT);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(waitpid(first, nullptr, WNOHANG), 0) << "ended although the question was answered no";
  // Closing the terminal is a quit request like the others: the run ends as it should.
  kill(first, SIGHUP);
  EXPECT_EQ(p.Wait(first), 0);
  EXPECT_EQ(Count(p.Err(0), "Question ? Are you sure to quit the Velvetfin ?"), 1u) << p.Err(0);
  // The first record follows the file header: no hole where the file was cut short; the
  // file holds every packet written, each record whole.
  std::string packets = Slurp(capture);
  ASSERT_GT(packets.size(), 100000u);
  EXPECT_NE(packets.substr(24, 8), std::string(8, '\0'));
  unsigned long long taken = 0, bytes = 0, written = 0;
  const size_t summary = p.Out(0).find("Adapter: ");
  ASSERT_NE(summary, std::string::npos) << p.Out(0);
  ASSERT_EQ(std::sscanf(p.Out(0).c_str() + summary, "Adapter: %llu packets, %llu bytes, %llu written", &taken, &bytes,
                        &written),
            3);
  EXPECT_EQ(WholePcapRecords(packets), long(written));
}

TEST(Velvetfin, StatFileSwitchesTheSignalLogOnAndItStaysOn) {
  VelvetfinProcess p("statlog");
  ASSERT_EQ(p.Run({"--seconds", "3", "--stat-file", p.Path("stat.txt")}), 0) << p.Err();
  std::string log = Slurp(p.Path("stat.txt"));
  size_t lines = Count(log, "  Lock: 1, Level: 80, Quality: 75");
  EXPECT_GE(lines, 1u) << log;
  EXPECT_EQ(Count(log, "\r\n"), lines) << log;
  // The choice is stored: the next start goes on appending to the same file.
  ASSERT_EQ(p.Run({"--seconds", "2"}), 0) << p.Err();
  std::string more = Slurp(p.Path("stat.txt"));
  EXPECT_EQ(more.rfind(log, 0), 0u);
  EXPECT_GT(more.size(), log.size());
}

TEST(Velvetfin, SoundAlertsNameTheShippedFilesInTheOrderTheyWouldPlay) {
  VelvetfinProcess p("sound");
  ASSERT_EQ(p.Run({"--seconds", "5", "--sound", "combo,digits"}), 0) << p.Err();
  // Named from the program's own path, as the receiver knows it.
  char* resolved = realpath(Program().c_str(), nullptr);
  ASSERT_NE(resolved, nullptr);
  const std::string program = resolved;
  std::free(resolved);
  const std::string snd = program.substr(0, program.find_last_of('/')) + "/snd/";
  // Locked at the first sound tick: the lock sound, then the quality 75 digit by digit.
  const std::string first = "sound " + snd + "lock.wav (waits)\nsound " + snd + "7.wav (waits)\nsound " + snd + "5.wav\n";
  std::string out = p.Out();
  EXPECT_NE(out.find(first), std::string::npos) << out;
  EXPECT_EQ(Count(out, "lock.wav"), 1u) << out;
  for (const char* name : {"lock.wav", "nolock.wav", "7.wav", "5.wav", "100.wav", "DEU/70.wav"})
    EXPECT_FALSE(Slurp(snd + name).empty()) << name << " beside the program";
}

TEST(Velvetfin, AProfileWithDiseqcSwitchesTunesAndLocks) {
  // Instance 7 keeps its settings in an ini file beside the program, as a portable
  // installation does; no other test uses that instance.
  std::string program = Program();
  std::string ini = program.substr(0, program.find_last_of('/')) + "/Grayheron7.ini";
  {
    std::FILE* f = std::fopen(ini.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("[Common]\r\nConfirmOnExit=0\r\n[Standard]\r\nFreq=11263\r\nSymrate=33000\r\nPol=0\r\n"
               "Diseqc=2\r\nDiseqcRepeat=1\r\nDiseqcDelay=50\r\n",
               f);
    std::fclose(f);
  }
  VelvetfinProcess p("diseqc");
  int status = p.Run({"7", "--seconds", "5", "--dump-calls", p.Path("calls.txt")});
  std::string calls = Slurp(p.Path("calls.txt"));
  std::string settings = Slurp(ini);
  std::remove(ini.c_str());
  ASSERT_EQ(status, 0) << p.Err();
  EXPECT_NE(p.Out().find(" Standard lock 1 "), std::string::npos) << p.Out();
  // DiSEqC 1.0, position A, option A, low band, horizontal: E0 10 38 F2, repeated once as
  // E1 10 38 F2, both before the tune request.
  EXPECT_EQ(Count(calls, "E01038F2"), 1u) << calls;
  EXPECT_EQ(Count(calls, "E11038F2"), 1u) << calls;
  EXPECT_LT(calls.find("E01038F2"), calls.find("E11038F2"));
  EXPECT_LT(calls.find("E11038F2"), calls.find("frequency id=0 instance")) << calls;
  // The apply wrote the profile back to the same file.
  EXPECT_NE(settings.find("LOF1=9750000"), std::string::npos) << settings;
}

// A VPN's TAP-Windows6 adapter chosen in the settings: the program asks before taking
// it; "no" leaves it alone (the page reports it as not installed), "yes" takes it.
TEST(Velvetfin, AnAdapterAnotherProgramUsesIsTakenOnlyWhenTheAnswerIsYes) {
  auto hex = [](const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) out += "0123456789abcdef"[c >> 4], out += "0123456789abcdef"[c & 15];
    return out;
  };
  for (const char* answer : {"no", "yes"}) {
    SCOPED_TRACE(answer);
    VelvetfinProcess p(std::string("vpn-") + answer);
    {
      std::FILE* f = std::fopen(p.Path("vpn.ini").c_str(), "wb");
      ASSERT_NE(f, nullptr);
      std::fputs("[Sat]\nFriendlyName=Emulated DVB-S2 Tuner\n[Adapter]\nComponentId=root\\tap0901\nUsedBy=10.8.0.6\n", f);
      std::fclose(f);
      f = std::fopen(p.Path("registry").c_str(), "wb");
      ASSERT_NE(f, nullptr);
      std::string settings = "velvetfin-registry 1\nK HKCU\\Software\\Tarnwick\\Grayheron\\Common\nV 1 " +
                             hex("AdapterComponentId") + " " + hex(std::string("TAP0901", 8)) + "\nV 4 " +
                             hex("ConfirmOnExit") + " 00000000\n";
      std::fputs(settings.c_str(), f);
      std::fclose(f);
    }
    ASSERT_EQ(p.Run({"--devices", p.Path("vpn.ini"), "--seconds", "3", "--answer", answer}), 0) << p.Err();
    std::string err = p.Err(), out = p.Out();
    EXPECT_EQ(Count(err, "Question ? The network adapter is connected or has an address"), 1u) << err;
    if (std::string(answer) == "no") {
      EXPECT_NE(err.find("Error ! Initialization Brannox failed ! / Driver not installed !"), std::string::npos) << err;
      EXPECT_NE(out.find("Adapter: 0 packets"), std::string::npos) << out;
    } else {
      EXPECT_EQ(err.find("Error !"), std::string::npos) << err;
      EXPECT_EQ(out.find("Adapter: 0 packets"), std::string::npos) << out;
      EXPECT_NE(out.find("Adapter: "), std::string::npos) << out;
    }
  }
}

TEST(Velvetfin, ACorruptSettingsFileIsKeptAsideReportedAndReplacedByDefaults) {
  VelvetfinProcess p("corrupt");
  const std::string garbage = "velvetfin-registry 1\nK HKCU\\Software\\%zz\n";
  {
    std::FILE* f = std::fopen(p.Path("registry").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs(garbage.c_str(), f);
    std::fclose(f);
  }
  ASSERT_EQ(p.Run({"--seconds", "2", "--counters"}), 0) << p.Err();
  EXPECT_NE(p.Err().find("could not be read: kept as " + p.Path("registry") + ".corrupt, defaults in use"),
            std::string::npos)
      << p.Err();
  EXPECT_EQ(Slurp(p.Path("registry.corrupt")), garbage);
  // The defaults ran the demo tuner, and were saved to a new file that the next run reads quietly.
  EXPECT_NE(p.Out().find(" Standard lock 1 "), std::string::npos) << p.Out();
  EXPECT_NE(p.Out().find("counters carried 500:"), std::string::npos) << p.Out();
  ASSERT_EQ(p.Run({"--seconds", "1"}), 0) << p.Err();
  EXPECT_EQ(p.Err().find("could not be read"), std::string::npos) << p.Err();
}

TEST(Velvetfin, BadCommandLinesExitWithStatusTwo) {
  VelvetfinProcess p("usage");
  for (std::vector<std::string> args : {std::vector<std::string>{"--bogus"}, {"--seconds", "0"}, {"--select", "x"},
                                        {"--select", "1,maybe"}, {"--answer", "perhaps"}, {"--seconds", "1", "7"},
                                        {"--devices", p.Path("missing.ini")}, {"--pcap"}, {"--stat-file"},
                                        {"--stat-file", ""}, {"--sound"}, {"--sound", "loud"}, {"--sound", "level,bogus"},
                                        {"--user", "nobody"}, {"--tun", "--user"}}) {
    EXPECT_EQ(p.Run(args), 2) << args[0];
    EXPECT_NE(p.Err().find("velvetfin: "), std::string::npos) << args[0];
  }
  // An entry beyond the device list is refused, not taken as the first device.
  {
    std::FILE* f = std::fopen(p.Path("two.ini").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("[A]\nFriendlyName=Tuner A\nDelivery=satellite\n[B]\nFriendlyName=Tuner B\nDelivery=satellite\n", f);
    std::fclose(f);
  }
  EXPECT_EQ(p.Run({"--devices", p.Path("two.ini"), "--select", "3", "--seconds", "5"}), 2);
  EXPECT_NE(p.Err().find("velvetfin: --select 3: the device list has 2 entries\n"), std::string::npos) << p.Err();
  EXPECT_EQ(p.Out().find("Initialization ..."), std::string::npos) << p.Out();
  // A user to become that does not exist is found out before any interface is made.
  EXPECT_EQ(p.Run({"--tun", "--user", "no-such-user-of-velvetfin", "--seconds", "5"}), 2);
  EXPECT_NE(p.Err().find("velvetfin: no user no-such-user-of-velvetfin\n"), std::string::npos) << p.Err();
}
#endif
