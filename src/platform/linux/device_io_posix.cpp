// The Linux system calls behind the device I/O seam's descriptor operations.
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/device_io.h"

int CDeviceIo::PosixOpen(const std::string& path, int flags) { return ::open(path.c_str(), flags | O_CLOEXEC); }

int CDeviceIo::PosixIoctl(int fd, unsigned long request, void* argument) {
  int result;
  do {
    result = ::ioctl(fd, request, argument);
  } while (result < 0 && errno == EINTR);
  return result;
}

long CDeviceIo::PosixRead(int fd, void* buffer, size_t length) {
  ssize_t result;
  do {
    result = ::read(fd, buffer, length);
  } while (result < 0 && errno == EINTR);
  return static_cast<long>(result);
}

int CDeviceIo::PosixPoll(int fd, short events, int timeoutMs) {
  pollfd p = {fd, events, 0};
  int result = ::poll(&p, 1, timeoutMs);
  if (result < 0 && errno == EINTR) return 0;  // the caller polls again
  return result;
}

int CDeviceIo::PosixClose(int fd) { return ::close(fd); }
