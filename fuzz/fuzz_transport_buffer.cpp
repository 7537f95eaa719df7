// Arbitrary bytes, cut into arbitrary buffers, through the whole data path.
#include <cstdio>
#include <cstdlib>

#include "fuzz_arrangement.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (const char* problem = FuzzTransportBuffer(data, size)) {
    std::fprintf(stderr, "fuzz_transport_buffer: %s\n", problem);
    std::abort();
  }
  return 0;
}
