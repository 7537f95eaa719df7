// Warnings the data path may raise for every packet: a removed adapter fails every
// write, a broken multiplex may carry nothing but oversized packets. Opening the log
// file per packet on the streaming thread would make the log the bottleneck, so the
// streaming thread only counts them (lock-free, no allocation, no file access) and
// FlushDataPathWarnings, called once a second off that thread, writes one line per kind
// raised since the last flush: the documented text with the values of the latest
// occurrence, followed by " (N times)" when it was raised more than once.
#pragma once
#include <cstdint>

enum class DATA_PATH_WARNING {
  CantWrite,        // "Can't write to TAP-Win !"
  ShortWrite,       // "Write %u bytes instead %u to TAP-Win !"
  IpPacketSize,     // "IP packet size = %d > %d !"
  GreFragmentLost,  // "Current GRE fragment lost, new fragment len = %u"
  GreOffset,        // "Warning ! Current GRE offset = %u and cont fragment offset = %u"
  ShortSample,      // "Sample not contain enought data !"
};

// Streaming thread: counts one occurrence and keeps its values for the line.
void RaiseDataPathWarning(DATA_PATH_WARNING kind, uint32_t a = 0, uint32_t b = 0);
// User-interface thread (or any but the streaming one): writes the folded lines. With the
// log off the counts are dropped.
void FlushDataPathWarnings();
