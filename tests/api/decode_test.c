/* Decoding through the public API: every vector's pictures, alpha planes and
 * sound in every reading mode, cut-short and empty movies, and the codec
 * layer for callers with demuxers of their own. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "api_movies.h"

static api_bytes sibling(const char* movie_path, const char* suffix) {
  char path[512];
  snprintf(path, sizeof(path), "%.*s%s", (int)(strlen(movie_path) - 4), movie_path, suffix);
  return api_read_file(path);
}

void test_Decode_VectorsInEveryReadingMode(void) {
  vexil_context* context = NULL;
  CHECK_RESULT(vexil_context_create(NULL, &context), VEXIL_OK, NULL);
  const struct {
    const char* name;
    uint32_t flags, read_buffer, threads;
    vexil_context* context;
  } modes[] = {
      {"streamed", 0, 0, 0, NULL},
      {"preloaded", VEXIL_OPEN_PRELOAD, 0, 0, NULL},
      {"4096-byte read buffer", 0, 4096, 0, NULL},
      {"one decode thread", 0, 0, 1, NULL},
      {"two decode threads", 0, 0, 2, NULL},
      {"a context", 0, 4096, 0, context},
  };
  for (size_t v = 0; v < api_video_vector_count(); ++v) {
    const char* path = api_video_vector(v);
    api_bytes want = sibling(path, ".y4m");
    api_bytes want_alpha = sibling(path, ".alpha.y4m");
    for (size_t m = 0; m < sizeof(modes) / sizeof(modes[0]); ++m) {
      api_context("%s, %s", path, modes[m].name);
      vexil_open_options o;
      vexil_open_options_init(&o);
      o.flags = modes[m].flags | (want_alpha.data ? VEXIL_OPEN_ALPHA : 0);
      o.display_option = VEXIL_DISPLAY_NONE;
      o.read_buffer_bytes = modes[m].read_buffer;
      o.decode_threads = modes[m].threads;
      o.context = modes[m].context;
      vexil_movie* movie = NULL;
      CHECK_RESULT(vexil_open_file(path, &o, &movie), VEXIL_OK, NULL);
      if (!movie) continue;
      api_bytes got = {0}, got_alpha = {0};
      CHECK_RESULT(decode_y4m(movie, &got, want_alpha.data ? &got_alpha : NULL), VEXIL_END, movie);
      CHECK(api_bytes_equal(&got, &want));
      if (want_alpha.data) CHECK(api_bytes_equal(&got_alpha, &want_alpha));
      /* After the last frame: nothing more, and the same answer again. */
      CHECK_RESULT(vexil_movie_decode_next(movie), VEXIL_END, movie);
      api_bytes_free(&got);
      api_bytes_free(&got_alpha);
      vexil_close(movie);
    }
    api_bytes_free(&want);
    api_bytes_free(&want_alpha);
  }
  vexil_context_destroy(context);
}

static int16_t wav_sample(const api_bytes* wav, size_t i) {
  return (int16_t)(wav->data[44 + 2 * i] | wav->data[45 + 2 * i] << 8);
}

void test_Decode_PulledAudioMatchesTheWavs(void) {
  CHECK(api_wav_vector_count() >= 19);
  size_t total = 0, total_differing = 0;
  for (size_t v = 0; v < api_wav_vector_count(); ++v) {
    const char *movie_path, *wav_path;
    uint32_t id;
    api_wav_vector(v, &movie_path, &wav_path, &id);
    api_context("%s", wav_path);
    api_bytes want = api_read_file(wav_path);
    vexil_open_options o;
    vexil_open_options_init(&o);
    o.flags = VEXIL_OPEN_NO_VIDEO;
    o.track_ids = &id;
    o.track_id_count = 1;
    vexil_movie* movie = NULL;
    CHECK_RESULT(vexil_open_file(movie_path, &o, &movie), VEXIL_OK, NULL);
    if (!movie || want.size < 44) {
      vexil_close(movie);
      api_bytes_free(&want);
      continue;
    }
    const uint32_t channels = want.data[22];
    int16_t* got = NULL;
    size_t frames = 0;
    vexil_result r;
    int step = 0;
    while ((r = vexil_movie_decode_next(movie)) == VEXIL_OK) {
      /* Taken in pieces of changing size, sometimes left to pile up. */
      if (++step % 3 == 0) continue;
      const uint64_t queued = vexil_movie_audio_queued(movie, id);
      got = (int16_t*)realloc(got, (frames + queued + 1) * channels * sizeof(int16_t));
      int64_t n;
      while ((n = vexil_movie_read_audio(movie, id, got + frames * channels, 7 + step)) > 0)
        frames += (size_t)n;
      CHECK(n == 0);
    }
    CHECK_RESULT(r, VEXIL_END, movie);
    const uint64_t queued = vexil_movie_audio_queued(movie, id);
    got = (int16_t*)realloc(got, (frames + queued + 1) * channels * sizeof(int16_t));
    CHECK_EQ(vexil_movie_read_audio(movie, id, got + frames * channels, (size_t)queued), queued);
    frames += (size_t)queued;
    CHECK_EQ(vexil_movie_audio_queued(movie, id), 0);
    const size_t samples = (want.size - 44) / 2;
    CHECK_EQ(frames * channels, samples);
    /* Float rounding in the transforms moves a sample by a unit or a few now
     * and then, as in the decoder's own conformance test. */
    size_t differing = 0;
    int largest = 0;
    for (size_t i = 0; i < samples && i < frames * channels; ++i) {
      const int diff = abs(got[i] - wav_sample(&want, i));
      differing += diff != 0;
      if (diff > largest) largest = diff;
    }
    CHECK(largest <= 3);
    CHECK(differing <= 2 + samples / 1000);
    total += samples;
    total_differing += differing;
    free(got);
    api_bytes_free(&want);
    vexil_close(movie);
  }
  CHECK(total_differing * 5000 <= total);
}

/* The first `frames` frames of a Y4M stream: its header and frame records. */
static size_t y4m_prefix(const api_bytes* y4m, uint32_t frames) {
  size_t at = 0;
  uint32_t seen = 0;
  while (at < y4m->size) {
    const uint8_t* line_end = memchr(y4m->data + at, '\n', y4m->size - at);
    if (!line_end) return y4m->size;
    if (memcmp(y4m->data + at, "FRAME", 5) == 0 && seen++ == frames) return at;
    /* Skip to the next FRAME line: the header line, or a frame's planes. */
    at = (size_t)(line_end - y4m->data) + 1;
    const uint8_t* next = NULL;
    for (size_t k = at; k + 6 <= y4m->size; ++k) {
      if (memcmp(y4m->data + k, "FRAME\n", 6) == 0) {
        next = y4m->data + k;
        break;
      }
    }
    if (!next) return seen > frames ? at : y4m->size;
    at = (size_t)(next - y4m->data);
  }
  return at;
}

void test_Decode_CutShortMovies(void) {
  /* movie_015: 12 frames; the file is cut inside frame 7's packet. */
  const char* path = api_video_vector(15);
  api_bytes full = api_read_file(path);
  api_bytes want = sibling(path, ".y4m");
  const uint32_t index = HEADER_BYTES + 12 * get32(full.data + HEADER_TRACKS);
  const uint32_t cut = (get32(full.data + index + 4 * 6) & ~1u) + 10;
  const char* cut_path = api_temp_path("cut.vxl");
  api_write_file(cut_path, full.data, cut);
  const size_t six_frames = y4m_prefix(&want, 6);
  const struct {
    const char* name;
    uint32_t flags;
    int stream, with_size;
  } modes[] = {
      {"streamed file", 0, 0, 0},
      {"preloaded file", VEXIL_OPEN_PRELOAD, 0, 0},
      {"stream with a size", 0, 1, 1},
      {"stream without a size", 0, 1, 0},
  };
  for (size_t m = 0; m < sizeof(modes) / sizeof(modes[0]); ++m) {
    api_context("%s", modes[m].name);
    vexil_open_options o;
    vexil_open_options_init(&o);
    o.flags = modes[m].flags;
    o.display_option = VEXIL_DISPLAY_NONE;
    vexil_movie* movie = NULL;
    memory_stream stream = {full.data, cut, 0, 0, 0, modes[m].with_size};
    vexil_io io = memory_io(&stream);
    if (modes[m].stream) {
      CHECK_RESULT(vexil_open_io(&io, &o, &movie), VEXIL_OK, NULL);
    } else {
      CHECK_RESULT(vexil_open_file(cut_path, &o, &movie), VEXIL_OK, NULL);
    }
    if (!movie) continue;
    vexil_movie_info info;
    vexil_movie_info_init(&info);
    vexil_movie_get_info(movie, &info);
    CHECK_EQ(info.movie_bytes, full.size);
    if (modes[m].stream && !modes[m].with_size) {
      /* Nothing tells the size of such a stream before it is read. */
      CHECK_EQ(info.bytes_present, full.size);
      CHECK_EQ(info.complete_frames, 12);
    } else {
      CHECK_EQ(info.bytes_present, cut);
      CHECK_EQ(info.complete_frames, 6);
      CHECK(info.flags & VEXIL_MOVIE_TRUNCATED);
    }
    api_bytes got = {0};
    CHECK_RESULT(decode_y4m(movie, &got, NULL), VEXIL_ERROR_READ, movie);
    CHECK(strstr(vexil_movie_error(movie), "Frame 7 ") != NULL);
    CHECK_EQ(vexil_movie_frame(movie), 6);
    CHECK_EQ(got.size, six_frames);
    CHECK(got.size <= want.size && memcmp(got.data, want.data, got.size) == 0);
    /* No later frame decodes; a seek back tries again. */
    CHECK_RESULT(vexil_movie_decode_next(movie), VEXIL_ERROR_READ, movie);
    CHECK_RESULT(vexil_movie_seek(movie, 8, VEXIL_SEEK_EXACT), VEXIL_ERROR_READ, movie);
    CHECK_RESULT(vexil_movie_seek(movie, 2, VEXIL_SEEK_EXACT), VEXIL_OK, movie);
    CHECK_RESULT(vexil_movie_decode_next(movie), VEXIL_OK, movie);
    CHECK_EQ(vexil_movie_frame(movie), 3);
    size_t size = 0;
    CHECK_RESULT(vexil_movie_read_packet(movie, 7, NULL, 0, &size, NULL), VEXIL_OK, movie);
    uint8_t* packet = (uint8_t*)malloc(size + 1);
    CHECK_RESULT(vexil_movie_read_packet(movie, 7, packet, size, &size, NULL), VEXIL_ERROR_READ,
                 movie);
    CHECK_RESULT(vexil_movie_read_packet(movie, 6, packet, size, &size, NULL), VEXIL_OK, movie);
    /* Reading packets aside changes nothing of the decoding. */
    CHECK_RESULT(vexil_movie_decode_next(movie), VEXIL_OK, movie);
    CHECK_EQ(vexil_movie_frame(movie), 4);
    free(packet);
    api_bytes_free(&got);
    vexil_close(movie);
  }
  api_bytes_free(&full);
  api_bytes_free(&want);
}

void test_Decode_EmptyPictures(void) {
  /* Sizes of 0 pass the container's checks (sound-only movies have them). */
  const uint32_t sizes[][2] = {{0, 0}, {0, 9}, {9, 0}};
  for (size_t c = 0; c < 3; ++c) {
    api_context("%ux%u", (unsigned)sizes[c][0], (unsigned)sizes[c][1]);
    api_bytes bytes = make_movie('i', sizes[c][0], sizes[c][1], 3, 16);
    vexil_movie* movie = NULL;
    CHECK_RESULT(vexil_open_memory(bytes.data, bytes.size, NULL, &movie), VEXIL_OK, NULL);
    if (!movie) continue;
    uint8_t pixel[64];
    for (uint32_t f = 1; f <= 3; ++f) {
      CHECK_RESULT(vexil_movie_decode_next(movie), VEXIL_OK, movie);
      vexil_picture p;
      vexil_picture_init(&p);
      CHECK_RESULT(vexil_movie_get_picture(movie, &p), VEXIL_OK, movie);
      CHECK_EQ(p.width, sizes[c][0]);
      CHECK_EQ(p.height, sizes[c][1]);
      CHECK_EQ(p.frame, f);
      CHECK_RESULT(vexil_movie_convert(movie, pixel, 64, 1, p.width ? 1 : 0, 0, VEXIL_FORMAT_32, 0),
                   VEXIL_OK, movie);
    }
    CHECK_RESULT(vexil_movie_decode_next(movie), VEXIL_END, movie);
    CHECK_RESULT(vexil_movie_seek(movie, 2, VEXIL_SEEK_KEY), VEXIL_OK, movie);
    vexil_close(movie);
    api_bytes_free(&bytes);
  }
}

void test_Decode_PicturesNeedADecodedFrame(void) {
  const char* path = api_video_vector(7); /* alpha and grayscale */
  uint8_t pixels[73 * 4];
  vexil_picture p;
  vexil_picture_init(&p);
  const uint32_t flag_cases[] = {0, VEXIL_OPEN_NO_VIDEO, VEXIL_OPEN_ALPHA, VEXIL_OPEN_GRAYSCALE};
  for (size_t c = 0; c < 4; ++c) {
    api_context("flags 0x%x", (unsigned)flag_cases[c]);
    vexil_movie* movie = open_plain(path, flag_cases[c]);
    if (!movie) continue;
    CHECK_EQ(vexil_movie_frame(movie), 0);
    CHECK_RESULT(vexil_movie_get_picture(movie, &p), VEXIL_ERROR_NO_VIDEO, movie);
    CHECK_RESULT(vexil_movie_convert(movie, pixels, sizeof(pixels), 1, 73, 1, VEXIL_FORMAT_32, 0),
                 VEXIL_ERROR_NO_VIDEO, movie);
    CHECK_RESULT(vexil_movie_decode_next(movie), VEXIL_OK, movie);
    CHECK_EQ(vexil_movie_frame(movie), 1);
    const vexil_result want =
        flag_cases[c] == VEXIL_OPEN_NO_VIDEO ? VEXIL_ERROR_NO_VIDEO : VEXIL_OK;
    CHECK_RESULT(vexil_movie_get_picture(movie, &p), want, movie);
    if (want == VEXIL_OK) {
      /* A grayscale movie has no chroma; alpha only when asked for. */
      CHECK(p.cb == NULL && p.cr == NULL);
      CHECK_EQ(p.alpha != NULL, flag_cases[c] == VEXIL_OPEN_ALPHA);
      CHECK(p.y != NULL && p.y_pitch >= p.width);
    }
    vexil_close(movie);
  }
  /* A colour movie opened as grayscale shows no chroma either. */
  vexil_movie* movie = open_plain(api_video_vector(3), VEXIL_OPEN_GRAYSCALE);
  CHECK_RESULT(vexil_movie_decode_next(movie), VEXIL_OK, movie);
  CHECK_RESULT(vexil_movie_get_picture(movie, &p), VEXIL_OK, movie);
  CHECK(p.cb == NULL && p.cr == NULL);
  vexil_close(movie);
}

/* A decoder's picture as append_planes lays out a movie's. */
static void append_picture_planes(const vexil_picture* p, api_bytes* out) {
  for (uint32_t y = 0; y < p->height; ++y) api_bytes_append(out, p->y + y * p->y_pitch, p->width);
  for (int plane = 0; plane < 2; ++plane) {
    const uint8_t* samples = plane == 0 ? p->cb : p->cr;
    const uint32_t pitch = plane == 0 ? p->cb_pitch : p->cr_pitch;
    for (uint32_t y = 0; y < p->chroma_height; ++y) {
      if (samples) {
        api_bytes_append(out, samples + y * pitch, p->chroma_width);
      } else {
        for (uint32_t x = 0; x < p->chroma_width; ++x) api_bytes_append(out, "\x80", 1);
      }
    }
  }
}

/* The codec layer against the movie: the raw packets, their parts, and the
 * two decoders give what the movie gives. */
void test_Decode_CodecLayerMatchesTheMovie(void) {
  for (size_t v = 0; v < api_video_vector_count(); ++v) {
    const char* path = api_video_vector(v);
    api_context("%s", path);
    api_bytes file = api_read_file(path);
    vexil_movie* movie = open_plain(path, VEXIL_OPEN_ALPHA);
    if (!movie) continue;
    vexil_movie_info info;
    vexil_movie_info_init(&info);
    vexil_movie_get_info(movie, &info);
    vexil_video_params params;
    vexil_video_params_init(&params);
    params.width = info.coded_width;
    params.height = info.coded_height;
    params.revision = info.revision;
    params.flags = info.flags & (VEXIL_MOVIE_ALPHA | VEXIL_MOVIE_GRAYSCALE);
    params.decode_alpha = 1;
    params.single_frame = info.frame_count == 1;
    vexil_video_decoder* video = NULL;
    CHECK_RESULT(vexil_video_decoder_create(&params, &video), VEXIL_OK, NULL);
    /* The same pictures with the luma plane on a decode thread. */
    vexil_video_decoder* threaded = NULL;
    params.decode_threads = 2;
    CHECK_RESULT(vexil_video_decoder_create(&params, &threaded), VEXIL_OK, NULL);
    vexil_picture p;
    vexil_picture_init(&p);
    CHECK_RESULT(vexil_video_decoder_get_picture(video, &p), VEXIL_ERROR_NO_VIDEO, NULL);
    /* Every track's decoder, and the movie's pulled audio of track 0's id. */
    vexil_audio_decoder* audio = NULL;
    vexil_track_info track;
    vexil_track_info_init(&track);
    if (info.track_count) {
      vexil_movie_get_track(movie, 0, &track);
      CHECK_RESULT(vexil_audio_decoder_create(track.rate, track.channels, track.codec, &audio),
                   VEXIL_OK, NULL);
    }
    vexil_close(movie);
    vexil_open_options o;
    vexil_open_options_init(&o);
    o.flags = VEXIL_OPEN_ALPHA;
    o.display_option = VEXIL_DISPLAY_NONE;
    o.track_ids = &track.id;
    o.track_id_count = info.track_count ? 1 : 0;
    CHECK_RESULT(vexil_open_file(path, &o, &movie), VEXIL_OK, NULL);
    for (uint32_t f = 1; f <= info.frame_count && movie && video; ++f) {
      api_context("%s frame %u", path, (unsigned)f);
      size_t size = 0;
      int key = -1;
      CHECK_RESULT(vexil_movie_read_packet(movie, f, NULL, 0, &size, &key), VEXIL_OK, movie);
      CHECK_EQ(key, vexil_movie_is_key_frame(movie, f));
      uint8_t* packet = (uint8_t*)malloc(size + 1);
      CHECK_RESULT(vexil_movie_read_packet(movie, f, packet, size, &size, NULL), VEXIL_OK, movie);
      const uint32_t tracks = info.track_count;
      const uint32_t index = HEADER_BYTES + 12 * tracks;
      const uint32_t offset = get32(file.data + index + 4 * (f - 1)) & ~1u;
      CHECK(offset + size <= file.size && memcmp(packet, file.data + offset, size) == 0);
      /* The movie's own decode of the frame. */
      CHECK_RESULT(vexil_movie_decode_next(movie), VEXIL_OK, movie);
      api_bytes want = {0}, got = {0};
      append_planes(movie, &want);
      vexil_picture mp;
      vexil_picture_init(&mp);
      vexil_movie_get_picture(movie, &mp);
      size_t at = 0, video_size = 0;
      const vexil_result found = vexil_packet_video(packet, size, tracks, &at, &video_size);
      CHECK_RESULT(vexil_video_decoder_decode(video, found == VEXIL_OK ? packet + at : NULL,
                                              found == VEXIL_OK ? video_size : 0),
                   VEXIL_OK, NULL);
      CHECK_RESULT(vexil_video_decoder_get_picture(video, &p), VEXIL_OK, NULL);
      CHECK_EQ(p.frame, f);
      CHECK_RESULT(vexil_video_decoder_decode(threaded, found == VEXIL_OK ? packet + at : NULL,
                                              found == VEXIL_OK ? video_size : 0),
                   VEXIL_OK, NULL);
      vexil_picture tp;
      vexil_picture_init(&tp);
      CHECK_RESULT(vexil_video_decoder_get_picture(threaded, &tp), VEXIL_OK, NULL);
      api_bytes threaded_planes = {0}, planes = {0};
      append_picture_planes(&p, &planes);
      append_picture_planes(&tp, &threaded_planes);
      CHECK(api_bytes_equal(&threaded_planes, &planes));
      for (uint32_t y = 0; p.alpha && tp.alpha && y < p.height; ++y)
        CHECK(memcmp(p.alpha + y * p.alpha_pitch, tp.alpha + y * tp.alpha_pitch, p.width) == 0);
      api_bytes_free(&threaded_planes);
      api_bytes_free(&planes);
      /* A picture the movie left undecoded (no video data) keeps what the
       * buffers held in both; compare only decoded ones. */
      if (found == VEXIL_OK) {
        append_picture_planes(&p, &got);
        CHECK(api_bytes_equal(&got, &want));
        CHECK_EQ(p.changed_percent, mp.changed_percent);
        CHECK_EQ(p.alpha != NULL, mp.alpha != NULL);
        for (uint32_t y = 0; p.alpha && mp.alpha && y < p.height; ++y)
          CHECK(memcmp(p.alpha + y * p.alpha_pitch, mp.alpha + y * mp.alpha_pitch, p.width) == 0);
      }
      if (audio) {
        size_t part = 0, part_size = 0;
        if (vexil_packet_audio_part(packet, size, tracks, 0, &part, &part_size) == VEXIL_OK) {
          const uint64_t announced =
              vexil_audio_part_frames(packet + part, part_size, track.channels);
          int16_t* pcm = (int16_t*)malloc((announced + 1) * track.channels * sizeof(int16_t));
          int16_t* pulled = (int16_t*)malloc((announced + 1) * track.channels * sizeof(int16_t));
          size_t frames = 0;
          CHECK_RESULT(vexil_audio_decoder_decode(audio, packet + part, part_size, pcm,
                                                  (size_t)announced, &frames),
                       VEXIL_OK, NULL);
          CHECK(frames <= announced);
          CHECK_EQ(vexil_movie_read_audio(movie, track.id, pulled, (size_t)announced + 1), frames);
          CHECK(frames == 0 || memcmp(pcm, pulled, frames * track.channels * 2) == 0);
          free(pcm);
          free(pulled);
        }
      }
      api_bytes_free(&want);
      api_bytes_free(&got);
      free(packet);
    }
    vexil_audio_decoder_destroy(audio);
    vexil_video_decoder_destroy(video);
    vexil_video_decoder_destroy(threaded);
    vexil_close(movie);
    api_bytes_free(&file);
  }
}

/* A packet without picture data leaves the pictures as they started: a
 * decoder of its own starts them as a movie does, so demuxers of their own
 * show what the movie shows (the sound-only vectors have no picture data). */
void test_Decode_CodecLayerStartsAsTheMovie(void) {
  const char* path = VEXIL_VECTORS_DIR "/audio/a1.vxl";
  api_context("%s", path);
  vexil_movie* movie = open_plain(path, 0);
  if (!movie) return;
  vexil_movie_info info;
  vexil_movie_info_init(&info);
  vexil_movie_get_info(movie, &info);
  size_t size = 0, at = 0, video_size = 0;
  CHECK_RESULT(vexil_movie_read_packet(movie, 1, NULL, 0, &size, NULL), VEXIL_OK, movie);
  uint8_t* packet = (uint8_t*)malloc(size);
  CHECK_RESULT(vexil_movie_read_packet(movie, 1, packet, size, &size, NULL), VEXIL_OK, movie);
  CHECK_RESULT(vexil_packet_video(packet, size, info.track_count, &at, &video_size), VEXIL_END,
               NULL);
  free(packet);
  CHECK_RESULT(vexil_movie_decode_next(movie), VEXIL_OK, movie);
  api_bytes want = {0}, got = {0};
  append_planes(movie, &want);
  vexil_video_params params;
  vexil_video_params_init(&params);
  params.width = info.coded_width;
  params.height = info.coded_height;
  params.revision = info.revision;
  vexil_video_decoder* video = NULL;
  CHECK_RESULT(vexil_video_decoder_create(&params, &video), VEXIL_OK, NULL);
  CHECK_RESULT(vexil_video_decoder_decode(video, NULL, 0), VEXIL_OK, NULL);
  vexil_picture p;
  vexil_picture_init(&p);
  CHECK_RESULT(vexil_video_decoder_get_picture(video, &p), VEXIL_OK, NULL);
  append_picture_planes(&p, &got);
  CHECK(api_bytes_equal(&got, &want));
  /* Zeros, whatever the memory held before. */
  size_t zeros = 0;
  while (zeros < want.size && want.data[zeros] == 0) ++zeros;
  CHECK_EQ(zeros, want.size);
  api_bytes_free(&want);
  api_bytes_free(&got);
  vexil_video_decoder_destroy(video);
  vexil_close(movie);
}

void test_Decode_PacketParts(void) {
  /* Parts: track 0 of 8 bytes, track 1 of 0 bytes, then 5 bytes of video. */
  uint8_t packet[4 + 8 + 4 + 5];
  put32(packet, 8);
  put32(packet + 12, 0);
  memset(packet + 4, 1, 8);
  memset(packet + 16, 2, 5);
  const struct {
    size_t size;
    uint32_t tracks, track;
    vexil_result result;
    size_t offset, part;
  } parts[] = {
      {sizeof(packet), 2, 0, VEXIL_OK, 4, 8},
      {sizeof(packet), 2, 1, VEXIL_OK, 16, 0},
      {sizeof(packet), 3, 2, VEXIL_OK, 20, 1}, /* a third part's length runs past the end */
      {sizeof(packet), 4, 3, VEXIL_END, 0, 0}, /* and leaves no room for a fourth */
      {10, 2, 0, VEXIL_OK, 4, 6},              /* cut at the packet's end */
      {10, 2, 1, VEXIL_END, 0, 0},             /* part 0 runs past the end */
      {3, 1, 0, VEXIL_END, 0, 0},              /* no room for a length */
      {0, 1, 0, VEXIL_END, 0, 0},
      {sizeof(packet), 2, 2, VEXIL_ERROR_ARGUMENT, 0, 0},
  };
  for (size_t c = 0; c < sizeof(parts) / sizeof(parts[0]); ++c) {
    api_context("part case %d", (int)c);
    size_t offset = 99, part = 99;
    CHECK_RESULT(vexil_packet_audio_part(packet, parts[c].size, parts[c].tracks, parts[c].track,
                                         &offset, &part),
                 parts[c].result, NULL);
    if (parts[c].result == VEXIL_OK) {
      CHECK_EQ(offset, parts[c].offset);
      CHECK_EQ(part, parts[c].part);
    }
  }
  const struct {
    size_t size;
    uint32_t tracks;
    vexil_result result;
    size_t offset, video;
  } videos[] = {
      {sizeof(packet), 2, VEXIL_OK, 16, 5},
      {sizeof(packet), 0, VEXIL_OK, 0, sizeof(packet)},
      {16, 2, VEXIL_END, 0, 0}, /* the parts fill the packet */
      {10, 2, VEXIL_END, 0, 0}, /* a part runs past the end */
      {0, 0, VEXIL_END, 0, 0},
  };
  for (size_t c = 0; c < sizeof(videos) / sizeof(videos[0]); ++c) {
    api_context("video case %d", (int)c);
    size_t offset = 99, video = 99;
    CHECK_RESULT(vexil_packet_video(packet, videos[c].size, videos[c].tracks, &offset, &video),
                 videos[c].result, NULL);
    if (videos[c].result == VEXIL_OK) {
      CHECK_EQ(offset, videos[c].offset);
      CHECK_EQ(video, videos[c].video);
    }
  }
  api_context(NULL);
  CHECK_EQ(vexil_audio_part_frames(packet, 3, 1), 0);
  CHECK_EQ(vexil_audio_part_frames(packet, 8, 2), 2);
  vexil_audio_decoder* decoder = (vexil_audio_decoder*)packet;
  CHECK_RESULT(vexil_audio_decoder_create(44100, 3, VEXIL_CODEC_DCT, &decoder),
               VEXIL_ERROR_ARGUMENT, NULL);
  CHECK(decoder == NULL);
  CHECK_RESULT(vexil_audio_decoder_create(44100, 2, VEXIL_CODEC_NONE, &decoder),
               VEXIL_ERROR_ARGUMENT, NULL);
  vexil_video_params params;
  vexil_video_params_init(&params);
  params.width = 32768;
  vexil_video_decoder* video = NULL;
  CHECK_RESULT(vexil_video_decoder_create(&params, &video), VEXIL_ERROR_ARGUMENT, NULL);
  params.width = 16;
  params.revision = 'e';
  CHECK_RESULT(vexil_video_decoder_create(&params, &video), VEXIL_ERROR_ARGUMENT, NULL);
  params.revision = 'i';
  params.decode_threads = 3;
  CHECK_RESULT(vexil_video_decoder_create(&params, &video), VEXIL_ERROR_ARGUMENT, NULL);
  vexil_audio_decoder_destroy(NULL);
  vexil_video_decoder_destroy(NULL);
}
