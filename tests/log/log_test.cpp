// The log file and the trace channel.
#include <gtest/gtest.h>

#include <algorithm>

#include "common/fake_system.h"
#include "log/log.h"
#include "platform/text_util.h"

namespace {
class LogTest : public ::testing::Test {
 protected:
  void TearDown() override { SetLogFile("logfile.log", FALSE); }
  CFakeSystem sys;
};

TEST_F(LogTest, NothingIsWrittenWhileLoggingIsOff) {
  LogMessage("before start-up");
  EXPECT_FALSE(sys.FileExists("logfile.log"));
  SetLogFile("off.log", FALSE);
  LogMessage("off");
  LogError("Op", "text");
  EXPECT_FALSE(sys.FileExists("off.log"));
}

TEST_F(LogTest, LinesCarryTheTimeStampAndCrLf) {
  sys.time.hour = 7;
  sys.time.minute = 5;
  sys.time.second = 9;
  SetLogFile("a.log", TRUE);
  LogMessage("Value %d of %s", 42, "x");
  LogMessageRaw("raw\n");
  EXPECT_EQ(sys.File("a.log"), "07:05:09 Value 42 of x\r\n07:05:09 raw\n");
}

TEST_F(LogTest, LogErrorAddsTheSystemTextOfTheLastError) {
  SetLogFile("e.log", TRUE);
  sys.SetLastError(ERROR_ACCESS_DENIED);
  LogError("OpenAdapter", "Can't open");
  EXPECT_EQ(sys.File("e.log"), "12:34:56 OpenAdapter() : Can't open\r\n12:34:56 \tAccess is denied.\r\n");
  sys.SetLastError(0x12345678);  // no text: only the first line
  LogError("Op", "t");
  EXPECT_EQ(sys.LogLines("e.log").back(), "Op() : t");
}

TEST_F(LogTest, TraceGoesToTheDebuggerEvenWithTheLogOffAndReducesFacility8) {
  sys.SetLastError(0x80080005);  // facility 8: looked up as 5
  TraceError("PutTunerFrequency", "SET not supported !");
  EXPECT_EQ(sys.DebugOutput(), "PutTunerFrequency() : SET not supported !\nAccess is denied.\r\n");
  EXPECT_FALSE(sys.FileExists("logfile.log"));
}

TEST_F(LogTest, OverlongMessagesAreCutAtTheLineSize) {
  SetLogFile("long.log", TRUE);
  std::string huge(5000, 'x');
  LogMessage("%s", huge.c_str());
  std::string f = sys.File("long.log");
  EXPECT_LE(f.size(), kLogLineSize);
  EXPECT_EQ(f.substr(f.size() - 3), "x\r\n");
}

TEST_F(LogTest, CutsFallBetweenCharactersAndLongUtf8PathsStayWhole) {
  std::string folder = "C:\\";
  for (int i = 0; i < 200; ++i) folder += "\xC2\xB0";  // 400 bytes, 200 characters
  std::string huge;
  for (int i = 0; i < 2000; ++i) huge += "\xC2\xB0";
  // With and without line end, after an even and an odd prefix: the line size falls
  // between two characters in some and inside one in the others.
  for (int variant = 0; variant < 4; ++variant) {
    const std::string path = folder + "\\Grayheron" + std::to_string(variant) + ".log";
    SetLogFile(path.c_str(), TRUE);
    EXPECT_EQ(GetLogFilePath(), path);
    const char* prefix = variant & 1 ? "y" : "";
    if (variant & 2)
      LogMessage("%s%s", prefix, huge.c_str());
    else
      LogMessageRaw("%s%s", prefix, huge.c_str());
    std::string f = sys.File(path);
    ASSERT_GT(f.size(), kLogLineSize - 6) << "written under the whole path, variant " << variant;
    EXPECT_LE(f.size(), kLogLineSize);
    if (variant & 2) {
      ASSERT_EQ(f.substr(f.size() - 2), "\r\n");
      f.resize(f.size() - 2);
    }
    for (size_t i = 0; i < f.size(); i += std::max<size_t>(1, Utf8WellFormedAt(f, i)))
      ASSERT_GT(Utf8WellFormedAt(f, i), 0u) << "variant " << variant << ", byte " << i;
    EXPECT_EQ(f.substr(f.size() - 2), "\xC2\xB0") << "variant " << variant << " ends inside a character";
  }
}
}  // namespace
