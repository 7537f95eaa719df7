// ULE on a PID: packets the fuzzer writes, or one SNDU straight to the sink.
#include <cstdio>
#include <cstdlib>

#include "fuzz_arrangement.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (const char* problem = FuzzUleReceiver(data, size)) {
    std::fprintf(stderr, "fuzz_ule_receiver: %s\n", problem);
    std::abort();
  }
  return 0;
}
