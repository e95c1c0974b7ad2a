#include "platform/files.h"
#include "platform/win32/windows_api.h"

namespace vexil::platform {
namespace {

// INVALID_HANDLE_VALUE is -1, the same as kNoFile.
HANDLE ToHandle(FileHandle file) {
  return reinterpret_cast<HANDLE>(file);
}
FileHandle FromHandle(HANDLE handle) {
  return handle == INVALID_HANDLE_VALUE ? kNoFile : reinterpret_cast<FileHandle>(handle);
}

HANDLE OpenExisting(const char* name, DWORD share) {
  return CreateFileA(name, GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                     nullptr);
}

}  // namespace

FileHandle FileOpenRead(const char* name) {
  if (!name) return kNoFile;
  HANDLE file = OpenExisting(name, FILE_SHARE_READ);
  // A file that another program is still writing refuses readers that do not
  // share writing with it.
  if (file == INVALID_HANDLE_VALUE) file = OpenExisting(name, FILE_SHARE_READ | FILE_SHARE_WRITE);
  return FromHandle(file);
}

FileHandle FileOpenWrite(const char* name) {
  if (!name) return kNoFile;
  return FromHandle(CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
}

void FileClose(FileHandle file) {
  if (file != kNoFile) CloseHandle(ToHandle(file));
}

int64_t FileTell(FileHandle file) {
  LARGE_INTEGER zero{}, position{};
  if (file == kNoFile || !SetFilePointerEx(ToHandle(file), zero, &position, FILE_CURRENT))
    return -1;
  return position.QuadPart;
}

bool FileSeek(FileHandle file, int64_t position) {
  if (file == kNoFile || position < 0) return false;
  LARGE_INTEGER to{};
  to.QuadPart = position;
  return SetFilePointerEx(ToHandle(file), to, nullptr, FILE_BEGIN) != 0;
}

int64_t FileRead(FileHandle file, void* destination, uint32_t n) {
  if (file == kNoFile) return -1;
  auto* out = static_cast<unsigned char*>(destination);
  int64_t total = 0;
  while (total < n) {
    DWORD got = 0;
    if (!ReadFile(ToHandle(file), out + total, n - static_cast<DWORD>(total), &got, nullptr))
      return total ? total : -1;
    if (got == 0) break;  // end of the file
    total += got;
  }
  return total;
}

bool FileWrite(FileHandle file, const void* source, uint32_t n) {
  if (file == kNoFile) return false;
  auto* in = static_cast<const unsigned char*>(source);
  uint32_t done = 0;
  while (done < n) {
    DWORD put = 0;
    if (!WriteFile(ToHandle(file), in + done, n - done, &put, nullptr) || put == 0) return false;
    done += put;
  }
  return true;
}

int64_t FileSize(FileHandle file) {
  LARGE_INTEGER size{};
  if (file == kNoFile || !GetFileSizeEx(ToHandle(file), &size)) return -1;
  return size.QuadPart;
}

bool FileExists(const char* name) {
  if (!name) return false;
  const DWORD attributes = GetFileAttributesA(name);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string ModulePath() {
  // The call cuts the path to the buffer without saying so, except by filling
  // it: grow until the path fits with room to spare.
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD n = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return std::string();
    if (n < path.size() - 1) {
      path.resize(n);
      return path;
    }
    if (path.size() >= 32768) return std::string();
    path.resize(path.size() * 2);
  }
}

}  // namespace vexil::platform
