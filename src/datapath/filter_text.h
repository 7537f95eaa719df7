// The filter texts of a profile: MAC with per-nibble wildcards, IP address, PIDs.
#pragma once
#include <cstdint>
#include <string>

#include "platform/win_types.h"

struct MAC_FILTER {
  BYTE value[6];
  BYTE mask[6];
};

// false: the text is invalid ("Invalid MAC-address !").
bool ParseMacText(const std::string& text, MAC_FILTER& out);
// "00:02:??:?A:B?:FF" style, hex digits upper case.
std::string FormatMacText(const MAC_FILTER& mac);

// "%u.%u.%u.%u" with the first number <= 223, the next two <= 255, the last <= 254.
bool ParseIpText(const std::string& text, BYTE address[4]);
std::string FormatIpText(const BYTE address[4]);

// An unsigned decimal number kept in 16 bits (value modulo 65536); valid when <= 8192.
bool ParsePidText(const std::string& text, WORD& pid);

// The PIDs that carry ULE: numbers separated by commas or blanks, 0 for none. Each
// other number must be 1..8190 and at most `capacity` are taken; false (with the
// offending value in bad, kept in 16 bits) when one is not.
bool ParseUlePidText(const std::string& text, WORD* pids, int capacity, int& count, WORD& bad);
std::string FormatUlePidText(const WORD* pids, int count);
