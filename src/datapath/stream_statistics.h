// The one-line summary of the whole stream shown under the filter list.
#pragma once
#include <string>

#include "datapath/stream_counters.h"
#include "platform/win_types.h"

// "TS: %.3fMbps   Disc: %I64i   MPE: %.3fMb   GRE-IP: %.3fMb   IPv4: %.3fMb" from the counters,
// with the TS rate over the last elapsedMs milliseconds (tsPayloadBytes - tsPayloadBytesPrev).
// With extended (IPv6 or ULE on) the line goes on with
// "   IPv6: %.3fMb   ULE: %.3fMb   Drop CRC/Len/Ptr/Type/Addr: %llu/%llu/%llu/%llu/%llu".
std::string FormatStatisticLine(const StreamCounters& counters, DWORD elapsedMs, bool extended = false);
