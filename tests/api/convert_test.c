/* Conversion into the sixteen formats, against what the engine's copy gives
 * (as `vexil frame ... -o OUT.raw --format CODE` writes it). */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "api_movies.h"

/* A destination laid out as the frame tool lays it out: rows at a pitch of
 * width x bytes rounded up to 4; YV12 with an even number of luma rows and
 * the V and U planes at half pitch; filled with black for the format. */
typedef struct destination {
  uint8_t* bytes;
  size_t size;
  int32_t pitch;
  uint32_t rows;
} destination;

static destination make_destination(uint32_t format, uint32_t width, uint32_t height) {
  destination d;
  d.rows = format == VEXIL_FORMAT_YV12 ? (height + 1) & ~1u : height;
  d.pitch = (int32_t)((width * vexil_format_bytes(format) + 3) & ~3u);
  const size_t luma = (size_t)d.pitch * d.rows;
  const size_t chroma = format == VEXIL_FORMAT_YV12 ? 2 * (size_t)(d.pitch / 2) * (d.rows / 2) : 0;
  d.size = luma + chroma;
  d.bytes = (uint8_t*)calloc(d.size + 1, 1);
  if (format == VEXIL_FORMAT_YV12) {
    memset(d.bytes, 16, luma);
    memset(d.bytes + luma, 128, chroma);
  } else if (format == VEXIL_FORMAT_YUY2 || format == VEXIL_FORMAT_UYVY) {
    const size_t luma_byte = format == VEXIL_FORMAT_YUY2 ? 0 : 1;
    for (size_t i = 0; i < d.size; ++i) d.bytes[i] = (i & 1) == luma_byte ? 16 : 128;
  }
  return d;
}

/* Frame `frame` of the movie at `path` converted by the library as the
 * frame tool converts it (alpha kept, the file's display option). */
static destination convert_frame(const char* path, uint32_t frame, uint32_t format) {
  destination d = {NULL, 0, 0, 0};
  vexil_open_options o;
  vexil_open_options_init(&o);
  o.flags = VEXIL_OPEN_ALPHA;
  vexil_movie* movie = NULL;
  CHECK_RESULT(vexil_open_file(path, &o, &movie), VEXIL_OK, NULL);
  if (!movie) return d;
  vexil_movie_info info;
  vexil_movie_info_init(&info);
  vexil_movie_get_info(movie, &info);
  d = make_destination(format, info.width, info.height);
  CHECK_RESULT(vexil_movie_seek(movie, frame, VEXIL_SEEK_EXACT), VEXIL_OK, movie);
  CHECK_RESULT(
      vexil_movie_convert(movie, d.bytes, d.pitch, d.rows, info.width, info.height, format, 0),
      VEXIL_OK, movie);
  vexil_close(movie);
  return d;
}

static void check_against_tool(const char* path, uint32_t frame, uint32_t format) {
  api_context("%s frame %u format %u", path, (unsigned)frame, (unsigned)format);
  const char* raw = api_temp_path("frame.raw");
  char arguments[1024];
  snprintf(arguments, sizeof(arguments), "frame %s %u -o %s --format %u", path, (unsigned)frame,
           raw, (unsigned)format);
  remove(raw);
  CHECK_EQ(api_run_vexil(arguments), 0);
  api_bytes want = api_read_file(raw);
  destination got = convert_frame(path, frame, format);
  CHECK_EQ(got.size, want.size);
  CHECK(got.size == want.size && memcmp(got.bytes, want.data, got.size) == 0);
  free(got.bytes);
  api_bytes_free(&want);
}

static uint32_t frame_count(const char* path) {
  vexil_movie* movie = open_plain(path, 0);
  vexil_movie_info info;
  vexil_movie_info_init(&info);
  vexil_movie_get_info(movie, &info);
  vexil_close(movie);
  return info.frame_count;
}

void test_Convert_EveryFormatAsTheEngineCopies(void) {
  /* Every display option of the files (1, 2, 3, 5), alpha, grayscale, odd
   * and tiny sizes, each revision. */
  const size_t chosen[] = {0, 3, 4, 7, 9, 12, 13, 22, 25, 31};
  for (size_t c = 0; c < sizeof(chosen) / sizeof(chosen[0]); ++c) {
    const char* path = api_video_vector(chosen[c]);
    const uint32_t last = frame_count(path);
    for (uint32_t format = 0; format < VEXIL_FORMAT_COUNT; ++format)
      check_against_tool(path, format % 2 ? last : 1, format);
  }
}

void test_Convert_EveryVector(void) {
  for (size_t v = 0; v < api_video_vector_count(); ++v) {
    const char* path = api_video_vector(v);
    check_against_tool(path, frame_count(path), VEXIL_FORMAT_32);
  }
}

void test_Convert_BottomUpAndRegions(void) {
  const char* path = api_video_vector(3); /* 100 x 80 */
  vexil_movie* movie = open_plain(path, 0);
  if (!movie) return;
  CHECK_RESULT(vexil_movie_decode_next(movie), VEXIL_OK, movie);
  const int32_t pitch = 100 * 4;
  uint8_t* top_down = (uint8_t*)calloc(80, pitch);
  uint8_t* bottom_up = (uint8_t*)calloc(80, pitch);
  CHECK_RESULT(vexil_movie_convert(movie, top_down, pitch, 80, 100, 80, VEXIL_FORMAT_32, 0),
               VEXIL_OK, movie);
  CHECK_RESULT(vexil_movie_convert(movie, bottom_up, -pitch, 80, 100, 80, VEXIL_FORMAT_32, 0),
               VEXIL_OK, movie);
  for (int y = 0; y < 80; ++y)
    CHECK(memcmp(top_down + y * pitch, bottom_up + (79 - y) * pitch, (size_t)pitch) == 0);
  /* A region: the top-left 10 x 5, nothing else written. */
  memset(bottom_up, 0xEE, (size_t)80 * pitch);
  CHECK_RESULT(vexil_movie_convert(movie, bottom_up, pitch, 80, 10, 5, VEXIL_FORMAT_32, 0),
               VEXIL_OK, movie);
  for (int y = 0; y < 80; ++y) {
    const int inside = y < 5;
    CHECK(!inside || memcmp(bottom_up + y * pitch, top_down + y * pitch, 40) == 0);
    CHECK(bottom_up[y * pitch + 40] == 0xEE);
    CHECK(inside || bottom_up[y * pitch] == 0xEE);
  }
  /* Chroma read as 128: what a movie opened as grayscale shows. */
  CHECK_RESULT(vexil_movie_convert(movie, bottom_up, pitch, 80, 100, 80, VEXIL_FORMAT_32,
                                   VEXIL_CONVERT_GRAYSCALE),
               VEXIL_OK, movie);
  CHECK(memcmp(top_down, bottom_up, (size_t)80 * pitch) != 0);
  vexil_movie* gray = open_plain(path, VEXIL_OPEN_GRAYSCALE);
  CHECK_RESULT(vexil_movie_decode_next(gray), VEXIL_OK, gray);
  CHECK_RESULT(vexil_movie_convert(gray, top_down, pitch, 80, 100, 80, VEXIL_FORMAT_32, 0),
               VEXIL_OK, gray);
  CHECK(memcmp(top_down, bottom_up, (size_t)80 * pitch) == 0);
  vexil_close(gray);
  free(top_down);
  free(bottom_up);
  vexil_close(movie);
}

void test_Convert_Refusals(void) {
  vexil_movie* movie = open_plain(api_video_vector(3), 0); /* 100 x 80 */
  if (!movie) return;
  CHECK_RESULT(vexil_movie_decode_next(movie), VEXIL_OK, movie);
  uint8_t* pixels = (uint8_t*)calloc(80, 400);
  const struct {
    void* destination;
    int32_t pitch;
    uint32_t rows, width, height, format, flags;
  } bad[] = {
      {NULL, 400, 80, 100, 80, VEXIL_FORMAT_32, 0},
      {pixels, 399, 80, 100, 80, VEXIL_FORMAT_32, 0},
      {pixels, -399, 80, 100, 80, VEXIL_FORMAT_32, 0},
      {pixels, 400, 80, 101, 80, VEXIL_FORMAT_32, 0},
      {pixels, 400, 80, 100, 81, VEXIL_FORMAT_32, 0},
      {pixels, 400, 80, 100, 80, VEXIL_FORMAT_COUNT, 0},
      {pixels, 400, 80, 100, 80, VEXIL_FORMAT_32, 0x2},
      {pixels, 400, 0x80000000u, 100, 80, VEXIL_FORMAT_32, 0},
  };
  for (size_t c = 0; c < sizeof(bad) / sizeof(bad[0]); ++c) {
    api_context("case %d", (int)c);
    CHECK_RESULT(vexil_movie_convert(movie, bad[c].destination, bad[c].pitch, bad[c].rows,
                                     bad[c].width, bad[c].height, bad[c].format, bad[c].flags),
                 VEXIL_ERROR_ARGUMENT, movie);
    CHECK(vexil_movie_error(movie)[0] != 0);
  }
  CHECK_EQ(vexil_format_bytes(VEXIL_FORMAT_24), 3);
  CHECK_EQ(vexil_format_bytes(VEXIL_FORMAT_YV12), 1);
  CHECK_EQ(vexil_format_bytes(16), 0);
  free(pixels);
  vexil_close(movie);
}
