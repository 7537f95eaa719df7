// UTF-8 inside the program: fixed byte fields cut between characters, the UTF-16
// lengths the system counts, and the portable ini and registry keeping such texts.
#include <gtest/gtest.h>

#include <string>

#include "platform/portable/file_registry.h"
#include "platform/portable/ini_file.h"
#include "platform/text_util.h"
#include "settings/temp_dir.h"

namespace {

// "°" and "®" take two bytes, "€" three, the emoji four (a surrogate pair in UTF-16).
const std::string kMixed = "Astra 19.2\xC2\xB0" "E \xC2\xAE \xE2\x82\xAC \xF0\x9F\x98\x80!";

TEST(Utf8Text, CutsFallBetweenCharactersAtEveryLength) {
  EXPECT_EQ(Utf8CutLength("abc", 2), 2u);
  EXPECT_EQ(Utf8CutLength("abc", 10), 3u);
  EXPECT_EQ(Utf8CutLength("\xC2\xB0", 0), 0u);
  EXPECT_EQ(Utf8Truncate("Astra 19.2\xC2\xB0" "E", 11), "Astra 19.2") << "the degree sign is not split";
  EXPECT_EQ(Utf8Truncate("Astra 19.2\xC2\xB0" "E", 12), "Astra 19.2\xC2\xB0");

  // Every limit: the cut is a character boundary and the longest one that fits.
  size_t boundaries = 0;
  for (size_t limit = 0; limit <= kMixed.size() + 1; ++limit) {
    const size_t cut = Utf8CutLength(kMixed, limit);
    ASSERT_LE(cut, limit);
    ASSERT_LE(cut, kMixed.size());
    if (cut < kMixed.size()) {
      ASSERT_FALSE(IsUtf8Continuation(static_cast<unsigned char>(kMixed[cut]))) << "limit " << limit;
      const size_t next = Utf8WellFormedAt(kMixed, cut);
      ASSERT_GT(next, 0u);
      EXPECT_GT(cut + next, limit) << "the next character would have fitted at limit " << limit;
    }
    if (cut == limit) ++boundaries;
  }
  EXPECT_EQ(boundaries, 20u) << "an exact fit after each of the 19 characters, and the empty cut";

  EXPECT_EQ(Utf16Length(kMixed), 20u) << "the emoji takes two units";
  EXPECT_EQ(Utf16Length("Astra 19.2\xC2\xB0" "E"), 12u);
}

TEST(Utf8Text, InvalidBytesAreCutAsBytesWithoutReadingPastTheText) {
  const std::string strays = "\x80\x80\x80\x80\x80";
  EXPECT_EQ(Utf8CutLength(strays, 3), 3u) << "continuations without a lead protect nothing";
  const std::string broken = "ab\xE2\x82" "cd";  // a three-byte lead with one continuation
  EXPECT_EQ(Utf8CutLength(broken, 3), 3u);
  EXPECT_EQ(Utf8CutLength(std::string_view(broken).substr(0, 4), 3), 3u);
  const std::string overlong = "a\xE0\x80\x80z";  // a slash-like overlong form is no character
  EXPECT_EQ(Utf8CutLength(overlong, 3), 3u);
  const std::string surrogate = "a\xED\xA0\x80z";
  EXPECT_EQ(Utf8WellFormedAt(surrogate, 1), 0u);
  const std::string cutEarly = "x\xF0\x9F\x98";  // the text itself ends inside a sequence
  EXPECT_EQ(Utf8CutLength(cutEarly, 3), 3u);
  EXPECT_EQ(Utf16Length("\xFF\xC2"), 2u) << "each invalid byte is one replacement character";
  // A lead byte followed by one too many continuations: the character fits, the stray is cut.
  EXPECT_EQ(Utf8CutLength("\xC2\xB0\x80\x80", 3), 3u);
}

TEST(Utf8Text, BoundedCopiesTerminateZeroFillAndStayInTheField) {
  char field[8];
  std::memset(field, 'Z', sizeof(field));
  EXPECT_EQ(CopyUtf8Bounded(field, 5, "ab\xC2\xB0" "cd"), 4u);
  EXPECT_EQ(std::string(field), "ab\xC2\xB0");
  EXPECT_EQ(field[5], 'Z') << "nothing written past the field";

  std::memset(field, 'Z', sizeof(field));
  EXPECT_EQ(CopyUtf8Bounded(field, 4, "ab\xC2\xB0"), 2u) << "three bytes of room: the degree sign does not fit";
  EXPECT_EQ(std::string(field, 4), std::string("ab\0\0", 4));
  EXPECT_EQ(field[4], 'Z');

  EXPECT_EQ(CopyUtf8Bounded(field, 8, std::string_view("a\0bc", 4)), 1u) << "a text ends at its zero";
  EXPECT_EQ(CopyUtf8Bounded(field, 0, "abc"), 0u);
  EXPECT_EQ(CopyUtf8Bounded(nullptr, 8, "abc"), 0u);
  std::memset(field, 'Z', sizeof(field));
  EXPECT_EQ(CopyUtf8Bounded(field, 1, "\xC2\xB0"), 0u);
  EXPECT_EQ(field[0], '\0');
}

TEST(Utf8Text, Utf16RoundTripsAndReplacesWhatIsBroken) {
  EXPECT_EQ(Utf16LeToUtf8(Utf8ToUtf16Le(kMixed)), kMixed);
  EXPECT_EQ(Utf8ToUtf16Le("\xC2\xB0"), std::string("\xB0\x00", 2));
  EXPECT_EQ(Utf8ToUtf16Le("\xF0\x9F\x98\x80"), std::string("\x3D\xD8\x00\xDE", 4)) << "a surrogate pair";
  EXPECT_EQ(Utf16LeToUtf8(std::string("\x3D\xD8" "A\x00", 4)), "\xEF\xBF\xBD" "A") << "an unpaired surrogate";
  EXPECT_EQ(Utf16LeToUtf8(std::string("A\x00" "B", 3)), "A") << "an odd last byte";
  EXPECT_EQ(Utf8ToUtf16Le("a\xFF"), std::string("a\x00\xFD\xFF", 4));
}

TEST(Utf8Text, PortableIniKeepsUtf8AndReadsTheSystemsUnicodeFiles) {
  CTempDir dir;
  CIniFile ini;
  const std::string path = dir.File("Grayheron.ini");
  const std::string profile = "Astra 19.2\xC2\xB0" "E";
  const std::string driver = "Brannox\xC2\xAE Tuner";
  ASSERT_TRUE(ini.WriteString(path, profile.c_str(), "Name", driver.c_str()));
  EXPECT_EQ(ini.GetString(path, profile.c_str(), "Name", "", 4096), driver);
  EXPECT_EQ(ini.GetString(path, "ASTRA 19.2\xC2\xB0" "e", "NAME", "", 4096), driver) << "ASCII letters fold";
  EXPECT_EQ(ini.GetString(path, "\xC3\x84", "Name", "none", 4096), "none");
  ASSERT_TRUE(ini.WriteString(path, "\xC3\xA4", "Name", "lower"));
  EXPECT_EQ(ini.GetString(path, "\xC3\x84", "Name", "none", 4096), "none") << "\"\xC3\x84\" is not \"\xC3\xA4\"";
  EXPECT_EQ(ini.GetSectionNames(path, 65536), (std::vector<std::string>{profile, "\xC3\xA4"}));
  // A buffer too small for the whole value cuts before the registered sign, not inside it.
  EXPECT_EQ(ini.GetString(path, profile.c_str(), "Name", "", 9), "Brannox");
  const std::string header = "[" + profile + "]\r\n";
  EXPECT_EQ(CTempDir::Read(path).substr(0, header.size()), header) << "stored as UTF-8";

  // A file in UTF-16 with its mark, as the Windows backend creates them.
  const std::string unicodePath = dir.File("unicode.ini");
  CTempDir::Write(unicodePath, "\xFF\xFE" + Utf8ToUtf16Le("[" + profile + "]\r\nName=" + driver + "\r\n"));
  EXPECT_EQ(ini.GetString(unicodePath, profile.c_str(), "Name", "", 4096), driver);
  ASSERT_TRUE(ini.WriteString(unicodePath, profile.c_str(), "Freq", "11778000"));
  const std::string bytes = CTempDir::Read(unicodePath);
  ASSERT_EQ(bytes.substr(0, 2), "\xFF\xFE") << "written back in UTF-16";
  EXPECT_EQ(Utf16LeToUtf8(bytes.substr(2)),
            "[" + profile + "]\r\nName=" + driver + "\r\nFreq=11778000\r\n");
}

TEST(Utf8Text, FileRegistryKeepsNamesAndCountsCharactersAsTheSystem) {
  CTempDir dir;
  const std::string file = dir.File("registry");
  const std::string key = "Software\\Tarnwick\\Grayheron\\Astra 19.2\xC2\xB0" "E";
  {
    CFileRegistry reg;
    ASSERT_TRUE(reg.AttachFile(file));
    ASSERT_TRUE(reg.PutString(kHkeyCurrentUser, key, "Driver \xC2\xAE", "Brannox\xC2\xAE"));
    // 200 degree signs: 400 bytes, but 200 characters, which a 256-character buffer holds.
    std::string longName;
    for (int i = 0; i < 200; ++i) longName += "\xC2\xB0";
    ASSERT_TRUE(reg.PutDword(kHkeyCurrentUser, "Software\\Long\\" + longName, "x", 1));
    RegKey parent = kNoKey;
    ASSERT_EQ(reg.OpenKey(kHkeyCurrentUser, "Software\\Long", kKeyRead, &parent), ERROR_SUCCESS);
    std::string name;
    EXPECT_EQ(reg.EnumKey(parent, 0, name, 256), ERROR_SUCCESS);
    EXPECT_EQ(name, longName);
    EXPECT_EQ(reg.EnumKey(parent, 0, name, 200), ERROR_MORE_DATA) << "no room for the terminator";
    reg.CloseKey(parent);
  }
  CFileRegistry again;
  ASSERT_TRUE(again.AttachFile(file));
  std::string text;
  ASSERT_TRUE(again.GetString(kHkeyCurrentUser, key, "driver \xC2\xAE", text)) << "kept through the file";
  EXPECT_EQ(text, "Brannox\xC2\xAE");
}

}  // namespace
