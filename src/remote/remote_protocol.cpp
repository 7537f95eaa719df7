#include "remote/remote_protocol.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Decimal digits only, at most ten of them, into a 64-bit value.
bool ParseDigits(std::string_view text, unsigned long long* value) {
  if (text.empty() || text.size() > 10) return false;
  unsigned long long v = 0;
  for (char c : text) {
    if (!IsDigit(c)) return false;
    v = v * 10 + unsigned(c - '0');
  }
  *value = v;
  return true;
}

std::vector<std::string_view> SplitSpaces(std::string_view line) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (;;) {
    size_t space = line.find(' ', start);
    parts.push_back(line.substr(start, space == std::string_view::npos ? std::string_view::npos : space - start));
    if (space == std::string_view::npos || parts.size() > 3) return parts;
    start = space + 1;
  }
}

}  // namespace

bool ParseRemoteRequest(std::string_view line, REMOTE_REQUEST* request, std::string* error) {
  auto fail = [error](const char* why) {
    *error = why;
    return false;
  };
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (line.size() + 1 > kRemoteLineMax) return fail("request too long");
  std::vector<std::string_view> parts = SplitSpaces(line);
  if (parts.size() != 3) return fail("malformed request: expected MESSAGE WPARAM LPARAM");
  std::string_view name = parts[0];
  if (name.empty() || name.size() > kRemoteMessageNameMax) return fail("malformed message name");
  for (char c : name)
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || IsDigit(c) || c == '_' || c == '.' || c == '-'))
      return fail("malformed message name");
  unsigned long long w = 0, l = 0;
  if (!ParseDigits(parts[1], &w) || w > 0xFFFFFFFFull) return fail("malformed WPARAM");
  std::string_view value = parts[2];
  const bool negative = !value.empty() && value.front() == '-';
  if (negative) value.remove_prefix(1);
  if (!ParseDigits(value, &l) || (negative ? l > 0x80000000ull : l > 0xFFFFFFFFull)) return fail("malformed LPARAM");
  request->message.assign(name);
  request->wParam = uint32_t(w);
  request->lParam = negative ? uint32_t(0u - uint32_t(l)) : uint32_t(l);
  return true;
}

std::string FormatRemoteRequest(const REMOTE_REQUEST& request) {
  char numbers[32];
  std::snprintf(numbers, sizeof numbers, " %u %u\n", unsigned(request.wParam), unsigned(request.lParam));
  return request.message + numbers;
}

std::string FormatRemoteAnswer(const REMOTE_ANSWER& answer) {
  if (!answer.ok) return "ERR " + answer.error + "\n";
  return "OK " + std::to_string(answer.result) + "\n";
}

bool ParseRemoteAnswer(std::string_view line, REMOTE_ANSWER* answer) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (line.substr(0, 4) == "ERR ") {
    answer->ok = false;
    answer->error.assign(line.substr(4));
    return true;
  }
  if (line.substr(0, 3) != "OK ") return false;
  std::string_view number = line.substr(3);
  const bool negative = !number.empty() && number.front() == '-';
  if (negative) number.remove_prefix(1);
  if (number.empty() || number.size() > 18) return false;
  long long v = 0;
  for (char c : number) {
    if (!IsDigit(c)) return false;
    v = v * 10 + (c - '0');
  }
  answer->ok = true;
  answer->result = negative ? -v : v;
  return true;
}

bool CRemoteSession::Feed(const char* data, size_t size, std::string* out) {
  if (m_closed) return false;
  m_pending.append(data, size);
  size_t start = 0;
  for (size_t end; (end = m_pending.find('\n', start)) != std::string::npos; start = end + 1) {
    std::string_view line(m_pending.data() + start, end - start);
    REMOTE_ANSWER answer;
    REMOTE_REQUEST request;
    if (line.size() + 1 > kRemoteLineMax) {
      answer.error = "request too long";
      *out += FormatRemoteAnswer(answer);
      m_closed = true;
      return false;
    }
    if (!ParseRemoteRequest(line, &request, &answer.error)) {
      *out += FormatRemoteAnswer(answer);
      continue;
    }
    if (m_dispatch(request, &answer.result)) answer.ok = true;
    else answer.error = "unknown message " + request.message;
    *out += FormatRemoteAnswer(answer);
  }
  m_pending.erase(0, start);
  // A line that cannot end within the limit is refused before it grows any further.
  if (m_pending.size() >= kRemoteLineMax) {
    *out += FormatRemoteAnswer(REMOTE_ANSWER{false, 0, "request too long"});
    m_closed = true;
    return false;
  }
  return true;
}

std::string StatusBlockName(unsigned instance) {
  if (instance == 0) return "Grayheron//Tuner";
  char name[48];
  std::snprintf(name, sizeof name, "Grayheron%u//Tuner", instance);
  return name;
}

namespace {

// "-?digits", and when `decimals` > 0 a point and exactly that many digits.
bool IsNumber(std::string_view text, size_t decimals) {
  if (!text.empty() && text.front() == '-') text.remove_prefix(1);
  size_t point = text.find('.');
  std::string_view whole = text.substr(0, point);
  if (whole.empty() || whole.size() > 20) return false;
  for (char c : whole)
    if (!IsDigit(c)) return false;
  if (decimals == 0) return point == std::string_view::npos;
  if (point == std::string_view::npos || text.size() - point - 1 != decimals) return false;
  for (char c : text.substr(point + 1))
    if (!IsDigit(c)) return false;
  return true;
}

}  // namespace

STATUS_BLOCK_TEXT ParseStatusBlock(const unsigned char* block, size_t size) {
  STATUS_BLOCK_TEXT status;
  std::vector<std::string_view> lines;
  std::string_view text(reinterpret_cast<const char*>(block), size);
  for (size_t start = 0; lines.size() < 6;) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) break;
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  if (lines.size() < 3) return status;
  long* fields[3] = {&status.lock, &status.level, &status.quality};
  for (int i = 0; i < 3; ++i) {
    if (!IsNumber(lines[i], 0) || lines[i].size() > 11) return status;
    *fields[i] = std::strtol(std::string(lines[i]).c_str(), nullptr, 10);
  }
  status.valid = true;
  if (lines.size() == 6 && IsNumber(lines[3], 0) && lines[3].size() <= 11 && IsNumber(lines[4], 2) &&
      IsNumber(lines[5], 6)) {
    status.extended = true;
    status.rfLevel.assign(lines[3]);
    status.snr.assign(lines[4]);
    status.ber.assign(lines[5]);
  }
  return status;
}

std::string FormatStatusLines(const STATUS_BLOCK_TEXT& status) {
  std::string text = "lock " + std::to_string(status.lock) + "\nlevel " + std::to_string(status.level) +
                     "\nquality " + std::to_string(status.quality) + "\n";
  if (status.extended) text += "rf " + status.rfLevel + "\nsnr " + status.snr + "\nber " + status.ber + "\n";
  return text;
}
