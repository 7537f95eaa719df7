#include "dvb/fake_dvb_kernel.h"

#include <fcntl.h>
#include <linux/dvb/dmx.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/emulated/emulated_device_io.h"

namespace {

std::string Hex(const uint8_t* bytes, size_t n) {
  std::string text;
  char b[4];
  for (size_t i = 0; i < n; ++i) {
    std::snprintf(b, sizeof(b), i ? " %02x" : "%02x", bytes[i]);
    text += b;
  }
  return text;
}

int Fail(int error) {
  errno = error;
  return -1;
}

unsigned long Argument(void* argument) { return static_cast<unsigned long>(reinterpret_cast<uintptr_t>(argument)); }

}  // namespace

CFakeDvbKernel::CFakeDvbKernel() {
  char pattern[] = "/tmp/velvetfin-dvb-XXXXXX";
  const char* made = mkdtemp(pattern);
  m_root = made ? made : "/tmp/velvetfin-dvb-missing";
}

CFakeDvbKernel::~CFakeDvbKernel() {
  std::error_code ec;
  std::filesystem::remove_all(m_root, ec);
}

void CFakeDvbKernel::AddFrontend(int adapter, int frontend, FAKE_FRONTEND description) {
  const std::string dir = m_root + "/adapter" + std::to_string(adapter);
  std::filesystem::create_directories(dir);
  std::lock_guard<std::mutex> guard(m_lock);
  const std::string n = std::to_string(frontend);
  const std::string a = "adapter" + std::to_string(adapter) + "/";
  const std::pair<KIND, const char*> kinds[] = {{KIND::Frontend, "frontend"}, {KIND::Demux, "demux"}, {KIND::Dvr, "dvr"}};
  for (const auto& [kind, prefix] : kinds) {
    const std::string path = dir + "/" + prefix + n;
    std::ofstream(path).put('\0');  // a plain file: only this stand-in can answer for it
    m_nodes[path] = NODE{kind, adapter, frontend, a + prefix + n};
  }
  m_frontends[{adapter, frontend}] = std::move(description);
}

FAKE_FRONTEND& CFakeDvbKernel::Frontend(int adapter, int frontend) {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_frontends.at({adapter, frontend});
}

void CFakeDvbKernel::SetCapture(int adapter, int frontend, std::vector<uint8_t> bytes, size_t chunk, size_t overflowAt) {
  std::lock_guard<std::mutex> guard(m_lock);
  CAPTURE& c = m_captures[{adapter, frontend}];
  c.bytes = std::move(bytes);
  c.chunk = std::max<size_t>(1, chunk);
  c.position = 0;
  c.overflowAt = overflowAt;
}

bool CFakeDvbKernel::CaptureDrained(int adapter, int frontend) {
  std::lock_guard<std::mutex> guard(m_lock);
  const CAPTURE& c = m_captures[{adapter, frontend}];
  return c.position >= c.bytes.size();
}

std::vector<std::string> CFakeDvbKernel::Calls() {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_calls;
}

void CFakeDvbKernel::ClearCalls() {
  std::lock_guard<std::mutex> guard(m_lock);
  m_calls.clear();
}

int CFakeDvbKernel::OpenDescriptors() {
  std::lock_guard<std::mutex> guard(m_lock);
  return static_cast<int>(m_files.size());
}

std::string CFakeDvbKernel::PropertyLine(const std::string& node,
                                         std::initializer_list<std::pair<uint32_t, uint32_t>> p) {
  std::string line = node + " FE_SET_PROPERTY";
  for (const auto& [cmd, value] : p) line += " " + std::to_string(cmd) + "=" + std::to_string(value);
  return line;
}

void CFakeDvbKernel::Record(const NODE& node, const std::string& text) { m_calls.push_back(node.name + " " + text); }

HANDLE CFakeDvbKernel::Open(const std::string& path, const DEVICE_OPEN_MODE& mode) {
  return EmulatedDeviceIo().Open(path, mode);
}
BOOL CFakeDvbKernel::IoControl(HANDLE handle, DWORD code, const void* in, DWORD inLength, void* out,
                               DWORD outLength, DWORD* returned) {
  return EmulatedDeviceIo().IoControl(handle, code, in, inLength, out, outLength, returned);
}
BOOL CFakeDvbKernel::Write(HANDLE handle, const void* data, DWORD length, DWORD* written) {
  return EmulatedDeviceIo().Write(handle, data, length, written);
}
BOOL CFakeDvbKernel::Close(HANDLE handle) { return EmulatedDeviceIo().Close(handle); }

int CFakeDvbKernel::PosixOpen(const std::string& path, int flags) {
  std::lock_guard<std::mutex> guard(m_lock);
  auto it = m_nodes.find(path);
  if (it == m_nodes.end()) return Fail(ENOENT);
  const NODE& node = it->second;
  const int access = flags & O_ACCMODE;
  if (node.kind == KIND::Frontend) {
    const FAKE_FRONTEND& fe = m_frontends[{node.adapter, node.index}];
    if (fe.openError) return Fail(fe.openError);
  }
  // One writer of a frontend and one reader of a dvr at a time.
  for (const auto& [fd, file] : m_files) {
    if (file.node.name != node.name) continue;
    if (node.kind == KIND::Frontend && access != O_RDONLY && (file.flags & O_ACCMODE) != O_RDONLY) return Fail(EBUSY);
    if (node.kind == KIND::Dvr) return Fail(EBUSY);
  }
  const int fd = m_nextFd++;
  m_files[fd] = OPEN_FILE{node, flags};
  return fd;
}

int CFakeDvbKernel::PosixClose(int fd) {
  std::lock_guard<std::mutex> guard(m_lock);
  auto it = m_files.find(fd);
  if (it == m_files.end()) return Fail(EBADF);
  m_files.erase(it);
  return 0;
}

int CFakeDvbKernel::PosixIoctl(int fd, unsigned long request, void* argument) {
  std::lock_guard<std::mutex> guard(m_lock);
  auto it = m_files.find(fd);
  if (it == m_files.end()) return Fail(EBADF);
  const OPEN_FILE file = it->second;
  if (file.node.kind == KIND::Frontend) return FrontendIoctl(file, request, argument);
  return DemuxIoctl(file, request, argument);
}

int CFakeDvbKernel::FrontendIoctl(const OPEN_FILE& file, unsigned long request, void* argument) {
  FAKE_FRONTEND& fe = m_frontends[{file.node.adapter, file.node.index}];
  // A frontend opened read-only only answers questions.
  if ((file.flags & O_ACCMODE) == O_RDONLY && _IOC_DIR(request) != _IOC_READ) return Fail(EPERM);
  switch (request) {
    case FE_GET_INFO: {
      auto* info = static_cast<dvb_frontend_info*>(argument);
      *info = {};
      std::snprintf(info->name, sizeof(info->name), "%s", fe.name.c_str());
      info->type = fe.type;
      return 0;
    }
    case FE_GET_PROPERTY:
    case FE_SET_PROPERTY: {
      auto* list = static_cast<dtv_properties*>(argument);
      if (!list || list->num == 0 || list->num > DTV_IOCTL_MAX_MSGS) return Fail(EINVAL);
      if (request == FE_GET_PROPERTY) {
        for (uint32_t i = 0; i < list->num; ++i) {
          dtv_property& p = list->props[i];
          if (p.cmd == DTV_ENUM_DELSYS) {
            if (!fe.enumDelsys) return Fail(EINVAL);
            p.u.buffer.len = static_cast<uint32_t>(fe.delsys.size());
            for (size_t k = 0; k < fe.delsys.size(); ++k) p.u.buffer.data[k] = static_cast<uint8_t>(fe.delsys[k]);
          } else if (p.cmd == DTV_STAT_SIGNAL_STRENGTH) {
            p.u.st = fe.strength;
          } else if (p.cmd == DTV_STAT_CNR) {
            p.u.st = fe.cnr;
          }
        }
        return 0;
      }
      std::string line = "FE_SET_PROPERTY";
      for (uint32_t i = 0; i < list->num; ++i) {
        const dtv_property& p = list->props[i];
        if (p.cmd == DTV_DELIVERY_SYSTEM &&
            std::find(fe.delsys.begin(), fe.delsys.end(), p.u.data) == fe.delsys.end())
          return Fail(EINVAL);
        line += " " + std::to_string(p.cmd) + "=" + std::to_string(p.u.data);
      }
      Record(file.node, line);
      return 0;
    }
    case FE_READ_STATUS: *static_cast<fe_status_t*>(argument) = fe.status; return 0;
    case FE_READ_SIGNAL_STRENGTH:
    case FE_READ_SNR: {
      int value = request == FE_READ_SNR ? fe.legacySnr : fe.legacyStrength;
      if (value < 0) return Fail(EOPNOTSUPP);
      *static_cast<uint16_t*>(argument) = static_cast<uint16_t>(value);
      return 0;
    }
    case FE_SET_VOLTAGE:
      if (Argument(argument) > SEC_VOLTAGE_OFF) return Fail(EINVAL);
      Record(file.node, "FE_SET_VOLTAGE " + std::to_string(Argument(argument)));
      return 0;
    case FE_SET_TONE:
      if (Argument(argument) > SEC_TONE_OFF) return Fail(EINVAL);
      Record(file.node, "FE_SET_TONE " + std::to_string(Argument(argument)));
      return 0;
    case FE_DISEQC_SEND_BURST:
      if (Argument(argument) > SEC_MINI_B) return Fail(EINVAL);
      Record(file.node, "FE_DISEQC_SEND_BURST " + std::to_string(Argument(argument)));
      return 0;
    case FE_DISEQC_SEND_MASTER_CMD: {
      const auto* cmd = static_cast<const dvb_diseqc_master_cmd*>(argument);
      if (cmd->msg_len < 3 || cmd->msg_len > sizeof(cmd->msg)) return Fail(EINVAL);
      Record(file.node, "FE_DISEQC_SEND_MASTER_CMD " + Hex(cmd->msg, cmd->msg_len));
      return 0;
    }
    default: return Fail(ENOTTY);
  }
}

int CFakeDvbKernel::DemuxIoctl(const OPEN_FILE& file, unsigned long request, void* argument) {
  CAPTURE& capture = m_captures[{file.node.adapter, file.node.index}];
  switch (request) {
    case DMX_SET_BUFFER_SIZE:
      Record(file.node, "DMX_SET_BUFFER_SIZE " + std::to_string(Argument(argument)));
      return 0;
    case DMX_SET_PES_FILTER: {
      if (file.node.kind != KIND::Demux) return Fail(ENOTTY);
      const auto* f = static_cast<const dmx_pes_filter_params*>(argument);
      if (f->pid > 0x2000 || f->output > DMX_OUT_TSDEMUX_TAP) return Fail(EINVAL);
      char line[128];
      std::snprintf(line, sizeof(line), "DMX_SET_PES_FILTER pid=%u input=%u output=%u pes_type=%u flags=%u", f->pid,
                    unsigned(f->input), unsigned(f->output), unsigned(f->pes_type), f->flags);
      Record(file.node, line);
      capture.filtered = f->output == DMX_OUT_TS_TAP && (f->flags & DMX_IMMEDIATE_START);
      return 0;
    }
    case DMX_STOP:
      if (file.node.kind != KIND::Demux) return Fail(ENOTTY);
      Record(file.node, "DMX_STOP");
      capture.filtered = false;
      return 0;
    default: return Fail(ENOTTY);
  }
}

bool CFakeDvbKernel::Readable(int fd) {
  std::lock_guard<std::mutex> guard(m_lock);
  auto it = m_files.find(fd);
  if (it == m_files.end() || it->second.node.kind != KIND::Dvr) return false;
  const CAPTURE& c = m_captures[{it->second.node.adapter, it->second.node.index}];
  return c.filtered && c.position < c.bytes.size();
}

int CFakeDvbKernel::PosixPoll(int fd, short events, int timeoutMs) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point end = Clock::now() + std::chrono::milliseconds(timeoutMs);
  {
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_files.count(fd)) return Fail(EBADF);
  }
  for (;;) {
    if ((events & POLLIN) && Readable(fd)) return 1;
    if (Clock::now() >= end) return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

long CFakeDvbKernel::PosixRead(int fd, void* buffer, size_t length) {
  std::lock_guard<std::mutex> guard(m_lock);
  auto it = m_files.find(fd);
  if (it == m_files.end()) return Fail(EBADF);
  if (it->second.node.kind != KIND::Dvr) return Fail(EINVAL);
  CAPTURE& c = m_captures[{it->second.node.adapter, it->second.node.index}];
  if (!c.filtered || c.position >= c.bytes.size()) return Fail(EAGAIN);
  if (c.position == c.overflowAt) {
    c.overflowAt = SIZE_MAX;  // reported once; the buffer starts again
    return Fail(EOVERFLOW);
  }
  size_t n = std::min({c.chunk, c.bytes.size() - c.position, length});
  if (c.overflowAt > c.position) n = std::min(n, c.overflowAt - c.position);
  std::memcpy(buffer, c.bytes.data() + c.position, n);
  c.position += n;
  return static_cast<long>(n);
}
