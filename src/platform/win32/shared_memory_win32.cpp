// Named shared memory as file mappings on the paging file.
#include <windows.h>

#include <cstring>

#include "platform/shared_memory.h"
#include "platform/win32/dialog_win32.h"

namespace {

class CFileMappingBlock final : public CSharedMemoryBlock {
 public:
  CFileMappingBlock(HANDLE mapping, void* view, size_t size)
      : m_mapping(mapping), m_view(static_cast<unsigned char*>(view)), m_size(size) {}
  ~CFileMappingBlock() override {
    ::UnmapViewOfFile(m_view);
    ::CloseHandle(m_mapping);
  }
  unsigned char* Data() override { return m_view; }
  size_t Size() const override { return m_size; }

 private:
  HANDLE m_mapping;
  unsigned char* m_view;
  size_t m_size;
};

std::string Failure(const char* what) { return std::string(what) + " failed, error " + std::to_string(::GetLastError()); }

}  // namespace

std::string SharedMemoryObjectName(const std::string& name) { return name; }

std::unique_ptr<CSharedMemoryBlock> CreateSharedMemoryBlock(const std::string& name, size_t size,
                                                            std::string* error) {
  HANDLE mapping = ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, DWORD(size),
                                        Utf8ToWide(name).c_str());
  if (!mapping) {
    *error = Failure("CreateFileMapping");
    return nullptr;
  }
  void* view = ::MapViewOfFile(mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, size);
  if (!view) {
    *error = Failure("MapViewOfFile");
    ::CloseHandle(mapping);
    return nullptr;
  }
  // A watcher may still hold the block of an earlier run: start from zero all the same.
  std::memset(view, 0, size);
  return std::make_unique<CFileMappingBlock>(mapping, view, size);
}

std::unique_ptr<CSharedMemoryBlock> OpenSharedMemoryBlock(const std::string& name, size_t size,
                                                          std::string* error) {
  HANDLE mapping = ::OpenFileMappingW(FILE_MAP_READ, FALSE, Utf8ToWide(name).c_str());
  if (!mapping) {
    *error = ::GetLastError() == ERROR_FILE_NOT_FOUND ? "no block " + name : Failure("OpenFileMapping");
    return nullptr;
  }
  void* view = ::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, size);
  if (!view) {
    *error = Failure("MapViewOfFile");
    ::CloseHandle(mapping);
    return nullptr;
  }
  return std::make_unique<CFileMappingBlock>(mapping, view, size);
}
