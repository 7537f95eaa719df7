// Arbitrary datagrams straight into DeliverDatagram under every filter arrangement,
// several per input so GRE fragments meet each other.
// Input: [arrangement] then records of [PID hi] [PID lo] [MAC x6] [length hi] [length lo] [bytes...]
#include <algorithm>

#include "fuzz_arrangement.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  CFuzzRig rig(data[0]);
  size_t at = 1;
  while (at + 10 <= size) {
    int32_t pid = ((data[at] << 8) | data[at + 1]) & 0x1FFF;
    BYTE mac[6];
    std::memcpy(mac, data + at + 2, 6);
    size_t length = std::min<size_t>((size_t(data[at + 8]) << 8) | data[at + 9], size - at - 10);
    at += 10;
    // An exact-size copy so any read past the datagram is caught.
    std::unique_ptr<BYTE[]> copy(new BYTE[length ? length : 1]);
    std::memcpy(copy.get(), data + at, length);
    rig.path.DeliverDatagram(pid, mac, copy.get(), int32_t(length));
    at += length;
  }
  rig.Check();
  return 0;
}
