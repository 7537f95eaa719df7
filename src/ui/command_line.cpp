#include "ui/command_line.h"

#include <algorithm>
#include <cstddef>

namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool SameAsciiFolded(char a, char b) {
  auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  return fold(a) == fold(b);
}
}  // namespace

std::string ParseGuiOptions(const std::vector<std::string>& args, GUI_OPTIONS* options) {
  *options = GUI_OPTIONS{};
  for (const std::string& a : args) {
    if (a == "--emulated") {
      options->emulated = true;
    } else if (a.rfind("--emulated=", 0) == 0) {
      options->emulated = true;
      options->devices = a.substr(11);
      if (options->devices.empty()) return "--emulated= needs a device description file";
    } else if (a.rfind("--", 0) == 0) {
      return "unknown argument " + a;
    } else {
      if (!options->commandLine.empty()) options->commandLine += ' ';
      options->commandLine += a;
    }
  }
  return "";
}

std::string ArgumentsAfterProgram(const std::string& commandLine, const std::string& modulePath) {
  size_t i = 0;
  while (i < commandLine.size() && IsBlank(commandLine[i])) ++i;
  size_t end;
  if (i < commandLine.size() && commandLine[i] == '"') {
    end = commandLine.find('"', i + 1);
    end = end == std::string::npos ? commandLine.size() : end + 1;
  } else if (!modulePath.empty() && commandLine.size() - i >= modulePath.size() &&
             std::equal(modulePath.begin(), modulePath.end(), commandLine.begin() + static_cast<std::ptrdiff_t>(i),
                        SameAsciiFolded) &&
             (commandLine.size() - i == modulePath.size() || IsBlank(commandLine[i + modulePath.size()]))) {
    end = i + modulePath.size();
  } else {
    end = i;
    while (end < commandLine.size() && !IsBlank(commandLine[end])) ++end;
  }
  while (end < commandLine.size() && IsBlank(commandLine[end])) ++end;
  return commandLine.substr(end);
}
