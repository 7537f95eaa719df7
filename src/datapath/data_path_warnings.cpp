#include "datapath/data_path_warnings.h"

#include <atomic>
#include <cstdio>
#include <mutex>

#include "log/log.h"

namespace {
struct WARNING_SLOT {
  const char* format;
  // Only ever increased, so the flush takes the difference and never races a reset.
  std::atomic<uint32_t> raised{0};
  std::atomic<uint32_t> a{0};
  std::atomic<uint32_t> b{0};
  uint32_t flushed = 0;  // under the flush lock
};

// In the order of DATA_PATH_WARNING.
WARNING_SLOT g_slots[] = {
    {"Can't write to TAP-Win !"},
    {"Write %u bytes instead %u to TAP-Win !"},
    {"IP packet size = %d > %d !"},
    {"Current GRE fragment lost, new fragment len = %u"},
    {"Warning ! Current GRE offset = %u and cont fragment offset = %u"},
    {"Sample not contain enought data !"},
};

std::mutex g_flushLock;
}  // namespace

void RaiseDataPathWarning(DATA_PATH_WARNING kind, uint32_t a, uint32_t b) {
  WARNING_SLOT& s = g_slots[static_cast<int>(kind)];
  s.a.store(a, std::memory_order_relaxed);
  s.b.store(b, std::memory_order_relaxed);
  // Several data paths (tests) may raise at once: an increment, not a load and store.
  s.raised.fetch_add(1, std::memory_order_release);
}

void FlushDataPathWarnings() {
  std::lock_guard<std::mutex> g(g_flushLock);
  for (WARNING_SLOT& s : g_slots) {
    const uint32_t raised = s.raised.load(std::memory_order_acquire);
    const uint32_t count = raised - s.flushed;
    if (count == 0) continue;
    s.flushed = raised;
    // The values are at most 65535 (lengths, offsets), so %d and %u read them alike.
    char text[kLogLineSize];
    std::snprintf(text, sizeof(text), s.format, s.a.load(std::memory_order_relaxed),
                  s.b.load(std::memory_order_relaxed));
    if (count == 1)
      LogMessage("%s", text);
    else
      LogMessage("%s (%u times)", text, static_cast<unsigned>(count));
  }
}
