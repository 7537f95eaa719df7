// The command line of velvetfin-remote:
//   [--instance N] tuner CMD [VALUE] | filter CMD [VALUE] | status [--watch] [--json]
// with several requests joined by "--". Commands are numbers or names.
#pragma once
#include <string>
#include <vector>

#include "remote/remote_protocol.h"

struct REMOTE_ACTION {
  bool status = false;  // read the status block instead of sending a request
  bool watch = false;
  bool json = false;  // one JSON object per reading
  REMOTE_REQUEST request;
  std::string label;  // "tuner 1 11778000", as the output names it
};

struct REMOTE_COMMAND_LINE {
  unsigned instance = 0;
  bool help = false;
  std::vector<REMOTE_ACTION> actions;
};

// Empty on success, else what is wrong.
std::string ParseRemoteCommandLine(const std::vector<std::string>& args, REMOTE_COMMAND_LINE* line);
extern const char kRemoteUsage[];
