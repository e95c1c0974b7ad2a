// The name list: what is left of the command text after the switches, taken
// apart one movie name at a time. A copy of the whole list is kept so that
// the list can be played again (/L with more than one name).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vexil {

class NameList {
 public:
  // `whole_names` come after the names of `text`, each taken as it stands.
  explicit NameList(std::string text = std::string(), std::vector<std::string> whole_names = {});

  // Takes the next name off the front: false when no name is left.
  // A name in double quotes runs to the next double quote (without one, the
  // rest including the quote is the name); otherwise to the first blank. Then
  // blanks and one ',' are skipped; name and rest are trimmed. When the text
  // holds only blanks, the next whole name follows.
  bool TakeNext(std::string* name);

  // Whether names remain.
  bool HasMore() const;
  // The list from its saved copy again.
  void Restore() {
    rest_ = saved_;
    next_whole_ = 0;
  }
  // Drops the remaining names (the quit action).
  void Clear() {
    rest_.clear();
    next_whole_ = whole_names_.size();
  }

  const std::string& rest() const { return rest_; }

 private:
  std::string saved_;
  std::string rest_;
  std::vector<std::string> whole_names_;
  size_t next_whole_ = 0;
};

// Takes the first name. When names remain after it the list plays as a list:
// each movie once, and the play count applies to the whole list: then
// `list_loops` takes the play count and the play count becomes 1; for a single
// movie `list_loops` is 1. False when the list holds no name.
bool TakeFirstName(NameList& list, int32_t* play_count, int32_t* list_loops, std::string* name);

}  // namespace vexil
