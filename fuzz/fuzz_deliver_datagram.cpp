// Arbitrary datagrams straight into DeliverDatagram under every filter arrangement.
#include <cstdio>
#include <cstdlib>

#include "fuzz_arrangement.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (const char* problem = FuzzDeliverDatagram(data, size)) {
    std::fprintf(stderr, "fuzz_deliver_datagram: %s\n", problem);
    std::abort();
  }
  return 0;
}
