#include "ui/command_line.h"

#include <cctype>

namespace {
bool IsInstanceNumber(const std::string& text) {
  if (text.empty() || text.size() > 9) return false;
  for (char c : text)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  return true;
}
}  // namespace

std::string ParseGuiOptions(const std::vector<std::string>& args, GUI_OPTIONS* options) {
  *options = GUI_OPTIONS{};
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--emulated") {
      options->emulated = true;
    } else if (a.rfind("--emulated=", 0) == 0) {
      options->emulated = true;
      options->devices = a.substr(11);
      if (options->devices.empty()) return "--emulated= needs a device description file";
    } else if (i == 0 && IsInstanceNumber(a)) {
      options->commandLine = a;
    } else if (IsInstanceNumber(a)) {
      return "the instance number comes first";
    } else {
      return "unknown argument " + a;
    }
  }
  return "";
}
