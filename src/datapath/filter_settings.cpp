#include "datapath/filter_settings.h"

#include <cstdio>
#include <cstring>

#include "log/log.h"

namespace {
std::string PidText(WORD pid) {
  char text[8];
  std::snprintf(text, sizeof(text), "%u", unsigned(pid));
  return text;
}

void LogEntry(const char* name, const FilterEntry& e) {
  LogMessage("%s PID=%i, MAC: %02X:%02X:%02X:%02X:%02X:%02X, MASK: %02X:%02X:%02X:%02X:%02X:%02X", name,
             int(e.pid), e.mac[0], e.mac[1], e.mac[2], e.mac[3], e.mac[4], e.mac[5], e.mask[0], e.mask[1],
             e.mask[2], e.mask[3], e.mask[4], e.mask[5]);
}

bool Enabled(WORD pid) { return pid >= 1 && pid <= 8192; }
}  // namespace

const char* FilterName(int filter) {
  static const char* const kNames[kFilterCount] = {"Unicast", "Broadcast", "Multicast"};
  return filter >= 0 && filter < kFilterCount ? kNames[filter] : "";
}

FILTER_VALIDATION ParseFilterTexts(const FILTER_TEXTS& texts, FILTER_SETTINGS& out) {
  FILTER_VALIDATION v;
  out.texts = texts;
  if (!ParseMacText(texts.macText, out.mac)) {
    v.error = FilterTextError::kMac;
    return v;
  }
  out.texts.macText = FormatMacText(out.mac);
  if (!ParseIpText(texts.ipText, out.ip)) {
    v.error = FilterTextError::kIp;
    return v;
  }
  out.texts.ipText = FormatIpText(out.ip);
  const std::string* pidTexts[kFilterCount] = {&texts.ucPidText, &texts.bcPidText, &texts.mcPidText};
  for (int k = 0; k < kFilterCount; ++k) {
    if (!ParsePidText(*pidTexts[k], out.pid[k])) {
      v.error = FilterTextError::kPid;
      v.filter = k;
      v.pidValue = out.pid[k];
      return v;
    }
  }
  out.texts.ucPidText = PidText(out.pid[kUnicastFilter]);
  out.texts.bcPidText = PidText(out.pid[kBroadcastFilter]);
  out.texts.mcPidText = PidText(out.pid[kMulticastFilter]);
  out.useIpFilter = texts.useIpFilter;
  return v;
}

std::vector<FILTER_ROW> SetFilterEntries(FilterTable& table, const FILTER_SETTINGS& s) {
  std::vector<FILTER_ROW> rows;
  FilterEntry& uc = table.entry[kUnicastFilter];
  if (Enabled(s.pid[kUnicastFilter])) {
    std::memcpy(uc.mac, s.mac.value, 6);
    std::memcpy(uc.mask, s.mac.mask, 6);
    uc.pid = s.pid[kUnicastFilter];
    uint32_t ip = 0;
    if (s.useIpFilter) std::memcpy(&ip, s.ip, 4);
    uc.ip = ip;
    rows.push_back({s.texts.ucPidText, "UC", s.texts.macText, s.texts.ipText});
    LogEntry("Unicast", uc);
  } else {
    uc.pid = kPidOff;
  }
  FilterEntry& bc = table.entry[kBroadcastFilter];
  if (Enabled(s.pid[kBroadcastFilter])) {
    bc.pid = s.pid[kBroadcastFilter];
    bc.ip = 0;
    rows.push_back({s.texts.bcPidText, "BC", "FF:FF:FF:FF:FF:FF", "255.255.255.255"});
    LogEntry("Broadcast", bc);
  } else {
    bc.pid = kPidOff;
  }
  FilterEntry& mc = table.entry[kMulticastFilter];
  if (Enabled(s.pid[kMulticastFilter])) {
    mc.pid = s.pid[kMulticastFilter];
    mc.ip = 0;
    rows.push_back({s.texts.mcPidText, "MC", "01:00:5E:??:??:??", "224.???.???.???"});
    LogEntry("Multicast", mc);
  } else {
    mc.pid = kPidOff;
  }
  return rows;
}
