#include "player/name_list.h"

namespace vexil {
namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

std::string Trim(const std::string& text, size_t from = 0, size_t to = std::string::npos) {
  if (to > text.size()) to = text.size();
  while (from < to && IsBlank(text[from])) ++from;
  while (to > from && IsBlank(text[to - 1])) --to;
  return text.substr(from, to - from);
}

}  // namespace

NameList::NameList(std::string text, std::vector<std::string> whole_names)
    : saved_(std::move(text)), rest_(saved_), whole_names_(std::move(whole_names)) {}

bool NameList::HasMore() const {
  return !Trim(rest_).empty() || next_whole_ < whole_names_.size();
}

bool NameList::TakeNext(std::string* name) {
  size_t pos = 0;
  while (pos < rest_.size() && IsBlank(rest_[pos])) ++pos;
  if (pos == rest_.size()) {
    rest_.clear();
    if (next_whole_ == whole_names_.size()) return false;
    *name = whole_names_[next_whole_++];
    return true;
  }
  size_t after;  // where the rest starts
  if (rest_[pos] == '"') {
    size_t close = rest_.find('"', pos + 1);
    if (close == std::string::npos) {
      *name = Trim(rest_, pos);
      rest_.clear();
      return true;
    }
    *name = Trim(rest_, pos + 1, close);
    after = close + 1;
  } else {
    size_t end = pos;
    while (end < rest_.size() && !IsBlank(rest_[end])) ++end;
    *name = Trim(rest_, pos, end);
    after = end;
  }
  // A quoted name gets the same comma skipping as a plain one, so that
  // "a b", c splits like a, c.
  while (after < rest_.size() && IsBlank(rest_[after])) ++after;
  if (after < rest_.size() && rest_[after] == ',') ++after;
  rest_ = Trim(rest_, after);
  return true;
}

bool TakeFirstName(NameList& list, int32_t* play_count, int32_t* list_loops, std::string* name) {
  if (!list.TakeNext(name)) return false;
  *list_loops = 1;
  if (list.HasMore()) {
    *list_loops = *play_count;
    *play_count = 1;
  }
  return true;
}

}  // namespace vexil
