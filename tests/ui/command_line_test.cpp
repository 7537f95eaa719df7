// The Windows program's command line: instance number first, --emulated with or
// without a description, anything else refused with a reason.
#include <gtest/gtest.h>

#include "ui/command_line.h"

namespace {

TEST(GuiCommandLineTest, AcceptsInstanceAndEmulatedForms) {
  struct CASE {
    std::vector<std::string> args;
    std::string commandLine;
    bool emulated;
    std::string devices;
  } cases[] = {
      {{}, "", false, ""},
      {{"2"}, "2", false, ""},
      {{"--emulated"}, "", true, ""},
      {{"3", "--emulated=C:\\dev\\tuners.ini"}, "3", true, "C:\\dev\\tuners.ini"},
      {{"--emulated=a=b.ini"}, "", true, "a=b.ini"},
  };
  for (const CASE& c : cases) {
    GUI_OPTIONS o;
    o.devices = "stale";  // a reused record starts over
    EXPECT_EQ(ParseGuiOptions(c.args, &o), "") << testing::PrintToString(c.args);
    EXPECT_EQ(o.commandLine, c.commandLine);
    EXPECT_EQ(o.emulated, c.emulated);
    EXPECT_EQ(o.devices, c.devices);
  }
}

TEST(GuiCommandLineTest, RefusesWhatItCannotUse) {
  const std::vector<std::string> bad[] = {
      {"--emulated="}, {"--emulated", "2"}, {"-2"}, {"x"}, {"1234567890"}, {"--devices", "f"}, {"2", "3"},
  };
  for (const auto& args : bad) {
    GUI_OPTIONS o;
    EXPECT_NE(ParseGuiOptions(args, &o), "") << testing::PrintToString(args);
  }
}

}  // namespace
