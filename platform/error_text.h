// A failure's message: the 255-byte text an operation fills when it fails and
// its caller shows. The caller owns it and hands it to the operation, so
// failures on different threads (or of different movies) never share a text.
#pragma once

#include <cstddef>
#include <cstring>

namespace vexil {

struct ErrorText {
  static constexpr size_t kSize = 255;

  // Copies at most kSize - 1 characters of `message` (null: empty) and terminates.
  void Set(const char* message) {
    size_t n = message ? std::strlen(message) : 0;
    if (n > kSize - 1) n = kSize - 1;
    if (n) std::memcpy(text, message, n);
    text[n] = 0;
  }
  void Clear() { text[0] = 0; }
  bool Empty() const { return text[0] == 0; }
  const char* c_str() const { return text; }

  char text[kSize] = {};
};

// The message of a failed allocation, whichever layer's.
inline constexpr const char kErrOutOfMemory[] = "Out of memory.";

// Sets the text when the caller asked for one (`error` may be null).
inline void SetErrorText(ErrorText* error, const char* message) {
  if (error) error->Set(message);
}

}  // namespace vexil
