// The emulated device description parser on arbitrary text: it accepts or names the
// line at fault, and what it accepts stays within the ranges the devices rely on.
// Input: the description's text.
#include <cmath>
#include <cstdlib>
#include <string>

#include "platform/emulated/bda_description.h"

namespace {
void Expect(bool condition) {
  if (!condition) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  EMULATED_DESCRIPTION description;
  std::string error;
  if (!ParseEmulatedDescription(std::string(reinterpret_cast<const char*>(data), size), "/base", &description,
                                &error)) {
    Expect(!error.empty());
    return 0;
  }
  Expect(!description.devices.empty());
  for (const EMULATED_DEVICE_DESC& d : description.devices) {
    Expect(d.deliveryType >= 1 && d.deliveryType <= 5);
    Expect(d.sampleSize >= 188 && d.sampleSize <= 188 * 4096);
    // The streaming thread turns bytes sent / rate into a deadline in microseconds.
    Expect(d.streamBitsPerSecond == 0 || (std::isfinite(d.streamBitsPerSecond) && d.streamBitsPerSecond >= 1));
    Expect(d.prerollSamples >= 0 && d.discontinuityEvery >= 0);
    Expect(d.lockFrequencyMin <= d.lockFrequencyMax);
    Expect(!d.devicePath.empty());
    Expect(d.stream != EMULATED_STREAM_KIND::File || !d.streamFile.empty());
  }
  return 0;
}
