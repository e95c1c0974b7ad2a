/*
 * What the public API's tests (written in C, against <vexil/vexil.h> only)
 * get from their runner: checks that report to it, and files, programs,
 * threads and clocks of the test system.
 */
#ifndef VEXIL_TESTS_API_TEST_H
#define VEXIL_TESTS_API_TEST_H

#include <stddef.h>
#include <stdint.h>
#include <vexil/vexil.h>

#ifdef __cplusplus
extern "C" {
#endif

/* --- checks -------------------------------------------------------------- */

/* Reports a failed check (the test goes on). */
void api_fail(const char* file, int line, const char* what);
/* Describes what the test is looking at; printed with every later failure
 * until the next call (NULL clears it). printf-style. */
void api_context(const char* format, ...);

#define CHECK(condition)                                        \
  do {                                                          \
    if (!(condition)) api_fail(__FILE__, __LINE__, #condition); \
  } while (0)

/* Integer equality with both values in the report. */
void api_fail_values(const char* file, int line, const char* what, long long got, long long want);
#define CHECK_EQ(got, want)                                                                 \
  do {                                                                                      \
    long long got_ = (long long)(got), want_ = (long long)(want);                           \
    if (got_ != want_) api_fail_values(__FILE__, __LINE__, #got " == " #want, got_, want_); \
  } while (0)

/* A result with its text in the report. */
void api_fail_result(const char* file, int line, const char* what, vexil_result got,
                     vexil_result want, const char* movie_error);
#define CHECK_RESULT(call, want, movie)                         \
  do {                                                          \
    vexil_result got_ = (call);                                 \
    if (got_ != (want))                                         \
      api_fail_result(__FILE__, __LINE__, #call, got_, (want),  \
                      (movie) ? vexil_movie_error(movie) : ""); \
  } while (0)

/* Text equality (NULL reads as "(null)"). */
void api_check_text(const char* file, int line, const char* what, const char* got,
                    const char* want);
#define CHECK_TEXT(got, want) api_check_text(__FILE__, __LINE__, #got, (got), (want))

/* --- memory -------------------------------------------------------------- */

/* A growable byte buffer; release with api_bytes_free. */
typedef struct api_bytes {
  uint8_t* data;
  size_t size;
  size_t capacity;
} api_bytes;

void api_bytes_append(api_bytes* bytes, const void* data, size_t size);
void api_bytes_free(api_bytes* bytes);
int api_bytes_equal(const api_bytes* a, const api_bytes* b);

/* --- files ----------------------------------------------------------------- */

/* The whole file; data is NULL (size 0) when it cannot be read. */
api_bytes api_read_file(const char* path);
/* 1 when written. */
int api_write_file(const char* path, const void* data, size_t size);
/* A path for `name` in a folder of this test program's own, removed at exit. */
const char* api_temp_path(const char* name);

/* The conformance vectors: tests/vectors/video/movie_NNN with .vxl, .y4m and
 * (movies with alpha) .alpha.y4m beside it. */
size_t api_video_vector_count(void);
/* "…/movie_NNN.vxl" */
const char* api_video_vector(size_t index);
/* Sound tracks with the WAV the decoder must give: both folders. */
size_t api_wav_vector_count(void);
void api_wav_vector(size_t index, const char** movie, const char** wav, uint32_t* track_id);

/* The manifest's figures of a video vector ("movie_NNN.vxl"). */
typedef struct api_manifest {
  uint32_t width, height, frames, tracks;
  uint32_t revision; /* 'f' to 'i' */
  uint32_t header_flags;
  uint32_t rate_num, rate_den;
  uint32_t index_entries;         /* the header's field: entries minus one */
  uint32_t peak_rate, peak_frame; /* peak_frame 0-based */
  uint32_t all_key;
  char key_marks[64]; /* 'K' or '.' per frame (the first 63) */
} api_manifest;
/* 1 when the vector is listed. */
int api_manifest_entry(const char* file_name, api_manifest* entry);

/* --- programs, time, threads --------------------------------------------- */

/* Runs the vexil tool of this build with the blank-separated arguments (no
 * argument may hold a blank); its exit code, -1 when it did not run. */
int api_run_vexil(const char* arguments);
/* A movie the project's encoder made (96 x 64, 25 frames per second, 50
 * frames, a key frame every 10, one sound track with id 0), made once. */
const char* api_encoder_movie(void);

void api_sleep_ms(uint32_t ms);
/* Runs work(argument[i]) for i < count, each on a thread of its own, all at
 * once; returns when all have ended. */
void api_run_threads(void (*work)(void* argument), void** arguments, int count);

#ifdef __cplusplus
}
#endif

#endif /* VEXIL_TESTS_API_TEST_H */
