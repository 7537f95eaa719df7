#include "datapath/stream_statistics.h"

#include <cinttypes>
#include <cstdio>

std::string FormatStatisticLine(const StreamCounters& c, DWORD elapsedMs, bool extended) {
  const uint64_t ts = c.tsPayloadBytes.Get() - c.tsPayloadBytesPrev.Get();
  // Two refreshes within one tick would divide by zero: show no rate instead.
  const double rate = elapsedMs ? double(ts) * 8.0 / (double(elapsedMs) * 1024.0) : 0.0;
  char line[200];
  std::snprintf(line, sizeof(line), "TS: %.3fMbps   Disc: %" PRIi64 "   MPE: %.3fMb   GRE-IP: %.3fMb   IPv4: %.3fMb",
                rate, int64_t(c.discontinuityCount.Get()), double(c.mpeBytes.Get()) / 1048576.0,
                double(c.greBytes.Get()) / 1048576.0, double(c.ipv4Bytes.Get()) / 1048576.0);
  if (!extended) return line;
  char more[200];
  std::snprintf(more, sizeof(more), "   IPv6: %.3fMb   ULE: %.3fMb   Drop CRC/Len/Ptr/Type/Addr: %" PRIu64 "/%" PRIu64
                "/%" PRIu64 "/%" PRIu64 "/%" PRIu64,
                double(c.ipv6Bytes.Get()) / 1048576.0, double(c.uleBytes.Get()) / 1048576.0, c.dropCrc.Get(),
                c.dropLength.Get(), c.dropPointer.Get(), c.dropType.Get(), c.dropAddress.Get());
  return line + std::string(more);
}
