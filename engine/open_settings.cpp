#include "engine/open_settings.h"

#include <atomic>

#include "engine/movie.h"

namespace vexil {
namespace {

constexpr OpenSettings kNone = {-1, -1, -1, -1, nullptr};
OpenSettings g_settings = kNone;  // player thread only
// Set by every background decode start and read by every close, which may
// run on different threads when several movies are played at once.
std::atomic<CloseHook> g_close_hook{nullptr};

}  // namespace

void SetRateOverride(int32_t numerator, int32_t denominator) {
  g_settings.rate_num = numerator;
  g_settings.rate_den = denominator;
}
void SetReadBufferSize(int32_t bytes) { g_settings.read_buffer_size = bytes; }
void SetSimulatedReadSpeed(int32_t bytes_per_second) { g_settings.read_speed = bytes_per_second; }
void SetInputOpen(InputOpenOperation operation) { g_settings.input_open = operation; }
void SetCloseHook(CloseHook hook) {
  g_close_hook.store(hook, std::memory_order_release);
}
CloseHook GetCloseHook() {
  return g_close_hook.load(std::memory_order_acquire);
}

OpenSettings TakeOpenSettings() {
  OpenSettings taken = g_settings;
  g_settings = kNone;
  return taken;
}

}  // namespace vexil
