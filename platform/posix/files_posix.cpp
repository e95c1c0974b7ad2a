#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "platform/files.h"

namespace vexil::platform {

FileHandle FileOpenRead(const char* name) {
  if (!name) return kNoFile;
  int fd;
  do {
    fd = ::open(name, O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return kNoFile;
  struct stat st;
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return kNoFile;
  }
#ifdef POSIX_FADV_SEQUENTIAL
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
  return fd;
}

FileHandle FileOpenWrite(const char* name) {
  if (!name) return kNoFile;
  int fd = ::open(name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  return fd < 0 ? kNoFile : fd;
}

void FileClose(FileHandle file) {
  if (file != kNoFile) ::close(static_cast<int>(file));
}

int64_t FileTell(FileHandle file) {
  if (file == kNoFile) return -1;
  return ::lseek(static_cast<int>(file), 0, SEEK_CUR);
}

bool FileSeek(FileHandle file, int64_t position) {
  if (file == kNoFile || position < 0) return false;
  return ::lseek(static_cast<int>(file), position, SEEK_SET) == position;
}

int64_t FileRead(FileHandle file, void* destination, uint32_t n) {
  if (file == kNoFile) return -1;
  auto* out = static_cast<unsigned char*>(destination);
  int64_t total = 0;
  while (total < n) {
    size_t want = n - static_cast<uint32_t>(total);
    if (want > (1u << 30)) want = 1u << 30;
    ssize_t got = ::read(static_cast<int>(file), out + total, want);
    if (got < 0) {
      if (errno == EINTR) continue;
      return total ? total : -1;
    }
    if (got == 0) break;
    total += got;
  }
  return total;
}

bool FileWrite(FileHandle file, const void* source, uint32_t n) {
  if (file == kNoFile) return false;
  auto* in = static_cast<const unsigned char*>(source);
  uint32_t done = 0;
  while (done < n) {
    ssize_t put = ::write(static_cast<int>(file), in + done, n - done);
    if (put < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<uint32_t>(put);
  }
  return true;
}

int64_t FileSize(FileHandle file) {
  struct stat st;
  if (file == kNoFile || ::fstat(static_cast<int>(file), &st) != 0) return -1;
  return st.st_size;
}

bool FileExists(const char* name) {
  struct stat st;
  return name && ::stat(name, &st) == 0 && !S_ISDIR(st.st_mode);
}

std::string ModulePath() {
  char buffer[PATH_MAX + 1];
  ssize_t n = ::readlink("/proc/self/exe", buffer, PATH_MAX);
  if (n <= 0) return std::string();
  return std::string(buffer, static_cast<size_t>(n));
}

}  // namespace vexil::platform
