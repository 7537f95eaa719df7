#include "datapath/crc32.h"

#include <array>

namespace {
constexpr uint32_t kPolynomial = 0x04C11DB7;

// Slice 0 is the classic byte table; slices 1..7 let the loop take eight bytes per
// step while still doing one table lookup per byte.
using CRC_TABLES = std::array<std::array<uint32_t, 256>, 8>;

constexpr CRC_TABLES MakeTables() {
  CRC_TABLES t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t r = i << 24;
    for (int k = 0; k < 8; ++k) r = (r & 0x80000000u) ? (r << 1) ^ kPolynomial : (r << 1);
    t[0][i] = r;
  }
  for (uint32_t i = 0; i < 256; ++i)
    for (int s = 1; s < 8; ++s) t[s][i] = (t[s - 1][i] << 8) ^ t[0][t[s - 1][i] >> 24];
  return t;
}

// Built at compile time: the streaming thread never sees a half-filled table.
constexpr CRC_TABLES kTables = MakeTables();
}  // namespace

void InitCrc32Table() {
  // The table is a constant of the program; nothing is left to fill at run time.
}

uint32_t Crc32(const uint8_t* data, size_t length) {
  uint32_t crc = 0xFFFFFFFFu;
  while (length >= 8) {
    uint32_t hi = crc ^ (uint32_t(data[0]) << 24 | uint32_t(data[1]) << 16 | uint32_t(data[2]) << 8 | data[3]);
    crc = kTables[7][hi >> 24] ^ kTables[6][(hi >> 16) & 0xFF] ^ kTables[5][(hi >> 8) & 0xFF] ^
          kTables[4][hi & 0xFF] ^ kTables[3][data[4]] ^ kTables[2][data[5]] ^ kTables[1][data[6]] ^
          kTables[0][data[7]];
    data += 8;
    length -= 8;
  }
  while (length--) crc = (crc << 8) ^ kTables[0][(crc >> 24) ^ *data++];
  return crc;
}
