/* Seeking: to key frames and exactly, forward and back, to the first and the
 * last frame, against what sequential decoding gives. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "api_movies.h"

/* Every frame's planes, decoded in order. */
typedef struct frames {
  api_bytes* planes; /* [0] is frame 1 */
  uint32_t count;
} frames;

static frames decode_all(const char* path) {
  frames all = {NULL, 0};
  vexil_movie* movie = open_plain(path, 0);
  if (!movie) return all;
  vexil_movie_info info;
  vexil_movie_info_init(&info);
  vexil_movie_get_info(movie, &info);
  all.planes = (api_bytes*)calloc(info.frame_count, sizeof(api_bytes));
  while (vexil_movie_decode_next(movie) == VEXIL_OK) append_planes(movie, &all.planes[all.count++]);
  CHECK_EQ(all.count, info.frame_count);
  vexil_close(movie);
  return all;
}

static void free_frames(frames* all) {
  for (uint32_t i = 0; i < all->count; ++i) api_bytes_free(&all->planes[i]);
  free(all->planes);
}

static void check_frame(vexil_movie* movie, const frames* all, uint32_t frame) {
  CHECK_EQ(vexil_movie_frame(movie), frame);
  api_bytes got = {0};
  append_planes(movie, &got);
  CHECK(frame >= 1 && frame <= all->count && api_bytes_equal(&got, &all->planes[frame - 1]));
  api_bytes_free(&got);
}

void test_Seek_EncoderMovieSeeksMatchSequentialDecoding(void) {
  const char* path = api_encoder_movie();
  frames all = decode_all(path);
  CHECK_EQ(all.count, 50);
  const uint32_t targets[] = {1, 50, 25, 10, 11, 9, 49, 2, 30, 30, 31, 1, 50};
  for (int exact = 0; exact <= 1; ++exact) {
    vexil_movie* movie = open_plain(path, 0);
    if (!movie) break;
    for (size_t t = 0; t < sizeof(targets) / sizeof(targets[0]); ++t) {
      api_context("%s seek to %u", exact ? "exact" : "key", (unsigned)targets[t]);
      CHECK_RESULT(vexil_movie_seek(movie, targets[t], exact ? VEXIL_SEEK_EXACT : VEXIL_SEEK_KEY),
                   VEXIL_OK, movie);
      check_frame(movie, &all, targets[t]);
      /* Decoding goes on after the frame sought. */
      if (targets[t] < all.count) {
        CHECK_RESULT(vexil_movie_decode_next(movie), VEXIL_OK, movie);
        check_frame(movie, &all, targets[t] + 1);
      } else {
        CHECK_RESULT(vexil_movie_decode_next(movie), VEXIL_END, movie);
      }
    }
    vexil_close(movie);
  }
  free_frames(&all);
}

void test_Seek_ExactSeeksInEveryVector(void) {
  for (size_t v = 0; v < api_video_vector_count(); ++v) {
    const char* path = api_video_vector(v);
    frames all = decode_all(path);
    vexil_movie* movie = open_plain(path, 0);
    /* Backwards from the last frame, then forwards by twos. */
    for (uint32_t f = all.count; movie && f >= 1; --f) {
      api_context("%s exact seek back to %u", path, (unsigned)f);
      CHECK_RESULT(vexil_movie_seek(movie, f, VEXIL_SEEK_EXACT), VEXIL_OK, movie);
      check_frame(movie, &all, f);
    }
    for (uint32_t f = 1; movie && f <= all.count; f += 2) {
      api_context("%s exact seek on to %u", path, (unsigned)f);
      CHECK_RESULT(vexil_movie_seek(movie, f, VEXIL_SEEK_EXACT), VEXIL_OK, movie);
      check_frame(movie, &all, f);
    }
    vexil_close(movie);
    free_frames(&all);
  }
}

void test_Seek_AudioAfterASeek(void) {
  const char* path = api_encoder_movie();
  const uint32_t id = 0;
  vexil_open_options o;
  vexil_open_options_init(&o);
  o.track_ids = &id;
  o.track_id_count = 1;
  vexil_movie* movie = NULL;
  CHECK_RESULT(vexil_open_file(path, &o, &movie), VEXIL_OK, NULL);
  if (!movie) return;
  CHECK_RESULT(vexil_movie_decode_next(movie), VEXIL_OK, movie);
  CHECK_RESULT(vexil_movie_decode_next(movie), VEXIL_OK, movie);
  const uint64_t two_frames = vexil_movie_audio_queued(movie, id);
  CHECK(two_frames > 0);
  /* The queue holds the target frame's audio only. */
  CHECK_RESULT(vexil_movie_seek(movie, 1, VEXIL_SEEK_KEY), VEXIL_OK, movie);
  const uint64_t one_frame = vexil_movie_audio_queued(movie, id);
  CHECK(one_frame > 0 && one_frame < two_frames);
  CHECK_RESULT(vexil_movie_seek(movie, 20, VEXIL_SEEK_KEY), VEXIL_OK, movie);
  CHECK(vexil_movie_audio_queued(movie, id) > 0);
  CHECK(vexil_movie_audio_queued(movie, id) < two_frames);
  vexil_close(movie);
}

void test_Seek_Refusals(void) {
  vexil_movie* movie = open_plain(api_video_vector(2), 0); /* 6 frames */
  if (!movie) return;
  const struct {
    uint32_t frame, flags;
  } bad[] = {{0, VEXIL_SEEK_KEY}, {7, VEXIL_SEEK_EXACT}, {3, 2}, {0xFFFFFFFFu, VEXIL_SEEK_KEY}};
  for (size_t c = 0; c < sizeof(bad) / sizeof(bad[0]); ++c) {
    api_context("seek to %u with 0x%x", (unsigned)bad[c].frame, (unsigned)bad[c].flags);
    CHECK_RESULT(vexil_movie_seek(movie, bad[c].frame, bad[c].flags), VEXIL_ERROR_ARGUMENT, movie);
    CHECK(vexil_movie_error(movie)[0] != 0);
  }
  /* A refused seek leaves the decoding where it was. */
  CHECK_EQ(vexil_movie_frame(movie), 0);
  CHECK_RESULT(vexil_movie_decode_next(movie), VEXIL_OK, movie);
  CHECK_EQ(vexil_movie_frame(movie), 1);
  CHECK_TEXT(vexil_movie_error(movie), "");
  vexil_close(movie);
}
