// The Windows resource script and the built-in table are made from one list: what
// LoadString finds in the program must be, byte for byte, the built-in text.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <string>

#include "ui/string_table.h"

namespace {
std::string ResourceText(unsigned id) {
  const wchar_t* text = nullptr;
  // With a zero length LoadStringW hands out a pointer into the resource itself.
  int n = ::LoadStringW(::GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
  if (n <= 0 || !text) return "<missing>";
  int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text, n, nullptr, 0, nullptr, nullptr);
  std::string out(size_t(bytes), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, n, out.data(), bytes, nullptr, nullptr);
  return out;
}

TEST(ResourceStringsTest, EveryResourceStringIsTheBuiltInText) {
  size_t count = 0;
  const unsigned* ids = BuiltInStringIds(count);
  ASSERT_GT(count, 60u);
  for (size_t i = 0; i < count; ++i) {
    std::string builtIn;
    ASSERT_TRUE(LoadBuiltInString(ids[i], builtIn));
    EXPECT_EQ(ResourceText(ids[i]), builtIn) << ids[i];
  }
}
}  // namespace
#endif
