#include "datapath/filter_settings.h"

#include <cstdio>
#include <cstring>

#include "log/log.h"
#include "platform/text_util.h"

namespace {
std::string PidText(WORD pid) {
  char text[8];
  std::snprintf(text, sizeof(text), "%u", unsigned(pid));
  return text;
}

std::string EntryLine(const char* name, const FilterEntry& e) {
  return std::string(name) + " PID=" + std::to_string(int(e.pid)) + ", MAC: " + FormatMacAddress(e.mac) +
         ", MASK: " + FormatMacAddress(e.mask);
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
  if (!ParseUlePidText(texts.ulePidText, out.ulePid, kMaxUlePids, out.ulePidCount, v.pidValue)) {
    v.error = FilterTextError::kUlePid;
    return v;
  }
  out.texts.ulePidText = FormatUlePidText(out.ulePid, out.ulePidCount);
  out.ipv6 = texts.ipv6;
  return v;
}

FILTER_ENTRIES SetFilterEntries(FilterTable& table, const FILTER_SETTINGS& s) {
  FILTER_ENTRIES result;
  table.ipv6 = s.ipv6;
  table.ulePidCount = s.ulePidCount;
  for (int i = 0; i < kMaxUlePids; ++i) table.ulePid[i] = i < s.ulePidCount ? s.ulePid[i] : 0;
  std::vector<FILTER_ROW>& rows = result.rows;
  FilterEntry& uc = table.entry[kUnicastFilter];
  if (Enabled(s.pid[kUnicastFilter])) {
    std::memcpy(uc.mac, s.mac.value, 6);
    std::memcpy(uc.mask, s.mac.mask, 6);
    uc.pid = s.pid[kUnicastFilter];
    uint32_t ip = 0;
    if (s.useIpFilter) std::memcpy(&ip, s.ip, 4);
    uc.ip = ip;
    rows.push_back({s.texts.ucPidText, "UC", s.texts.macText, s.texts.ipText});
    result.logLines.push_back(EntryLine("Unicast", uc));
  } else {
    uc.pid = kPidOff;
  }
  FilterEntry& bc = table.entry[kBroadcastFilter];
  if (Enabled(s.pid[kBroadcastFilter])) {
    bc.pid = s.pid[kBroadcastFilter];
    bc.ip = 0;
    rows.push_back({s.texts.bcPidText, "BC", "FF:FF:FF:FF:FF:FF", "255.255.255.255"});
    result.logLines.push_back(EntryLine("Broadcast", bc));
  } else {
    bc.pid = kPidOff;
  }
  FilterEntry& mc = table.entry[kMulticastFilter];
  if (Enabled(s.pid[kMulticastFilter])) {
    mc.pid = s.pid[kMulticastFilter];
    mc.ip = 0;
    rows.push_back({s.texts.mcPidText, "MC", "01:00:5E:??:??:??", "224.???.???.???"});
    result.logLines.push_back(EntryLine("Multicast", mc));
  } else {
    mc.pid = kPidOff;
  }
  if (s.ipv6) result.logLines.push_back("IPv6 and LLC/SNAP in MPE on");
  for (int i = 0; i < s.ulePidCount; ++i) result.logLines.push_back("ULE PID=" + std::to_string(s.ulePid[i]));
  return result;
}

void LogFilterEntries(const FILTER_ENTRIES& entries) {
  for (const std::string& line : entries.logLines) LogMessage("%s", line.c_str());
}
