// The Windows program's command line: the instance number, --emulated with or without a
// description, unknown options refused with a reason.
#include <gtest/gtest.h>

#include "settings/settings_store.h"
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
  const std::vector<std::string> bad[] = {{"--emulated="}, {"--devices", "f"}, {"2", "--instance"}};
  for (const auto& args : bad) {
    GUI_OPTIONS o;
    EXPECT_NE(ParseGuiOptions(args, &o), "") << testing::PrintToString(args);
  }
}

// The instance number is read as the receiver always read it, never refused: what is
// unreadable is 0. Started from an autostart value, quoted or (written by an older
// version) not, the program finds its number after its own path.
TEST(GuiCommandLineTest, TheInstanceNumberIsReadNotRefused) {
  const struct {
    std::vector<std::string> args;
    unsigned instance;
  } cases[] = {
      {{"x"}, 0}, {{"2abc"}, 2}, {{"1234567890"}, 1234567890u}, {{"99999999999"}, 0}, {{"-2"}, 0},
      {{"2", "3"}, 2}, {{"--emulated", "4"}, 4},
  };
  for (const auto& c : cases) {
    GUI_OPTIONS o;
    ASSERT_EQ(ParseGuiOptions(c.args, &o), "") << testing::PrintToString(c.args);
    EXPECT_EQ(ParseInstanceNumber(o.commandLine.c_str()), c.instance) << testing::PrintToString(c.args);
  }

  const std::string exe = "C:\\Program Files\\Velvetfin\\velvetfin.exe";
  EXPECT_EQ(ArgumentsAfterProgram("\"" + exe + "\" 2", exe), "2");
  EXPECT_EQ(ArgumentsAfterProgram("\"" + exe + "\"", exe), "");
  EXPECT_EQ(ArgumentsAfterProgram(exe + " 2", exe), "2");
  EXPECT_EQ(ArgumentsAfterProgram("c:\\program files\\velvetfin\\VELVETFIN.EXE 3", exe), "3");
  EXPECT_EQ(ArgumentsAfterProgram(exe, exe), "");
  EXPECT_EQ(ArgumentsAfterProgram("velvetfin.exe  5 --emulated", exe), "5 --emulated");
  EXPECT_EQ(ArgumentsAfterProgram("\"C:\\a b\\velvetfin.exe\" --emulated=\"C:\\x y.ini\"", exe),
            "--emulated=\"C:\\x y.ini\"");
}

}  // namespace
