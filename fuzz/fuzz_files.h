// Shared by the fuzz targets that read files: one scratch file per process, rewritten
// with each input and removed at exit.
#pragma once
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

inline const std::string& ScratchPath(const char* name) {
  static const std::string path = [name] {
    std::error_code ec;
    std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
    if (ec) dir = "/tmp";
    return (dir / (std::string("vf-fuzz-") + name + "-" + std::to_string(getpid()))).string();
  }();
  static const bool cleanup = (std::atexit([] {
                                 std::error_code ec;
                                 for (const char* suffix : {"", ".tmp", ".corrupt"})
                                   std::filesystem::remove(path + suffix, ec);
                               }),
                               true);
  (void)cleanup;
  return path;
}

inline void WriteScratch(const std::string& path, const uint8_t* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
  if (!out) std::abort();  // the harness itself failed, not the code under test
}

inline std::string ReadScratch(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
