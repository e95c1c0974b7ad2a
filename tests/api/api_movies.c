#include "api_movies.h"

#include <stdio.h>
#include <string.h>

void put32(uint8_t* at, uint32_t value) {
  at[0] = (uint8_t)value;
  at[1] = (uint8_t)(value >> 8);
  at[2] = (uint8_t)(value >> 16);
  at[3] = (uint8_t)(value >> 24);
}

uint32_t get32(const uint8_t* at) {
  return (uint32_t)at[0] | (uint32_t)at[1] << 8 | (uint32_t)at[2] << 16 | (uint32_t)at[3] << 24;
}

api_bytes make_movie(char revision, uint32_t width, uint32_t height, uint32_t frames,
                     uint32_t packet_bytes) {
  api_bytes movie = {0};
  uint8_t header[HEADER_BYTES] = {'V', 'X', 'L', (uint8_t)revision};
  const uint32_t first_packet = HEADER_BYTES + 4 * (frames + 1);
  const uint32_t total = first_packet + frames * packet_bytes;
  put32(header + HEADER_FILE_SIZE, total - 8);
  put32(header + HEADER_FRAMES, frames);
  put32(header + HEADER_LARGEST, packet_bytes);
  put32(header + HEADER_INDEX_ENTRIES, frames);
  put32(header + HEADER_WIDTH, width);
  put32(header + HEADER_HEIGHT, height);
  put32(header + HEADER_RATE_NUM, 25);
  put32(header + HEADER_RATE_DEN, 1);
  api_bytes_append(&movie, header, sizeof(header));
  for (uint32_t i = 0; i <= frames; ++i) {
    uint8_t entry[4];
    put32(entry, (first_packet + i * packet_bytes) | (i == 0 ? 1u : 0u));
    api_bytes_append(&movie, entry, 4);
  }
  for (uint32_t i = 0; i < frames; ++i) {
    for (uint32_t b = 0; b < packet_bytes; ++b) {
      const uint8_t byte = (uint8_t)(i * 31 + b * 7);
      api_bytes_append(&movie, &byte, 1);
    }
  }
  return movie;
}

static int64_t stream_read(void* user, void* buffer, size_t n) {
  memory_stream* s = (memory_stream*)user;
  ++s->reads;
  if (s->position >= s->size) return 0;
  size_t left = (size_t)(s->size - s->position);
  /* Deliver in small pieces now and then: the library must read on. */
  size_t take = n < left ? n : left;
  if (take > 1000 && (s->reads % 3) == 0) take = 1000;
  memcpy(buffer, s->data + s->position, take);
  s->position += take;
  return (int64_t)take;
}

static int stream_seek(void* user, uint64_t offset) {
  memory_stream* s = (memory_stream*)user;
  if (offset > s->size) return -1;
  s->position = offset;
  return 0;
}

static int64_t stream_size(void* user) {
  return (int64_t)((memory_stream*)user)->size;
}

static void stream_close(void* user) {
  ++((memory_stream*)user)->closes;
}

vexil_io memory_io(memory_stream* stream) {
  vexil_io io;
  memset(&io, 0, sizeof(io));
  io.user = stream;
  io.read = stream_read;
  io.seek = stream_seek;
  io.size = stream->with_size ? stream_size : NULL;
  io.close = stream_close;
  return io;
}

static void append_plane(api_bytes* out, const uint8_t* samples, uint32_t pitch, uint32_t width,
                         uint32_t height) {
  uint8_t neutral[256];
  if (!samples) memset(neutral, 128, sizeof(neutral));
  for (uint32_t y = 0; y < height; ++y) {
    if (samples) {
      api_bytes_append(out, samples + (size_t)y * pitch, width);
    } else {
      for (uint32_t x = 0; x < width; x += 256)
        api_bytes_append(out, neutral, width - x < 256 ? width - x : 256);
    }
  }
}

void append_planes(vexil_movie* movie, api_bytes* out) {
  vexil_picture p;
  vexil_picture_init(&p);
  CHECK_RESULT(vexil_movie_get_picture(movie, &p), VEXIL_OK, movie);
  append_plane(out, p.y, p.y_pitch, p.width, p.height);
  append_plane(out, p.cb, p.cb_pitch, p.chroma_width, p.chroma_height);
  append_plane(out, p.cr, p.cr_pitch, p.chroma_width, p.chroma_height);
}

static void append_header(vexil_movie* movie, api_bytes* out, const char* colour) {
  vexil_movie_info info;
  vexil_movie_info_init(&info);
  CHECK_RESULT(vexil_movie_get_info(movie, &info), VEXIL_OK, movie);
  char line[128];
  int n = snprintf(line, sizeof(line), "YUV4MPEG2 W%u H%u F%u:%u Ip A1:1 %s\n",
                   (unsigned)info.coded_width, (unsigned)info.coded_height,
                   (unsigned)info.file_rate_num, (unsigned)info.file_rate_den, colour);
  api_bytes_append(out, line, (size_t)n);
}

vexil_result decode_y4m(vexil_movie* movie, api_bytes* y4m, api_bytes* alpha) {
  append_header(movie, y4m, "C420jpeg");
  if (alpha) append_header(movie, alpha, "Cmono");
  vexil_result r;
  while ((r = vexil_movie_decode_next(movie)) == VEXIL_OK) {
    api_bytes_append(y4m, "FRAME\n", 6);
    append_planes(movie, y4m);
    if (alpha) {
      vexil_picture p;
      vexil_picture_init(&p);
      vexil_movie_get_picture(movie, &p);
      CHECK(p.alpha != NULL);
      api_bytes_append(alpha, "FRAME\n", 6);
      append_plane(alpha, p.alpha, p.alpha_pitch, p.width, p.height);
    }
  }
  return r;
}

vexil_movie* open_plain(const char* path, uint32_t flags) {
  vexil_open_options o;
  vexil_open_options_init(&o);
  o.flags = flags;
  o.display_option = VEXIL_DISPLAY_NONE;
  vexil_movie* movie = NULL;
  CHECK_RESULT(vexil_open_file(path, &o, &movie), VEXIL_OK, NULL);
  return movie;
}
