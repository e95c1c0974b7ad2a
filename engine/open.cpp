// Movie open and close: validate the container, build the handle with all its
// arrays in one allocation, set up reading, fetch frame 1, open the tracks.
#include <algorithm>
#include <cstring>
#include <iterator>
#include <type_traits>

#include "audio/sound_track.h"
#include "engine/background_decode.h"
#include "engine/container.h"
#include "engine/engine.h"
#include "engine/error_messages.h"
#include "engine/frame_clock.h"
#include "engine/movie.h"
#include "engine/movie_sound.h"
#include "engine/read_service.h"
#include "engine/service_thread.h"
#include "engine/sound_service.h"
#include "platform/heap.h"
#include "platform/time.h"
#include "platform/timer.h"
#include "video/bundle_sizes.h"
#include "video/frame_buffers.h"

namespace vexil {
namespace {

// Zero bytes that follow the packets in memory: the decoders' loads may run
// this far past the end of a packet.
constexpr uint32_t kPacketPadding = 1024;
// The streamed packet buffer is rounded up to this, so that the read-ahead
// ring behind it starts aligned for the vector code.
constexpr uint64_t kPacketBufferAlign = 32;
// A read-ahead granted for this many tenths of the movie or more reads the
// whole movie at open instead.
constexpr uint32_t kPreloadTenths = 9;
// The header's size field counts the bytes after its first eight.
constexpr uint64_t kSizeFieldBase = 8;
// A frame counts as late once it is two frame periods overdue (two seconds
// when the movie plays as fast as it can).
constexpr uint64_t kLatePeriods = 2;
constexpr uint64_t kMillisecondsPerSecond = 1000;
// Changed-block maps: one byte per kMapArea x kMapArea pixels of the picture
// as played, each row padded to a multiple of kMapRowAlign bytes.
constexpr uint32_t kMapArea = 16;
constexpr uint32_t kMapRowAlign = 16;
// The per-track tables after the header: largest decoded packet, format, id.
constexpr int kTrackTables = 3;
// Without a track list the movie plays the track with id 0.
constexpr uint32_t kDefaultTrackIds[] = {0};

constexpr uint32_t CeilDiv(uint32_t a, uint32_t b) {
  return (a + b - 1) / b;
}

// One open's request: where the movie comes from, the caller's flags and
// options, and where a failure's message goes.
struct OpenRequest {
  const MovieSource& source;
  uint32_t flags;
  const OpenOptions& options;
  ErrorText* error;

  bool memory() const { return flags & OPEN_MEMORY; }  // the movie is the caller's block
  const uint8_t* block() const { return static_cast<const uint8_t*>(source.data); }
  // The sound tracks asked for, and the records the handle holds for them.
  const uint32_t* track_ids() const {
    return (flags & OPEN_TRACK_LIST) ? options.track_ids : kDefaultTrackIds;
  }
  int track_count() const {
    return (flags & OPEN_TRACK_LIST) ? std::clamp(options.track_count, 0, kMaxTrackList) : 1;
  }
  uint32_t track_records() const { return static_cast<uint32_t>(std::max(1, track_count())); }
};

// The engine's lock operations on the input: the movie's read-ahead lock.
void LockWait(InputRecord* in) {
  in->movie->reader.read_lock.lock();
}
bool LockTry(InputRecord* in) {
  return in->movie->reader.read_lock.try_lock();
}
void LockRelease(InputRecord* in) {
  in->movie->reader.read_lock.unlock();
}
void LockYield(InputRecord*) {
  platform::Sleep(0);
}

uint32_t MergeFlags(uint32_t flags, const ContainerHeader& h, uint32_t* width, uint32_t* height) {
  uint32_t merged = (flags | (h.header_flags & HEADER_GRAYSCALE)) & ~OPEN_DISPLAY_OPTION_MASK;
  if (!(h.header_flags & HEADER_ALPHA)) merged &= ~OPEN_ALPHA;
  uint32_t option = OpenDisplayOption(flags);
  if (option != DISPLAY_NONE) {
    if (option == 0)
      option = (h.header_flags & HEADER_DISPLAY_OPTION_MASK) >> HEADER_DISPLAY_OPTION_SHIFT;
    merged |= option << OPEN_DISPLAY_OPTION_SHIFT;
    switch (option) {
      case DISPLAY_HEIGHT_DOUBLED:
      case DISPLAY_HEIGHT_INTERLACED:
        *height *= 2;
        break;
      case DISPLAY_WIDTH_DOUBLED:
        *width *= 2;
        break;
      case DISPLAY_BOTH_DOUBLED:
      case DISPLAY_BOTH_INTERLACED:
        *width *= 2;
        *height *= 2;
        break;
      default:
        break;
    }
  }
  if (h.revision != 'i') merged |= OPEN_OLD_REVISION;
  if (h.revision == 'f' || h.revision == 'g') merged |= OPEN_SWAP_CHROMA;
  return merged;
}

// Step 1: the input, open (a memory source gets one that reads nothing), and
// the header bytes; *read_ok tells whether all of them were there. Null when
// the source does not open, with the message in the error text.
OwnedInput OpenInput(const OpenRequest& r, uint8_t (&bytes)[kHeaderBytes], bool* read_ok) {
  OwnedInput input(new InputRecord{});
  input->Clear();
  if (r.memory()) {
    *read_ok = r.block() && r.source.size >= kHeaderBytes;
    if (*read_ok) std::memcpy(bytes, r.block(), kHeaderBytes);
    return input;
  }
  InputOpenOperation open_input = OpenFileInput;
  void* context = nullptr;
  if ((r.flags & OPEN_CUSTOM_INPUT) && r.options.input_open) {
    open_input = r.options.input_open;
    context = r.options.input_context;
  }
  if (!open_input(input.get(), r.source.name, r.source.file, r.flags, context, r.error)) {
    if (r.error && r.error->Empty()) r.error->Set(kErrOpeningFile);
    input->close = nullptr;  // an input that did not open has nothing to close
    return nullptr;
  }
  *read_ok =
      input->read_at(input.get(), 0, bytes, kHeaderBytes) == kHeaderBytes && !input->input_error;
  return input;
}

// Step 2: the header's verdict (null: acceptable), and for a memory source
// whether the block holds the tables.
const char* CheckHeader(const OpenRequest& r, const ContainerHeader& h, bool read_ok) {
  if (const char* message = ValidateHeader(h, read_ok)) return message;
  if (r.memory() && r.source.size < FirstPacketOffset(h)) return kErrReadingHeader;
  return nullptr;
}

// The index entries the movie uses: one per frame and the end of the last.
uint32_t UsedIndexEntries(const ContainerHeader& h) {
  return h.frame_count + 1;
}

// Step 3: the handle in one block with its arrays (the history rings, the
// sound track records, the track map, each decode part's bundle buffers, the
// frame index and the track tables), each handed to its part. Of the index
// only the entries of the frames and the end of the last one are ever used.
// Null when memory runs out.
MovieHandle* BuildHandle(Engine& engine, const ContainerHeader& h, uint32_t track_records) {
  // The records live in the handle's block and are never destroyed one by one.
  static_assert(std::is_trivially_destructible_v<SoundTrack>);
  // The statistics rings hold one second of frames by the file's own rate,
  // but never more frames than the movie has: a rate of billions of frames
  // per second must not size them.
  const uint32_t history_len =
      std::min(WholeFramesPerSecond(h.rate_num, h.rate_den), h.frame_count);
  uint32_t bundle_sizes[kBundleCount];
  BundleBufferSizes(h.width, bundle_sizes);
  struct Arrays {
    uint32_t* history[HISTORY_RING_COUNT] = {};
    SoundTrack* tracks = nullptr;
    uint32_t* track_map = nullptr;
    uint8_t* bundles[kDecodeParts] = {};
    uint32_t* index = nullptr;
    uint32_t* tables[kTrackTables] = {};
  } a;
  const uint64_t table_words = std::max<uint64_t>(h.track_count, 1);
  Reservation reservation;
  for (auto& ring : a.history) reservation.Reserve(&ring, uint64_t{history_len} * 4);
  reservation.Reserve(&a.tracks, uint64_t{track_records} * sizeof(SoundTrack));
  reservation.Reserve(&a.track_map, uint64_t{track_records} * 4);
  for (auto& set : a.bundles) reservation.Reserve(&set, BundleBuffersTotal(bundle_sizes));
  reservation.Reserve(&a.index, uint64_t{UsedIndexEntries(h)} * 4);
  for (auto& table : a.tables) reservation.Reserve(&table, table_words * 4);
  uint64_t allocated = 0;
  auto* movie = new (reservation, &allocated) MovieHandle{};
  if (!movie) return nullptr;

  movie->engine = &engine;
  movie->total_memory = allocated;
  movie->clock.history_len = history_len;
  std::copy(std::begin(a.history), std::end(a.history), movie->clock.history);
  for (uint32_t i = 0; i < track_records; ++i) new (&a.tracks[i]) SoundTrack{};
  movie->sound.track_states = a.tracks;
  movie->sound.track_map = a.track_map;
  movie->video.video_on = 1;
  std::copy(std::begin(bundle_sizes), std::end(bundle_sizes), movie->video.bundle_sizes);
  std::copy(std::begin(a.bundles), std::end(a.bundles), movie->video.bundle_buffers);
  movie->container.frame_index = a.index;
  movie->container.track_max_sizes = a.tables[0];
  movie->container.track_formats = a.tables[1];
  movie->container.track_ids = a.tables[2];
  return movie;
}

// Step 4: what the header says, in the handle: the container's figures, the
// played size and the merged flags, the rate in effect.
void DescribeMovie(MovieHandle* movie, const OpenRequest& r, const ContainerHeader& h) {
  MovieContainer& c = movie->container;
  c.revision = h.revision;
  c.file_size = h.file_size;
  c.frame_count = h.frame_count;
  c.largest_frame = h.largest_frame;
  c.index_entries = h.index_entries;
  c.file_width = h.width;
  c.file_height = h.height;
  c.file_rate_num = h.rate_num;
  c.file_rate_den = h.rate_den;
  c.header_flags = h.header_flags;
  c.track_count = h.track_count;
  c.first_packet_offset = static_cast<uint32_t>(FirstPacketOffset(h));

  movie->width = h.width;
  movie->height = h.height;
  movie->open_flags = MergeFlags(r.flags, h, &movie->width, &movie->height);
  movie->clock.rate_num = h.rate_num;
  movie->clock.rate_den = h.rate_den;
  if ((r.flags & OPEN_RATE_OVERRIDE) && r.options.rate_num != -1 && r.options.rate_den != -1) {
    movie->clock.rate_num = static_cast<uint32_t>(r.options.rate_num);
    movie->clock.rate_den = static_cast<uint32_t>(r.options.rate_den);
  }
  movie->reader.current_frame = -1;
  movie->reader.previous_frame = -1;
  movie->reader.borrowed_file = (r.flags & OPEN_FILE_HANDLE) ? r.source.file : platform::kNoFile;
}

// The bytes of the movie that can be read: the header's size, and for a
// memory source no more than the block.
uint64_t MovieSize(const OpenRequest& r, const ContainerHeader& h) {
  const uint64_t size = uint64_t{h.file_size} + kSizeFieldBase;
  return r.memory() ? std::min<uint64_t>(size, r.source.size) : size;
}

// Step 5: the track tables and the frame index, in host order. A memory
// source's are decoded from the block (which need not be 4-byte aligned); a
// file's are read into place and turned around there.
const char* ReadTables(MovieHandle* movie, const OpenRequest& r, const ContainerHeader& h) {
  MovieContainer& c = movie->container;
  uint32_t* const tables[kTrackTables] = {c.track_max_sizes, c.track_formats, c.track_ids};
  if (r.memory()) {
    const uint8_t* p = r.block() + kHeaderBytes;
    for (uint32_t* table : tables) {
      for (uint32_t t = 0; t < h.track_count; ++t, p += 4) table[t] = ReadLE32(p);
    }
    for (uint32_t i = 0; i < UsedIndexEntries(h); ++i, p += 4) c.frame_index[i] = ReadLE32(p);
    return nullptr;
  }
  InputRecord* in = movie->reader.input.get();
  for (uint32_t* table : tables) {
    in->read_at(in, kNoOffset, table, h.track_count * 4);
    for (uint32_t t = 0; t < h.track_count; ++t) table[t] = ReadLE32(&table[t]);
  }
  const uint32_t used = UsedIndexEntries(h);
  in->read_at(in, kNoOffset, c.frame_index, used * 4);
  for (uint32_t i = 0; i < used; ++i) c.frame_index[i] = ReadLE32(&c.frame_index[i]);
  // The unused entries must still be in the file; reading the last of them
  // also leaves the file where the first packet starts.
  if (h.index_entries >= used) {
    uint8_t last[4];
    in->read_at(in, static_cast<int64_t>(FirstPacketOffset(h)) - 4, last, 4);
  }
  return in->input_error ? kErrReadingHeader : nullptr;
}

// Step 6: the frame index checked, and what it tells of the movie.
const char* ScanIndex(MovieHandle* movie, const ContainerHeader& h, uint64_t movie_size) {
  IndexFigures figures{};
  if (!ScanFrameIndex(movie->container.frame_index, h, movie_size, &figures))
    return kErrBadFrameSizes;
  movie->container.peak_rate = figures.peak_rate;
  movie->container.peak_frame = figures.peak_frame;
  movie->container.all_key = figures.all_key;
  movie->container.largest_packet = figures.largest_packet;
  movie->container.packets_end = figures.packets_end;
  return nullptr;
}

// Step 7: the decoded-frame planes, unless the caller wants none. A movie of
// one frame decodes it once and needs no second picture to decode into.
const char* CreatePlanes(MovieHandle* movie, const ContainerHeader& h) {
  if (movie->open_flags & OPEN_NO_PLANES) return nullptr;
  const uint32_t pictures = h.frame_count == 1 ? 1 : 2;
  uint64_t plane_bytes = 0;
  movie->video.planes = CreateFrameBuffers(
      {h.width, h.height, (h.header_flags & HEADER_ALPHA) != 0, pictures}, &plane_bytes);
  if (!movie->video.planes) return kErrOutOfMemory;
  movie->total_memory += plane_bytes;
  return nullptr;
}

// How a file's packets reach the reader: where its input ends (a 32-bit
// offset: a size field within 8 of 4 GiB would wrap it) and the simulated
// read speed (0: none).
struct ReadLimits {
  uint32_t input_end;
  uint32_t speed;
};

// The whole movie from its first packet, read at open into one block with the
// padding zeroed; the input is closed afterwards. A file that ends early ends
// the movie there: the frames before its end play, and fetching a packet past
// it sets the input error.
const char* Preload(MovieHandle* movie, const ReadLimits& limits) {
  InputRecord* in = movie->reader.input.get();
  const uint64_t first_packet = movie->container.first_packet_offset;
  const uint64_t body = movie->container.packets_end - first_packet;
  auto* data = static_cast<uint8_t*>(Alloc(body + kPacketPadding));
  if (!data) return kErrOutOfMemory;
  movie->total_memory += body + kPacketPadding;
  movie->reader.preload_block = data;
  in->set_buffer(in, nullptr, 0, limits.input_end, limits.speed);
  const uint32_t got =
      in->read(in, 0, static_cast<int64_t>(first_packet), data, static_cast<uint32_t>(body));
  std::memset(data + got, 0, body + kPacketPadding - got);
  if (got < body) in->input_error = 0;
  in->movie_size = static_cast<uint32_t>(std::min<uint64_t>(first_packet + got, UINT32_MAX));
  CloseInput(in);
  in->read_call_time = 0;
  movie->reader.preload_data = data;
  movie->reader.data_limit = data + body + kPacketPadding;
  return nullptr;
}

// The packet buffer (room for the largest packet with its padding, rounded up
// to the alignment) with the read-ahead ring of `granted` bytes behind it.
const char* Stream(MovieHandle* movie, uint32_t granted, const ReadLimits& limits) {
  InputRecord* in = movie->reader.input.get();
  const uint64_t packet = uint64_t{movie->container.largest_packet} + kPacketPadding;
  const uint64_t packet_rounded = (packet + kPacketBufferAlign - 1) & ~(kPacketBufferAlign - 1);
  auto* data = static_cast<uint8_t*>(Alloc(packet_rounded + granted));
  if (!data) return kErrOutOfMemory;
  movie->total_memory += packet_rounded + granted;
  movie->reader.read_buffer = data;
  movie->reader.frame_data = data;
  movie->reader.data_limit = data + packet;
  in->set_buffer(in, data + packet_rounded, granted, limits.input_end, limits.speed);
  return nullptr;
}

// Step 8: how the packets are read: from the caller's block, from memory the
// whole movie was read into, or streamed through the read-ahead ring. What
// either holds is sized by the packets the index has, not by the header's
// size fields, which a damaged file can set to gigabytes: no packet is longer
// than the longest one in the index, and nothing past the last packet's end
// is ever played.
const char* SetUpReading(MovieHandle* movie, const OpenRequest& r, uint64_t movie_size) {
  MovieReader& reader = movie->reader;
  reader.read_buffer_request = (r.flags & OPEN_READ_BUFFER) && r.options.read_buffer_size != -1
                                   ? static_cast<uint32_t>(r.options.read_buffer_size)
                                   : movie->container.peak_rate;
  if (r.memory()) {
    reader.preload_data = const_cast<uint8_t*>(r.block()) + movie->container.first_packet_offset;
    reader.data_limit = r.block() + r.source.size;
    movie->open_flags |= OPEN_PRELOAD;
    return nullptr;
  }
  const ReadLimits limits{static_cast<uint32_t>(std::min<uint64_t>(movie_size, UINT32_MAX)),
                          (r.flags & OPEN_SIMULATE_SPEED) && r.options.read_speed != -1
                              ? static_cast<uint32_t>(r.options.read_speed)
                              : 0};
  InputRecord* in = reader.input.get();
  const uint32_t granted = in->buffer_size(in, reader.read_buffer_request);
  reader.read_buffer_request = granted;
  if (granted >= movie->container.file_size / 10 * kPreloadTenths)
    movie->open_flags |= OPEN_PRELOAD;
  return (movie->open_flags & OPEN_PRELOAD) ? Preload(movie, limits)
                                            : Stream(movie, granted, limits);
}

// Step 9: the movie starts: the changed-block map geometry, the clock's late
// limit, frame 1 fetched, the sound tracks opened, the services joined and
// the read-ahead ring filled (a loop over pieces that ends with the ring full
// or the file read).
void StartPlaying(MovieHandle* movie, const OpenRequest& r, uint32_t start_time) {
  MovieVideo& video = movie->video;
  video.map_stride = CeilDiv(CeilDiv(movie->width, kMapArea), kMapRowAlign) * kMapRowAlign;
  video.map_size = video.map_stride * CeilDiv(movie->height, kMapArea);
  MovieClock& clock = movie->clock;
  // Two frame periods of a movie that shows a frame every few years take more
  // than 32 bits of milliseconds: the limit saturates.
  const uint64_t late = kLatePeriods * kMillisecondsPerSecond;
  clock.late_limit = static_cast<uint32_t>(std::min<uint64_t>(
      clock.rate_num ? late * clock.rate_den / clock.rate_num : late, UINT32_MAX));
  FetchFrame(movie, 1);
  clock.open_time = Timer() - start_time;
  movie->sound.track_states[0].timing_scale = kTimingScaleOne;
  OpenSoundTracks(movie, r.track_ids(), r.track_count());

  // The lock operations go in before the read service can call `service`.
  InputRecord* in = movie->reader.input.get();
  in->lock_wait = LockWait;
  in->lock_try = LockTry;
  in->lock_release = LockRelease;
  in->lock_yield = LockYield;
  // Without a free service slot the player's calls alone feed the sound, and
  // the movie is read in the foreground only.
  if (movie->sound.play_tracks > 0 && !movie->sound.track_states[0].own_service)
    JoinSoundService(movie);
  if (!(movie->open_flags & (OPEN_PRELOAD | OPEN_NO_THREAD_READ))) JoinReadService(movie);
  if (!(movie->open_flags & (OPEN_PRELOAD | OPEN_NO_FILL))) {
    while (in->service(in) != 0) {
    }
  }
}

}  // namespace

void* MovieHandle::operator new(size_t size, Reservation& reservation,
                                uint64_t* allocated) noexcept {
  return reservation.Allocate(size, allocated);
}
void MovieHandle::operator delete(void* block) noexcept {
  Free(block);
}
void MovieHandle::operator delete(void* block, Reservation&, uint64_t*) noexcept {
  Free(block);
}

MovieReader::~MovieReader() {
  input.reset();
  Free(read_buffer);
  Free(preload_block);
}

MovieVideo::~MovieVideo() {
  FreeFrameBuffers(planes);
  Free(map_storage[0]);
  if (map_storage[1] != map_storage[0]) Free(map_storage[1]);
}

MovieHandle* Open(Engine& engine, const MovieSource& source, uint32_t flags,
                  const OpenOptions& options, ErrorText* error) {
  const uint32_t start_time = Timer();
  if (error) error->Clear();
  const OpenRequest r{source, flags, options, error};
  uint8_t header_bytes[kHeaderBytes] = {};
  bool read_ok = false;
  OwnedInput input = OpenInput(r, header_bytes, &read_ok);
  if (!input) return nullptr;
  const ContainerHeader h = ParseHeader(header_bytes);
  if (const char* message = CheckHeader(r, h, read_ok)) {
    SetErrorText(error, message);
    return nullptr;  // dropping the input closes it
  }
  MovieHandle* movie = BuildHandle(engine, h, r.track_records());
  if (!movie) {
    SetErrorText(error, kErrOutOfMemory);
    return nullptr;
  }
  movie->reader.input = std::move(input);
  movie->reader.input->movie = movie;
  DescribeMovie(movie, r, h);

  const uint64_t movie_size = MovieSize(r, h);
  const char* message = ReadTables(movie, r, h);
  if (!message) message = ScanIndex(movie, h, movie_size);
  if (!message) message = CreatePlanes(movie, h);
  if (!message) message = SetUpReading(movie, r, movie_size);
  if (message) {
    SetErrorText(error, message);
    delete movie;  // its parts close the input and free what the steps took
    return nullptr;
  }
  StartPlaying(movie, r, start_time);
  return movie;
}

void Close(MovieHandle* movie) {
  if (!movie) return;
  Pause(movie, 1);
  // No decode thread may touch the movie from here on, nor any service.
  FinishBackgroundDecode(movie);
  movie->engine->services.LeaveTogether(movie->reader.read_node, movie->sound.sound_node);
  movie->reader.read_node = nullptr;
  movie->sound.sound_node = nullptr;
  CloseSoundTracks(movie);
  delete movie;  // its parts close the input and free their memory
}

}  // namespace vexil
