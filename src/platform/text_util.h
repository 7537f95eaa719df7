// Small text helpers every layer shares: hardware addresses, dotted IPv4 addresses
// and names compared without regard to case (device paths, registry and ini names).
#pragma once
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/win_types.h"

// "00:08:CA:12:34:56": upper-case hex digits, the separator between the bytes.
inline std::string FormatMacAddress(const BYTE mac[6], char separator = ':') {
  char text[18];
  std::snprintf(text, sizeof(text), "%02X%c%02X%c%02X%c%02X%c%02X%c%02X", mac[0], separator, mac[1], separator,
                mac[2], separator, mac[3], separator, mac[4], separator, mac[5]);
  return text;
}

// "192.168.1.7" from the four bytes in transmission order.
inline std::string FormatDottedIp(const BYTE address[4]) {
  char text[16];
  std::snprintf(text, sizeof(text), "%u.%u.%u.%u", address[0], address[1], address[2], address[3]);
  return text;
}

// The same from a 32-bit value whose high byte is the first one.
inline std::string FormatDottedIp(uint32_t value) {
  const BYTE address[4] = {BYTE(value >> 24), BYTE(value >> 16), BYTE(value >> 8), BYTE(value)};
  return FormatDottedIp(address);
}

inline char LowerChar(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

inline std::string LowerCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), LowerChar);
  return text;
}

inline bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return LowerChar(x) == LowerChar(y);
         });
}

// Bytes above 0x7F order after the ASCII ones, as unsigned bytes do.
inline bool LessNoCase(std::string_view a, std::string_view b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<unsigned char>(LowerChar(x)) < static_cast<unsigned char>(LowerChar(y));
  });
}

// Ordering for maps keyed by names that ignore case.
struct NoCaseLess {
  bool operator()(const std::string& a, const std::string& b) const { return LessNoCase(a, b); }
};
