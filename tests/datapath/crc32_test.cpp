// Every CRC-32 kernel against the bit-at-a-time definition.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "datapath/crc32.h"

namespace {
const CRC32_KERNEL kKernels[] = {CRC32_KERNEL::Bytewise, CRC32_KERNEL::Slicing8, CRC32_KERNEL::Pclmul,
                                 CRC32_KERNEL::Vpclmul};

uint32_t Step(uint32_t crc, uint8_t byte) {
  crc ^= uint32_t(byte) << 24;
  for (int k = 0; k < 8; ++k) crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
  return crc;
}

// Lengths across every path of the folding kernels (below one block, each count of
// blocks and tail bytes, one and several wide iterations), at every offset in a
// 16-byte block and one that crosses a cache line; the buffer ends right after the
// data so ASan sees any read beyond it.
TEST(Crc32Test, EveryKernelMatchesTheDefinitionOnEveryLengthAndAlignment) {
  std::vector<uint32_t> lengths;
  for (uint32_t n = 0; n <= 1100; ++n) lengths.push_back(n);
  for (uint32_t n = 1107; n <= 4300; n += 7) lengths.push_back(n);
  std::vector<CRC32_KERNEL> kernels;
  for (CRC32_KERNEL kernel : kKernels) {
    if (Crc32KernelAvailable(kernel))
      kernels.push_back(kernel);
    else
      std::printf("CRC-32 kernel %s: not on this processor\n", Crc32KernelName(kernel));
  }
  std::vector<uint8_t> data(lengths.back());
  std::vector<uint32_t> prefixCrc(data.size() + 1, 0xFFFFFFFF);
  uint32_t seed = 12345;
  for (size_t offset : {0, 1, 2, 3, 5, 8, 13, 15, 16, 63}) {
    for (size_t i = 0; i < data.size(); ++i) {
      seed = seed * 1103515245u + 12345u;
      data[i] = uint8_t(seed >> 16);
      prefixCrc[i + 1] = Step(prefixCrc[i], data[i]);
    }
    for (uint32_t n : lengths) {
      std::vector<uint8_t> buffer(offset + n);
      std::copy(data.begin(), data.begin() + n, buffer.begin() + std::ptrdiff_t(offset));
      for (CRC32_KERNEL kernel : kernels)
        ASSERT_EQ(Crc32Using(kernel, buffer.data() + offset, n), prefixCrc[n])
            << Crc32KernelName(kernel) << " length " << n << " offset " << offset;
    }
  }
}

TEST(Crc32Test, TheFastestAvailableKernelIsChosenAndEachCanBeSelected) {
  InitCrc32Table();
  const CRC32_KERNEL chosen = Crc32ActiveKernel();
  EXPECT_TRUE(Crc32KernelAvailable(chosen));
  for (CRC32_KERNEL better : {CRC32_KERNEL::Vpclmul, CRC32_KERNEL::Pclmul}) {
    if (chosen == better) break;
    EXPECT_FALSE(Crc32KernelAvailable(better)) << Crc32KernelName(better) << " runs here but was not chosen";
  }
  const char* check = "123456789";
  std::vector<uint8_t> section(4093);
  for (size_t i = 0; i < section.size(); ++i) section[i] = uint8_t(i * 31 + 7);
  const uint32_t sectionCrc = Crc32Using(CRC32_KERNEL::Bytewise, section.data(), section.size());
  for (CRC32_KERNEL kernel : kKernels) {
    ASSERT_EQ(SelectCrc32Kernel(kernel), Crc32KernelAvailable(kernel));
    if (!Crc32KernelAvailable(kernel)) continue;
    EXPECT_EQ(Crc32ActiveKernel(), kernel);
    EXPECT_EQ(Crc32(reinterpret_cast<const uint8_t*>(check), 9), 0x0376E6E7u) << Crc32KernelName(kernel);
    EXPECT_EQ(Crc32(section.data(), section.size()), sectionCrc) << Crc32KernelName(kernel);
  }
  SelectCrc32Kernel(chosen);
}
}  // namespace
