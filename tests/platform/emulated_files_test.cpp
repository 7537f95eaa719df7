// Content of the emulated platform's files that must be refused, not taken in a form
// that later misbehaves (cases the fuzzers of these readers pointed at).
#include <gtest/gtest.h>

#include "platform/emulated/bda_description.h"
#include "platform/portable/file_registry.h"
#include "settings/temp_dir.h"

namespace {
// A stream rate that is not finite, or so small that bytes / rate overflows the
// streaming thread's deadline, is a bad value; 0 (as fast as taken) and 1 bit/s are fine.
TEST(EmulatedFilesTest, DescriptionRefusesStreamRatesTheStreamingThreadCannotPace) {
  EMULATED_DESCRIPTION d;
  std::string error;
  for (const char* rate : {"inf", "1e400", "1e-300", "0.5"}) {
    EXPECT_FALSE(ParseEmulatedDescription(std::string("[T]\nStreamRate=") + rate + "\n", "", &d, &error)) << rate;
    EXPECT_EQ(error, std::string("line 2: [T] bad StreamRate=") + rate);
  }
  for (const char* rate : {"0", "1", "200e6"})
    EXPECT_TRUE(ParseEmulatedDescription(std::string("[T]\nStreamRate=") + rate + "\n", "", &d, &error)) << rate;
}

// The [Adapter] section belongs to the front ends (whether the virtual adapter is
// installed): it is no tuner, wherever it stands, and its keys are not tuner keys.
TEST(EmulatedFilesTest, DescriptionAdapterSectionIsNoTuner) {
  EMULATED_DESCRIPTION d;
  std::string error;
  for (const char* text : {"[Sat]\nFriendlyName=S\n[Adapter]\nInstalled=0\n",
                           "[adapter]\nInstalled=0\n\n[Sat]\nFriendlyName=S\n"}) {
    ASSERT_TRUE(ParseEmulatedDescription(text, "", &d, &error)) << text << ": " << error;
    ASSERT_EQ(d.devices.size(), 1u) << text;
    EXPECT_EQ(d.devices[0].friendlyName, "S");
  }
  EXPECT_FALSE(ParseEmulatedDescription("[Adapter]\nInstalled=0\n", "", &d, &error));
  EXPECT_EQ(error, "no device section");
  EXPECT_FALSE(ParseEmulatedDescription("[Adapter]\nInstalled\n[Sat]\n", "", &d, &error)) << "a line without =";
}

// A value type beyond 32 bits was cut to its low bits on Linux and threw on Windows.
TEST(EmulatedFilesTest, RegistryFileWithAValueTypeBeyond32BitsIsSetAside) {
  CTempDir dir;
  const std::string path = dir.File("registry");
  const std::string text = "velvetfin-registry 1\nK HKCU\\Software\nV 4294967300 41 01000000\n";
  CTempDir::Write(path, text);
  CFileRegistry reg;
  EXPECT_FALSE(reg.AttachFile(path));
  EXPECT_EQ(CTempDir::Read(path + ".corrupt"), text);
  CTempDir::Write(path, "velvetfin-registry 1\nK HKCU\\Software\nV 4294967295 41 01000000\n");
  EXPECT_TRUE(reg.AttachFile(path));
  DWORD value = 0;
  EXPECT_FALSE(reg.GetDword(kHkeyCurrentUser, "Software", "A", value));  // not of type DWORD
}
}  // namespace
