// The stores of the player's values on Windows: the user's profile file and
// the local machine's registry, both under the name of the maker's studio.
#pragma once

#include <optional>
#include <string>

#include "platform/store.h"

namespace vexil::platform::win32 {

inline constexpr const char kStoreSection[] = "Tessor Studio";
inline constexpr const char kRegistryKeyPrefix[] = "Software\\Tessor Softworks\\";

// The values of one section of the user's profile file.
class ProfileStore : public ValueStore {
 public:
  explicit ProfileStore(std::string section) : section_(std::move(section)) {}
  std::optional<std::string> Get(const std::string& name) const override;
  bool Set(const std::string& name, const std::string& value) override;
  // Removes the section with its values; for tests.
  bool Remove();

 private:
  std::string section_;
};

// The string values of the key kRegistryKeyPrefix + section under the local
// machine, opened (and created for writing) with full access.
class RegistryStore : public ValueStore {
 public:
  explicit RegistryStore(const std::string& section) : key_(kRegistryKeyPrefix + section) {}
  std::optional<std::string> Get(const std::string& name) const override;
  bool Set(const std::string& name, const std::string& value) override;
  // Removes the key with its values; for tests.
  bool Remove();

 private:
  std::string key_;
};

// Installs the profile section and registry key of kStoreSection as the user
// and machine stores (platform/store.h). Player thread, before the first read.
void UseSystemStores();

}  // namespace vexil::platform::win32
