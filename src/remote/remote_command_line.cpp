#include "remote/remote_command_line.h"

#include <cstdio>

namespace {

struct COMMAND_NAME {
  const char* name;
  unsigned command;
};

const COMMAND_NAME kTunerNames[] = {
    {"apply", 0},      {"freq", 1},       {"frequency", 1},   {"symrate", 2},     {"pol", 3},
    {"polarisation", 3}, {"s2", 4},       {"dvbs2", 4},       {"fec", 5},         {"qam", 5},
    {"inversion", 6},  {"bandwidth", 7},  {"power", 8},       {"lof1", 9},        {"lof2", 10},
    {"lofsw", 11},     {"toneburst", 12}, {"committed", 13},  {"uncommitted", 14}, {"positioner", 15},
};
const COMMAND_NAME kFilterNames[] = {
    {"apply", 0}, {"ucpid", 1}, {"bcpid", 2}, {"mcpid", 3}, {"ip", 4}, {"dhcp", 5}, {"ipv6", 6}, {"ulepid", 7},
};

bool ParseNumber(const std::string& text, bool allowNegative, unsigned long long limit, uint32_t* value) {
  size_t at = 0;
  const bool negative = allowNegative && !text.empty() && text[0] == '-';
  if (negative) at = 1;
  if (text.size() == at || text.size() - at > 10) return false;
  unsigned long long v = 0;
  for (; at < text.size(); ++at) {
    if (text[at] < '0' || text[at] > '9') return false;
    v = v * 10 + unsigned(text[at] - '0');
  }
  if (negative ? v > 0x80000000ull : v > limit) return false;
  *value = negative ? uint32_t(0u - uint32_t(v)) : uint32_t(v);
  return true;
}

// a.b.c.d as the value of the filter's IP command: the first number in the top byte.
bool ParseDottedIp(const std::string& text, uint32_t* value) {
  unsigned a, b, c, d;
  char extra;
  if (std::sscanf(text.c_str(), "%3u.%3u.%3u.%3u%c", &a, &b, &c, &d, &extra) != 4) return false;
  if (a > 255 || b > 255 || c > 255 || d > 255) return false;
  if (text.find_first_not_of("0123456789.") != std::string::npos) return false;
  *value = uint32_t(a) << 24 | uint32_t(b) << 16 | uint32_t(c) << 8 | uint32_t(d);
  return true;
}

template <size_t N>
bool ParseCommand(const std::string& text, const COMMAND_NAME (&names)[N], uint32_t* command) {
  for (const COMMAND_NAME& n : names) {
    if (text == n.name) {
      *command = n.command;
      return true;
    }
  }
  return ParseNumber(text, false, 0xFFFFFFFFull, command);
}

// One action from args[first, last).
std::string ParseAction(const std::vector<std::string>& args, size_t first, size_t last, REMOTE_ACTION* action) {
  if (first == last) return "a command is missing";
  const std::string& kind = args[first];
  if (kind == "status") {
    action->status = true;
    for (size_t i = first + 1; i < last; ++i) {
      if (args[i] == "--watch") action->watch = true;
      else if (args[i] == "--json") action->json = true;
      else return "status takes only --watch and --json";
    }
    action->label = "status";
    return "";
  }
  const bool tuner = kind == "tuner";
  if (!tuner && kind != "filter") return "unknown request " + kind + " (tuner, filter or status)";
  if (last - first < 2 || last - first > 3) return kind + " takes a command and at most one value";
  REMOTE_REQUEST& r = action->request;
  r.message = tuner ? "GRAYHERON_TUNER" : "GRAYHERON_FILTER";
  const bool known = tuner ? ParseCommand(args[first + 1], kTunerNames, &r.wParam)
                           : ParseCommand(args[first + 1], kFilterNames, &r.wParam);
  if (!known) return "unknown " + kind + " command " + args[first + 1];
  if (last - first == 3) {
    const std::string& value = args[first + 2];
    bool ok = (!tuner && r.wParam == 4 && value.find('.') != std::string::npos) ? ParseDottedIp(value, &r.lParam)
                                                                                : ParseNumber(value, true, 0xFFFFFFFFull, &r.lParam);
    if (!ok) return "bad value " + value + " (a 32-bit number" + std::string(tuner ? "" : " or a.b.c.d") + ")";
  }
  action->label = kind + " " + std::to_string(r.wParam) + " " + std::to_string(r.lParam);
  return "";
}

}  // namespace

const char kRemoteUsage[] =
    "usage: velvetfin-remote [--instance N] REQUEST [-- REQUEST ...]\n"
    "  tuner CMD [VALUE]    a tuner command (VALUE 0 when left out); CMD is a number 0-15 or a name:\n"
    "                       apply 0, freq 1 (kHz), symrate 2 (kS/s), pol 3, s2 4, fec|qam 5, inversion 6,\n"
    "                       bandwidth 7, power 8, lof1 9, lof2 10, lofsw 11 (kHz), toneburst 12,\n"
    "                       committed 13, uncommitted 14, positioner 15\n"
    "  filter CMD [VALUE]   a filter command: apply 0, ucpid 1, bcpid 2, mcpid 3, ip 4 (a.b.c.d or a\n"
    "                       number), dhcp 5, ipv6 6 (0 or 1), ulepid 7 (0: none)\n"
    "  status [--watch] [--json]\n"
    "                       the status block: lock, level, quality [, rf, snr, ber]; --watch prints it\n"
    "                       again whenever it changes, until interrupted or the receiver ends; --json\n"
    "                       prints one JSON object per reading (one a line), with the status icon,\n"
    "                       the rates, the adapter's packets and the profile where the receiver offers them\n"
    "  --instance N         the receiver started with instance number N (default 0)\n"
    "Values are only placed in the pages; \"tuner apply\" / \"filter apply\" makes them take effect.\n"
    "Each request prints one line: the request and the receiver's answer.\n"
    "Exit status: 0 every request answered 1, 1 a request answered 0 (or no status yet),\n"
    "             2 no receiver of that instance runs, 3 bad command line or a failed exchange.\n";

std::string ParseRemoteCommandLine(const std::vector<std::string>& args, REMOTE_COMMAND_LINE* line) {
  size_t at = 0;
  while (at < args.size() && args[at].rfind("--", 0) == 0 && args[at] != "--") {
    if (args[at] == "--help" || args[at] == "-h") {
      line->help = true;
      return "";
    }
    if (args[at] != "--instance") return "unknown option " + args[at];
    uint32_t n = 0;
    if (at + 1 >= args.size() || !ParseNumber(args[at + 1], false, 0xFFFFFFFFull, &n))
      return "--instance needs an instance number";
    line->instance = n;
    at += 2;
  }
  if (at == args.size()) return "no request given";
  for (size_t first = at; first <= args.size();) {
    size_t last = first;
    while (last < args.size() && args[last] != "--") ++last;
    REMOTE_ACTION action;
    std::string error = ParseAction(args, first, last, &action);
    if (!error.empty()) return error;
    if (action.watch && (line->actions.size() > 0 || last != args.size())) return "status --watch stands alone";
    line->actions.push_back(action);
    first = last + 1;
  }
  return "";
}
