// Helpers shared by the test programs.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace vexil::test {

// A file in a fresh temporary folder, removed with the object.
class TempFile {
 public:
  explicit TempFile(const std::string& name = "movie.vxl") {
    char pattern[] = "/tmp/vexil-test-XXXXXX";
    dir_ = mkdtemp(pattern);
    path_ = dir_ + "/" + name;
  }
  explicit TempFile(const std::vector<uint8_t>& bytes, const std::string& name = "movie.vxl")
      : TempFile(name) {
    Write(bytes);
  }
  ~TempFile() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  void Write(const std::vector<uint8_t>& bytes) const {
    std::ofstream out(path_, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  const std::string& path() const { return path_; }
  const char* c_str() const { return path_.c_str(); }
  std::string Sibling(const std::string& name) const { return dir_ + "/" + name; }

 private:
  std::string dir_;
  std::string path_;
};

inline std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string VectorsDir() { return VEXIL_VECTORS_DIR; }

}  // namespace vexil::test
