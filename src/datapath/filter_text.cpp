#include "datapath/filter_text.h"

#include <cstdio>
#include <cstdlib>

#include "platform/text_util.h"

namespace {
int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Reads an unsigned decimal number as sscanf's %u does: blanks, an optional sign,
// digits; the value wraps modulo 2^32. Returns false when no digit is there.
bool ReadUnsigned(const char*& p, uint32_t& value) {
  while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\f' || *p == '\v') ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') {
    negative = *p == '-';
    ++p;
  }
  if (*p < '0' || *p > '9') return false;
  uint32_t v = 0;
  while (*p >= '0' && *p <= '9') v = v * 10u + uint32_t(*p++ - '0');
  value = negative ? 0u - v : v;
  return true;
}
}  // namespace

bool ParseMacText(const std::string& text, MAC_FILTER& out) {
  BYTE value[6] = {};
  BYTE mask[6] = {};
  size_t i = 0;
  int j = 0;
  const size_t n = text.size();
  while (j < 6 && i < n) {
    const char x = text[i];
    if (x == ':' || x == '.' || x == ' ') {
      ++i;
      continue;
    }
    const bool yEnd = i + 1 >= n;
    const char y = yEnd ? '\0' : text[i + 1];
    const int hx = HexValue(x);
    const int hy = yEnd ? -1 : HexValue(y);
    if (x == '?' && y == '?' && !yEnd) {
      value[j] = 0;
      mask[j] = 0x00;
    } else if (x == '?' && hy >= 0) {
      value[j] = BYTE(hy);
      mask[j] = 0x0F;
    } else if (hx >= 0 && (yEnd || y == '?')) {
      value[j] = BYTE(hx * 16);
      mask[j] = 0xF0;
    } else if (hx >= 0 && hy >= 0) {
      value[j] = BYTE(hx * 16 + hy);
      mask[j] = 0xFF;
    } else {
      return false;
    }
    i += 2;
    ++j;
  }
  for (int k = 0; k < 6; ++k) {
    out.value[k] = value[k];
    out.mask[k] = mask[k];
  }
  return true;
}

std::string FormatMacText(const MAC_FILTER& mac) {
  std::string text;
  char part[4];
  for (int k = 0; k < 6; ++k) {
    switch (mac.mask[k]) {
      case 0x00: std::snprintf(part, sizeof(part), "??"); break;
      case 0xF0: std::snprintf(part, sizeof(part), "%01X?", mac.value[k] >> 4); break;
      case 0x0F: std::snprintf(part, sizeof(part), "?%01X", mac.value[k] & 0x0F); break;
      default: std::snprintf(part, sizeof(part), "%02X", mac.value[k]); break;
    }
    if (k) text += ':';
    text += part;
  }
  return text;
}

bool ParseIpText(const std::string& text, BYTE address[4]) {
  uint32_t v[4];
  const char* p = text.c_str();
  for (int k = 0; k < 4; ++k) {
    if (k > 0) {
      if (*p != '.') return false;
      ++p;
    }
    if (!ReadUnsigned(p, v[k])) return false;
  }
  if (v[0] > 223 || v[1] > 255 || v[2] > 255 || v[3] > 254) return false;
  for (int k = 0; k < 4; ++k) address[k] = BYTE(v[k]);
  return true;
}

std::string FormatIpText(const BYTE address[4]) { return FormatDottedIp(address); }

bool ParsePidText(const std::string& text, WORD& pid) {
  const char* p = text.c_str();
  uint32_t v = 0;
  // Text without a number reads as 0, the filter switched off.
  if (!ReadUnsigned(p, v)) v = 0;
  pid = WORD(v & 0xFFFF);
  return pid <= 8192;
}

bool ParseUlePidText(const std::string& text, WORD* pids, int capacity, int& count, WORD& bad) {
  count = 0;
  const char* p = text.c_str();
  for (;;) {
    while (*p == ',' || *p == ' ' || *p == '\t') ++p;
    if (!*p) return true;
    uint32_t v = 0;
    if (!ReadUnsigned(p, v)) {
      bad = 0xFFFF;
      return false;
    }
    const WORD pid = WORD(v & 0xFFFF);
    if (v == 0) continue;
    // 8191 is the null PID and 8192 means any PID for the filters: neither is one stream.
    if (v > 8190 || count == capacity) {
      bad = pid;
      return false;
    }
    bool known = false;
    for (int i = 0; i < count; ++i) known = known || pids[i] == pid;
    if (!known) pids[count++] = pid;
  }
}

std::string FormatUlePidText(const WORD* pids, int count) {
  if (count == 0) return "0";
  std::string text;
  for (int i = 0; i < count; ++i) text += (i ? "," : "") + std::to_string(pids[i]);
  return text;
}
