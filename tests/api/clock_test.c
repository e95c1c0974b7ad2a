/* The movie clock on the real timer: when frames are due, pausing, a movie
 * that falls behind, and seeks. Margins are wide: the waits are of whole
 * frame periods. */
#include "api_movies.h"

static vexil_movie* open_at_rate(uint32_t num, uint32_t den) {
  vexil_open_options o;
  vexil_open_options_init(&o);
  o.rate_num = num;
  o.rate_den = den;
  vexil_movie* movie = NULL;
  CHECK_RESULT(vexil_open_file(api_video_vector(15), &o, &movie), VEXIL_OK, NULL); /* 12 frames */
  return movie;
}

void test_Clock_FramesFallDueOnePeriodApart(void) {
  vexil_movie* movie = open_at_rate(4, 1); /* 250 ms */
  if (!movie) return;
  CHECK_EQ(vexil_movie_clock_ms(movie), 0);
  CHECK_EQ(vexil_movie_wait(movie), 0); /* nothing shown yet: frame 1 is due */
  CHECK_RESULT(vexil_movie_decode_next(movie), VEXIL_OK, movie);
  CHECK_EQ(vexil_movie_late(movie), 0);
  CHECK_EQ(vexil_movie_wait(movie), 1);
  CHECK_EQ(vexil_movie_clock_ms(movie), 250);
  api_sleep_ms(350);
  CHECK_EQ(vexil_movie_wait(movie), 0);
  CHECK_RESULT(vexil_movie_decode_next(movie), VEXIL_OK, movie);
  CHECK_EQ(vexil_movie_clock_ms(movie), 500);
  CHECK_EQ(vexil_movie_wait(movie), 1);
  vexil_close(movie);
}

void test_Clock_AsFastAsPossible(void) {
  vexil_movie* movie = open_at_rate(0, 1);
  if (!movie) return;
  for (int f = 0; f < 12; ++f) {
    CHECK_EQ(vexil_movie_wait(movie), 0);
    CHECK_RESULT(vexil_movie_decode_next(movie), VEXIL_OK, movie);
    CHECK_EQ(vexil_movie_late(movie), 0);
  }
  vexil_close(movie);
}

void test_Clock_PauseHoldsTheClock(void) {
  vexil_movie* movie = open_at_rate(4, 1);
  if (!movie) return;
  CHECK_RESULT(vexil_movie_decode_next(movie), VEXIL_OK, movie);
  CHECK_EQ(vexil_movie_wait(movie), 1);
  CHECK_EQ(vexil_movie_pause(movie, 1), 1);
  CHECK_EQ(vexil_movie_pause(movie, 1), 1);
  api_sleep_ms(400);
  CHECK_EQ(vexil_movie_wait(movie), 1); /* paused: nothing falls due */
  CHECK_EQ(vexil_movie_pause(movie, 0), 0);
  /* The clock goes on where it stopped: frame 2 is still most of a period away. */
  CHECK_EQ(vexil_movie_wait(movie), 1);
  api_sleep_ms(350);
  CHECK_EQ(vexil_movie_wait(movie), 0);
  vexil_close(movie);
}

void test_Clock_AMovieFallenBehindMovesItsClockOn(void) {
  vexil_movie* movie = open_at_rate(10, 1); /* 100 ms; late after two periods */
  if (!movie) return;
  CHECK_RESULT(vexil_movie_decode_next(movie), VEXIL_OK, movie);
  api_sleep_ms(600);
  CHECK_EQ(vexil_movie_wait(movie), 0);
  CHECK_RESULT(vexil_movie_decode_next(movie), VEXIL_OK, movie);
  /* Shown, not dropped: without sound the clock starts again from here, so
   * the next frame is a whole period away instead of long overdue. */
  CHECK_EQ(vexil_movie_late(movie), 0);
  CHECK_EQ(vexil_movie_late(movie), 0);
  CHECK_EQ(vexil_movie_wait(movie), 1);
  vexil_close(movie);
}

void test_Clock_SeekRestartsTheClock(void) {
  vexil_movie* movie = open_at_rate(4, 1);
  if (!movie) return;
  CHECK_RESULT(vexil_movie_decode_next(movie), VEXIL_OK, movie);
  CHECK_RESULT(vexil_movie_decode_next(movie), VEXIL_OK, movie);
  CHECK(vexil_movie_clock_ms(movie) >= 250);
  CHECK_RESULT(vexil_movie_seek(movie, 9, VEXIL_SEEK_KEY), VEXIL_OK, movie);
  CHECK_EQ(vexil_movie_clock_ms(movie), 0);
  CHECK_EQ(vexil_movie_wait(movie), 1); /* the clock starts at the frame sought */
  CHECK_EQ(vexil_movie_clock_ms(movie), 250);
  vexil_close(movie);
}
