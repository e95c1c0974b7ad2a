// Playing on the movie's own timing.
#include "api/library.h"

using namespace vexil::api;

extern "C" {

int vexil_movie_wait(vexil_movie* movie) {
  return movie ? ClockWait(movie->handle) : 0;
}

int vexil_movie_late(vexil_movie* movie) {
  return movie ? ClockLate(movie->handle) : 0;
}

int vexil_movie_pause(vexil_movie* movie, int paused) {
  return movie ? ClockPause(movie->handle, paused) : 0;
}

uint32_t vexil_movie_clock_ms(const vexil_movie* movie) {
  return movie ? ClockMs(movie->handle) : 0;
}

}  // extern "C"
