// Contexts, opening and closing movies, and what the library tells about them.
#include <algorithm>
#include <memory>

#include "api/library.h"
#include "audio/audio_decoder.h"
#include "audio/audio_layout.h"

using namespace vexil;
using namespace vexil::api;

namespace {

constexpr uint32_t kKnownOpenFlags = VEXIL_OPEN_PRELOAD | VEXIL_OPEN_ALPHA | VEXIL_OPEN_GRAYSCALE |
                                     VEXIL_OPEN_NO_VIDEO | VEXIL_OPEN_NEVER_SKIP;
constexpr uint32_t kMaxTrackIds = 16;
// Sizes and rates reach the engine as signed 32-bit settings.
constexpr uint32_t kMaxSetting = 0x7FFFFFFF;

bool ValidThreadCount(uint32_t count) {
  return count <= 2 || count == VEXIL_THREADS_AUTO;
}

// Whether the options are ones an open can use.
bool OptionsValid(const vexil_open_options& o) {
  return !(o.flags & ~kKnownOpenFlags) && o.display_option <= VEXIL_DISPLAY_NONE &&
         o.read_buffer_bytes <= kMaxSetting && o.rate_num <= kMaxSetting &&
         o.rate_den <= kMaxSetting && !(o.rate_den == 0 && o.rate_num != 0) &&
         o.track_id_count <= kMaxTrackIds && !(o.track_id_count && !o.track_ids) &&
         (o.context || ValidThreadCount(o.decode_threads));
}

// The caller's stream as the engine's input reads it.
int64_t StreamRead(void* user, void* destination, uint32_t n) {
  const auto* io = static_cast<const vexil_io*>(user);
  return io->read(io->user, destination, n);
}
bool StreamSeek(void* user, int64_t position) {
  const auto* io = static_cast<const vexil_io*>(user);
  return position >= 0 && io->seek(io->user, static_cast<uint64_t>(position)) == 0;
}

// Decoders for the chosen tracks that the file has and can decode.
void ChooseTracks(vexil_movie* movie, const vexil_open_options& o) {
  for (uint32_t i = 0; i < o.track_id_count; ++i) {
    const uint32_t id = o.track_ids[i];
    const bool chosen = std::any_of(movie->audio.begin(), movie->audio.end(),
                                    [id](const AudioQueue& q) { return q.id == id; });
    const int64_t track = FindTrack(movie->handle, id);
    vexil_track_info info{};
    if (chosen || track < 0 || !FillTrackInfo(movie->handle, static_cast<uint32_t>(track), &info) ||
        info.codec == VEXIL_CODEC_NONE)
      continue;
    AudioQueue queue;
    queue.id = id;
    queue.track = static_cast<uint32_t>(track);
    queue.channels = info.channels;
    movie->audio.push_back(std::move(queue));
    movie->audio.back().decoder =
        AudioDecoderOpen(info.rate, info.channels, info.codec == VEXIL_CODEC_DCT ? AUDIO_DCT : 0);
    if (!movie->audio.back().decoder) throw std::bad_alloc();
  }
}

// What every open shares: the options, the threads, the engine's open, the
// chosen tracks. `request` carries the source; `source_size` is its size
// when known (-1 when not).
vexil_result OpenMovie(EngineOpenRequest request, int64_t source_size,
                       std::unique_ptr<vexil_movie> movie, const vexil_open_options* given,
                       vexil_movie** out) {
  vexil_open_options o;
  vexil_open_options_init(&o);
  if (!ReadVersioned(given, &o)) return VEXIL_ERROR_ARGUMENT;
  if (!OptionsValid(o)) return VEXIL_ERROR_ARGUMENT;

  request.flags = o.flags;
  request.display_option = o.display_option;
  request.read_buffer_bytes = o.read_buffer_bytes;
  request.rate_override = o.rate_num != 0 || o.rate_den != 0;
  request.rate_num = o.rate_num;
  request.rate_den = o.rate_den;
  // A movie holds on to the engine it is opened on, also its context's, so
  // the engine outlives it whatever the order of the closes.
  if (o.context) {
    movie->engine = o.context->engine;
    movie->decode_threads = o.context->decode_threads;
    request.read_ahead_thread = o.context->read_ahead_thread;
  } else {
    movie->engine = CreateLibraryEngine(o.decode_threads);
    if (!movie->engine) return VEXIL_ERROR_THREADS;
    movie->decode_threads = o.decode_threads != 0;
  }

  std::string engine_error;
  movie->handle = EngineOpen(*movie->engine, request, &engine_error);
  if (!movie->handle) return CodeOfEngineText(engine_error);
  const uint64_t movie_bytes = [&] {
    vexil_movie_info info{};
    FillMovieInfo(movie->handle, &info);
    return info.movie_bytes;
  }();
  movie->bytes_present =
      source_size < 0 ? movie_bytes : std::min<uint64_t>(movie_bytes, uint64_t(source_size));
  ChooseTracks(movie.get(), o);
  *out = movie.release();
  return VEXIL_OK;
}

// Runs an open; whatever fails is undone by the movie's destructor.
template <typename Open>
vexil_result GuardOpen(vexil_movie** out, Open open) {
  if (!out) return VEXIL_ERROR_ARGUMENT;
  *out = nullptr;
  return Guard(nullptr, open);
}

}  // namespace

vexil_movie::~vexil_movie() {
  EngineClose(handle);
  for (AudioQueue& queue : audio) AudioDecoderClose(queue.decoder);
  if (file != platform::kNoFile) platform::FileClose(file);
  if (has_io && io.close) io.close(io.user);
}

extern "C" {

void vexil_context_options_init(vexil_context_options* options) {
  if (!options) return;
  *options = {};
  options->struct_size = sizeof(*options);
  options->decode_threads = VEXIL_THREADS_AUTO;
  options->read_ahead_thread = 1;
}

vexil_result vexil_context_create(const vexil_context_options* given, vexil_context** context) {
  if (!context) return VEXIL_ERROR_ARGUMENT;
  *context = nullptr;
  return Guard(nullptr, [&]() -> vexil_result {
    vexil_context_options o;
    vexil_context_options_init(&o);
    if (!ReadVersioned(given, &o) || !ValidThreadCount(o.decode_threads))
      return VEXIL_ERROR_ARGUMENT;
    auto created = std::make_unique<vexil_context>();
    created->read_ahead_thread = o.read_ahead_thread != 0;
    created->engine = CreateLibraryEngine(o.decode_threads);
    if (!created->engine) return VEXIL_ERROR_THREADS;
    created->decode_threads = o.decode_threads != 0;
    *context = created.release();
    return VEXIL_OK;
  });
}

void vexil_context_destroy(vexil_context* context) {
  delete context;
}

void vexil_open_options_init(vexil_open_options* options) {
  if (!options) return;
  *options = {};
  options->struct_size = sizeof(*options);
}

vexil_result vexil_open_file(const char* path, const vexil_open_options* options,
                             vexil_movie** out) {
  return GuardOpen(out, [&]() -> vexil_result {
    if (!path) return VEXIL_ERROR_ARGUMENT;
    vexil_open_options o;
    vexil_open_options_init(&o);
    if (!ReadVersioned(options, &o) || o.file_offset > uint64_t{INT64_MAX})
      return VEXIL_ERROR_ARGUMENT;
    auto movie = std::make_unique<vexil_movie>();
    // The movie reads the file through a handle of ours, positioned at the
    // movie's first byte; the handle is closed with the movie.
    movie->file = platform::FileOpenRead(path);
    if (movie->file == platform::kNoFile) return VEXIL_ERROR_OPEN;
    const int64_t file_size = platform::FileSize(movie->file);
    if (!platform::FileSeek(movie->file, static_cast<int64_t>(o.file_offset)))
      return VEXIL_ERROR_OPEN;
    EngineOpenRequest request;
    request.source = EngineOpenRequest::Source::kFile;
    request.file = movie->file;
    const int64_t size =
        file_size < 0 ? -1 : std::max<int64_t>(0, file_size - static_cast<int64_t>(o.file_offset));
    return OpenMovie(request, size, std::move(movie), options, out);
  });
}

vexil_result vexil_open_memory(const void* data, size_t size, const vexil_open_options* options,
                               vexil_movie** out) {
  return GuardOpen(out, [&]() -> vexil_result {
    if (!data && size) return VEXIL_ERROR_ARGUMENT;
    EngineOpenRequest request;
    request.source = EngineOpenRequest::Source::kMemory;
    request.data = data;
    request.size = size;
    const auto known = static_cast<int64_t>(std::min<uint64_t>(size, INT64_MAX));
    return OpenMovie(request, known, std::make_unique<vexil_movie>(), options, out);
  });
}

vexil_result vexil_open_io(const vexil_io* io, const vexil_open_options* options,
                           vexil_movie** out) {
  if (out) *out = nullptr;
  if (!io || !io->read || !io->seek) {
    if (io && io->close) io->close(io->user);
    return VEXIL_ERROR_ARGUMENT;
  }
  vexil_io copy = *io;
  const vexil_result result = GuardOpen(out, [&]() -> vexil_result {
    auto movie = std::make_unique<vexil_movie>();
    movie->io = copy;
    movie->has_io = true;  // from here the movie closes the stream, also on failure
    copy.close = nullptr;
    movie->stream = {&movie->io, StreamRead, StreamSeek};
    const int64_t size = movie->io.size ? movie->io.size(movie->io.user) : -1;
    EngineOpenRequest request;
    request.source = EngineOpenRequest::Source::kStream;
    request.stream = &movie->stream;
    return OpenMovie(request, size, std::move(movie), options, out);
  });
  // Failed before the movie took the stream over.
  if (copy.close) copy.close(copy.user);
  return result;
}

void vexil_close(vexil_movie* movie) {
  delete movie;
}

const char* vexil_movie_error(const vexil_movie* movie) {
  return movie ? movie->error.c_str() : "";
}

void vexil_movie_info_init(vexil_movie_info* info) {
  if (!info) return;
  *info = {};
  info->struct_size = sizeof(*info);
}

vexil_result vexil_movie_get_info(const vexil_movie* movie, vexil_movie_info* info) {
  if (!movie) return VEXIL_ERROR_ARGUMENT;
  return Guard(movie, [&]() -> vexil_result {
    vexil_movie_info filled{};
    filled.struct_size = sizeof(filled);
    FillMovieInfo(movie->handle, &filled);
    filled.bytes_present = movie->bytes_present;
    filled.complete_frames = CompleteFrames(movie->handle, movie->bytes_present);
    if (filled.complete_frames < filled.frame_count) filled.flags |= VEXIL_MOVIE_TRUNCATED;
    return WriteVersioned(filled, info) ? VEXIL_OK : Fail(movie, VEXIL_ERROR_ARGUMENT);
  });
}

void vexil_track_info_init(vexil_track_info* info) {
  if (!info) return;
  *info = {};
  info->struct_size = sizeof(*info);
}

vexil_result vexil_movie_get_track(const vexil_movie* movie, uint32_t index,
                                   vexil_track_info* info) {
  if (!movie) return VEXIL_ERROR_ARGUMENT;
  return Guard(movie, [&]() -> vexil_result {
    vexil_track_info filled{};
    filled.struct_size = sizeof(filled);
    if (!FillTrackInfo(movie->handle, index, &filled))
      return Fail(movie, VEXIL_ERROR_ARGUMENT, "The movie has no track with that index.");
    return WriteVersioned(filled, info) ? VEXIL_OK : Fail(movie, VEXIL_ERROR_ARGUMENT);
  });
}

int vexil_movie_is_key_frame(const vexil_movie* movie, uint32_t frame) {
  return movie && IsKeyFrame(movie->handle, frame) ? 1 : 0;
}

}  // extern "C"
