#include "platform/portable/pcap_writer.h"

#include <cerrno>
#include <chrono>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

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

// Room for the largest record twice: a busy stream costs few system calls, and no
// record ever has to be split across writes.
constexpr size_t kBufferBytes = 2 * (16 + kPcapSnapLength);

bool CutBack(std::FILE* f, uint64_t length) {
#ifdef _WIN32
  return _chsize_s(_fileno(f), static_cast<__int64>(length)) == 0 &&
         _fseeki64(f, static_cast<__int64>(length), SEEK_SET) == 0;
#else
  return ftruncate(fileno(f), static_cast<off_t>(length)) == 0 &&
         fseeko(f, static_cast<off_t>(length), SEEK_SET) == 0;
#endif
}
}  // namespace

bool CPcapWriter::Open(const std::string& path, std::string& error, uint32_t linkType) {
  Close();
  m_file = std::fopen(path.c_str(), "wb");
  if (!m_file) {
    error = "Can't create " + path + ": " + std::strerror(errno);
    return false;
  }
  // Our own buffer holds whole records; the stream passes each write straight on.
  std::setvbuf(m_file, nullptr, _IONBF, 0);
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
  m_buffer.clear();
  m_buffer.reserve(kBufferBytes);
  m_bufferedRecords = 0;
  m_committed = sizeof header;
  m_records = 0;
  m_dropped = 0;
  m_lostAny = false;
  m_broken = false;
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
  if (m_buffer.size() + 16 + kept > kBufferBytes && !WriteBuffer()) {
    m_lostAny = true;
    return false;
  }
  if (m_broken) {
    m_lostAny = true;
    return false;
  }
  BYTE header[16];
  Put32(header, seconds);
  Put32(header + 4, microseconds);
  Put32(header + 8, kept);
  Put32(header + 12, length);
  m_buffer.insert(m_buffer.end(), header, header + sizeof header);
  if (kept) m_buffer.insert(m_buffer.end(), data, data + kept);
  ++m_bufferedRecords;
  ++m_records;
  return true;
}

bool CPcapWriter::WriteBuffer() {
  if (m_buffer.empty()) return !m_broken;
  size_t done = m_broken ? 0 : std::fwrite(m_buffer.data(), 1, m_buffer.size(), m_file);
  if (done == m_buffer.size()) {
    m_committed += m_buffer.size();
    m_buffer.clear();
    m_bufferedRecords = 0;
    return true;
  }
  // A full disk or a vanished reader: these records are lost, and a record cut in the
  // middle would make every later one unreadable. A file is cut back to its last whole
  // record and may be appended to again; what cannot be cut back (a pipe) takes no more.
  m_dropped += m_bufferedRecords;
  m_records -= m_bufferedRecords;
  m_lostAny = true;
  m_buffer.clear();
  m_bufferedRecords = 0;
  std::clearerr(m_file);
  if (!m_broken && !CutBack(m_file, m_committed)) m_broken = true;
  return false;
}

bool CPcapWriter::Flush() {
  if (!m_file) return true;
  return WriteBuffer();
}

bool CPcapWriter::Close() {
  if (!m_file) return true;
  WriteBuffer();
  bool ok = !m_lostAny;
  if (std::fclose(m_file) != 0) ok = false;
  m_file = nullptr;
  return ok;
}
