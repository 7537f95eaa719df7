#include "pages/signal_statistic_log.h"

#include <cstdio>

#include "platform/text_util.h"

std::string DefaultStatisticPath(const std::string& modulePath) {
  size_t slash = modulePath.find_last_of("\\/");
  if (slash == std::string::npos) return std::string("C:\\") + kStatisticFileName;
  return modulePath.substr(0, slash + 1) + kStatisticFileName;
}

std::string FormatStatisticLine(const LOCAL_TIME& t, const std::string& record) {
  char stamp[96];
  // Fields out of range (a broken clock) still print; snprintf never overruns.
  std::snprintf(stamp, sizeof(stamp), "%02u.%02u.%04u %02u:%02u:%02u  ", unsigned(t.day), unsigned(t.month),
                unsigned(t.year), unsigned(t.hour), unsigned(t.minute), unsigned(t.second));
  std::string line = stamp;
  line += Utf8Truncate(record, kStatisticRecordMax);
  line += "\r\n";
  return line;
}

std::string StatisticRecord(int lock, int level, int quality, bool extended, const std::string& snr,
                            const std::string& ber, const std::string& rfLevel) {
  char buffer[kStatisticRecordMax + 1];
  if (!extended) {
    std::snprintf(buffer, sizeof(buffer), "Lock: %i, Level: %i, Quality: %i", lock, level, quality);
  } else {
    // A translated field text is cut on a character boundary, never inside one.
    const std::string s = Utf8Truncate(snr, kStatisticFieldMax), b = Utf8Truncate(ber, kStatisticFieldMax),
                      r = Utf8Truncate(rfLevel, kStatisticFieldMax);
    std::snprintf(buffer, sizeof(buffer), "Lock: %i, Level: %i, Quality: %i, %s, %s, %s", lock, level, quality,
                  s.c_str(), b.c_str(), r.c_str());
  }
  return buffer;
}

bool AppendStatisticLine(const std::string& path, const std::string& record) {
  if (path.empty()) return false;
  CSystemServices& system = SystemServices();
  const std::string line = FormatStatisticLine(system.GetLocalTime(), record);
  return system.AppendToFile(path, line.data(), line.size());
}
