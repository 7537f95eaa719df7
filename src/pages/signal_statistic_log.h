// The signal statistic log of the Status/Tuner page: one time-stamped line per
// tick, appended to a plain text file that is opened and closed for every line
// so the user can read, move or delete it while the program runs.
#pragma once
#include <string>

#include "platform/system.h"

constexpr char kStatisticFileName[] = "SignalStat.txt";
constexpr char kStatisticFilter[] = "Signal statistic log (*.txt)|*.txt|All Files (*.*)|*.*||";
constexpr size_t kStatisticRecordMax = 255;  // characters of the record text
constexpr size_t kStatisticFieldMax = 31;    // characters taken from each extended text

// The executable's directory followed by the file name; "C:\" when the module
// path is unknown or has no directory.
std::string DefaultStatisticPath(const std::string& modulePath);

// "dd.mm.yyyy hh:mm:ss  " then the record (cut to its limit) and CR LF.
std::string FormatStatisticLine(const LOCAL_TIME& time, const std::string& record);

// The record text; the extended texts are empty when the device has no extended data.
std::string StatisticRecord(int lock, int level, int quality, bool extended, const std::string& snr,
                            const std::string& ber, const std::string& rfLevel);

// Appends one line stamped with the local time; false when the file could not be
// opened (the line is lost, the next tick tries again).
bool AppendStatisticLine(const std::string& path, const std::string& record);
