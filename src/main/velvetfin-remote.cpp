// velvetfin-remote: drives a running receiver from a script, as other programs do
// through its registered messages, and reads its status block.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "remote/receiver_figures.h"
#include "remote/remote_command_line.h"
#include "remote/remote_control.h"

namespace {

enum : int { kExitAnswered = 0, kExitRefused = 1, kExitNoReceiver = 2, kExitError = 3 };

volatile std::sig_atomic_t g_stop = 0;
void OnStop(int) { g_stop = 1; }

int NoReceiver(unsigned instance) {
  std::fprintf(stderr, "velvetfin-remote: no receiver of instance %u runs\n", instance);
  return kExitNoReceiver;
}

// The status block and, from a receiver that keeps them, its figures, as one JSON line.
std::string StatusJson(unsigned instance, const STATUS_BLOCK_TEXT& status) {
  RECEIVER_FIGURES figures;
  const bool known = ReadFiguresBlock(instance, &figures);
  return FormatStatusJson(instance, status, known ? &figures : nullptr) + "\n";
}

int Status(unsigned instance, bool watch, bool json) {
  STATUS_BLOCK_TEXT status;
  std::string raw, previous, error;
  std::signal(SIGINT, OnStop);
  std::signal(SIGTERM, OnStop);
  for (bool first = true;; first = false) {
    REMOTE_RESULT result = ReadStatusBlock(instance, &status, &raw, &error);
    if (result == REMOTE_RESULT::kNoReceiver) {
      if (!first) return kExitAnswered;  // watched until the receiver ended
      return NoReceiver(instance);
    }
    if (json) {
      // Rates and counters change every tick, not only with the block: a line per reading.
      std::fputs(StatusJson(instance, status).c_str(), stdout);
      std::fflush(stdout);
    } else if (first || raw != previous) {
      std::fputs(status.valid ? FormatStatusLines(status).c_str() : "no status yet\n", stdout);
      if (watch) std::fputs("\n", stdout);
      std::fflush(stdout);
      previous = raw;
    }
    if (!watch) return status.valid ? kExitAnswered : kExitRefused;
    // A JSON watcher reads once a second, as often as the receiver ticks.
    for (int i = 0; i < (json ? 25 : 5) && !g_stop; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(40));
    if (g_stop) return kExitAnswered;
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  REMOTE_COMMAND_LINE line;
  std::string error = ParseRemoteCommandLine(args, &line);
  if (line.help) {
    std::fputs(kRemoteUsage, stdout);
    return kExitAnswered;
  }
  if (!error.empty()) {
    std::fprintf(stderr, "velvetfin-remote: %s\n%s", error.c_str(), kRemoteUsage);
    return kExitError;
  }
  int exitCode = kExitAnswered;
  // Requests between status reads go together, in one exchange.
  for (size_t i = 0; i < line.actions.size();) {
    if (line.actions[i].status) {
      int code = Status(line.instance, line.actions[i].watch, line.actions[i].json);
      if (code == kExitNoReceiver || code == kExitError) return code;
      if (code != kExitAnswered) exitCode = code;
      ++i;
      continue;
    }
    std::vector<REMOTE_REQUEST> requests;
    size_t first = i;
    for (; i < line.actions.size() && !line.actions[i].status; ++i) requests.push_back(line.actions[i].request);
    std::vector<REMOTE_ANSWER> answers;
    switch (SendRemoteRequests(line.instance, requests, &answers, &error)) {
      case REMOTE_RESULT::kNoReceiver: return NoReceiver(line.instance);
      case REMOTE_RESULT::kFailed:
        // What was answered before the failure is still reported.
        for (size_t k = 0; k < answers.size() && answers[k].ok; ++k)
          std::printf("%s: %lld\n", line.actions[first + k].label.c_str(), answers[k].result);
        std::fflush(stdout);
        std::fprintf(stderr, "velvetfin-remote: %s\n", error.c_str());
        return kExitError;
      case REMOTE_RESULT::kAnswered: break;
    }
    for (size_t k = 0; k < answers.size(); ++k) {
      if (!answers[k].ok) {
        std::fprintf(stderr, "velvetfin-remote: %s: %s\n", line.actions[first + k].label.c_str(),
                     answers[k].error.c_str());
        return kExitError;
      }
      std::printf("%s: %lld\n", line.actions[first + k].label.c_str(), answers[k].result);
      if (answers[k].result != 1) exitCode = kExitRefused;
    }
    std::fflush(stdout);
  }
  return exitCode;
}
