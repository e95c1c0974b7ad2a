#include <vector>

#include "platform/win32/system_stores.h"
#include "platform/win32/windows_api.h"

namespace vexil::platform::win32 {
namespace {

// A profile read: the value of `name`, or with a null name the names of the
// section as a list of zero-ended strings. The call cuts what does not fit
// without an error, so the buffer grows until the answer leaves room.
std::string ReadProfile(const char* section, const char* name) {
  constexpr DWORD kLargest = 1u << 20;
  for (DWORD size = 1024;; size *= 2) {
    std::vector<char> buffer(size, '\0');
    const DWORD n = GetProfileStringA(section, name, "", buffer.data(), size);
    const DWORD full = name ? size - 1 : size - 2;
    if (n < full || size >= kLargest) return std::string(buffer.data(), n);
  }
}

}  // namespace

std::optional<std::string> ProfileStore::Get(const std::string& name) const {
  // An empty value and a missing one read alike; the section's list of names
  // tells them apart (names compare without regard to case).
  const std::string names = ReadProfile(section_.c_str(), nullptr);
  bool present = false;
  for (size_t at = 0; at < names.size() && !present;) {
    const std::string entry = names.c_str() + at;
    present = lstrcmpiA(entry.c_str(), name.c_str()) == 0;
    at += entry.size() + 1;
  }
  if (!present) return std::nullopt;
  return ReadProfile(section_.c_str(), name.c_str());
}

bool ProfileStore::Set(const std::string& name, const std::string& value) {
  return WriteProfileStringA(section_.c_str(), name.c_str(), value.c_str()) != 0;
}

bool ProfileStore::Remove() {
  return WriteProfileStringA(section_.c_str(), nullptr, nullptr) != 0;
}

std::optional<std::string> RegistryStore::Get(const std::string& name) const {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
    return std::nullopt;
  std::optional<std::string> value;
  DWORD type = 0, size = 0;
  if (RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
      (type == REG_SZ || type == REG_EXPAND_SZ)) {
    std::string text(size, '\0');
    if (RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(text.data()),
                         &size) == ERROR_SUCCESS) {
      // Stored with its terminator, or without one by other writers.
      text.resize(size < text.size() ? size : text.size());
      while (!text.empty() && text.back() == '\0') text.pop_back();
      value = std::move(text);
    }
  }
  RegCloseKey(key);
  return value;
}

bool RegistryStore::Set(const std::string& name, const std::string& value) {
  HKEY key;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return false;
  const bool ok =
      RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
  RegCloseKey(key);
  return ok;
}

bool RegistryStore::Remove() {
  return RegDeleteKeyA(HKEY_LOCAL_MACHINE, key_.c_str()) == ERROR_SUCCESS;
}

void UseSystemStores() {
  static ProfileStore profile(kStoreSection);
  static RegistryStore registry(kStoreSection);
  SetStores(&profile, &registry);
}

}  // namespace vexil::platform::win32
