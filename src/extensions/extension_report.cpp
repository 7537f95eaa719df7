#include "extensions/extension_report.h"

#include <cctype>
#include <cstdlib>

#include "platform/text_util.h"

namespace {
bool ParseNumber(const std::string& text, LONG* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  long long v = std::strtoll(text.c_str(), &end, 0);
  if (*end != '\0' || v < -2147483648LL || v > 4294967295LL) return false;
  *value = static_cast<LONG>(v);
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string Hex(const std::vector<BYTE>& bytes) {
  std::string s;
  char b[4];
  for (BYTE c : bytes) {
    std::snprintf(b, sizeof(b), "%02X", c);
    s += b;
  }
  return s;
}

void PrintResult(FILE* out, const char* operation, const std::string& argument, HRESULT hr) {
  std::fprintf(out, "%s %s -> 0x%08X\n", operation, argument.c_str(), static_cast<unsigned>(hr));
}
}  // namespace

std::string CapabilityNames(DWORD caps) {
  std::string text;
  for (DWORD bit = 1; bit <= CAP_MODCODE; bit <<= 1) {
    if (!(caps & bit)) continue;
    if (!text.empty()) text += "|";
    text += CapabilityName(bit);
  }
  return text.empty() ? "none" : text;
}

std::string MacText(const BYTE* mac) { return FormatMacAddress(mac, '-'); }

void PrintExtensionSummary(CExtension& extension, FILE* out) {
  DWORD caps = extension.GetCaps();
  std::fprintf(out, "extension: %s (%d)\n", extension.DisplayName(), extension.ExtensionType());
  std::fprintf(out, "capabilities: 0x%03X %s\n", static_cast<unsigned>(caps), CapabilityNames(caps).c_str());
  PrintExtensionDetails(extension, out);
}

void PrintExtensionDetails(CExtension& extension, FILE* out) {
  DWORD caps = extension.GetCaps();
  if (caps & CAP_MAC) {
    BYTE mac[6] = {};
    HRESULT hr = extension.GetHardwareMac(mac);
    if (SUCCEEDED(hr)) {
      std::fprintf(out, "hardware MAC: %s\n", MacText(mac).c_str());
    } else {
      std::fprintf(out, "hardware MAC: failed 0x%08X\n", static_cast<unsigned>(hr));
    }
  }
  if (caps & CAP_SIGNAL_EX) {
    LONG level = 0;
    double snr = 0, ber = 0;
    HRESULT hr = extension.GetSignalEx(&level, &snr, &ber);
    if (SUCCEEDED(hr)) {
      std::fprintf(out, "signal: RF level %d dBm, SNR %.1f dB, BER %.2e\n", static_cast<int>(level), snr, ber);
    } else {
      std::fprintf(out, "signal: failed 0x%08X\n", static_cast<unsigned>(hr));
    }
  }
}

bool IsExtensionOption(const std::string& option) {
  return option == "--diseqc" || option == "--tone-burst" || option == "--lnb-power" || option == "--position" ||
         option == "--stream-id" || option == "--pls" || option == "--modcode";
}

bool ParseExtensionOption(const std::string& option, const std::string& value, EXTENSION_COMMAND* command,
                          std::string* error) {
  EXTENSION_COMMAND c;
  auto fail = [&](const char* why) {
    if (error) *error = option + " " + value + ": " + why;
    return false;
  };
  if (option == "--diseqc") {
    c.kind = EXTENSION_COMMAND::DISEQC;
    int high = -1;
    for (char ch : value) {
      if (ch == ' ' || ch == ':' || ch == '-') continue;
      int d = HexDigit(ch);
      if (d < 0) return fail("not a hex byte string");
      if (high < 0) {
        high = d;
      } else {
        c.message.push_back(static_cast<BYTE>(high << 4 | d));
        high = -1;
      }
    }
    if (high >= 0 || c.message.empty()) return fail("needs whole bytes");
  } else if (option == "--tone-burst") {
    c.kind = EXTENSION_COMMAND::TONE_BURST;
    if (value == "A" || value == "a") {
      c.first = TONEBURST_A;
    } else if (value == "B" || value == "b") {
      c.first = TONEBURST_B;
    } else {
      return fail("expects A or B");
    }
  } else if (option == "--lnb-power") {
    c.kind = EXTENSION_COMMAND::LNB_POWER;
    if (value != "0" && value != "1") return fail("expects 0 or 1");
    c.first = value == "1";
  } else if (option == "--position") {
    c.kind = EXTENSION_COMMAND::POSITION;
    if (!ParseNumber(value, &c.first)) return fail("expects a number");
  } else if (option == "--stream-id") {
    c.kind = EXTENSION_COMMAND::STREAM_ID;
    if (!ParseNumber(value, &c.first)) return fail("expects a number");
  } else if (option == "--pls") {
    c.kind = EXTENSION_COMMAND::PLS;
    size_t comma = value.find(',');
    if (comma == std::string::npos || !ParseNumber(value.substr(0, comma), &c.first) ||
        !ParseNumber(value.substr(comma + 1), &c.second))
      return fail("expects MODE,CODE");
  } else if (option == "--modcode") {
    c.kind = EXTENSION_COMMAND::MODCODE;
    if (!ParseNumber(value, &c.first)) return fail("expects a number");
  } else {
    return fail("unknown option");
  }
  *command = c;
  return true;
}

HRESULT RunExtensionCommand(CExtension& extension, const EXTENSION_COMMAND& c, FILE* out) {
  HRESULT hr = E_INVALIDARG;
  switch (c.kind) {
    case EXTENSION_COMMAND::DISEQC:
      hr = extension.SendDiseqc(c.message.data(), static_cast<ULONG>(c.message.size()), 0, TONEBURST_NONE);
      PrintResult(out, "SendDiseqc", Hex(c.message), hr);
      break;
    case EXTENSION_COMMAND::TONE_BURST:
      hr = extension.SendDiseqc(nullptr, 0, 0, static_cast<BYTE>(c.first));
      PrintResult(out, "SendDiseqc", c.first == TONEBURST_A ? "burst A" : "burst B", hr);
      break;
    case EXTENSION_COMMAND::LNB_POWER:
      hr = extension.SetLnbPower(static_cast<ULONG>(c.first));
      PrintResult(out, "SetLnbPower", std::to_string(c.first), hr);
      break;
    case EXTENSION_COMMAND::POSITION:
      hr = extension.SetDiseqcPosition(static_cast<ULONG>(c.first), 0);
      PrintResult(out, "SetDiseqcPosition", std::to_string(c.first), hr);
      break;
    case EXTENSION_COMMAND::STREAM_ID:
      hr = extension.SetStreamId(c.first);
      PrintResult(out, "SetStreamId", std::to_string(c.first), hr);
      break;
    case EXTENSION_COMMAND::PLS:
      hr = extension.SetPls(static_cast<ULONG>(c.first), static_cast<ULONG>(c.second));
      PrintResult(out, "SetPls", std::to_string(c.first) + "," + std::to_string(c.second), hr);
      break;
    case EXTENSION_COMMAND::MODCODE:
      hr = extension.SetModcode(static_cast<ULONG>(c.first));
      PrintResult(out, "SetModcode", std::to_string(c.first), hr);
      break;
  }
  return hr;
}
