#include "platform/store.h"

namespace vexil::platform {
namespace {

MemoryStore g_memory_user;
MemoryStore g_memory_machine;
ValueStore* g_user = &g_memory_user;
ValueStore* g_machine = &g_memory_machine;

}  // namespace

std::optional<std::string> MemoryStore::Get(const std::string& name) const {
  auto it = values_.find(name);
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

bool MemoryStore::Set(const std::string& name, const std::string& value) {
  values_[name] = value;
  return true;
}

void SetStores(ValueStore* user, ValueStore* machine) {
  g_user = user ? user : &g_memory_user;
  g_machine = machine ? machine : &g_memory_machine;
}

ValueStore& UserStore() { return *g_user; }
ValueStore& MachineStore() { return *g_machine; }

std::string StoreRead(const std::string& name, const std::string& fallback, size_t room) {
  std::string value = g_user->Get(name).value_or(fallback);
  if (value.size() > room) value.resize(room);
  // A machine value that does not fit is left alone rather than cut: the
  // user's (complete) value is the better answer then.
  if (std::optional<std::string> machine = g_machine->Get(name); machine && machine->size() <= room)
    value = *machine;
  return value;
}

bool StoreWrite(const std::string& name, const std::string& value) {
  bool user = g_user->Set(name, value);
  bool machine = g_machine->Set(name, value);
  return user || machine;
}

}  // namespace vexil::platform
