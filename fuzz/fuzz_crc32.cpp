// Every CRC-32 kernel the processor runs must agree with the bytewise one, on the
// whole input and on every suffix of it that starts within the first 64 bytes (so each
// length meets each alignment). Input: the bytes.
#include <cstdlib>
#include <cstring>
#include <memory>

#include "datapath/crc32.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const CRC32_KERNEL kFast[] = {CRC32_KERNEL::Slicing8, CRC32_KERNEL::Pclmul, CRC32_KERNEL::Vpclmul};
  // An exact-size copy so a read beyond the end is caught.
  std::unique_ptr<uint8_t[]> copy(new uint8_t[size ? size : 1]);
  if (size) std::memcpy(copy.get(), data, size);
  for (size_t skip = 0; skip <= size && skip < 64; ++skip) {
    const uint8_t* p = copy.get() + skip;
    const size_t n = size - skip;
    const uint32_t expected = Crc32Using(CRC32_KERNEL::Bytewise, p, n);
    for (CRC32_KERNEL kernel : kFast)
      if (Crc32KernelAvailable(kernel) && Crc32Using(kernel, p, n) != expected) std::abort();
  }
  return 0;
}
