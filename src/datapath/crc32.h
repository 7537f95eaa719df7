// MPEG-2 CRC-32 (polynomial 0x04C11DB7, MSB first, no reflection, no final inversion).
#pragma once
#include <cstddef>
#include <cstdint>

void InitCrc32Table();
// Register preset to 0xFFFFFFFF.
uint32_t Crc32(const uint8_t* data, size_t length);
