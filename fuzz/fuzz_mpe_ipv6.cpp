// IPv6 and LLC/SNAP datagrams in MPE, straight and inside sections.
#include <cstdio>
#include <cstdlib>

#include "fuzz_arrangement.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (const char* problem = FuzzMpeIpv6(data, size)) {
    std::fprintf(stderr, "fuzz_mpe_ipv6: %s\n", problem);
    std::abort();
  }
  return 0;
}
