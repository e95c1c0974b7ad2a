#include "engine/last_error.h"

#include <cstring>
#include <mutex>

namespace vexil {
namespace {

// Written by opens on the player thread; the lock only keeps a tool or test
// that opens from several threads from tearing the text.
std::mutex g_error_lock;
char g_error[kLastErrorSize];

}  // namespace

const char* LastError() { return g_error; }

void SetLastErrorText(const char* text) {
  std::lock_guard<std::mutex> lock(g_error_lock);
  size_t n = text ? std::strlen(text) : 0;
  if (n > kLastErrorSize - 1) n = kLastErrorSize - 1;
  if (n) std::memcpy(g_error, text, n);
  g_error[n] = 0;
}

void ClearLastError() { SetLastErrorText(""); }

bool LastErrorEmpty() { return g_error[0] == 0; }

}  // namespace vexil
