/* Opening movies from the three sources, every refusal with its code and
 * text, the options, and what the library tells about a movie. */
#include <stdio.h>
#include <string.h>

#include "api_movies.h"

/* The engine's own texts, as the player shows them. */
static const struct {
  vexil_result code;
  const char* text;
} kTexts[] = {
    {VEXIL_ERROR_OPEN, "Error opening file."},
    {VEXIL_ERROR_NOT_VEXIL, "Not a Vexil file."},
    {VEXIL_ERROR_NO_FRAMES, "The file doesn't contain any compressed frames yet."},
    {VEXIL_ERROR_CORRUPT_HEADER, "The file has a corrupt header."},
    {VEXIL_ERROR_READING_HEADER, "Error reading Vexil header."},
    {VEXIL_ERROR_BAD_FRAME_SIZES, "This file has bad frame size data."},
    {VEXIL_ERROR_OUT_OF_MEMORY, "Out of memory."},
};

void test_Open_ResultTextsAndVersion(void) {
  for (size_t i = 0; i < sizeof(kTexts) / sizeof(kTexts[0]); ++i)
    CHECK_TEXT(vexil_result_text(kTexts[i].code), kTexts[i].text);
  CHECK_TEXT(vexil_result_text(VEXIL_OK), "");
  const vexil_result others[] = {
      VEXIL_END,           VEXIL_ERROR_ARGUMENT, VEXIL_ERROR_READ,       VEXIL_ERROR_NO_TRACK,
      VEXIL_ERROR_THREADS, VEXIL_ERROR_NO_VIDEO, VEXIL_ERROR_UNSUPPORTED};
  for (size_t i = 0; i < sizeof(others) / sizeof(others[0]); ++i) {
    CHECK(vexil_result_text(others[i])[0] != 0);
    CHECK(strcmp(vexil_result_text(others[i]), vexil_result_text(-99)) != 0);
  }
  CHECK_TEXT(vexil_result_text(-99), "Unknown result.");
  CHECK_EQ(vexil_version(), VEXIL_VERSION_NUMBER);
  CHECK_TEXT(vexil_version_string(), VEXIL_VERSION_STRING);
  char expected[32];
  snprintf(expected, sizeof(expected), "%d.%d.%d", VEXIL_VERSION_MAJOR, VEXIL_VERSION_MINOR,
           VEXIL_VERSION_PATCH);
  CHECK_TEXT(VEXIL_VERSION_STRING, expected);
}

enum source { FROM_MEMORY, FROM_FILE, FROM_STREAM, FROM_FILE_OFFSET, SOURCE_COUNT };
static const char* const kSourceNames[] = {"memory", "file", "stream", "file at an offset"};

/* Opens `bytes` from one source; the stream (when used) stays in *stream. */
static vexil_result open_from(enum source source, const api_bytes* bytes,
                              const vexil_open_options* options, memory_stream* stream,
                              vexil_movie** movie) {
  static int serial = 0;
  char name[64];
  snprintf(name, sizeof(name), "open-%d.vxl", ++serial);
  const char* path = api_temp_path(name);
  switch (source) {
    case FROM_MEMORY:
      return vexil_open_memory(bytes->data, bytes->size, options, movie);
    case FROM_FILE:
      api_write_file(path, bytes->data, bytes->size);
      return vexil_open_file(path, options, movie);
    case FROM_STREAM: {
      memset(stream, 0, sizeof(*stream));
      stream->data = bytes->data;
      stream->size = bytes->size;
      stream->with_size = 1;
      vexil_io io = memory_io(stream);
      return vexil_open_io(&io, options, movie);
    }
    default: {
      /* The movie appended to 1001 bytes of something else. */
      api_bytes file = {0};
      for (int i = 0; i < 1001; ++i) api_bytes_append(&file, "x", 1);
      api_bytes_append(&file, bytes->data, bytes->size);
      api_write_file(path, file.data, file.size);
      api_bytes_free(&file);
      vexil_open_options o;
      vexil_open_options_init(&o);
      if (options) o = *options;
      o.file_offset = 1001;
      return vexil_open_file(path, &o, movie);
    }
  }
}

void test_Open_EverySourceDecodesTheVectors(void) {
  CHECK(api_video_vector_count() >= 40);
  for (size_t v = 0; v < api_video_vector_count(); ++v) {
    const char* path = api_video_vector(v);
    api_bytes bytes = api_read_file(path);
    char y4m_path[512];
    snprintf(y4m_path, sizeof(y4m_path), "%.*s.y4m", (int)(strlen(path) - 4), path);
    api_bytes want = api_read_file(y4m_path);
    for (int s = 0; s < SOURCE_COUNT; ++s) {
      api_context("%s from %s", path, kSourceNames[s]);
      vexil_open_options o;
      vexil_open_options_init(&o);
      o.display_option = VEXIL_DISPLAY_NONE;
      memory_stream stream;
      vexil_movie* movie = NULL;
      CHECK_RESULT(open_from((enum source)s, &bytes, &o, &stream, &movie), VEXIL_OK, NULL);
      if (!movie) continue;
      api_bytes got = {0};
      CHECK_RESULT(decode_y4m(movie, &got, NULL), VEXIL_END, movie);
      CHECK(api_bytes_equal(&got, &want));
      api_bytes_free(&got);
      vexil_close(movie);
      if (s == FROM_STREAM) CHECK_EQ(stream.closes, 1);
    }
    api_bytes_free(&bytes);
    api_bytes_free(&want);
  }
}

/* A damaged copy of a small movie and what every source answers. */
typedef struct damage {
  const char* name;
  size_t offset; /* where a 32-bit value goes (0: none) */
  uint32_t value;
  size_t keep;               /* bytes kept (0: all) */
  vexil_result memory, file; /* memory differs where the block's end is known */
} damage;

void test_Open_RefusalsGiveTheirCodeAndText(void) {
  const uint32_t entry_2 = INDEX_OFFSET + 2 * 4;
  const damage cases[] = {
      {"magic", 0, 0x65 << 24 | 'L' << 16 | 'X' << 8 | 'V', 0, VEXIL_ERROR_NOT_VEXIL,
       VEXIL_ERROR_NOT_VEXIL},
      {"43 bytes", 0, 0, 43, VEXIL_ERROR_NOT_VEXIL, VEXIL_ERROR_NOT_VEXIL},
      {"no bytes", 0, 0, 1, VEXIL_ERROR_NOT_VEXIL, VEXIL_ERROR_NOT_VEXIL},
      {"no frames", HEADER_FRAMES, 0, 0, VEXIL_ERROR_NO_FRAMES, VEXIL_ERROR_NO_FRAMES},
      {"width 32768", HEADER_WIDTH, 32768, 0, VEXIL_ERROR_CORRUPT_HEADER,
       VEXIL_ERROR_CORRUPT_HEADER},
      {"rate 0", HEADER_RATE_NUM, 0, 0, VEXIL_ERROR_CORRUPT_HEADER, VEXIL_ERROR_CORRUPT_HEADER},
      {"257 tracks", HEADER_TRACKS, 257, 0, VEXIL_ERROR_CORRUPT_HEADER, VEXIL_ERROR_CORRUPT_HEADER},
      {"index cut short", 0, 0, HEADER_BYTES + 6, VEXIL_ERROR_READING_HEADER,
       VEXIL_ERROR_READING_HEADER},
      {"index not increasing", entry_2, INDEX_OFFSET + 4 * 4 + 64, 0, VEXIL_ERROR_BAD_FRAME_SIZES,
       VEXIL_ERROR_BAD_FRAME_SIZES},
      /* A file may end early (it plays up to there); a memory block may not. */
      {"last packet missing", 0, 0, INDEX_OFFSET + 4 * 4 + 2 * 64, VEXIL_ERROR_BAD_FRAME_SIZES,
       VEXIL_OK},
  };
  for (size_t c = 0; c < sizeof(cases) / sizeof(cases[0]); ++c) {
    api_bytes movie = make_movie('i', 32, 16, 3, 64);
    if (cases[c].offset || cases[c].value) put32(movie.data + cases[c].offset, cases[c].value);
    if (cases[c].keep) movie.size = cases[c].keep;
    if (strcmp(cases[c].name, "no bytes") == 0) movie.size = 0;
    for (int s = 0; s < SOURCE_COUNT; ++s) {
      api_context("%s from %s", cases[c].name, kSourceNames[s]);
      const vexil_result want = s == FROM_MEMORY ? cases[c].memory : cases[c].file;
      memory_stream stream;
      vexil_movie* movie_handle = (vexil_movie*)&stream; /* must be set to NULL on failure */
      CHECK_RESULT(open_from((enum source)s, &movie, NULL, &stream, &movie_handle), want, NULL);
      if (want != VEXIL_OK) CHECK(movie_handle == NULL);
      if (s == FROM_STREAM) CHECK_EQ(stream.closes, want == VEXIL_OK ? 0 : 1);
      vexil_close(movie_handle);
      if (s == FROM_STREAM) CHECK_EQ(stream.closes, 1);
    }
    api_bytes_free(&movie);
  }
  vexil_movie* movie = NULL;
  CHECK_RESULT(vexil_open_file(api_temp_path("no such movie.vxl"), NULL, &movie), VEXIL_ERROR_OPEN,
               NULL);
  CHECK(movie == NULL);
}

static int64_t failing_read(void* user, void* buffer, size_t n) {
  (void)user, (void)buffer, (void)n;
  return -1;
}

void test_Open_BadArguments(void) {
  api_bytes bytes = make_movie('i', 32, 16, 3, 64);
  const uint32_t ids[17] = {0};
  vexil_movie* movie = NULL;
  CHECK_RESULT(vexil_open_memory(bytes.data, bytes.size, NULL, NULL), VEXIL_ERROR_ARGUMENT, NULL);
  CHECK_RESULT(vexil_open_memory(NULL, 100, NULL, &movie), VEXIL_ERROR_ARGUMENT, NULL);
  CHECK_RESULT(vexil_open_file(NULL, NULL, &movie), VEXIL_ERROR_ARGUMENT, NULL);
  CHECK_RESULT(vexil_open_io(NULL, NULL, &movie), VEXIL_ERROR_ARGUMENT, NULL);
  for (int c = 0;; ++c) {
    vexil_open_options o;
    vexil_open_options_init(&o);
    switch (c) {
      case 0:
        o.struct_size = 2;
        break;
      case 1:
        o.flags = 0x100;
        break;
      case 2:
        o.display_option = 8;
        break;
      case 3:
        o.rate_num = 25;
        break; /* denominator 0 */
      case 4:
        o.rate_num = 0x80000000u, o.rate_den = 1;
        break;
      case 5:
        o.read_buffer_bytes = 0x80000000u;
        break;
      case 6:
        o.track_ids = ids, o.track_id_count = 17;
        break;
      case 7:
        o.track_id_count = 1;
        break; /* no ids */
      case 8:
        o.decode_threads = 3;
        break;
      default:
        break;
    }
    if (c > 8) break;
    api_context("options case %d", c);
    movie = (vexil_movie*)&o;
    CHECK_RESULT(vexil_open_memory(bytes.data, bytes.size, &o, &movie), VEXIL_ERROR_ARGUMENT, NULL);
    CHECK(movie == NULL);
  }
  api_context(NULL);
  /* A stream without a read callback is refused, and still closed. */
  memory_stream stream = {bytes.data, bytes.size, 0, 0, 0, 0};
  vexil_io io = memory_io(&stream);
  io.read = NULL;
  CHECK_RESULT(vexil_open_io(&io, NULL, &movie), VEXIL_ERROR_ARGUMENT, NULL);
  CHECK_EQ(stream.closes, 1);
  /* A stream that fails at once reads as no movie at all. */
  io = memory_io(&stream);
  io.read = failing_read;
  CHECK_RESULT(vexil_open_io(&io, NULL, &movie), VEXIL_ERROR_NOT_VEXIL, NULL);
  CHECK_EQ(stream.closes, 2);
  /* Calls on no movie. */
  vexil_close(NULL);
  CHECK_TEXT(vexil_movie_error(NULL), "");
  CHECK_RESULT(vexil_movie_decode_next(NULL), VEXIL_ERROR_ARGUMENT, NULL);
  CHECK_RESULT(vexil_movie_get_info(NULL, NULL), VEXIL_ERROR_ARGUMENT, NULL);
  CHECK_EQ(vexil_movie_frame(NULL), 0);
  CHECK_EQ(vexil_movie_wait(NULL), 0);
  api_bytes_free(&bytes);
}

/* The shown size of a coded size under a display option. */
static void shown_size(uint32_t option, uint32_t w, uint32_t h, uint32_t* sw, uint32_t* sh) {
  const int wide = option == 3 || option == 4 || option == 5;
  const int tall = option == 1 || option == 2 || option == 4 || option == 5;
  *sw = wide ? 2 * w : w;
  *sh = tall ? 2 * h : h;
}

void test_Open_InfoMatchesTheManifest(void) {
  for (size_t v = 0; v < api_video_vector_count(); ++v) {
    const char* path = api_video_vector(v);
    const char* name = path;
    for (const char* c = path; *c; ++c) {
      if (*c == '/' || *c == '\\') name = c + 1;
    }
    api_context("%s", path);
    api_manifest m;
    CHECK(api_manifest_entry(name, &m));
    vexil_movie* movie = NULL;
    CHECK_RESULT(vexil_open_file(path, NULL, &movie), VEXIL_OK, NULL);
    if (!movie) continue;
    vexil_movie_info info;
    vexil_movie_info_init(&info);
    CHECK_RESULT(vexil_movie_get_info(movie, &info), VEXIL_OK, movie);
    CHECK_EQ(info.struct_size, sizeof(info));
    CHECK_EQ(info.coded_width, m.width);
    CHECK_EQ(info.coded_height, m.height);
    const uint32_t option = m.header_flags >> 28 & 7;
    uint32_t sw, sh;
    shown_size(option, m.width, m.height, &sw, &sh);
    CHECK_EQ(info.width, sw);
    CHECK_EQ(info.height, sh);
    CHECK_EQ(info.display_option, option == 7 ? 0 : option);
    CHECK_EQ(info.file_display_option, option);
    CHECK_EQ(info.frame_count, m.frames);
    CHECK_EQ(info.track_count, m.tracks);
    CHECK_EQ(info.revision, m.revision);
    CHECK_EQ(info.header_flags, m.header_flags);
    CHECK_EQ(info.flags & VEXIL_MOVIE_ALPHA, (m.header_flags & 0x100000) ? VEXIL_MOVIE_ALPHA : 0);
    CHECK_EQ(info.flags & VEXIL_MOVIE_GRAYSCALE,
             (m.header_flags & 0x20000) ? VEXIL_MOVIE_GRAYSCALE : 0);
    CHECK_EQ(info.rate_num, m.rate_num);
    CHECK_EQ(info.rate_den, m.rate_den);
    CHECK_EQ(info.file_rate_num, m.rate_num);
    CHECK_EQ(info.file_rate_den, m.rate_den);
    CHECK_EQ(info.index_entries, m.index_entries + 1);
    CHECK_EQ(info.peak_rate, m.peak_rate);
    CHECK_EQ(info.peak_frame, m.peak_frame + 1);
    uint32_t keys = 0;
    for (uint32_t f = 1; f <= m.frames; ++f) {
      const int key = f <= 63 && m.key_marks[f - 1] == 'K';
      CHECK_EQ(vexil_movie_is_key_frame(movie, f), key);
      keys += (uint32_t)key;
    }
    CHECK_EQ(info.key_frame_count, keys);
    CHECK_EQ(info.key_frame_count == info.frame_count, m.all_key);
    CHECK_EQ(vexil_movie_is_key_frame(movie, 0), 0);
    CHECK_EQ(vexil_movie_is_key_frame(movie, m.frames + 1), 0);
    api_bytes bytes = api_read_file(path);
    CHECK_EQ(info.movie_bytes, get32(bytes.data + HEADER_FILE_SIZE) + 8ull);
    CHECK_EQ(info.largest_packet, get32(bytes.data + HEADER_LARGEST));
    CHECK_EQ(info.bytes_present, info.movie_bytes);
    CHECK_EQ(info.complete_frames, info.frame_count);
    CHECK_EQ(info.flags & VEXIL_MOVIE_TRUNCATED, 0);
    api_bytes_free(&bytes);
    vexil_close(movie);
  }
}

void test_Open_OlderCallersGetTheFieldsTheyKnow(void) {
  vexil_movie* movie = NULL;
  CHECK_RESULT(vexil_open_file(api_video_vector(3), NULL, &movie), VEXIL_OK, NULL);
  if (!movie) return;
  /* A caller built when the struct ended before frame_count. */
  vexil_movie_info info;
  memset(&info, 0xAB, sizeof(info));
  info.struct_size = (uint32_t)offsetof(vexil_movie_info, frame_count);
  CHECK_RESULT(vexil_movie_get_info(movie, &info), VEXIL_OK, movie);
  CHECK_EQ(info.struct_size, offsetof(vexil_movie_info, frame_count));
  CHECK_EQ(info.coded_width, 100);
  CHECK_EQ(info.frame_count, 0xABABABABu);
  info.struct_size = 0;
  CHECK_RESULT(vexil_movie_get_info(movie, &info), VEXIL_ERROR_ARGUMENT, movie);
  CHECK(vexil_movie_error(movie)[0] != 0);
  vexil_close(movie);
}

void test_Open_DisplayOptionAndRate(void) {
  /* movie_022's header asks for option 1 (height doubled). */
  const char* path = api_video_vector(22);
  const struct {
    uint32_t option, rate_num, rate_den;
    uint32_t width, height, shown_option, want_num, want_den;
  } cases[] = {
      {VEXIL_DISPLAY_FILE, 0, 0, 31, 142, 1, 2, 1},
      {VEXIL_DISPLAY_NONE, 0, 0, 31, 71, 0, 2, 1},
      {VEXIL_DISPLAY_2X_W, 0, 0, 62, 71, 3, 2, 1},
      {VEXIL_DISPLAY_2X_WH_INTERLACED, 50, 2, 62, 142, 5, 50, 2},
      {VEXIL_DISPLAY_1X_INTERLACED, 0, 7, 31, 71, 6, 0, 7},
  };
  for (size_t c = 0; c < sizeof(cases) / sizeof(cases[0]); ++c) {
    api_context("case %d", (int)c);
    vexil_open_options o;
    vexil_open_options_init(&o);
    o.display_option = cases[c].option;
    o.rate_num = cases[c].rate_num;
    o.rate_den = cases[c].rate_den;
    vexil_movie* movie = NULL;
    CHECK_RESULT(vexil_open_file(path, &o, &movie), VEXIL_OK, NULL);
    if (!movie) continue;
    vexil_movie_info info;
    vexil_movie_info_init(&info);
    vexil_movie_get_info(movie, &info);
    CHECK_EQ(info.width, cases[c].width);
    CHECK_EQ(info.height, cases[c].height);
    CHECK_EQ(info.display_option, cases[c].shown_option);
    CHECK_EQ(info.rate_num, cases[c].want_num);
    CHECK_EQ(info.rate_den, cases[c].want_den);
    CHECK_EQ(info.file_rate_num, 2);
    CHECK_EQ(info.file_rate_den, 1);
    vexil_close(movie);
  }
}

void test_Open_TracksAndChosenTracks(void) {
  /* movie_008 has two tracks, ids 6 and 4 in that order. */
  const char* path = api_video_vector(8);
  const uint32_t ids[] = {6, 99, 6};
  vexil_open_options o;
  vexil_open_options_init(&o);
  o.track_ids = ids;
  o.track_id_count = 3;
  vexil_movie* movie = NULL;
  CHECK_RESULT(vexil_open_file(path, &o, &movie), VEXIL_OK, NULL);
  if (!movie) return;
  vexil_track_info track;
  vexil_track_info_init(&track);
  uint32_t seen_ids[2] = {0};
  for (uint32_t t = 0; t < 2; ++t) {
    CHECK_RESULT(vexil_movie_get_track(movie, t, &track), VEXIL_OK, movie);
    seen_ids[t] = track.id;
    CHECK(track.codec == VEXIL_CODEC_DCT || track.codec == VEXIL_CODEC_RDFT);
    CHECK(track.channels == 1 || track.channels == 2);
    CHECK(track.bits == 8 || track.bits == 16);
    CHECK_EQ(track.rate, track.format_word & 0xFFFF);
    CHECK_EQ(track.channels, (track.format_word & 0x20000000) ? 2 : 1);
    char wav_path[512];
    snprintf(wav_path, sizeof(wav_path), "%.*s.track%u.wav", (int)(strlen(path) - 4), path,
             (unsigned)track.id);
    api_bytes wav = api_read_file(wav_path);
    CHECK(wav.size > 44);
    if (wav.size > 44) {
      CHECK_EQ(get32(wav.data + 24), track.rate);
      CHECK_EQ(wav.data[22], track.channels);
    }
    api_bytes_free(&wav);
  }
  CHECK_EQ(seen_ids[0], 6);
  CHECK_EQ(seen_ids[1], 4);
  CHECK_RESULT(vexil_movie_get_track(movie, 2, &track), VEXIL_ERROR_ARGUMENT, movie);
  int16_t samples[4];
  CHECK_EQ(vexil_movie_read_audio(movie, 6, samples, 0), 0);
  CHECK_EQ(vexil_movie_read_audio(movie, 99, samples, 4), VEXIL_ERROR_NO_TRACK);
  CHECK_TEXT(vexil_movie_error(movie), vexil_result_text(VEXIL_ERROR_NO_TRACK));
  CHECK_EQ(vexil_movie_read_audio(movie, 4, samples, 4), VEXIL_ERROR_NO_TRACK);
  CHECK_EQ(vexil_movie_audio_queued(movie, 4), 0);
  CHECK_RESULT(vexil_movie_decode_next(movie), VEXIL_OK, movie);
  CHECK_TEXT(vexil_movie_error(movie), "");
  CHECK(vexil_movie_audio_queued(movie, 6) > 0);
  vexil_close(movie);
}
