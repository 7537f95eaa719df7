// The command line of the Windows program: an optional instance number first, then
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

// The arguments without the program name; an error text, empty on success.
std::string ParseGuiOptions(const std::vector<std::string>& args, GUI_OPTIONS* options);
