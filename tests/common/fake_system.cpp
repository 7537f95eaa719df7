#include "common/fake_system.h"

#include "platform/error_texts.h"

namespace {
thread_local DWORD t_lastError = 0;
}

CFakeSystem::CFakeSystem() { m_previous = SetSystemServices(this); }
CFakeSystem::~CFakeSystem() { SetSystemServices(m_previous); }

DWORD CFakeSystem::GetTickCount() {
  std::lock_guard<std::mutex> g(m_lock);
  return tick;
}

void CFakeSystem::Sleep(DWORD milliseconds) {
  std::lock_guard<std::mutex> g(m_lock);
  tick += milliseconds;
  sleptTotal += milliseconds;
  sleeps.push_back(milliseconds);
}

DWORD CFakeSystem::GetLastError() { return t_lastError; }
void CFakeSystem::SetLastError(DWORD code) { t_lastError = code; }

bool CFakeSystem::FormatMessageText(DWORD code, std::string& text) {
  const char* t = PortableErrorText(code);
  if (!t) return false;
  text = t;
  return true;
}

void CFakeSystem::OutputDebugString(const char* text) {
  std::lock_guard<std::mutex> g(m_lock);
  m_debug += text;
}

bool CFakeSystem::AppendToFile(const std::string& path, const void* data, size_t length) {
  std::lock_guard<std::mutex> g(m_lock);
  if (failAppends) return false;
  m_files[path].append(static_cast<const char*>(data), length);
  return true;
}

std::string CFakeSystem::File(const std::string& path) {
  std::lock_guard<std::mutex> g(m_lock);
  auto it = m_files.find(path);
  return it == m_files.end() ? std::string() : it->second;
}

bool CFakeSystem::FileExists(const std::string& path) {
  std::lock_guard<std::mutex> g(m_lock);
  return m_files.count(path) != 0;
}

std::string CFakeSystem::DebugOutput() {
  std::lock_guard<std::mutex> g(m_lock);
  return m_debug;
}

std::vector<std::string> CFakeSystem::LogLines(const std::string& path) {
  std::vector<std::string> lines;
  const std::string content = File(path);
  size_t start = 0;
  while (start < content.size()) {
    size_t end = content.find("\r\n", start);
    if (end == std::string::npos) end = content.size();
    std::string line = content.substr(start, end - start);
    if (line.size() >= 9) line = line.substr(9);  // "hh:mm:ss "
    lines.push_back(line);
    start = end + 2;
  }
  return lines;
}
