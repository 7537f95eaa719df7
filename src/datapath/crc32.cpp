#include "datapath/crc32.h"

#include <array>
#include <atomic>

#if defined(__x86_64__) || defined(__i386__)
#define VF_CRC_X86 1
#include <cpuid.h>
#include <immintrin.h>
#endif

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

// Every kernel continues from a register value, so a fast kernel can hand its tail on.
using KERNEL_FN = uint32_t (*)(uint32_t crc, const uint8_t* data, size_t length);

uint32_t CrcBytewise(uint32_t crc, const uint8_t* data, size_t length) {
  while (length--) crc = (crc << 8) ^ kTables[0][(crc >> 24) ^ *data++];
  return crc;
}

uint32_t CrcSlicing8(uint32_t crc, const uint8_t* data, size_t length) {
  while (length >= 8) {
    uint32_t hi = crc ^ (uint32_t(data[0]) << 24 | uint32_t(data[1]) << 16 | uint32_t(data[2]) << 8 | data[3]);
    crc = kTables[7][hi >> 24] ^ kTables[6][(hi >> 16) & 0xFF] ^ kTables[5][(hi >> 8) & 0xFF] ^
          kTables[4][hi & 0xFF] ^ kTables[3][data[4]] ^ kTables[2][data[5]] ^ kTables[1][data[6]] ^
          kTables[0][data[7]];
    data += 8;
    length -= 8;
  }
  return CrcBytewise(crc, data, length);
}

#if VF_CRC_X86
// Carry-less multiply folding. A 16-byte block is loaded byte-reversed, so the first
// message bit is bit 127 and each integer bit is the coefficient of that power of x:
// the CRC is unreflected, so no bit reversal is needed anywhere. A block B lying D bytes
// before block C contributes B * x^(8D) to C's position, and with B = Bhi * x^64 + Blo
// that is Bhi * (x^(8D+64) mod P) + Blo * (x^(8D) mod P): two 64x32-bit products,
// XORed into C. At the end the 128-bit remainder R gives the register R * x^32 mod P.

constexpr uint32_t XPowModP(unsigned n) {
  uint32_t r = 1;
  for (unsigned i = 0; i < n; ++i) r = (r << 1) ^ ((r & 0x80000000u) ? kPolynomial : 0);
  return r;
}

// floor(x^64 / P) for the Barrett step, 33 bits.
constexpr uint64_t BarrettMu() {
  uint64_t rem = 0, quotient = 0;
  for (int bit = 64; bit >= 0; --bit) {
    rem = (rem << 1) | (bit == 64 ? 1 : 0);
    quotient <<= 1;
    if (rem & (uint64_t(1) << 32)) {
      rem ^= (uint64_t(1) << 32) | kPolynomial;
      quotient |= 1;
    }
  }
  return quotient;
}
constexpr uint64_t kMu = BarrettMu();

struct FOLD_CONSTANTS {
  uint32_t lo, hi;  // x^(8D) mod P, x^(8D+64) mod P
};
constexpr FOLD_CONSTANTS FoldBy(unsigned bytes) { return {XPowModP(8 * bytes), XPowModP(8 * bytes + 64)}; }
constexpr FOLD_CONSTANTS kFold16 = FoldBy(16), kFold32 = FoldBy(32), kFold48 = FoldBy(48), kFold64 = FoldBy(64),
                         kFold128 = FoldBy(128);
constexpr uint32_t kX64 = XPowModP(64), kX96 = XPowModP(96);

#define VF_PCLMUL_TARGET __attribute__((target("pclmul,ssse3")))
#define VF_VPCLMUL_TARGET __attribute__((target("avx512f,avx512bw,vpclmulqdq,pclmul,ssse3")))

VF_PCLMUL_TARGET inline __m128i Constants(FOLD_CONSTANTS k) { return _mm_set_epi32(0, int(k.hi), 0, int(k.lo)); }

VF_PCLMUL_TARGET inline __m128i LoadBlock(const uint8_t* p) {
  const __m128i reverse = _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), reverse);
}

// b moved forward over the distance k stands for, added to next.
VF_PCLMUL_TARGET inline __m128i Fold(__m128i b, __m128i k, __m128i next) {
  return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(b, k, 0x00), _mm_clmulepi64_si128(b, k, 0x11)), next);
}

// The rest of the whole 16-byte blocks, then the 128-bit remainder to the 32-bit register.
VF_PCLMUL_TARGET uint32_t FinishBlocks(__m128i x, const uint8_t* p, size_t blocks) {
  const __m128i k16 = Constants(kFold16);
  for (; blocks > 0; --blocks, p += 16) x = Fold(x, k16, LoadBlock(p));
  // x * x^32 = xhi * x^96 + xlo * x^32, 96 bits ...
  const __m128i k = _mm_set_epi32(0, int(kX64), 0, int(kX96));
  __m128i t = _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x01), _mm_slli_si128(_mm_move_epi64(x), 4));
  // ... its bits 64..95 folded down: 64 bits ...
  __m128i u = _mm_xor_si128(_mm_clmulepi64_si128(_mm_srli_si128(t, 8), k, 0x10), _mm_move_epi64(t));
  // ... and Barrett: q = (uhi * mu) >> 32 is u / P exactly, the register is u - q * P.
  const __m128i barrett = _mm_set_epi32(1, int(kPolynomial), int(uint32_t(kMu >> 32)), int(uint32_t(kMu)));
  __m128i q = _mm_srli_epi64(_mm_clmulepi64_si128(_mm_srli_epi64(u, 32), barrett, 0x00), 32);
  return uint32_t(_mm_cvtsi128_si32(_mm_xor_si128(u, _mm_clmulepi64_si128(q, barrett, 0x10))));
}

// length: a multiple of 16, at least 64. Four blocks in flight hide the multiply latency.
VF_PCLMUL_TARGET uint32_t FoldPclmul(uint32_t crc, const uint8_t* p, size_t length) {
  // The register preset is the same as XORing it into the first four message bytes.
  __m128i x0 = _mm_xor_si128(LoadBlock(p), _mm_set_epi32(int(crc), 0, 0, 0));
  __m128i x1 = LoadBlock(p + 16), x2 = LoadBlock(p + 32), x3 = LoadBlock(p + 48);
  p += 64;
  length -= 64;
  const __m128i k64 = Constants(kFold64);
  for (; length >= 64; p += 64, length -= 64) {
    x0 = Fold(x0, k64, LoadBlock(p));
    x1 = Fold(x1, k64, LoadBlock(p + 16));
    x2 = Fold(x2, k64, LoadBlock(p + 32));
    x3 = Fold(x3, k64, LoadBlock(p + 48));
  }
  __m128i x = Fold(x0, Constants(kFold48), Fold(x1, Constants(kFold32), Fold(x2, Constants(kFold16), x3)));
  return FinishBlocks(x, p, length / 16);
}

// Built from plain sets and zero-masked extracts: GCC 12 warns about the intrinsics
// that start from an undefined vector.
VF_VPCLMUL_TARGET inline __m512i Constants4(FOLD_CONSTANTS k) {
  return _mm512_set4_epi32(0, int(k.hi), 0, int(k.lo));
}

VF_VPCLMUL_TARGET inline __m512i LoadBlocks4(const uint8_t* p) {
  const __m512i reverse = _mm512_set4_epi32(0x00010203, 0x04050607, 0x08090A0B, 0x0C0D0E0F);
  return _mm512_shuffle_epi8(_mm512_loadu_si512(p), reverse);
}

VF_VPCLMUL_TARGET inline __m512i Fold4(__m512i b, __m512i k, __m512i next) {
  return _mm512_ternarylogic_epi64(_mm512_clmulepi64_epi128(b, k, 0x00), _mm512_clmulepi64_epi128(b, k, 0x11), next,
                                   0x96);  // three-way XOR
}

// length: a multiple of 16, at least 128. Eight blocks in flight, in two 64-byte registers.
VF_VPCLMUL_TARGET uint32_t FoldVpclmul(uint32_t crc, const uint8_t* p, size_t length) {
  __m512i x0 = _mm512_xor_si512(LoadBlocks4(p), _mm512_set_epi32(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, int(crc), 0, 0, 0));
  __m512i x1 = LoadBlocks4(p + 64);
  p += 128;
  length -= 128;
  const __m512i k128 = Constants4(kFold128);
  for (; length >= 128; p += 128, length -= 128) {
    x0 = Fold4(x0, k128, LoadBlocks4(p));
    x1 = Fold4(x1, k128, LoadBlocks4(p + 64));
  }
  const __m512i k64 = Constants4(kFold64);
  x0 = Fold4(x0, k64, x1);
  if (length >= 64) {
    x0 = Fold4(x0, k64, LoadBlocks4(p));
    p += 64;
    length -= 64;
  }
  // Lane i lies 48 - 16i bytes before the last lane, whose constants are 0.
  const __m512i k = _mm512_set_epi32(0, 0, 0, 0, 0, int(kFold16.hi), 0, int(kFold16.lo), 0, int(kFold32.hi), 0,
                                     int(kFold32.lo), 0, int(kFold48.hi), 0, int(kFold48.lo));
  const __m512i y = _mm512_xor_si512(_mm512_clmulepi64_epi128(x0, k, 0x00), _mm512_clmulepi64_epi128(x0, k, 0x11));
  const __m128i x = _mm_xor_si128(
      _mm_xor_si128(_mm512_maskz_extracti32x4_epi32(0xF, y, 0), _mm512_maskz_extracti32x4_epi32(0xF, y, 1)),
      _mm_xor_si128(_mm512_maskz_extracti32x4_epi32(0xF, y, 2), _mm512_maskz_extracti32x4_epi32(0xF, x0, 3)));
  return FinishBlocks(x, p, length / 16);
}

uint32_t CrcPclmul(uint32_t crc, const uint8_t* data, size_t length) {
  if (length >= 64) {
    const size_t blocks = length & ~size_t(15);
    crc = FoldPclmul(crc, data, blocks);
    data += blocks;
    length -= blocks;
  }
  return CrcSlicing8(crc, data, length);
}

uint32_t CrcVpclmul(uint32_t crc, const uint8_t* data, size_t length) {
  if (length < 128) return CrcPclmul(crc, data, length);
  const size_t blocks = length & ~size_t(15);
  return CrcSlicing8(FoldVpclmul(crc, data, blocks), data + blocks, length - blocks);
}

struct CPU_FEATURES {
  bool pclmul = false;
  bool vpclmul = false;
};

CPU_FEATURES DetectFeatures() {
  CPU_FEATURES f;
  unsigned a, b, c, d;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return f;
  f.pclmul = (c & bit_PCLMUL) && (c & bit_SSSE3);
  const bool osSavesState = (c & bit_OSXSAVE) != 0;
  if (!f.pclmul || !osSavesState || !__get_cpuid_count(7, 0, &a, &b, &c, &d)) return f;
  if (!(b & bit_AVX512F) || !(b & bit_AVX512BW) || !(c & bit_VPCLMULQDQ)) return f;
  // The system must save the SSE, AVX, opmask and both ZMM halves on a task switch.
  unsigned xcr0Lo, xcr0Hi;
  __asm__ volatile("xgetbv" : "=a"(xcr0Lo), "=d"(xcr0Hi) : "c"(0));
  (void)xcr0Hi;
  f.vpclmul = (xcr0Lo & 0xE6) == 0xE6;
  return f;
}

const CPU_FEATURES& Features() {
  static const CPU_FEATURES features = DetectFeatures();
  return features;
}
#endif

KERNEL_FN Function(CRC32_KERNEL kernel) {
  switch (kernel) {
    case CRC32_KERNEL::Bytewise: return &CrcBytewise;
#if VF_CRC_X86
    case CRC32_KERNEL::Pclmul: return &CrcPclmul;
    case CRC32_KERNEL::Vpclmul: return &CrcVpclmul;
#endif
    default: return &CrcSlicing8;
  }
}

CRC32_KERNEL Fastest() {
  if (Crc32KernelAvailable(CRC32_KERNEL::Vpclmul)) return CRC32_KERNEL::Vpclmul;
  if (Crc32KernelAvailable(CRC32_KERNEL::Pclmul)) return CRC32_KERNEL::Pclmul;
  return CRC32_KERNEL::Slicing8;
}

uint32_t ChooseAndRun(uint32_t crc, const uint8_t* data, size_t length);

// Starts at the chooser, so a CRC taken before InitCrc32Table still picks the kernel
// once. Relaxed is enough: every kernel is a pure function of constant tables.
std::atomic<KERNEL_FN> g_kernel{&ChooseAndRun};
std::atomic<CRC32_KERNEL> g_active{CRC32_KERNEL::Slicing8};

void Use(CRC32_KERNEL kernel) {
  g_active.store(kernel, std::memory_order_relaxed);
  g_kernel.store(Function(kernel), std::memory_order_relaxed);
}

uint32_t ChooseAndRun(uint32_t crc, const uint8_t* data, size_t length) {
  Use(Fastest());
  return g_kernel.load(std::memory_order_relaxed)(crc, data, length);
}
}  // namespace

void InitCrc32Table() {
  if (g_kernel.load(std::memory_order_relaxed) == &ChooseAndRun) Use(Fastest());
}

uint32_t Crc32(const uint8_t* data, size_t length) {
  return g_kernel.load(std::memory_order_relaxed)(0xFFFFFFFFu, data, length);
}

bool Crc32KernelAvailable(CRC32_KERNEL kernel) {
  switch (kernel) {
    case CRC32_KERNEL::Bytewise:
    case CRC32_KERNEL::Slicing8: return true;
#if VF_CRC_X86
    case CRC32_KERNEL::Pclmul: return Features().pclmul;
    case CRC32_KERNEL::Vpclmul: return Features().vpclmul;
#endif
    default: return false;
  }
}

uint32_t Crc32Using(CRC32_KERNEL kernel, const uint8_t* data, size_t length) {
  return Function(Crc32KernelAvailable(kernel) ? kernel : CRC32_KERNEL::Slicing8)(0xFFFFFFFFu, data, length);
}

CRC32_KERNEL Crc32ActiveKernel() {
  InitCrc32Table();
  return g_active.load(std::memory_order_relaxed);
}

const char* Crc32KernelName(CRC32_KERNEL kernel) {
  switch (kernel) {
    case CRC32_KERNEL::Bytewise: return "bytewise";
    case CRC32_KERNEL::Slicing8: return "slicing-by-8";
    case CRC32_KERNEL::Pclmul: return "pclmulqdq";
    case CRC32_KERNEL::Vpclmul: return "vpclmulqdq";
  }
  return "?";
}

bool SelectCrc32Kernel(CRC32_KERNEL kernel) {
  if (!Crc32KernelAvailable(kernel)) return false;
  Use(kernel);
  return true;
}
