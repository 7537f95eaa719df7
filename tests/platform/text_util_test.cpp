// The shared text helpers: the exact forms the log, registry and list rows rely on,
// and case-blind names that order the way sorted Windows lists and registry keys do.
#include "platform/text_util.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

TEST(TextUtilTest, AddressesComparisonsAndOrder) {
  const BYTE mac[6] = {0x00, 0x0a, 0xC0, 0xA8, 0xEE, 0xff};
  EXPECT_EQ(FormatMacAddress(mac), "00:0A:C0:A8:EE:FF");
  EXPECT_EQ(FormatMacAddress(mac, '-'), "00-0A-C0-A8-EE-FF");

  const BYTE ip[4] = {192, 168, 1, 7}, none[4] = {0, 0, 0, 0}, all[4] = {255, 255, 255, 255};
  EXPECT_EQ(FormatDottedIp(ip), "192.168.1.7");
  EXPECT_EQ(FormatDottedIp(none), "0.0.0.0");
  EXPECT_EQ(FormatDottedIp(all), "255.255.255.255");
  EXPECT_EQ(FormatDottedIp(uint32_t{0xC0A80107}), "192.168.1.7") << "first byte in the high bits";

  EXPECT_EQ(LowerCase("Brannox TAP-0901 \xC4"), "brannox tap-0901 \xC4");
  EXPECT_TRUE(EqualsNoCase("Common", "COMMON"));
  EXPECT_TRUE(EqualsNoCase("", ""));
  EXPECT_FALSE(EqualsNoCase("Common", "Commons"));
  EXPECT_FALSE(EqualsNoCase("Common", "Comm0n"));

  EXPECT_TRUE(LessNoCase("apple", "Banana"));
  EXPECT_FALSE(LessNoCase("Banana", "apple"));
  EXPECT_FALSE(LessNoCase("b", "B"));
  EXPECT_FALSE(LessNoCase("B", "b"));
  EXPECT_TRUE(LessNoCase("ab", "ABC")) << "a prefix comes first";
  EXPECT_TRUE(LessNoCase("zeta", "\xC4pfel")) << "bytes above 0x7F order after ASCII";
  EXPECT_TRUE(LessNoCase("[", "a")) << "letters order as lower case";

  std::map<std::string, int, NoCaseLess> keys;
  keys["Software"] = 1;
  keys["SOFTWARE"] = 2;
  keys["System"] = 3;
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_EQ(keys.at("software"), 2);
  EXPECT_EQ(keys.begin()->first, "Software") << "the name keeps the spelling it was created with";
}
