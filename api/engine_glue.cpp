#include "api/engine_glue.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <thread>

#include "audio/sound_track.h"
#include "engine/background_decode.h"
#include "engine/container.h"
#include "engine/copy_frame.h"
#include "engine/engine.h"
#include "engine/frame_clock.h"
#include "engine/movie.h"
#include "platform/error_text.h"
#include "video/frame_buffers.h"

namespace vexil::api {

struct LibraryEngine {
  Engine engine;
  // The decode threads' command and reply rings take one writer and one
  // reader: the engine's movies decode one frame at a time.
  std::mutex frame_lock;
};

namespace {

// The library's stream sources hand their stream over as the input's context.
int OpenStream(InputRecord* input, const char*, platform::FileHandle, uint32_t, void* stream,
               ErrorText*) {
  return OpenStreamInput(input, static_cast<const InputStream*>(stream));
}

uint32_t EngineFlags(const EngineOpenRequest& r) {
  // The library's movies play no sound through the engine (their audio is
  // pulled): an empty track list.
  uint32_t flags = OPEN_TRACK_LIST | (r.display_option << OPEN_DISPLAY_OPTION_SHIFT);
  if (!r.read_ahead_thread) flags |= OPEN_NO_THREAD_READ;
  if (r.flags & VEXIL_OPEN_PRELOAD) flags |= OPEN_PRELOAD;
  if (r.flags & VEXIL_OPEN_ALPHA) flags |= OPEN_ALPHA;
  if (r.flags & VEXIL_OPEN_GRAYSCALE) flags |= OPEN_GRAYSCALE;
  if (r.flags & VEXIL_OPEN_NO_VIDEO) flags |= OPEN_NO_PLANES;
  if (r.flags & VEXIL_OPEN_NEVER_SKIP) flags |= OPEN_NEVER_SKIP;
  if (r.read_buffer_bytes) flags |= OPEN_READ_BUFFER;
  if (r.rate_override) flags |= OPEN_RATE_OVERRIDE;
  switch (r.source) {
    case EngineOpenRequest::Source::kFile:
      return flags | OPEN_FILE_HANDLE;
    case EngineOpenRequest::Source::kMemory:
      return flags | OPEN_MEMORY;
    case EngineOpenRequest::Source::kStream:
      return flags | OPEN_CUSTOM_INPUT;
  }
  return flags;
}

}  // namespace

std::shared_ptr<LibraryEngine> CreateLibraryEngine(uint32_t threads) {
  auto created = std::make_shared<LibraryEngine>();
  if (threads != 0) {
    const int wanted = threads == VEXIL_THREADS_AUTO
                           ? (std::thread::hardware_concurrency() > 1 ? 2 : 1)
                           : static_cast<int>(threads);
    if (created->engine.decode_threads.Start(wanted) != wanted) return nullptr;
  }
  return created;
}

MovieHandle* EngineOpen(LibraryEngine& engine, const EngineOpenRequest& r, std::string* error) {
  const uint32_t flags = EngineFlags(r);
  MovieSource source;
  OpenOptions options;
  options.track_count = 0;
  switch (r.source) {
    case EngineOpenRequest::Source::kFile:
      source = MovieSource::Handle(r.file);
      break;
    case EngineOpenRequest::Source::kMemory:
      source = MovieSource::Memory(r.data, r.size);
      break;
    case EngineOpenRequest::Source::kStream:
      options.input_open = OpenStream;
      options.input_context = const_cast<InputStream*>(r.stream);
      break;
  }
  if (flags & OPEN_READ_BUFFER)
    options.read_buffer_size = static_cast<int32_t>(r.read_buffer_bytes);
  if (flags & OPEN_RATE_OVERRIDE) {
    options.rate_num = static_cast<int32_t>(r.rate_num);
    options.rate_den = static_cast<int32_t>(r.rate_den);
  }
  ErrorText text;
  MovieHandle* movie = Open(engine.engine, source, flags, options, &text);
  if (!movie) *error = text.c_str();
  return movie;
}

void EngineClose(MovieHandle* movie) {
  Close(movie);
}

void FillMovieInfo(const MovieHandle* m, vexil_movie_info* info) {
  info->width = m->width;
  info->height = m->height;
  info->coded_width = m->container.file_width;
  info->coded_height = m->container.file_height;
  info->frame_count = m->container.frame_count;
  info->rate_num = m->clock.rate_num;
  info->rate_den = m->clock.rate_den;
  info->file_rate_num = m->container.file_rate_num;
  info->file_rate_den = m->container.file_rate_den;
  info->revision = static_cast<uint8_t>(m->container.revision);
  info->flags = 0;
  if (m->container.header_flags & HEADER_ALPHA) info->flags |= VEXIL_MOVIE_ALPHA;
  if (m->container.header_flags & HEADER_GRAYSCALE) info->flags |= VEXIL_MOVIE_GRAYSCALE;
  info->display_option = OpenDisplayOption(m->open_flags);
  info->track_count = m->container.track_count;
  info->key_frame_count = 0;
  for (uint32_t i = 0; i < m->container.frame_count; ++i)
    info->key_frame_count += m->container.frame_index[i] & INDEX_KEY;
  info->largest_packet = m->container.largest_frame;
  info->peak_rate = m->container.peak_rate;
  info->peak_frame = m->container.peak_frame + 1;
  info->movie_bytes = uint64_t{m->container.file_size} + 8;
  info->index_entries = m->container.index_entries + 1;
  info->header_flags = m->container.header_flags;
  info->file_display_option =
      (m->container.header_flags & HEADER_DISPLAY_OPTION_MASK) >> HEADER_DISPLAY_OPTION_SHIFT;
}

uint32_t CompleteFrames(const MovieHandle* m, uint64_t bytes_present) {
  uint32_t complete = 0;
  while (complete < m->container.frame_count &&
         IndexOffset(m->container.frame_index[complete + 1]) <= bytes_present)
    ++complete;
  return complete;
}

bool FillTrackInfo(const MovieHandle* m, uint32_t index, vexil_track_info* info) {
  if (index >= m->container.track_count) return false;
  const uint32_t format = m->container.track_formats[index];
  info->id = m->container.track_ids[index];
  info->rate = format & TRACK_RATE_MASK;
  info->channels = (format & TRACK_STEREO) ? 2 : 1;
  info->bits = (format & TRACK_16BIT) ? 16 : 8;
  // The RDFT bit wins over the DCT bit.
  info->codec = (format & TRACK_RDFT)  ? VEXIL_CODEC_RDFT
                : (format & TRACK_DCT) ? VEXIL_CODEC_DCT
                                       : VEXIL_CODEC_NONE;
  info->largest_part = m->container.track_max_sizes[index];
  info->format_word = format;
  return true;
}

int64_t FindTrack(const MovieHandle* m, uint32_t id) {
  for (uint32_t t = 0; t < m->container.track_count; ++t) {
    if (m->container.track_ids[t] == id) return t;
  }
  return -1;
}

bool IsKeyFrame(const MovieHandle* m, uint32_t frame) {
  return frame >= 1 && frame <= m->container.frame_count &&
         (m->container.frame_index[frame - 1] & INDEX_KEY);
}

uint32_t FrameCount(const MovieHandle* m) {
  return m->container.frame_count;
}
uint32_t TrackCount(const MovieHandle* m) {
  return m->container.track_count;
}

Packet CurrentPacket(const MovieHandle* m) {
  return {m->reader.frame_data, m->reader.frame_bytes,
          static_cast<uint32_t>(m->reader.current_frame)};
}

bool InputFailed(const MovieHandle* m) {
  return m->reader.input->input_error != 0;
}

bool FetchPacket(MovieHandle* m, uint32_t frame) {
  FetchFrame(m, frame);
  return !m->reader.input->input_error;
}

bool FetchNextPacket(MovieHandle* m) {
  Advance(m);
  return !m->reader.input->input_error;
}

void PrepareSeek(MovieHandle* m) {
  m->reader.input->input_error = 0;
  m->reader.stopped = 0;
  m->clock.decoded_frame = 0;
}

void RestartClock(MovieHandle* m) {
  m->clock.base_time = 0;
  m->clock.pause_offset = 0;
}

bool DecodePicture(MovieHandle* m, LibraryEngine* threads) {
  if (threads) {
    std::lock_guard<std::mutex> lock(threads->frame_lock);
    // The frame is finished once both parts are done; this thread decodes
    // one of them.
    DecodeBesideThreads(m);
  } else {
    DecodeOnCallingThread(m);
  }
  return m->clock.decoded_frame == static_cast<uint32_t>(m->reader.current_frame);
}

bool HasPictures(const MovieHandle* m) {
  return m->video.planes != nullptr;
}

void FillPicture(const MovieHandle* m, vexil_picture* p) {
  FillPicture(*m->video.planes, m->container.file_width, m->container.file_height, m->open_flags,
              p);
  p->changed_percent = m->video.changed_percent;
}

void FillPicture(const FrameBufferRecord& f, uint32_t width, uint32_t height, uint32_t frame_flags,
                 vexil_picture* p) {
  const PlaneSet& set = f.sets[f.current_index.load() & 1];
  p->width = width;
  p->height = height;
  p->chroma_width = (width + 1) / 2;
  p->chroma_height = (height + 1) / 2;
  const PlaneEntry& luma = set.plane[PLANE_LUMA];
  p->y = luma.samples;
  p->y_pitch = luma.pitch;
  p->cb = p->cr = nullptr;
  p->cb_pitch = p->cr_pitch = 0;
  if (!(frame_flags & OPEN_GRAYSCALE)) {
    // Chroma A carries Cr and chroma B Cb; revisions f and g store them the
    // other way round.
    const bool swap = frame_flags & OPEN_SWAP_CHROMA;
    const PlaneEntry& cb = set.plane[swap ? PLANE_CHROMA_A : PLANE_CHROMA_B];
    const PlaneEntry& cr = set.plane[swap ? PLANE_CHROMA_B : PLANE_CHROMA_A];
    p->cb = cb.samples;
    p->cb_pitch = cb.pitch;
    p->cr = cr.samples;
    p->cr_pitch = cr.pitch;
  }
  const PlaneEntry& alpha = set.plane[PLANE_ALPHA];
  const bool has_alpha = alpha.present && (frame_flags & OPEN_ALPHA);
  p->alpha = has_alpha ? alpha.samples : nullptr;
  p->alpha_pitch = has_alpha ? alpha.pitch : 0;
}

void Convert(MovieHandle* m, ConversionContext& conversion, void* destination, int32_t pitch,
             uint32_t rows, uint32_t width, uint32_t height, uint32_t copy_flags) {
  // A frame the clock said to skip is converted all the same when asked.
  if (m->clock.skip_state == 2) m->clock.skip_state = 1;
  CopyToBuffer(conversion, m, destination, pitch, static_cast<int32_t>(rows), width, height,
               copy_flags | COPY_NO_SKIP);
}

int ClockWait(MovieHandle* m) {
  return Wait(m);
}

int ClockLate(MovieHandle* m) {
  // Decided once per frame, as the copy would decide it.
  if (m->clock.decoded_frame != static_cast<uint32_t>(m->reader.current_frame)) return 0;
  if (m->clock.skip_state != 0) return m->clock.skip_state == 2;
  if (m->clock.rate_num == 0 || m->clock.paused) return 0;
  const bool never = (m->open_flags & OPEN_NEVER_SKIP) ||
                     static_cast<uint32_t>(m->reader.current_frame) >= m->container.frame_count;
  const int late = SkipDecision(m, never ? 1 : 0);
  return never ? 0 : late;
}

int ClockPause(MovieHandle* m, int paused) {
  return Pause(m, paused);
}

uint32_t ClockMs(const MovieHandle* m) {
  return m->clock.base_time ? ClockElapsed(m) : 0;
}

PacketPlace PlaceOfPacket(const MovieHandle* m, uint32_t frame) {
  const uint32_t entry = m->container.frame_index[frame - 1];
  const uint32_t offset = IndexOffset(entry);
  return {offset, IndexOffset(m->container.frame_index[frame]) - offset, (entry & INDEX_KEY) != 0};
}

bool ReadMovieBytes(MovieHandle* m, uint32_t offset, void* destination, uint32_t n) {
  if (m->reader.preload_data) {
    // The packets are in memory: a memory source's block, or what preloading
    // read (up to where the file ended).
    const uint64_t first = m->container.first_packet_offset;
    const uint8_t* limit = m->reader.preload_block
                               ? m->reader.preload_data + (m->reader.input->movie_size - first)
                               : m->reader.data_limit;
    if (offset < first) return false;
    const uint8_t* p = m->reader.preload_data + (offset - first);
    if (p > limit || uint64_t(limit - p) < n) return false;
    if (n) std::memcpy(destination, p, n);
    return true;
  }
  // Through the ring: the movie's next fetch gives its own offset, so reading
  // elsewhere leaves it unchanged. A short read here is this call's failure.
  InputRecord* in = m->reader.input.get();
  const uint32_t failed_before = in->input_error;
  const uint32_t got = in->read(in, 0, offset, destination, n);
  if (got == n) return true;
  if (!failed_before) in->input_error = 0;
  return false;
}

}  // namespace vexil::api
