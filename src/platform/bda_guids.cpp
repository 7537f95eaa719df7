#include "platform/bda_guids.h"

#include <cctype>
#include <cstdio>
#include <cstring>

void FormatGuid(const GUID& g, char* text, size_t size) {
  if (!text || size == 0) return;
  std::snprintf(text, size, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2],
                g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
}

static int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool ParseGuid(const char* text, GUID* guid) {
  if (!text || !guid) return false;
  while (*text == ' ' || *text == '\t') ++text;
  bool braced = *text == '{';
  if (braced) ++text;
  // 8-4-4-4-12 hex digits.
  static const int groups[] = {8, 4, 4, 4, 12};
  BYTE bytes[16];
  int byteCount = 0;
  for (int g = 0; g < 5; ++g) {
    if (g > 0 && *text++ != '-') return false;
    for (int i = 0; i < groups[g]; i += 2) {
      int hi = HexValue(text[0]);
      int lo = hi < 0 ? -1 : HexValue(text[1]);
      if (lo < 0) return false;
      bytes[byteCount++] = static_cast<BYTE>(hi * 16 + lo);
      text += 2;
    }
  }
  if (braced && *text++ != '}') return false;
  while (*text == ' ' || *text == '\t') ++text;
  if (*text) return false;
  guid->Data1 = (DWORD(bytes[0]) << 24) | (DWORD(bytes[1]) << 16) | (DWORD(bytes[2]) << 8) | bytes[3];
  guid->Data2 = static_cast<WORD>((bytes[4] << 8) | bytes[5]);
  guid->Data3 = static_cast<WORD>((bytes[6] << 8) | bytes[7]);
  std::memcpy(guid->Data4, bytes + 8, 8);
  return true;
}
