#include "platform/emulated/pcap_writer.h"

#include <cerrno>
#include <chrono>
#include <cstring>

namespace {
// pcap files are read in the writer's byte order; write little-endian explicitly
// so the file is the same from every build.
void Put32(BYTE* p, uint32_t v) {
  p[0] = static_cast<BYTE>(v);
  p[1] = static_cast<BYTE>(v >> 8);
  p[2] = static_cast<BYTE>(v >> 16);
  p[3] = static_cast<BYTE>(v >> 24);
}
void Put16(BYTE* p, uint16_t v) {
  p[0] = static_cast<BYTE>(v);
  p[1] = static_cast<BYTE>(v >> 8);
}
}  // namespace

bool CPcapWriter::Open(const std::string& path, std::string& error, uint32_t linkType) {
  Close();
  m_file = std::fopen(path.c_str(), "wb");
  if (!m_file) {
    error = "Can't create " + path + ": " + std::strerror(errno);
    return false;
  }
  // Whole records are buffered so a busy stream costs few system calls.
  std::setvbuf(m_file, nullptr, _IOFBF, 1 << 16);
  BYTE header[24];
  Put32(header, 0xA1B2C3D4u);
  Put16(header + 4, 2);
  Put16(header + 6, 4);
  Put32(header + 8, 0);   // time zone
  Put32(header + 12, 0);  // accuracy
  Put32(header + 16, kPcapSnapLength);
  Put32(header + 20, linkType);
  if (std::fwrite(header, 1, sizeof header, m_file) != sizeof header || std::fflush(m_file) != 0) {
    error = "Can't write " + path + ": " + std::strerror(errno);
    std::fclose(m_file);
    m_file = nullptr;
    return false;
  }
  m_records = 0;
  m_failed = false;
  return true;
}

bool CPcapWriter::Write(const BYTE* data, DWORD length) {
  auto now = std::chrono::system_clock::now().time_since_epoch();
  auto us = std::chrono::duration_cast<std::chrono::microseconds>(now).count();
  return Write(data, length, static_cast<uint32_t>(us / 1000000), static_cast<uint32_t>(us % 1000000));
}

bool CPcapWriter::Write(const BYTE* data, DWORD length, uint32_t seconds, uint32_t microseconds) {
  if (!m_file || (!data && length)) return false;
  DWORD kept = length > kPcapSnapLength ? kPcapSnapLength : length;
  BYTE header[16];
  Put32(header, seconds);
  Put32(header + 4, microseconds);
  Put32(header + 8, kept);
  Put32(header + 12, length);
  if (std::fwrite(header, 1, sizeof header, m_file) != sizeof header ||
      (kept && std::fwrite(data, 1, kept, m_file) != kept)) {
    m_failed = true;
    return false;
  }
  ++m_records;
  return true;
}

bool CPcapWriter::Close() {
  if (!m_file) return true;
  bool ok = !m_failed;
  if (std::fclose(m_file) != 0) ok = false;
  m_file = nullptr;
  return ok;
}
