// A stand-in for the kernel's DVB devices behind the device I/O seam: a device tree of
// adapters with frontend, demux and dvr nodes in a temporary directory, ioctls answered
// and checked as the kernel documents them, and every state-changing request recorded
// as a line of numbers. The Windows-shaped calls go on to the emulated device I/O.
#pragma once
#include <linux/dvb/frontend.h>

#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/device_io.h"

struct FAKE_FRONTEND {
  std::string name;
  std::vector<uint32_t> delsys;
  fe_type type = FE_QPSK;
  bool enumDelsys = true;  // false: a kernel from before DTV_ENUM_DELSYS
  int openError = 0;       // errno for every open of the frontend node
  fe_status_t status = static_cast<fe_status_t>(0);
  dtv_fe_stats strength = {};  // no statistics (length 0) unless set
  dtv_fe_stats cnr = {};
  int legacyStrength = -1;  // -1: the legacy read is not supported
  int legacySnr = -1;
};

class CFakeDvbKernel final : public CDeviceIo {
 public:
  CFakeDvbKernel();
  ~CFakeDvbKernel() override;

  const std::string& Root() const { return m_root; }
  // Creates adapterN/frontendM, demuxM and dvrM.
  void AddFrontend(int adapter, int frontend, FAKE_FRONTEND description);
  FAKE_FRONTEND& Frontend(int adapter, int frontend);
  // What the dvr of that frontend delivers once its demux has a filter: the bytes in
  // reads of at most chunk bytes, and EOVERFLOW once when the read position reaches
  // overflowAt.
  void SetCapture(int adapter, int frontend, std::vector<uint8_t> bytes, size_t chunk, size_t overflowAt = SIZE_MAX);
  bool CaptureDrained(int adapter, int frontend);

  std::vector<std::string> Calls();
  void ClearCalls();
  int OpenDescriptors();

  // The line recorded for FE_SET_PROPERTY with these (cmd, value) pairs.
  static std::string PropertyLine(const std::string& node, std::initializer_list<std::pair<uint32_t, uint32_t>> p);

  HANDLE Open(const std::string& path, const DEVICE_OPEN_MODE& mode) override;
  BOOL IoControl(HANDLE handle, DWORD code, const void* in, DWORD inLength, void* out, DWORD outLength,
                 DWORD* returned) override;
  BOOL Write(HANDLE handle, const void* data, DWORD length, DWORD* written) override;
  BOOL Close(HANDLE handle) override;

  int PosixOpen(const std::string& path, int flags) override;
  int PosixIoctl(int fd, unsigned long request, void* argument) override;
  long PosixRead(int fd, void* buffer, size_t length) override;
  int PosixPoll(int fd, short events, int timeoutMs) override;
  int PosixClose(int fd) override;

 private:
  enum class KIND { Frontend, Demux, Dvr };
  struct NODE {
    KIND kind;
    int adapter;
    int index;
    std::string name;  // "adapter0/frontend0"
  };
  struct OPEN_FILE {
    NODE node;
    int flags;
  };
  struct CAPTURE {
    std::vector<uint8_t> bytes;
    size_t chunk = 0;
    size_t position = 0;
    size_t overflowAt = SIZE_MAX;
    bool filtered = false;
  };
  using KEY = std::pair<int, int>;

  int FrontendIoctl(const OPEN_FILE& file, unsigned long request, void* argument);
  int DemuxIoctl(const OPEN_FILE& file, unsigned long request, void* argument);
  void Record(const NODE& node, const std::string& text);
  bool Readable(int fd);

  std::string m_root;
  std::mutex m_lock;
  std::map<KEY, FAKE_FRONTEND> m_frontends;
  std::map<KEY, CAPTURE> m_captures;
  std::map<std::string, NODE> m_nodes;  // by path
  std::map<int, OPEN_FILE> m_files;
  int m_nextFd = 1000;
  std::vector<std::string> m_calls;
};
