// The command line of the Windows program: the instance number, read as the receiver
// always read it (an unsigned decimal number at the start, anything unreadable 0), and
// --emulated or --emulated=FILE (run on the emulated platform, FILE describing its
// tuners).
#pragma once
#include <string>
#include <vector>

struct GUI_OPTIONS {
  std::string commandLine;  // what the application object reads the instance number from
  bool emulated = false;
  std::string devices;      // the emulated platform's device description; empty: built in
};

// The arguments without the program name; an error text, empty on success. Every
// argument but the --emulated forms is the text the instance number is read from; only an
// unknown "--" option is refused.
std::string ParseGuiOptions(const std::vector<std::string>& args, GUI_OPTIONS* options);

// The process's command line without the program's own name. The name is quoted, or it
// is the executable's path unquoted, blanks and all (an autostart value written before
// the value was quoted), or it ends at the first blank.
std::string ArgumentsAfterProgram(const std::string& commandLine, const std::string& modulePath);
