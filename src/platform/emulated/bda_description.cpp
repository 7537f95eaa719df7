#include "platform/emulated/bda_description.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/bda_guids.h"
#include "platform/text_util.h"

namespace {

struct NAMED_GUID {
  const char* name;
  GUID guid;
};

const NAMED_GUID kNodes[] = {
    {"rf", kKsNodeBdaRfTuner},           {"qpsk", kKsNodeBdaQpskDemodulator},
    {"8psk", kKsNodeBda8pskDemodulator}, {"qam", kKsNodeBdaQamDemodulator},
    {"cofdm", kKsNodeBdaCofdmDemodulator}, {"8vsb", kKsNodeBda8vsbDemodulator},
    {"isdbt", kKsNodeBdaIsdbTDemodulator},
};

const NAMED_GUID kSets[] = {
    {"frequency", kKsPropSetBdaFrequencyFilter}, {"lnb", kKsPropSetBdaLnbInfo},
    {"signal", kKsPropSetBdaSignalStats},         {"diseqc", kKsPropSetBdaDiseqCommand},
    {"demodulator", kKsPropSetBdaDigitalDemodulator},
};

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

std::vector<std::string> SplitList(const std::string& s) {
  std::vector<std::string> items;
  std::stringstream in(s);
  std::string item;
  while (std::getline(in, item, ',')) {
    item = Trim(item);
    if (!item.empty()) items.push_back(item);
  }
  return items;
}

bool ParseLong(const std::string& text, LONG* value) {
  std::string t = Trim(text);
  if (t.empty()) return false;
  char* end = nullptr;
  long long v = std::strtoll(t.c_str(), &end, 0);
  if (*end || v < -2147483648LL || v > 4294967295LL) return false;
  *value = static_cast<LONG>(v);
  return true;
}

bool ParseDouble(const std::string& text, double* value) {
  std::string t = Trim(text);
  if (t.empty()) return false;
  char* end = nullptr;
  double v = std::strtod(t.c_str(), &end);
  if (*end || !(v >= 0)) return false;
  *value = v;
  return true;
}

bool ParseBool(const std::string& text, bool* value) {
  std::string t = LowerCase(Trim(text));
  if (t == "1" || t == "yes" || t == "true") *value = true;
  else if (t == "0" || t == "no" || t == "false") *value = false;
  else return false;
  return true;
}

std::vector<GUID> DefaultNodes(LONG deliveryType) {
  switch (deliveryType) {
    case 2: return {kKsNodeBdaRfTuner, kKsNodeBdaQamDemodulator};
    case 3: return {kKsNodeBdaRfTuner, kKsNodeBdaCofdmDemodulator};
    case 4: return {kKsNodeBdaRfTuner, kKsNodeBda8vsbDemodulator};
    case 5: return {kKsNodeBdaRfTuner, kKsNodeBdaIsdbTDemodulator};
    default: return {kKsNodeBdaRfTuner, kKsNodeBdaQpskDemodulator};
  }
}

void DefaultSets(EMULATED_DEVICE_DESC* d) {
  const DWORD both = KSPROPERTY_SUPPORT_GET | KSPROPERTY_SUPPORT_SET;
  d->inputSets = {{kKsPropSetBdaFrequencyFilter, both}, {kKsPropSetBdaSignalStats, KSPROPERTY_SUPPORT_GET}};
  if (d->deliveryType == 1) {
    d->inputSets.push_back({kKsPropSetBdaLnbInfo, both});
    d->inputSets.push_back({kKsPropSetBdaDiseqCommand, both});
  }
  d->outputSets = {{kKsPropSetBdaDigitalDemodulator, both}};
}

bool ParseSets(const std::string& text, std::vector<EMULATED_PROPERTY_SET>* sets) {
  sets->clear();
  for (const std::string& item : SplitList(text)) {
    // name or name:bits
    size_t from = item[0] == '{' ? item.find('}') : 0;
    size_t colon = from == std::string::npos ? std::string::npos : item.find(':', from);
    std::string name = item;
    LONG bits = KSPROPERTY_SUPPORT_GET | KSPROPERTY_SUPPORT_SET;
    if (colon != std::string::npos) {
      name = Trim(item.substr(0, colon));
      if (!ParseLong(item.substr(colon + 1), &bits)) return false;
    }
    GUID set;
    if (!ParsePropertySetName(name, &set)) return false;
    sets->push_back({set, static_cast<DWORD>(bits)});
  }
  return true;
}

bool ParseDelivery(const std::string& text, LONG* type) {
  static const char* const kNames[] = {"", "satellite", "cable", "terrestrial", "atsc", "isdb"};
  std::string t = LowerCase(Trim(text));
  for (LONG i = 1; i <= 5; ++i)
    if (t == kNames[i]) {
      *type = i;
      return true;
    }
  return ParseLong(t, type) && *type >= 1 && *type <= 5;
}

bool ParseMac(const std::string& text, BYTE mac[6]) {
  unsigned v[6];
  char tail;
  std::string t = Trim(text);
  for (char& c : t)
    if (c == '-') c = ':';
  if (std::sscanf(t.c_str(), "%x:%x:%x:%x:%x:%x%c", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &tail) != 6)
    return false;
  for (int i = 0; i < 6; ++i) {
    if (v[i] > 255) return false;
    mac[i] = static_cast<BYTE>(v[i]);
  }
  return true;
}

// Applies one key; false for an unknown key or a bad value.
bool ApplyKey(EMULATED_DEVICE_DESC* d, const std::string& key, const std::string& value, const std::string& baseDir,
              bool* setsGiven, bool* nodesGiven) {
  std::string k = LowerCase(key);
  LONG n = 0;
  if (k == "friendlyname") d->friendlyName = value;
  else if (k == "namereadable") return ParseBool(value, &d->nameReadable);
  else if (k == "devicepath") d->devicePath = value;
  else if (k == "delivery") return ParseDelivery(value, &d->deliveryType);
  else if (k == "nodes") {
    d->nodes.clear();
    for (const std::string& item : SplitList(value)) {
      GUID g;
      if (!ParseNodeName(item, &g)) return false;
      d->nodes.push_back(g);
    }
    *nodesGiven = true;
  } else if (k == "pintypes") {
    d->pinTypes.clear();
    for (const std::string& item : SplitList(value)) {
      if (!ParseLong(item, &n) || n < 0) return false;
      d->pinTypes.push_back(static_cast<ULONG>(n));
    }
  } else if (k == "medium") {
    if (!ParseLong(value, &n)) return false;
    d->medium = static_cast<ULONG>(n);
  } else if (k == "pinsondemand") return ParseBool(value, &d->pinsOnDemand);
  else if (k == "capture") d->captureName = value;
  else if (k == "captureistuner") return ParseBool(value, &d->captureIsTuner);
  else if (k == "inputsets") {
    setsGiven[0] = true;
    return ParseSets(value, &d->inputSets);
  } else if (k == "outputsets") {
    setsGiven[1] = true;
    return ParseSets(value, &d->outputSets);
  } else if (k == "filterpropertyset") return ParseBool(value, &d->filterPropertySet);
  else if (k == "videocapturepropertyset") return ParseBool(value, &d->videoCapturePropertySet);
  else if (k == "devicecontrol") return ParseBool(value, &d->deviceControl);
  else if (k == "lockfrequency") {
    // min-max in kHz, or one value for an exact frequency
    size_t dash = value.find('-', 1);
    LONG lo = 0, hi = 0;
    if (dash == std::string::npos) {
      if (!ParseLong(value, &lo)) return false;
      hi = lo;
    } else if (!ParseLong(value.substr(0, dash), &lo) || !ParseLong(value.substr(dash + 1), &hi) || hi < lo) {
      return false;
    }
    d->lockFrequencyMin = lo;
    d->lockFrequencyMax = hi;
  } else if (k == "locksymbolrate") return ParseLong(value, &d->lockSymbolRate);
  else if (k == "lockpolarisation") return ParseLong(value, &d->lockPolarisation);
  else if (k == "lockmodulation") return ParseLong(value, &d->lockModulation);
  else if (k == "signalstrength") return ParseLong(value, &d->signalStrength);
  else if (k == "signalquality") return ParseLong(value, &d->signalQuality);
  else if (k == "stream") {
    std::string v = Trim(value);
    if (LowerCase(v) == "generated") d->stream = EMULATED_STREAM_KIND::Generated;
    else if (LowerCase(v) == "clean") d->stream = EMULATED_STREAM_KIND::Clean;
    else if (LowerCase(v) == "none") d->stream = EMULATED_STREAM_KIND::None;
    else if (LowerCase(v.substr(0, 5)) == "file:") {
      d->stream = EMULATED_STREAM_KIND::File;
      std::string path = Trim(v.substr(5));
      if (path.empty()) return false;
      bool absolute = path[0] == '/' || path[0] == '\\' || (path.size() > 1 && path[1] == ':');
      d->streamFile = absolute || baseDir.empty() ? path : baseDir + "/" + path;
    } else {
      return false;
    }
  } else if (k == "streamrate") {
    // 0, or at least a bit per second: the streaming thread turns bytes / rate into a
    // deadline in microseconds, which must stay a finite integer.
    double rate = 0;
    if (!ParseDouble(value, &rate) || !std::isfinite(rate) || (rate > 0 && rate < 1)) return false;
    d->streamBitsPerSecond = rate;
  }
  else if (k == "streamloop") return ParseBool(value, &d->streamLoop);
  else if (k == "samplesize") {
    if (!ParseLong(value, &n) || n < 188 || n > 188 * 4096) return false;
    d->sampleSize = static_cast<DWORD>(n);
  } else if (k == "prerollsamples") return ParseLong(value, &n) && n >= 0 && (d->prerollSamples = n, true);
  else if (k == "discontinuityevery")
    return ParseLong(value, &n) && n >= 0 && (d->discontinuityEvery = n, true);
  else if (k == "family") d->family = LowerCase(Trim(value));
  else if (k == "mac") return ParseMac(value, d->mac);
  else if (k == "usbhighspeed") return ParseBool(value, &d->usbHighSpeed);
  else return false;
  return true;
}

}  // namespace

bool ParseNodeName(const std::string& name, GUID* function) {
  std::string n = LowerCase(Trim(name));
  for (const NAMED_GUID& entry : kNodes)
    if (n == entry.name) {
      *function = entry.guid;
      return true;
    }
  return ParseGuid(n.c_str(), function);
}

bool ParsePropertySetName(const std::string& name, GUID* set) {
  std::string n = LowerCase(Trim(name));
  for (const NAMED_GUID& entry : kSets)
    if (n == entry.name) {
      *set = entry.guid;
      return true;
    }
  return ParseGuid(n.c_str(), set);
}

const char* PropertySetName(const GUID& set) {
  for (const NAMED_GUID& entry : kSets)
    if (entry.guid == set) return entry.name;
  return nullptr;
}

EMULATED_DESCRIPTION DefaultEmulatedDescription() {
  EMULATED_DEVICE_DESC d;
  d.section = "Device";
  d.friendlyName = "Velvetfin Emulated DVB-S2 Tuner";
  d.devicePath = "@device:pnp:\\\\?\\emulated#dvbs2#0#{71985f48-1ca1-11d3-9cc8-00c04f7971e0}\\tuner";
  d.deliveryType = 1;
  d.nodes = DefaultNodes(1);
  DefaultSets(&d);
  // The default profile: 11263 MHz, 33000 kS/s, horizontal.
  d.lockFrequencyMin = 11263000 - 3000;
  d.lockFrequencyMax = 11263000 + 3000;
  d.lockSymbolRate = 33000;
  d.lockPolarisation = 1;
  EMULATED_DESCRIPTION description;
  description.devices.push_back(d);
  return description;
}

bool ParseEmulatedDescription(const std::string& text, const std::string& baseDir, EMULATED_DESCRIPTION* out,
                              std::string* error) {
  EMULATED_DESCRIPTION result;
  std::stringstream in(text);
  std::string line;
  int lineNumber = 0;
  EMULATED_DEVICE_DESC* current = nullptr;
  bool setsGiven[2] = {false, false};
  bool nodesGiven = false;
  bool inAdapter = false;  // [Adapter] describes the virtual adapter, read by the front ends
  auto finish = [&]() {
    if (!current) return;
    if (!nodesGiven) current->nodes = DefaultNodes(current->deliveryType);
    if (!setsGiven[0] || !setsGiven[1]) {
      EMULATED_DEVICE_DESC defaults = *current;
      DefaultSets(&defaults);
      if (!setsGiven[0]) current->inputSets = defaults.inputSets;
      if (!setsGiven[1]) current->outputSets = defaults.outputSets;
    }
    if (current->friendlyName.empty()) current->friendlyName = current->section;
    if (current->devicePath.empty())
      current->devicePath = "@device:pnp:\\\\?\\emulated#" + LowerCase(current->section) + "#tuner";
  };
  while (std::getline(in, line)) {
    ++lineNumber;
    std::string t = Trim(line);
    if (t.empty() || t[0] == ';' || t[0] == '#') continue;
    if (t.front() == '[') {
      if (t.back() != ']') {
        if (error) *error = "line " + std::to_string(lineNumber) + ": unterminated section name";
        return false;
      }
      finish();
      std::string section = Trim(t.substr(1, t.size() - 2));
      inAdapter = LowerCase(section) == "adapter";
      if (inAdapter) {
        current = nullptr;
        continue;
      }
      result.devices.emplace_back();
      current = &result.devices.back();
      current->section = section;
      setsGiven[0] = setsGiven[1] = false;
      nodesGiven = false;
      continue;
    }
    size_t eq = t.find('=');
    if (inAdapter && eq != std::string::npos) continue;
    if (eq == std::string::npos || !current) {
      if (error) *error = "line " + std::to_string(lineNumber) + ": expected key=value inside a [device] section";
      return false;
    }
    std::string key = Trim(t.substr(0, eq)), value = Trim(t.substr(eq + 1));
    if (!ApplyKey(current, key, value, baseDir, setsGiven, &nodesGiven)) {
      if (error) *error = "line " + std::to_string(lineNumber) + ": [" + current->section + "] bad " + key + "=" + value;
      return false;
    }
  }
  finish();
  if (result.devices.empty()) {
    if (error) *error = "no device section";
    return false;
  }
  *out = std::move(result);
  return true;
}

bool LoadEmulatedDescription(const std::string& path, EMULATED_DESCRIPTION* out, std::string* error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    if (error) *error = "cannot open " + path;
    return false;
  }
  std::stringstream content;
  content << file.rdbuf();
  std::string baseDir;
  size_t slash = path.find_last_of("/\\");
  if (slash != std::string::npos) baseDir = path.substr(0, slash);
  std::string parseError;
  if (!ParseEmulatedDescription(content.str(), baseDir, out, &parseError)) {
    if (error) *error = path + ": " + parseError;
    return false;
  }
  return true;
}
