// Named string values kept between runs (the quick-play switches, the date of
// the last version check). Two stores are read: the user's first, then the
// machine-wide one, whose value replaces the user's when it is present and
// fits the caller's room. Writes go to both.
//
// Until a back end installs stores of its own, both are empty in-memory stores
// (tests fill them). Player thread only.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>

namespace vexil::platform {

class ValueStore {
 public:
  virtual ~ValueStore() = default;
  // The value, or nothing when the store does not hold it (or cannot be read).
  virtual std::optional<std::string> Get(const std::string& name) const = 0;
  // Creates or replaces the value; false when the store cannot be written.
  virtual bool Set(const std::string& name, const std::string& value) = 0;
};

class MemoryStore : public ValueStore {
 public:
  std::optional<std::string> Get(const std::string& name) const override;
  bool Set(const std::string& name, const std::string& value) override;
  void Clear() { values_.clear(); }

 private:
  std::map<std::string, std::string> values_;
};

// Installs the user and the machine store (null: the built-in in-memory one of
// that kind). The stores must outlive their use.
void SetStores(ValueStore* user, ValueStore* machine);
ValueStore& UserStore();
ValueStore& MachineStore();

// The user's value (at most `room` characters of it) or `fallback`, replaced
// by the machine's value when that is present and at most `room` characters.
std::string StoreRead(const std::string& name, const std::string& fallback, size_t room);
// Writes the value to both stores; true when at least one took it.
bool StoreWrite(const std::string& name, const std::string& value);

}  // namespace vexil::platform
