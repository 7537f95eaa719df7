// Small text helpers every layer shares: hardware addresses, dotted IPv4 addresses,
// names compared without regard to case (device paths, registry and ini names) and
// UTF-8 texts cut to fixed byte sizes.
#pragma once
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
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

// Case folding is ASCII only: the program's names are ASCII, and bytes of UTF-8
// sequences are left alone (so "Ä" and "ä" are different names here).
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

// Texts inside the program are UTF-8. A field whose size is fixed in bytes takes
// as much of a text as fits without splitting a character.

// Bytes in the UTF-8 sequence that `lead` starts; 0 for a byte that starts none
// (a continuation byte or one that never occurs in UTF-8).
inline size_t Utf8SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

inline bool IsUtf8Continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Length of the well-formed sequence at `at` (no overlong form, no surrogate, nothing
// above U+10FFFF), or 0 when the bytes there are no such sequence.
inline size_t Utf8WellFormedAt(std::string_view text, size_t at) {
  if (at >= text.size()) return 0;
  const unsigned char lead = static_cast<unsigned char>(text[at]);
  const size_t length = Utf8SequenceLength(lead);
  if (length == 0 || at + length > text.size()) return 0;
  for (size_t k = 1; k < length; ++k)
    if (!IsUtf8Continuation(static_cast<unsigned char>(text[at + k]))) return 0;
  if (length > 2) {
    const unsigned char second = static_cast<unsigned char>(text[at + 1]);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) || (lead == 0xF0 && second < 0x90) ||
        (lead == 0xF4 && second > 0x8F))
      return 0;
  }
  return length;
}

// The longest prefix of at most `maxBytes` that ends on a character boundary. Only a
// well-formed sequence is protected: a stray or broken byte is cut like any other,
// so invalid input still yields maxBytes and never reads outside the text.
inline size_t Utf8CutLength(std::string_view text, size_t maxBytes) {
  if (text.size() <= maxBytes) return text.size();
  size_t start = maxBytes;
  for (int back = 0; back < 3 && start > 0 && IsUtf8Continuation(static_cast<unsigned char>(text[start])); ++back)
    --start;
  if (start == maxBytes) return maxBytes;  // the cut falls before a lead byte
  const size_t length = Utf8WellFormedAt(text, start);
  if (length < 2) return maxBytes;  // stray continuations or a broken sequence: nothing to keep whole
  return start + length <= maxBytes ? maxBytes : start;
}

inline std::string Utf8Truncate(std::string_view text, size_t maxBytes) {
  return std::string(text.substr(0, Utf8CutLength(text, maxBytes)));
}

// Copies into a zero-terminated field of `fieldSize` bytes; the bytes copied, without
// the terminator. The rest of the field is zero, as fixed-size driver and shell
// records expect.
inline size_t CopyUtf8Bounded(char* field, size_t fieldSize, std::string_view text) {
  if (!field || fieldSize == 0) return 0;
  const size_t n = Utf8CutLength(text.substr(0, text.find('\0')), fieldSize - 1);
  std::memcpy(field, text.data(), n);
  std::memset(field + n, 0, fieldSize - n);
  return n;
}

// UTF-16 units the text takes in the wide Windows calls (their "characters"); each
// byte that is no part of a well-formed sequence becomes one replacement character.
inline size_t Utf16Length(std::string_view text) {
  size_t units = 0;
  for (size_t i = 0; i < text.size();) {
    const size_t length = Utf8WellFormedAt(text, i);
    units += length == 4 ? 2 : 1;
    i += length ? length : 1;
  }
  return units;
}

// The UTF-16 little-endian bytes of an ini file the system keeps in Unicode, to UTF-8
// and back. An unpaired surrogate or a broken UTF-8 byte becomes U+FFFD; an odd last
// byte is dropped.
inline void AppendUtf8(std::string& out, uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

inline std::string Utf16LeToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  auto unit = [&](size_t i) {
    return static_cast<uint32_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                 static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
  };
  const size_t units = bytes.size() / 2;
  for (size_t i = 0; i < units; ++i) {
    uint32_t code = unit(i);
    if (code >= 0xD800 && code <= 0xDBFF && i + 1 < units && unit(i + 1) >= 0xDC00 && unit(i + 1) <= 0xDFFF) {
      code = 0x10000 + ((code - 0xD800) << 10) + (unit(i + 1) - 0xDC00);
      ++i;
    } else if (code >= 0xD800 && code <= 0xDFFF) {
      code = 0xFFFD;
    }
    AppendUtf8(out, code);
  }
  return out;
}

inline std::string Utf8ToUtf16Le(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  auto put = [&](uint32_t unit) {
    out += static_cast<char>(unit & 0xFF);
    out += static_cast<char>(unit >> 8);
  };
  for (size_t i = 0; i < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    const size_t length = Utf8WellFormedAt(text, i);
    if (length == 0) {
      put(0xFFFD);
      ++i;
      continue;
    }
    uint32_t code = length == 1 ? lead : lead & (0xFF >> (length + 1));
    for (size_t k = 1; k < length; ++k) code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    i += length;
    if (code >= 0x10000) {
      put(0xD800 + ((code - 0x10000) >> 10));
      put(0xDC00 + ((code - 0x10000) & 0x3FF));
    } else {
      put(code);
    }
  }
  return out;
}
