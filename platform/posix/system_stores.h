// The stores of the player's values on Linux and other POSIX systems: a
// per-user file and a machine-wide file in the XDG configuration folders,
//
//   user:    $XDG_CONFIG_HOME/vexil/vexilplay.ini  ($XDG_CONFIG_HOME: ~/.config)
//   machine: <first of $XDG_CONFIG_DIRS>/vexil/vexilplay.ini  (default /etc/xdg)
//
// each an INI-like text file with the values in the maker's section, as the
// Windows profile keeps them:
//
//   [Tessor Studio]
//   VexilQuickPlay=/L /J
//   LastVersionCheckDate=2008-05-30
//
// Lines are `[section]`, `name=value` or comments starting with ';' or '#'.
// Names compare without regard to case; blanks around names and values are
// not part of them. Writing keeps every other line of the file as it was.
#pragma once

#include <optional>
#include <string>

#include "platform/store.h"

namespace vexil::platform::posix {

inline constexpr const char kStoreSection[] = "Tessor Studio";
inline constexpr const char kStoreFolder[] = "vexil";
inline constexpr const char kStoreFile[] = "vexilplay.ini";

// The values of one section of one file.
class IniFileStore : public ValueStore {
 public:
  IniFileStore(std::string path, std::string section)
      : path_(std::move(path)), section_(std::move(section)) {}
  // Nothing when the file cannot be read or has no such value.
  std::optional<std::string> Get(const std::string& name) const override;
  // Creates the file (and its folder) when needed; false when it cannot be
  // written or the value holds a line break.
  bool Set(const std::string& name, const std::string& value) override;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::string section_;
};

// The two files' paths from the environment.
std::string UserStorePath();
std::string MachineStorePath();

// Installs the user and machine files as the stores (platform/store.h).
// Player thread, before the first read.
void UseSystemStores();

}  // namespace vexil::platform::posix
