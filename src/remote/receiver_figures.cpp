#include "remote/receiver_figures.h"

#include <algorithm>
#include <cstdarg>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <system_error>
#include <vector>

#include "platform/shared_memory.h"

namespace {

std::string Printf(const char* format, ...) {
  char buffer[256];
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(buffer, sizeof(buffer), format, args);
  va_end(args);
  if (n < 0) return std::string();
  if (size_t(n) < sizeof(buffer)) return std::string(buffer, size_t(n));
  std::string out(size_t(n) + 1, '\0');
  va_start(args, format);
  std::vsnprintf(out.data(), out.size(), format, args);
  va_end(args);
  out.resize(size_t(n));
  return out;
}

const char* const kFilterNames[kFigureFilters] = {"unicast", "broadcast", "multicast"};

std::string Unsigned(uint64_t v) { return std::to_string(v); }

// Doubles as both formats accept them: finite numbers in the shortest exact form.
std::string Number(double v) {
  if (!std::isfinite(v)) return "0";
  return Printf("%.15g", v);
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += char(c);
    } else if (c < 0x20) {
      out += Printf("\\u%04x", c);
    } else {
      out += char(c);  // the profile name's bytes, as stored
    }
  }
  return out + "\"";
}

std::string LabelValue(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') out += "\\\\";
    else if (c == '"') out += "\\\"";
    else if (c == '\n') out += "\\n";
    else out += c;
  }
  return out;
}

bool ParseU64(const std::string& text, uint64_t* v) {
  if (text.empty() || text.size() > 20) return false;
  uint64_t r = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    uint64_t next = r * 10 + uint64_t(c - '0');
    if (next / 10 != r) return false;
    r = next;
  }
  *v = r;
  return true;
}

bool ParseLong(const std::string& text, long* v) {
  const bool negative = !text.empty() && text[0] == '-';
  uint64_t u = 0;
  if (!ParseU64(negative ? text.substr(1) : text, &u) || u > 0x7FFFFFFF) return false;
  *v = negative ? -long(u) : long(u);
  return true;
}

bool ParseDouble(const std::string& text, double* v) {
  if (text.empty()) return false;
  char* end = nullptr;
  double d = std::strtod(text.c_str(), &end);
  if (*end || !std::isfinite(d)) return false;
  *v = d;
  return true;
}

}  // namespace

std::string FiguresBlockName(unsigned instance) {
  return instance == 0 ? std::string("Grayheron//Figures") : Printf("Grayheron%u//Figures", instance);
}

std::string FormatFiguresText(const RECEIVER_FIGURES& f) {
  std::string t;
  t += Printf("instance %u\n", f.instance);
  t += Printf("lock %d\nlevel %ld\nquality %ld\n", f.locked ? 1 : 0, f.level, f.quality);
  t += Printf("extended %d\nrf %ld\nsnr %s\nber %s\n", f.extended ? 1 : 0, f.rfLevel, Number(f.snr).c_str(),
                  Number(f.ber).c_str());
  t += Printf("icon %d\n", f.icon);
  for (int k = 0; k < kFigureFilters; ++k)
    t += Printf("rate%d %s\nbytes%d %s\n", k, Number(f.filterBytesPerSecond[k]).c_str(), k,
                    Unsigned(f.filterBytes[k]).c_str());
  t += "written " + Unsigned(f.packetsWritten) + "\nwrittenbytes " + Unsigned(f.bytesWritten) + "\nfailed " +
       Unsigned(f.packetsFailed) + "\nts " + Unsigned(f.tsBytes) + "\ncrc " + Unsigned(f.crcErrors) + "\ncc " +
       Unsigned(f.continuityErrors) + "\nretunes " + Unsigned(f.retunes) + "\n";
  // The profile last: a name too long for the block is cut, never the figures.
  std::string profile;
  for (char c : f.profile) profile += (c == '\n' || c == '\r' || c == '\0') ? ' ' : c;
  const size_t room = kFiguresBlockSize - 1 - t.size() - std::strlen("profile \nend\n");
  if (profile.size() > room) profile.resize(room);
  return t + "profile " + profile + "\nend\n";
}

bool ParseFiguresText(const unsigned char* block, size_t size, RECEIVER_FIGURES* out) {
  std::string text(reinterpret_cast<const char*>(block), strnlen(reinterpret_cast<const char*>(block), size));
  RECEIVER_FIGURES f;
  unsigned seen = 0;  // one bit per key below
  const char* const keys[] = {"instance", "lock",  "level", "quality", "extended",    "rf",     "snr",
                              "ber",      "icon",  "rate0", "bytes0",  "rate1",       "bytes1", "rate2",
                              "bytes2",   "written", "writtenbytes", "failed", "ts", "crc",   "cc",
                              "retunes",  "profile"};
  constexpr unsigned kKeys = sizeof(keys) / sizeof(keys[0]);
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) return false;
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    if (line == "end") {
      if (seen != (1u << kKeys) - 1) return false;
      *out = f;
      return true;
    }
    size_t space = line.find(' ');
    if (space == std::string::npos) return false;
    std::string key = line.substr(0, space), value = line.substr(space + 1);
    unsigned k = 0;
    while (k < kKeys && key != keys[k]) ++k;
    if (k == kKeys || (seen & (1u << k))) return false;
    seen |= 1u << k;
    long l = 0;
    uint64_t u = 0;
    bool ok = true;
    switch (k) {
      case 0: ok = ParseU64(value, &u) && u <= 0xFFFFFFFFu; f.instance = unsigned(u); break;
      case 1: ok = ParseLong(value, &l); f.locked = l != 0; break;
      case 2: ok = ParseLong(value, &f.level); break;
      case 3: ok = ParseLong(value, &f.quality); break;
      case 4: ok = ParseLong(value, &l); f.extended = l != 0; break;
      case 5: ok = ParseLong(value, &f.rfLevel); break;
      case 6: ok = ParseDouble(value, &f.snr); break;
      case 7: ok = ParseDouble(value, &f.ber); break;
      case 8: ok = ParseLong(value, &l); f.icon = int(l); break;
      case 9: case 11: case 13: ok = ParseDouble(value, &f.filterBytesPerSecond[(k - 9) / 2]); break;
      case 10: case 12: case 14: ok = ParseU64(value, &f.filterBytes[(k - 10) / 2]); break;
      case 15: ok = ParseU64(value, &f.packetsWritten); break;
      case 16: ok = ParseU64(value, &f.bytesWritten); break;
      case 17: ok = ParseU64(value, &f.packetsFailed); break;
      case 18: ok = ParseU64(value, &f.tsBytes); break;
      case 19: ok = ParseU64(value, &f.crcErrors); break;
      case 20: ok = ParseU64(value, &f.continuityErrors); break;
      case 21: ok = ParseU64(value, &f.retunes); break;
      case 22: f.profile = value; break;
    }
    if (!ok) return false;
  }
  return false;
}

std::string FormatStatusJson(unsigned instance, const STATUS_BLOCK_TEXT& s, const RECEIVER_FIGURES* f) {
  std::string j = Printf("{\"instance\":%u", instance);
  if (s.valid) {
    j += Printf(",\"lock\":%s,\"level\":%ld,\"quality\":%ld", s.lock != 0 ? "true" : "false", s.level, s.quality);
  } else {
    j += ",\"lock\":null,\"level\":null,\"quality\":null";
  }
  // The block's own texts, which the receiver wrote as numbers ("%i", "%.2f", "%f").
  if (s.valid && s.extended) j += ",\"snr_db\":" + s.snr + ",\"ber\":" + s.ber + ",\"rf_level_dbm\":" + s.rfLevel;
  if (!f) {
    j += ",\"icon\":null,\"profile\":null,\"rates_bytes_per_second\":null,\"packets_written\":null,"
         "\"packets_failed\":null}";
    return j;
  }
  j += Printf(",\"icon\":%d,\"profile\":", f->icon) + JsonString(f->profile);
  double total = 0.0;
  j += ",\"rates_bytes_per_second\":{";
  for (int k = 0; k < kFigureFilters; ++k) {
    j += Printf("\"%s\":", kFilterNames[k]) + Number(f->filterBytesPerSecond[k]) + ",";
    total += f->filterBytesPerSecond[k];
  }
  j += "\"total\":" + Number(total) + "}";
  j += ",\"packets_written\":" + Unsigned(f->packetsWritten) + ",\"packets_failed\":" + Unsigned(f->packetsFailed) +
       "}";
  return j;
}

std::string FormatMetricsText(const RECEIVER_FIGURES& f) {
  std::string t;
  const std::string instance = Printf("instance=\"%u\"", f.instance);
  auto family = [&](const char* name, const char* type, const char* help) {
    t += Printf("# HELP %s %s\n# TYPE %s %s\n", name, help, name, type);
  };
  auto sample = [&](const char* name, const std::string& labels, const std::string& value) {
    t += std::string(name) + "{" + instance + labels + "} " + value + "\n";
  };
  family("velvetfin_info", "gauge", "The receiver's active profile; always 1.");
  sample("velvetfin_info", ",profile=\"" + LabelValue(f.profile) + "\"", "1");
  family("velvetfin_signal_locked", "gauge", "1 while the tuner reports a lock, else 0.");
  sample("velvetfin_signal_locked", "", f.locked ? "1" : "0");
  family("velvetfin_signal_level_ratio", "gauge", "Signal level as the driver reports it, 0 to 1.");
  sample("velvetfin_signal_level_ratio", "", Number(double(f.level) / 100.0));
  family("velvetfin_signal_quality_ratio", "gauge", "Signal quality as the driver reports it, 0 to 1.");
  sample("velvetfin_signal_quality_ratio", "", Number(double(f.quality) / 100.0));
  if (f.extended) {
    family("velvetfin_signal_snr_decibels", "gauge", "Signal-to-noise ratio in dB.");
    sample("velvetfin_signal_snr_decibels", "", Number(f.snr));
    family("velvetfin_signal_bit_error_ratio", "gauge", "Bit error ratio before error correction.");
    sample("velvetfin_signal_bit_error_ratio", "", Number(f.ber));
    family("velvetfin_signal_rf_level_dbm", "gauge", "RF input level in dBm.");
    sample("velvetfin_signal_rf_level_dbm", "", Printf("%ld", f.rfLevel));
  }
  family("velvetfin_status_icon", "gauge", "The status icon shown (its resource number).");
  sample("velvetfin_status_icon", "", Printf("%d", f.icon));
  family("velvetfin_filter_receive_rate_bytes_per_second", "gauge",
         "IP bytes per second each reception filter delivered over the last tick.");
  for (int k = 0; k < kFigureFilters; ++k)
    sample("velvetfin_filter_receive_rate_bytes_per_second", Printf(",filter=\"%s\"", kFilterNames[k]),
           Number(f.filterBytesPerSecond[k]));
  family("velvetfin_filter_receive_bytes_total", "counter", "IP bytes each reception filter delivered.");
  for (int k = 0; k < kFigureFilters; ++k)
    sample("velvetfin_filter_receive_bytes_total", Printf(",filter=\"%s\"", kFilterNames[k]),
           Unsigned(f.filterBytes[k]));
  const struct {
    const char* name;
    const char* help;
    uint64_t value;
  } counters[] = {
      {"velvetfin_adapter_packets_written_total", "Packets written to the virtual adapter.", f.packetsWritten},
      {"velvetfin_adapter_bytes_written_total", "Bytes written to the virtual adapter.", f.bytesWritten},
      {"velvetfin_adapter_write_failures_total", "Packets the virtual adapter refused.", f.packetsFailed},
      {"velvetfin_transport_stream_bytes_total", "Transport-stream payload bytes taken in.", f.tsBytes},
      {"velvetfin_crc_errors_total", "Datagram sections dropped for a CRC-32 mismatch.", f.crcErrors},
      {"velvetfin_continuity_errors_total", "Continuity-counter discontinuities on the MPE PIDs.",
       f.continuityErrors},
      {"velvetfin_retunes_total", "Retunes after the lock was lost.", f.retunes},
  };
  for (const auto& c : counters) {
    family(c.name, "counter", c.help);
    sample(c.name, "", Unsigned(c.value));
  }
  return t;
}

bool WriteFileAtomically(const std::string& path, const std::string& text, std::string* error) {
  namespace fs = std::filesystem;
  // Hidden, in the same folder (a rename does not cross file systems), and unique per
  // writer so two never share a temporary file.
  static std::mt19937_64 random{std::random_device{}()};
  const fs::path target(path);
  fs::path temp = target.parent_path() / Printf(".%s.%016llx.tmp", target.filename().string().c_str(),
                                                    static_cast<unsigned long long>(random()));
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out << text;
    out.flush();
    if (!out) {
      *error = "cannot write " + temp.string();
      out.close();
      std::error_code ec;
      fs::remove(temp, ec);
      return false;
    }
  }
  std::error_code ec;
  fs::rename(temp, target, ec);
  if (ec) {
    *error = "cannot replace " + path + ": " + ec.message();
    fs::remove(temp, ec);
    return false;
  }
  return true;
}

CFiguresPublisher::CFiguresPublisher(unsigned instance) {
  std::string error;
  m_block = CreateSharedMemoryBlock(FiguresBlockName(instance), kFiguresBlockSize, &error);
}

CFiguresPublisher::~CFiguresPublisher() = default;

void CFiguresPublisher::Publish(const RECEIVER_FIGURES& figures) {
  if (!m_block) return;
  const std::string text = FormatFiguresText(figures);
  unsigned char* data = m_block->Data();
  const size_t n = std::min(text.size(), m_block->Size() - 1);
  std::memcpy(data, text.data(), n);
  std::memset(data + n, 0, m_block->Size() - n);
}

bool ReadFiguresBlock(unsigned instance, RECEIVER_FIGURES* figures) {
  std::string error;
  std::unique_ptr<CSharedMemoryBlock> block = OpenSharedMemoryBlock(FiguresBlockName(instance), kFiguresBlockSize,
                                                                    &error);
  if (!block) return false;
  // The writer does not wait for readers: two equal copies are one whole text.
  std::vector<unsigned char> a(block->Size()), b(block->Size());
  for (int attempt = 0; attempt < 5; ++attempt) {
    std::memcpy(a.data(), block->Data(), a.size());
    std::memcpy(b.data(), block->Data(), b.size());
    if (a == b && ParseFiguresText(a.data(), a.size(), figures)) return true;
  }
  return false;
}
