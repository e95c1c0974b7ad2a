#include "tools/stream_files.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "tools/command_line.h"

namespace vexil::tools {
namespace {

void UseBinary(FILE* stream) {
#ifdef _WIN32
  _setmode(_fileno(stream), _O_BINARY);
#else
  (void)stream;
#endif
}

std::string Reason() {
  return errno ? std::strerror(errno) : "input/output error";
}

}  // namespace

void UseBinaryStandardInput() {
  UseBinary(stdin);
}

OutputFile::~OutputFile() {
  Discard();
}

bool OutputFile::Open(const std::string& name) {
  Discard();
  name_ = name;
  error_.clear();
  standard_ = IsStandardStream(name);
  if (standard_) {
    UseBinary(stdout);
    file_ = stdout;
    return true;
  }
  errno = 0;
  file_ = std::fopen(name.c_str(), "wb");
  if (!file_) {
    Fail("cannot write");
    return false;
  }
  errno = 0;  // an opening may leave a value behind that a later failure would report
  return true;
}

void OutputFile::Fail(const char* what) {
  if (error_.empty()) error_ = std::string(what) + ": " + Reason();
}

bool OutputFile::Write(const void* data, size_t bytes) {
  if (!file_ || !ok()) return false;
  if (bytes == 0) return true;
  errno = 0;
  if (std::fwrite(data, 1, bytes, file_) != bytes) Fail("cannot write");
  return ok();
}

bool OutputFile::Wrote(bool ok) {
  if (!ok) Fail("cannot write");
  return this->ok();
}

bool OutputFile::CanRewrite() {
  return file_ && !standard_ && std::fseek(file_, 0, SEEK_CUR) == 0;
}

bool OutputFile::Rewrite(uint64_t offset, const void* data, size_t bytes) {
  if (!file_ || !ok()) return false;
  errno = 0;
  if (std::fseek(file_, static_cast<long>(offset), SEEK_SET) != 0 || !Write(data, bytes) ||
      std::fseek(file_, 0, SEEK_END) != 0)
    Fail("cannot write");
  return ok();
}

bool OutputFile::Finish() {
  if (!file_) return ok();
  errno = 0;
  if (standard_) {
    if (std::fflush(file_) != 0 || std::ferror(file_)) Fail("cannot write");
  } else if (std::fclose(file_) != 0) {
    Fail("cannot write");
  }
  file_ = nullptr;
  if (!ok() && !standard_) std::remove(name_.c_str());
  return ok();
}

void OutputFile::Discard() {
  if (!file_) return;
  if (standard_) {
    std::fflush(file_);
  } else {
    std::fclose(file_);
    std::remove(name_.c_str());
  }
  file_ = nullptr;
}

bool ReadWholeInput(const std::string& name, std::vector<uint8_t>* bytes, std::string* error) {
  const bool standard = IsStandardStream(name);
  errno = 0;
  FILE* f = standard ? stdin : std::fopen(name.c_str(), "rb");
  if (!f) {
    *error = "cannot open: " + Reason();
    return false;
  }
  if (standard) UseBinary(stdin);
  bytes->clear();
  uint8_t chunk[1 << 16];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
    bytes->insert(bytes->end(), chunk, chunk + n);
  const bool ok = !std::ferror(f);
  if (!ok) *error = "cannot read: " + Reason();
  if (!standard) std::fclose(f);
  return ok;
}

}  // namespace vexil::tools
