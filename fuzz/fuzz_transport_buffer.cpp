// Arbitrary bytes, cut into arbitrary buffers, through the whole data path.
// Input: [filter arrangement] [cut seed] [stream bytes...]
#include <algorithm>

#include "fuzz_arrangement.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  CFuzzRig rig(data[0]);
  uint32_t state = data[1] * 2654435761u + 1;
  const BYTE* p = data + 2;
  size_t left = size - 2;
  while (left > 0) {
    // Mostly realistic sizes, sometimes tiny or odd ones to stress the carry-over.
    state = state * 1103515245u + 12345u;
    uint32_t r = state >> 16;
    size_t n = (r & 3) == 0 ? 1 + (r >> 2) % 200 : (r & 3) == 1 ? 188 * (1 + (r >> 2) % 8) : 1 + (r >> 2) % 5000;
    n = std::min(n, left);
    rig.path.ProcessTransportBuffer(p, DWORD(n));
    p += n;
    left -= n;
  }
  rig.Check();
  return 0;
}
