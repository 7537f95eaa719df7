// The string table: every id present with the texts users and language modules
// know, and a language module taking precedence where it has a text.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "ui/string_table.h"

namespace {

// The source tree's resources folder (beside tests/data, whose path the build gives).
std::string ResourcesDir() { return std::string(VF_TESTDATA_DIR) + "/../../resources/"; }

TEST(StringTableTest, HoldsEveryMessageIdWithItsExactText) {
  size_t count = 0;
  const unsigned* ids = BuiltInStringIds(count);
  ASSERT_EQ(count, 65u);
  for (unsigned id = 100; id <= 163; ++id) EXPECT_EQ(ids[id - 100], id);
  EXPECT_EQ(ids[64], 57344u);
  for (size_t i = 0; i < count; ++i) EXPECT_FALSE(LoadResString(ids[i]).empty()) << ids[i];

  // Texts with escapes and odd spellings that are easy to get wrong.
  EXPECT_EQ(LoadResString(114), "Invalid %s-PID %u > %u !");
  EXPECT_EQ(LoadResString(124), "The list contains this name already.\n\rPlease insert an other name !");
  EXPECT_EQ(LoadResString(129), "Please insert a valid frequency !\n");
  EXPECT_EQ(LoadResString(132), "Send DiSEq\xD0\xA1-command failed !");
  EXPECT_EQ(LoadResString(135), "Can't set Brannox adapter MAC !\n\rMaybe need admin rights.");
  EXPECT_EQ(LoadResString(57344), "Grayheron");
  EXPECT_EQ(LoadResString(99), "");
  EXPECT_EQ(LoadResString(164), "");
}

TEST(StringTableTest, TheResourceScriptIsMadeFromTheSameDefinitions) {
  std::ifstream rc(ResourcesDir() + "strings.rc");
  ASSERT_TRUE(rc.good());
  std::stringstream text;
  text << rc.rdbuf();
  EXPECT_NE(text.str().find("#include \"string_table.def\""), std::string::npos);
  EXPECT_EQ(text.str().find("VF_STRING(1"), std::string::npos) << "no text of its own";

  // Every definition line is one id and one literal, in ascending id order.
  std::ifstream def(ResourcesDir() + "string_table.def");
  ASSERT_TRUE(def.good());
  std::regex line(R"re(^VF_STRING\(([0-9]+), "(?:[^"\\]|\\[nr"\\])*"\)$)re");
  std::string s;
  unsigned last = 0, lines = 0;
  while (std::getline(def, s)) {
    if (s.empty() || s.rfind("//", 0) == 0) continue;
    std::smatch m;
    ASSERT_TRUE(std::regex_match(s, m, line)) << s;
    unsigned id = unsigned(std::stoul(m[1]));
    EXPECT_GT(id, last);
    last = id;
    ++lines;
  }
  EXPECT_EQ(lines, 65u);
}

class CGermanModule final : public CStringSource {
 public:
  bool Lookup(unsigned id, std::string& text) override {
    if (id != 101) return false;
    text = "Fehler !";
    return true;
  }
};

TEST(StringTableTest, ALanguageModuleReplacesItsTextsAndTheRestFallBack) {
  CGermanModule german;
  CStringSource* previous = SetStringSource(&german);
  EXPECT_EQ(LoadResString(101), "Fehler !");
  EXPECT_EQ(LoadResString(102), "Warning !");
  SetStringSource(previous);
  EXPECT_EQ(LoadResString(101), "Error !");
}

}  // namespace
