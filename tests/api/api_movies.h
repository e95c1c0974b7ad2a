/*
 * Movies for the API tests: small ones built byte by byte (to damage them),
 * stream callbacks over memory, and whole decodes written the way
 * `vexil decode --y4m/--alpha` writes them.
 */
#ifndef VEXIL_TESTS_API_MOVIES_H
#define VEXIL_TESTS_API_MOVIES_H

#include "api_test.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Header field offsets. */
enum {
  HEADER_FILE_SIZE = 4,
  HEADER_FRAMES = 8,
  HEADER_LARGEST = 12,
  HEADER_INDEX_ENTRIES = 16,
  HEADER_WIDTH = 20,
  HEADER_HEIGHT = 24,
  HEADER_RATE_NUM = 28,
  HEADER_RATE_DEN = 32,
  HEADER_FLAGS = 36,
  HEADER_TRACKS = 40,
  HEADER_BYTES = 44
};

void put32(uint8_t* at, uint32_t value);
uint32_t get32(const uint8_t* at);

/* A valid movie without tracks: `frames` packets of `packet_bytes` bytes
 * (a multiple of 4) of video data, the first a key frame. */
api_bytes make_movie(char revision, uint32_t width, uint32_t height, uint32_t frames,
                     uint32_t packet_bytes);
/* Offset of the frame index (no tracks: right after the header). */
#define INDEX_OFFSET HEADER_BYTES

/* Stream callbacks over a block of memory, counting the closes. */
typedef struct memory_stream {
  const uint8_t* data;
  size_t size;
  uint64_t position;
  int closes;
  int reads;
  int with_size; /* offer the size callback */
} memory_stream;
vexil_io memory_io(memory_stream* stream);

/* Decodes every frame left, writing what `vexil decode --y4m` writes into y4m
 * and (when not NULL) what --alpha writes into alpha. The result of the last
 * decode_next (VEXIL_END when all went well). */
vexil_result decode_y4m(vexil_movie* movie, api_bytes* y4m, api_bytes* alpha);
/* The picture decoded last as one Y4M frame (luma, Cb, Cr; 128 for absent
 * chroma), without the FRAME line. */
void append_planes(vexil_movie* movie, api_bytes* out);

/* Opens the file with `flags` and the display option none, as the tool does. */
vexil_movie* open_plain(const char* path, uint32_t flags);

#ifdef __cplusplus
}
#endif

#endif /* VEXIL_TESTS_API_MOVIES_H */
