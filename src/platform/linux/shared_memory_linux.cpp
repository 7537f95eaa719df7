// Named shared memory as POSIX shared-memory objects, private to the user. Unlike a
// Windows mapping, an object outlives a creator that was killed; so the creator holds an
// exclusive flock on it for as long as the block lives (the kernel drops it however the
// process ends), and a reader takes only a block whose creator still holds it.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/linux/private_files.h"
#include "platform/shared_memory.h"

namespace {

class CPosixSharedMemory final : public CSharedMemoryBlock {
 public:
  CPosixSharedMemory(std::string object, void* data, size_t size, int lockFd)
      : m_object(std::move(object)), m_data(static_cast<unsigned char*>(data)), m_size(size), m_lockFd(lockFd) {}
  ~CPosixSharedMemory() override {
    munmap(m_data, m_size);
    // The creator takes the name with it, as the last handle of a Windows mapping does.
    if (m_lockFd >= 0) {
      shm_unlink(m_object.c_str());
      close(m_lockFd);
    }
  }
  unsigned char* Data() override { return m_data; }
  size_t Size() const override { return m_size; }

 private:
  std::string m_object;
  unsigned char* m_data;
  size_t m_size;
  int m_lockFd;  // the creator's descriptor, holding the lock; -1 for a reader
};

std::string Failure(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

// Only an object of this user, private to it, is trusted: another user could have
// placed one under our name to feed us or watch us.
bool IsOurs(int fd) {
  struct stat st {};
  return fstat(fd, &st) == 0 && st.st_uid == getuid() && (st.st_mode & 077) == 0;
}

int Flock(int fd, int operation) {
  int result;
  while ((result = flock(fd, operation)) != 0 && errno == EINTR) {
  }
  return result;
}

}  // namespace

std::string SharedMemoryObjectName(const std::string& name) {
  return "/" + PercentEncodedName(name) + "." + std::to_string(getuid());
}

std::unique_ptr<CSharedMemoryBlock> CreateSharedMemoryBlock(const std::string& name, size_t size,
                                                            std::string* error) {
  const std::string object = SharedMemoryObjectName(name);
  int fd = shm_open(object.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    *error = Failure("shm_open");
    return nullptr;
  }
  if (!IsOurs(fd)) {
    close(fd);
    *error = object + " belongs to someone else";
    return nullptr;
  }
  // Held until the block goes: readers tell a live creator from a block left by a killed one.
  // Waits only while a reader checks (an instant), or another creator of the same name runs.
  if (Flock(fd, LOCK_EX) != 0) {
    *error = Failure("flock");
    close(fd);
    return nullptr;
  }
  // Cut to nothing and grown again: whatever a crashed run left there is gone, all zero.
  if (ftruncate(fd, 0) != 0 || ftruncate(fd, off_t(size)) != 0) {
    *error = Failure("ftruncate");
    close(fd);
    return nullptr;
  }
  void* data = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (data == MAP_FAILED) {
    *error = Failure("mmap");
    shm_unlink(object.c_str());
    close(fd);
    return nullptr;
  }
  return std::make_unique<CPosixSharedMemory>(object, data, size, fd);
}

std::unique_ptr<CSharedMemoryBlock> OpenSharedMemoryBlock(const std::string& name, size_t size,
                                                          std::string* error) {
  const std::string object = SharedMemoryObjectName(name);
  int fd = shm_open(object.c_str(), O_RDONLY | O_CLOEXEC, 0);
  if (fd < 0) {
    *error = errno == ENOENT ? "no block " + object : Failure("shm_open");
    return nullptr;
  }
  struct stat st {};
  if (!IsOurs(fd) || fstat(fd, &st) != 0 || size_t(st.st_size) < size) {
    close(fd);
    *error = object + " is not a block of ours";
    return nullptr;
  }
  // A shared lock we can take means no creator holds the block: what it says is history.
  if (Flock(fd, LOCK_SH | LOCK_NB) == 0) {
    Flock(fd, LOCK_UN);
    close(fd);
    *error = object + " was left by a run that ended";
    return nullptr;
  }
  void* data = mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
  close(fd);
  if (data == MAP_FAILED) {
    *error = Failure("mmap");
    return nullptr;
  }
  return std::make_unique<CPosixSharedMemory>(object, data, size, -1);
}
