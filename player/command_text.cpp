#include "player/command_text.h"

namespace vexil {
namespace {

unsigned char Upper(unsigned char c) { return c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c; }

// Removes every switch before `end` whose letter is `letter` (upper-cased),
// with its argument up to the next character at or below blank or the next
// '/'. Returns how many characters were removed.
size_t RemoveEarlierSwitches(std::string& text, size_t end, unsigned char letter) {
  size_t removed = 0;
  size_t i = 0;
  while (i + 1 < end) {
    if (text[i] == '/' && Upper(static_cast<unsigned char>(text[i + 1])) == letter) {
      size_t stop = i + 2;
      while (stop < end && static_cast<unsigned char>(text[stop]) > ' ' && text[stop] != '/')
        ++stop;
      text.erase(i, stop - i);
      end -= stop - i;
      removed += stop - i;
      continue;  // the character now at i may start the next switch
    }
    ++i;
  }
  return removed;
}

}  // namespace

void AppendCommandText(std::string& text, std::string_view more) {
  if (!text.empty() && !more.empty()) text += ' ';
  text += more;
  if (text.size() > kCommandTextLimit) text.resize(kCommandTextLimit);
}

void CancelSwitches(std::string& text) {
  size_t at = text.find("/-");
  while (at != std::string::npos) {
    if (at + 2 == text.size()) {
      text.resize(at);
      return;
    }
    unsigned char letter = Upper(static_cast<unsigned char>(text[at + 2]));
    at -= RemoveEarlierSwitches(text, at, letter);
    text.erase(at, 3);
    at = text.find("/-", at);
  }
}

}  // namespace vexil
