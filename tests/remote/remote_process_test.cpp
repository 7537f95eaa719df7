// velvetfin-remote against a running headless receiver, both as processes with a
// private runtime directory and registry of their own: requests, several in one call,
// the status block of the instance, and the exit codes a script relies on.
#ifndef _WIN32
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/system.h"

extern char** environ;

namespace {

std::string BuiltProgram(const std::string& name) {
  std::string self = SystemServices().GetModulePath();
  return self.substr(0, self.find_last_of('/')) + "/../src/" + name;
}

struct RUN {
  int status = -1;
  std::string out, err;
};

class RemoteProcesses {
 public:
  RemoteProcesses() : m_dir(testing::TempDir() + "vf-rp-" + std::to_string(getpid())) {
    std::system(("rm -rf '" + m_dir + "' && mkdir -m 700 -p '" + m_dir + "'").c_str());
  }
  ~RemoteProcesses() {
    if (m_receiver > 0) {
      kill(m_receiver, SIGKILL);
      waitpid(m_receiver, nullptr, 0);
    }
    std::system(("rm -rf '" + m_dir + "'").c_str());
  }

  // The program with this run's private directory and registry, its output in <tag>.out/.err.
  pid_t Spawn(const std::string& program, const std::vector<std::string>& args, const std::string& tag) {
    std::vector<std::string> env{"VELVETFIN_REGISTRY=" + m_dir + "/registry", "XDG_RUNTIME_DIR=" + m_dir};
    for (char** e = environ; *e; ++e)
      if (std::strncmp(*e, "VELVETFIN_REGISTRY=", 19) != 0 && std::strncmp(*e, "XDG_RUNTIME_DIR=", 16) != 0) env.push_back(*e);
    std::vector<char*> argv{const_cast<char*>(program.c_str())}, envp;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 1, (m_dir + "/" + tag + ".out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&files, 2, (m_dir + "/" + tag + ".err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), &files, nullptr, argv.data(), envp.data()) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&files);
    return pid;
  }
  static int Wait(pid_t pid) {
    int status = 0;
    if (pid <= 0 || waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  RUN Remote(const std::vector<std::string>& args) {
    RUN run;
    run.status = Wait(Spawn(BuiltProgram("velvetfin-remote"), args, "remote"));
    run.out = Read("remote.out");
    run.err = Read("remote.err");
    return run;
  }
  void StartReceiver(const std::vector<std::string>& args) {
    m_receiver = Spawn(BuiltProgram("velvetfin"), args, "receiver");
  }
  int KillReceiver() {
    kill(m_receiver, SIGKILL);
    int status = Wait(m_receiver);
    m_receiver = 0;
    return status;
  }
  int StopReceiver() {
    kill(m_receiver, SIGINT);
    int status = Wait(m_receiver);
    m_receiver = 0;
    return status;
  }
  std::string Read(const std::string& name) const {
    std::string text;
    if (std::FILE* f = std::fopen((m_dir + "/" + name).c_str(), "rb")) {
      char buffer[4096];
      size_t n;
      while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
      std::fclose(f);
    }
    return text;
  }
  // Polls `status` until `want` shows up in its output (the receiver starts in a few seconds).
  RUN AwaitStatus(const std::string& instance, const std::string& want) {
    RUN run;
    for (int i = 0; i < 150; ++i) {
      run = Remote({"--instance", instance, "status"});
      if (run.status == 0 && run.out.find(want) != std::string::npos) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return run;
  }
  const std::string& Dir() const { return m_dir; }

 private:
  std::string m_dir;
  pid_t m_receiver = 0;
};

}  // namespace

TEST(RemoteProcess, DrivesAndWatchesARunningReceiverOfItsInstance) {
  RemoteProcesses p;
  RUN none = p.Remote({"--instance", "2", "tuner", "0"});
  EXPECT_EQ(none.status, 2);
  EXPECT_EQ(none.err, "velvetfin-remote: no receiver of instance 2 runs\n");
  EXPECT_EQ(p.Remote({"--instance", "2", "status"}).status, 2);

  p.StartReceiver({"2"});
  RUN locked = p.AwaitStatus("2", "lock 1\n");
  ASSERT_EQ(locked.status, 0) << locked.err << p.Read("receiver.err");
  EXPECT_EQ(locked.out.rfind("lock 1\nlevel ", 0), 0u) << locked.out;
  struct stat st {};
  ASSERT_EQ(stat((p.Dir() + "/velvetfin-remote-2.sock").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  // Another instance's receiver does not answer for this one.
  EXPECT_EQ(p.Remote({"--instance", "3", "filter", "0"}).status, 2);

  RUN placed = p.Remote({"--instance", "2", "filter", "ucpid", "500", "--", "filter", "ip", "192.168.238.238", "--",
                         "filter", "99"});
  EXPECT_EQ(placed.status, 1) << "the last request was answered 0";
  EXPECT_EQ(placed.out, "filter 1 500: 1\nfilter 4 3232296686: 1\nfilter 99 0: 0\n");
  // Away from the demo service's frequency the tuner loses its lock, once applied.
  RUN tuned = p.Remote({"--instance", "2", "tuner", "freq", "11778000", "--", "tuner", "apply"});
  EXPECT_EQ(tuned.status, 0) << tuned.err;
  EXPECT_EQ(tuned.out, "tuner 1 11778000: 1\ntuner 0 0: 1\n");
  RUN lost = p.AwaitStatus("2", "lock 0\n");
  EXPECT_EQ(lost.out, "lock 0\nlevel 0\nquality 0\n");
  RUN bad = p.Remote({"--instance", "2", "tuner", "freq", "11.5"});
  EXPECT_EQ(bad.status, 3);
  EXPECT_EQ(bad.err.rfind("velvetfin-remote: bad value 11.5", 0), 0u) << bad.err;

  EXPECT_EQ(p.StopReceiver(), 0) << p.Read("receiver.err");
  EXPECT_NE(p.Read("receiver.out").find(" lock 0 "), std::string::npos);
  EXPECT_EQ(p.Remote({"--instance", "2", "status"}).status, 2) << "the block went with the receiver";
  EXPECT_EQ(p.Remote({"--instance", "2", "tuner", "0"}).status, 2);
  EXPECT_NE(stat((p.Dir() + "/velvetfin-remote-2.sock").c_str(), &st), 0);

  // Killed, the receiver leaves its block behind: status still knows it is gone, and a
  // watch ends with it.
  p.StartReceiver({"2"});
  // The profile is still tuned away from the service: it runs unlocked.
  ASSERT_EQ(p.AwaitStatus("2", "lock 0\n").status, 0) << p.Read("receiver.err");
  pid_t watch = p.Spawn(BuiltProgram("velvetfin-remote"), {"--instance", "2", "status", "--watch"}, "watch");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(p.KillReceiver(), 128 + SIGKILL);
  RUN dead = p.Remote({"--instance", "2", "status"});
  EXPECT_EQ(dead.status, 2);
  EXPECT_EQ(dead.err, "velvetfin-remote: no receiver of instance 2 runs\n");
  EXPECT_EQ(p.Wait(watch), 0);
  EXPECT_EQ(p.Read("watch.out").rfind("lock 0\n", 0), 0u) << p.Read("watch.out");
}
#endif
