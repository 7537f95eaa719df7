// A running receiver's health in the forms operators' tools read: the figures block
// beside the status block (key-value lines a script can read back), one JSON object
// per status reading, and the Prometheus text format for node_exporter's textfile
// collector. All pure but the block and the file, so the formats can be tested alone.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "remote/remote_protocol.h"

class CSharedMemoryBlock;

constexpr int kFigureFilters = 3;  // unicast, broadcast, multicast
constexpr size_t kFiguresBlockSize = 1024;

// What the receiver knows once a tick. Counters are totals since the start of the run.
struct RECEIVER_FIGURES {
  unsigned instance = 0;
  std::string profile;
  bool locked = false;
  long level = 0, quality = 0;  // 0..100
  bool extended = false;        // RF level, SNR and BER offered
  long rfLevel = 0;             // dBm
  double snr = 0.0;             // dB
  double ber = 0.0;
  int icon = 0;                 // the status icon's resource number
  double filterBytesPerSecond[kFigureFilters] = {};
  uint64_t filterBytes[kFigureFilters] = {};
  uint64_t packetsWritten = 0, bytesWritten = 0, packetsFailed = 0;
  uint64_t tsBytes = 0, crcErrors = 0, continuityErrors = 0, retunes = 0;
};

// Keeps counters monotonic across the zeroing the pages do (a profile change zeroes the
// stream counters): each reading adds what grew since the last, or all of it after a reset.
class CMonotonicTotal {
 public:
  uint64_t Update(uint64_t raw) {
    m_total += raw >= m_last ? raw - m_last : raw;
    m_last = raw;
    return m_total;
  }

 private:
  uint64_t m_last = 0, m_total = 0;
};

// "Grayheron//Figures", "Grayheron%u//Figures": beside the status block, ours alone.
std::string FiguresBlockName(unsigned instance);
// "key value" lines ending with "end"; the profile is the rest of its line.
std::string FormatFiguresText(const RECEIVER_FIGURES& figures);
// False unless every line is there up to "end" (a torn or foreign text is not figures).
bool ParseFiguresText(const unsigned char* block, size_t size, RECEIVER_FIGURES* figures);

// One line of JSON, no newline: the status block's signal, and the figures when known
// (else their keys are null). RF level, SNR and BER only when the device offers them.
std::string FormatStatusJson(unsigned instance, const STATUS_BLOCK_TEXT& status, const RECEIVER_FIGURES* figures);
// The Prometheus text exposition of the figures, HELP and TYPE lines included.
std::string FormatMetricsText(const RECEIVER_FIGURES& figures);

// Replaces `path` with `text` at once: written to a temporary file in the same folder,
// then renamed over it, so a reader sees the old or the new file, never half of one.
bool WriteFileAtomically(const std::string& path, const std::string& text, std::string* error);

// The receiver's side of the figures block: created once, rewritten each tick.
class CFiguresPublisher {
 public:
  explicit CFiguresPublisher(unsigned instance);
  ~CFiguresPublisher();
  void Publish(const RECEIVER_FIGURES& figures);

 private:
  std::unique_ptr<CSharedMemoryBlock> m_block;
};
// The reader's side: false when no receiver publishes figures (or none could be read whole).
bool ReadFiguresBlock(unsigned instance, RECEIVER_FIGURES* figures);
