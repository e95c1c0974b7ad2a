#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/posix/system_stores.h"

namespace vexil::platform::posix {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

std::string Trim(const std::string& text) {
  size_t first = 0, last = text.size();
  while (first < last && IsBlank(text[first])) ++first;
  while (last > first && IsBlank(text[last - 1])) --last;
  return text.substr(first, last - first);
}

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c + ('a' - 'A')) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// One line of the file, as far as the store cares.
struct Line {
  enum Kind { kOther, kSection, kValue } kind = kOther;
  std::string name;  // the section's or the value's
  std::string value;
};

Line Parse(const std::string& text) {
  Line line;
  const std::string t = Trim(text);
  if (t.empty() || t[0] == ';' || t[0] == '#') return line;
  if (t[0] == '[') {
    const size_t close = t.find(']');
    if (close == std::string::npos) return line;
    line.kind = Line::kSection;
    line.name = Trim(t.substr(1, close - 1));
    return line;
  }
  const size_t equals = t.find('=');
  if (equals == std::string::npos) return line;
  line.kind = Line::kValue;
  line.name = Trim(t.substr(0, equals));
  line.value = Trim(t.substr(equals + 1));
  return line;
}

bool ReadLines(const std::string& path, std::vector<std::string>* lines) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::string text;
  while (std::getline(in, text)) lines->push_back(text);
  return true;
}

// The folder of `path` and those above it, made when missing.
bool MakeFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    const std::string folder = path.substr(0, slash);
    if (::mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) return false;
  }
  return true;
}

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

}  // namespace

std::optional<std::string> IniFileStore::Get(const std::string& name) const {
  std::vector<std::string> lines;
  if (!ReadLines(path_, &lines)) return std::nullopt;
  bool in_section = false;
  for (const std::string& text : lines) {
    const Line line = Parse(text);
    if (line.kind == Line::kSection) in_section = SameName(line.name, section_);
    if (in_section && line.kind == Line::kValue && SameName(line.name, name)) return line.value;
  }
  return std::nullopt;
}

bool IniFileStore::Set(const std::string& name, const std::string& value) {
  if (name.empty() || value.find_first_of("\r\n") != std::string::npos ||
      name.find_first_of("=[]\r\n") != std::string::npos)
    return false;
  std::vector<std::string> lines;
  ReadLines(path_, &lines);  // a missing file is an empty one
  const std::string entry = name + "=" + value;
  // The value's line is replaced where it is; a new value goes after the
  // section's last value, a new section at the end.
  bool in_section = false, done = false;
  size_t section_end = lines.size();
  bool section_found = false;
  for (size_t i = 0; i < lines.size() && !done; ++i) {
    const Line line = Parse(lines[i]);
    if (line.kind == Line::kSection) {
      in_section = SameName(line.name, section_);
      if (in_section) {
        section_found = true;
        section_end = i + 1;
      }
    } else if (in_section && line.kind == Line::kValue) {
      section_end = i + 1;
      if (SameName(line.name, name)) {
        lines[i] = entry;
        done = true;
      }
    }
  }
  if (!done) {
    if (section_found) {
      lines.insert(lines.begin() + std::ptrdiff_t(section_end), entry);
    } else {
      if (!lines.empty() && !Trim(lines.back()).empty()) lines.push_back("");
      lines.push_back("[" + section_ + "]");
      lines.push_back(entry);
    }
  }
  // Written beside the file and moved over it: a reader never sees half.
  if (!MakeFolders(path_)) return false;
  const std::string temporary = path_ + ".new." + std::to_string(::getpid());
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    for (const std::string& text : lines) out << text << '\n';
    out.flush();
    if (!out) {
      std::remove(temporary.c_str());
      return false;
    }
  }
  if (std::rename(temporary.c_str(), path_.c_str()) != 0) {
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

std::string UserStorePath() {
  std::string base = Environment("XDG_CONFIG_HOME");
  // A relative path is to be ignored, as the XDG rules say.
  if (base.empty() || base[0] != '/') {
    const std::string home = Environment("HOME");
    base = (home.empty() ? std::string() : home) + "/.config";
  }
  return base + "/" + kStoreFolder + "/" + kStoreFile;
}

std::string MachineStorePath() {
  const std::string dirs = Environment("XDG_CONFIG_DIRS");
  std::string base = dirs.substr(0, dirs.find(':'));
  if (base.empty() || base[0] != '/') base = "/etc/xdg";
  return base + "/" + kStoreFolder + "/" + kStoreFile;
}

void UseSystemStores() {
  static IniFileStore user(UserStorePath(), kStoreSection);
  static IniFileStore machine(MachineStorePath(), kStoreSection);
  SetStores(&user, &machine);
}

}  // namespace vexil::platform::posix
