// MPEG-2 CRC-32 (polynomial 0x04C11DB7, MSB first, no reflection, no final inversion).
#pragma once
#include <cstddef>
#include <cstdint>

// The ways to compute it. All give the same result on every input; the program uses
// the fastest one the processor runs, chosen once from CPUID.
enum class CRC32_KERNEL {
  Bytewise,  // one table lookup per byte: the reference
  Slicing8,  // eight tables, eight bytes per step: the portable fallback
  Pclmul,    // carry-less multiply folding on 16-byte blocks (SSE, PCLMULQDQ)
  Vpclmul,   // the same on 64-byte blocks (AVX-512, VPCLMULQDQ)
};

// Chooses the kernel now rather than at the first CRC.
void InitCrc32Table();
// Register preset to 0xFFFFFFFF.
uint32_t Crc32(const uint8_t* data, size_t length);

// For tests and benchmarks: whether this processor and build can run a kernel, the
// CRC by that kernel (which must be available), and which kernel Crc32 uses.
bool Crc32KernelAvailable(CRC32_KERNEL kernel);
uint32_t Crc32Using(CRC32_KERNEL kernel, const uint8_t* data, size_t length);
CRC32_KERNEL Crc32ActiveKernel();
const char* Crc32KernelName(CRC32_KERNEL kernel);
// Makes Crc32 use this kernel from now on; false (and no change) when it is not available.
bool SelectCrc32Kernel(CRC32_KERNEL kernel);
