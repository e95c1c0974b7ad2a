// Movie open and close: validate the container, build the handle with all its
// arrays in one allocation, set up reading, fetch frame 1, open the tracks.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "audio/sound_service.h"
#include "audio/sound_track.h"
#include "engine/container.h"
#include "engine/frame_clock.h"
#include "engine/heap.h"
#include "engine/last_error.h"
#include "engine/movie.h"
#include "engine/open_settings.h"
#include "engine/read_service.h"
#include "engine/service_thread.h"
#include "engine/timer.h"
#include "platform/time.h"
#include "video/bundle_sizes.h"
#include "video/frame_buffers.h"

namespace vexil {
namespace {

// The engine's lock operations on the input: the movie's read-ahead lock.
void LockWait(InputRecord* in) { in->movie->read_lock.lock(); }
bool LockTry(InputRecord* in) { return in->movie->read_lock.try_lock(); }
void LockRelease(InputRecord* in) { in->movie->read_lock.unlock(); }
void LockYield(InputRecord*) { platform::Sleep(0); }

// Moves an input record opened before the handle existed into the handle.
void MoveInput(InputRecord* to, InputRecord* from) {
  to->read_at = from->read_at;
  to->read = from->read;
  to->buffer_size = from->buffer_size;
  to->set_buffer = from->set_buffer;
  to->service = from->service;
  to->close = from->close;
  to->suspend = from->suspend;
  to->input_error = from->input_error.load();
  to->bytes_read = from->bytes_read.load();
  to->read_time = from->read_time.load();
  to->read_call_time = from->read_call_time.load();
  to->target_fill = from->target_fill.load();
  to->file = from->file;
  to->stream = from->stream;
  to->file_position = from->file_position;
  to->consumer_position = from->consumer_position;
  to->borrowed_handle = from->borrowed_handle;
  to->base_offset = from->base_offset;
  to->movie_size = from->movie_size.load();
  to->simulated_speed = from->simulated_speed;
  to->speed_debt = from->speed_debt;
}

uint32_t MergeFlags(uint32_t flags, const ContainerHeader& h, uint32_t* width, uint32_t* height) {
  uint32_t merged = (flags | (h.header_flags & HEADER_GRAYSCALE)) & ~OPEN_DISPLAY_OPTION_MASK;
  if (!(h.header_flags & HEADER_ALPHA)) merged &= ~OPEN_ALPHA;
  uint32_t option = OpenDisplayOption(flags);
  if (option != DISPLAY_NONE) {
    if (option == 0) option = (h.header_flags & HEADER_DISPLAY_OPTION_MASK) >> 28;
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

// Releases what a failed or finished open holds; the handle memory last.
void Destroy(MovieHandle* movie, bool close_input) {
  if (close_input && movie->input.close) movie->input.close(&movie->input);
  Free(movie->read_buffer);
  Free(movie->preload_block);
  FreeFrameBuffers(movie);
  Free(movie->map_storage[0]);
  if (movie->map_storage[1] != movie->map_storage[0]) Free(movie->map_storage[1]);
  movie->~MovieHandle();
  std::memset(static_cast<void*>(movie), 0, sizeof(MovieHandle));
  Free(movie);
}

}  // namespace

MovieHandle* Open(const MovieSource& source, uint32_t flags) {
  if (!(flags & OPEN_TRACK_LIST)) ResetSoundTrackList();
  const uint32_t start = Timer();
  ClearLastError();
  const OpenSettings settings = TakeOpenSettings();
  const bool memory = flags & OPEN_MEMORY;
  const auto* block = static_cast<const uint8_t*>(source.data);

  // The header bytes, from the block or through the input.
  uint8_t header_bytes[kHeaderBytes] = {};
  bool header_ok = false;
  auto input = std::make_unique<InputRecord>();
  input->Clear();
  if (memory) {
    header_ok = block && source.size >= kHeaderBytes;
    if (header_ok) std::memcpy(header_bytes, block, kHeaderBytes);
  } else {
    InputOpenOperation open_input = OpenFileInput;
    if ((flags & OPEN_CUSTOM_INPUT) && settings.input_open) open_input = settings.input_open;
    if (!open_input(input.get(), source.name, source.file, flags)) {
      if (LastErrorEmpty()) SetLastErrorText(kErrOpeningFile);
      return nullptr;
    }
    header_ok = input->read_at(input.get(), 0, header_bytes, kHeaderBytes) == kHeaderBytes &&
                !input->input_error;
  }
  auto fail_input = [&](const char* message) -> MovieHandle* {
    SetLastErrorText(message);
    if (!memory && input->close) input->close(input.get());
    return nullptr;
  };

  const ContainerHeader h = ParseHeader(header_bytes);
  if (const char* message = ValidateHeader(h, header_ok)) return fail_input(message);
  const uint64_t first_packet = FirstPacketOffset(h);
  if (memory && source.size < first_packet) return fail_input(kErrReadingHeader);

  // Merged flags and the size as played.
  uint32_t width = h.width, height = h.height;
  const uint32_t merged = MergeFlags(flags, h, &width, &height);

  // The rate in effect. The statistics rings hold one second of frames by the
  // file's own rate, but never more frames than the movie has: a rate of
  // billions of frames per second must not size them.
  uint32_t rate_num = h.rate_num, rate_den = h.rate_den;
  if ((flags & OPEN_RATE_OVERRIDE) && settings.rate_num != -1 && settings.rate_den != -1) {
    rate_num = static_cast<uint32_t>(settings.rate_num);
    rate_den = static_cast<uint32_t>(settings.rate_den);
  }
  const uint32_t history_len =
      std::min(WholeFramesPerSecond(h.rate_num, h.rate_den), h.frame_count);

  // The handle and its arrays in one allocation. Of the index only the
  // entries of the frames and the end of the last one are ever used.
  const uint32_t track_list = static_cast<uint32_t>(std::max(1, SoundTrackListCount()));
  struct Pieces {
    uint32_t* history[HISTORY_RING_COUNT] = {};
    SoundTrack* tracks = nullptr;
    uint32_t* track_map = nullptr;
    uint8_t* bundles[kDecodeParts] = {};
    uint32_t* index = nullptr;
    uint32_t* tables[3] = {};
  } pieces;
  uint32_t bundle_sizes[kBundleCount];
  BundleBufferSizes(h.width, bundle_sizes);
  for (auto& ring : pieces.history) Reserve(&ring, uint64_t{history_len} * 4);
  Reserve(&pieces.tracks, uint64_t{track_list} * sizeof(SoundTrack));
  Reserve(&pieces.track_map, uint64_t{track_list} * 4);
  for (auto& set : pieces.bundles) Reserve(&set, BundleBuffersTotal(bundle_sizes));
  const uint32_t used_entries = h.frame_count + 1;
  Reserve(&pieces.index, uint64_t{used_entries} * 4);
  for (auto& table : pieces.tables) Reserve(&table, std::max<uint64_t>(h.track_count, 1) * 4);
  uint64_t allocated = 0;
  void* raw = AllocWithReserved(sizeof(MovieHandle), &allocated);
  if (!raw) return fail_input(kErrOutOfMemory);

  auto* movie = new (raw) MovieHandle{};
  movie->total_memory = allocated;
  MoveInput(&movie->input, input.get());
  movie->input.movie = movie;
  movie->width = width;
  movie->height = height;
  movie->frame_count = h.frame_count;
  movie->current_frame = -1;
  movie->previous_frame = -1;
  movie->rate_num = rate_num;
  movie->rate_den = rate_den;
  movie->open_flags = merged;
  movie->header_flags = h.header_flags;
  movie->file_size = h.file_size;
  movie->largest_frame = h.largest_frame;
  movie->index_entries = h.index_entries;
  movie->track_count = h.track_count;
  movie->file_width = h.width;
  movie->file_height = h.height;
  movie->file_rate_num = h.rate_num;
  movie->file_rate_den = h.rate_den;
  movie->first_packet_offset = static_cast<uint32_t>(first_packet);
  movie->revision = h.revision;
  movie->history_len = history_len;
  for (int i = 0; i < HISTORY_RING_COUNT; ++i) movie->history[i] = pieces.history[i];
  movie->track_states = pieces.tracks;
  for (uint32_t i = 0; i < track_list; ++i) new (&movie->track_states[i]) SoundTrack{};
  movie->track_map = pieces.track_map;
  movie->video_on = 1;
  std::memcpy(movie->bundle_sizes, bundle_sizes, sizeof(bundle_sizes));
  for (int i = 0; i < kDecodeParts; ++i) movie->bundle_buffers[i] = pieces.bundles[i];
  movie->borrowed_file = (flags & OPEN_FILE_HANDLE) ? source.file : platform::kNoFile;
  auto fail = [&](const char* message) -> MovieHandle* {
    SetLastErrorText(message);
    Destroy(movie, !memory);
    return nullptr;
  };

  // Track tables and frame index. A memory source's tables are decoded from
  // the block (which need not be 4-byte aligned) into the handle's arrays.
  uint64_t movie_size = uint64_t{h.file_size} + 8;
  if (memory) {
    movie_size = std::min<uint64_t>(movie_size, source.size);
    const uint8_t* p = block + kHeaderBytes;
    for (auto* table : pieces.tables) {
      for (uint32_t t = 0; t < h.track_count; ++t, p += 4) table[t] = ReadLE32(p);
    }
    for (uint32_t i = 0; i < used_entries; ++i, p += 4) pieces.index[i] = ReadLE32(p);
  } else {
    InputRecord* in = &movie->input;
    for (auto* table : pieces.tables) {
      in->read_at(in, kNoOffset, table, h.track_count * 4);
      for (uint32_t t = 0; t < h.track_count; ++t) table[t] = ReadLE32(&table[t]);
    }
    in->read_at(in, kNoOffset, pieces.index, used_entries * 4);
    for (uint32_t i = 0; i < used_entries; ++i) pieces.index[i] = ReadLE32(&pieces.index[i]);
    // The unused entries must still be in the file; reading the last of them
    // also leaves the file where the first packet starts.
    if (h.index_entries >= used_entries) {
      uint8_t last[4];
      in->read_at(in, static_cast<int64_t>(first_packet) - 4, last, 4);
    }
    if (in->input_error) return fail(kErrReadingHeader);
  }
  movie->track_max_sizes = pieces.tables[0];
  movie->track_formats = pieces.tables[1];
  movie->track_ids = pieces.tables[2];
  movie->frame_index = pieces.index;

  IndexFigures figures{};
  if (!ScanFrameIndex(movie->frame_index, h, movie_size, &figures))
    return fail(kErrBadFrameSizes);
  movie->peak_rate = figures.peak_rate;
  movie->peak_frame = figures.peak_frame;
  movie->all_key = figures.all_key;

  // Decoded-frame planes.
  if (!(flags & OPEN_NO_PLANES) && !CreateFrameBuffers(movie)) return fail(kErrOutOfMemory);

  // Read-ahead request and simulated speed.
  movie->read_buffer_request = (flags & OPEN_READ_BUFFER) && settings.read_buffer_size != -1
                                   ? static_cast<uint32_t>(settings.read_buffer_size)
                                   : movie->peak_rate;
  const uint32_t speed = (flags & OPEN_SIMULATE_SPEED) && settings.read_speed != -1
                             ? static_cast<uint32_t>(settings.read_speed)
                             : 0;

  // Preload or stream. The input's end position is a 32-bit offset; a size
  // field within 8 of 4 GiB would wrap it. What either holds is sized by the
  // packets the index has, not by the header's size fields, which a damaged
  // file can set to gigabytes: no packet is longer than the longest one in
  // the index, and nothing past the last packet's end is ever played.
  InputRecord* in = &movie->input;
  const uint32_t input_end = static_cast<uint32_t>(std::min<uint64_t>(movie_size, UINT32_MAX));
  if (memory) {
    movie->preload_data = const_cast<uint8_t*>(block) + first_packet;
    movie->data_limit = block + source.size;
    movie->open_flags |= OPEN_PRELOAD;
  } else {
    uint32_t granted = in->buffer_size(in, movie->read_buffer_request);
    movie->read_buffer_request = granted;
    if (granted >= h.file_size / 10 * 9) {
      flags |= OPEN_PRELOAD;
      movie->open_flags |= OPEN_PRELOAD;
    }
    if (flags & OPEN_PRELOAD) {
      const uint64_t body = figures.packets_end - first_packet;
      auto* data = static_cast<uint8_t*>(Alloc(body + 1024));
      if (!data) return fail(kErrOutOfMemory);
      movie->total_memory += body + 1024;
      movie->preload_block = data;
      in->set_buffer(in, nullptr, 0, input_end, speed);
      uint32_t got = in->read(in, 0, static_cast<int64_t>(first_packet), data,
                              static_cast<uint32_t>(body));
      std::memset(data + got, 0, body + 1024 - got);
      // A file that ends early ends the movie there: the frames before its
      // end play, and fetching a packet past it sets the input error.
      if (got < body) in->input_error = 0;
      in->movie_size = static_cast<uint32_t>(std::min<uint64_t>(first_packet + got, UINT32_MAX));
      in->close(in);
      in->read_call_time = 0;
      movie->preload_data = data;
      movie->data_limit = data + body + 1024;
    } else {
      const uint64_t packet = uint64_t{figures.largest_packet} + 1024;
      const uint64_t packet_rounded = (packet + 31) & ~uint64_t{31};
      auto* data = static_cast<uint8_t*>(Alloc(packet_rounded + granted));
      if (!data) return fail(kErrOutOfMemory);
      movie->total_memory += packet_rounded + granted;
      movie->read_buffer = data;
      movie->frame_data = data;
      movie->data_limit = data + packet;
      in->set_buffer(in, data + packet_rounded, granted, input_end, speed);
    }
  }

  // Changed-block map geometry: one byte per 16x16 area of the picture as played.
  movie->map_stride = ((width + 15) / 16 + 15) / 16 * 16;
  movie->map_size = movie->map_stride * ((height + 15) / 16);

  // Clock limits and frame 1. Two frame periods of a movie that shows a frame
  // every few years take more than 32 bits of milliseconds: the limit saturates.
  movie->late_limit = movie->rate_num
                          ? static_cast<uint32_t>(std::min<uint64_t>(
                                2000ull * movie->rate_den / movie->rate_num, UINT32_MAX))
                          : 2000;
  FetchFrame(movie, 1);
  movie->open_time = Timer() - start;
  movie->track_states[0].timing_scale = 0x10000;

  // Sound tracks.
  OpenSoundTracks(movie);

  // Lock operations, before the read service can call `service`.
  in->lock_wait = LockWait;
  in->lock_try = LockTry;
  in->lock_release = LockRelease;
  in->lock_yield = LockYield;

  // The sound service, once the lock operations are in (without a free
  // service slot the player's calls alone feed the sound).
  if (movie->play_tracks > 0 && !movie->track_states[0].own_service) JoinSoundService(movie);

  // Background reading (without a free service slot the movie is read in
  // the foreground only).
  if (!(movie->open_flags & (OPEN_PRELOAD | OPEN_NO_THREAD_READ))) JoinReadService(movie);

  // Fill the ring.
  if (!(movie->open_flags & OPEN_PRELOAD) && !(flags & OPEN_NO_FILL)) {
    while (in->service(in) != 0) {
    }
  }
  return movie;
}

void Close(MovieHandle* movie) {
  if (!movie) return;
  Pause(movie, 1);
  if (CloseHook hook = GetCloseHook()) {
    while (!hook(movie)) {
    }
  }
  // No service may touch the movie from here on.
  ServiceLeaveTogether(movie->read_node, movie->sound_node);
  movie->read_node = nullptr;
  movie->sound_node = nullptr;
  CloseSoundTracks(movie);
  const bool streaming = !(movie->open_flags & OPEN_PRELOAD);
  Destroy(movie, streaming && !(movie->open_flags & OPEN_MEMORY));
}

}  // namespace vexil
