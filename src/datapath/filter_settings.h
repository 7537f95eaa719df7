// Filter texts of a profile turned into the filter table: validation in the order
// the page reports errors, and the rebuild of the three entries with list rows and log lines.
#pragma once
#include <string>
#include <vector>

#include "datapath/filter_table.h"
#include "datapath/filter_text.h"

struct FILTER_TEXTS {
  std::string macText = "00:00:00:00:00:00";
  std::string ipText = "192.168.238.238";
  std::string ucPidText = "0";
  std::string bcPidText = "0";
  std::string mcPidText = "8192";
  bool useIpFilter = false;
  // Off by default: IPv6/LLC-SNAP in MPE, and the ULE PIDs ("0": none).
  bool ipv6 = false;
  std::string ulePidText = "0";
};

struct FILTER_SETTINGS {
  MAC_FILTER mac{};
  BYTE ip[4] = {};
  bool useIpFilter = false;
  WORD pid[kFilterCount] = {};
  bool ipv6 = false;
  WORD ulePid[kMaxUlePids] = {};
  int ulePidCount = 0;
  FILTER_TEXTS texts;  // normal forms: MAC rewritten, IP rewritten, PIDs as "%u"
};

enum class FilterTextError { kNone, kMac, kIp, kPid, kUlePid };

struct FILTER_VALIDATION {
  FilterTextError error = FilterTextError::kNone;
  int filter = 0;        // with kPid: 0 unicast, 1 broadcast, 2 multicast
  WORD pidValue = 0;     // with kPid and kUlePid: the value kept in 16 bits
};

// "Unicast", "Broadcast", "Multicast".
const char* FilterName(int filter);

// Parses and normalises the texts; on failure out is left partly filled and must not be used.
FILTER_VALIDATION ParseFilterTexts(const FILTER_TEXTS& texts, FILTER_SETTINGS& out);

// One row of the page's filter list.
struct FILTER_ROW {
  std::string pid, set, mac, ip;
};

// What a rebuild of the table produced: the list rows in order and one log line per
// enabled filter (without time stamp).
struct FILTER_ENTRIES {
  std::vector<FILTER_ROW> rows;
  std::vector<std::string> logLines;
};

// Sets the three entries from validated settings. Rewrites the table: call it under
// the callback lock, and write the log lines once the lock is released.
FILTER_ENTRIES SetFilterEntries(FilterTable& table, const FILTER_SETTINGS& settings);
// Writes the lines to the log, one time-stamped line each.
void LogFilterEntries(const FILTER_ENTRIES& entries);
