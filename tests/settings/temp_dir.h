// A fresh directory for one test, removed afterwards.
#pragma once
#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

class CTempDir {
 public:
  CTempDir() {
    static std::atomic<int> counter{0};
    auto base = std::filesystem::temp_directory_path();
    for (;;) {
      m_path = base / ("vf-store-" + std::to_string(std::rand()) + "-" + std::to_string(counter++));
      std::error_code ec;
      if (std::filesystem::create_directory(m_path, ec)) break;
    }
  }
  ~CTempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
  }
  std::string File(const std::string& name) const { return (m_path / name).string(); }

  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  static void Write(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
  }

 private:
  std::filesystem::path m_path;
};
