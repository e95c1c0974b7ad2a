#include "engine/background_decode.h"

#include <cstring>
#include <utility>

#include "engine/engine.h"
#include "engine/frame_decode_driver.h"
#include "engine/movie.h"
#include "platform/heap.h"
#include "platform/timer.h"
#include "video/frame_buffers.h"

namespace vexil {

namespace {

void ExchangeAndFinish(MovieHandle* movie) {
  if (FrameBufferRecord* f = movie->video.planes; f && f->buffer_count == 2)
    f->current_index = f->current_index.load() ^ 1;
  if (movie->video.map_storage[0] && movie->video.map_storage[1])
    std::swap(movie->video.map_storage[0], movie->video.map_storage[1]);
  FrameDecodeFinish(movie, Timer());
}

// A reply clears "reply pending" in the slot it names, of whichever movie.
void MarkAnswered(uintptr_t job) {
  static_cast<MovieHandle*>(JobTarget(job))
      ->video.job_slot[JobSlot(job)]
      .fetch_and(~JOB_REPLY_PENDING);
}

int SlotThread(uint32_t slot) {
  return static_cast<int>(slot & 0xFF);
}

// Both slots answered: they are cleared and the frame finished.
int FinishAnswered(MovieHandle* movie) {
  movie->video.job_slot[0] = 0;
  movie->video.job_slot[1] = 0;
  ExchangeAndFinish(movie);
  return 1;
}

}  // namespace

uint32_t RunFrameDecodeJob(void* target, uint32_t parts) {
  return static_cast<uint32_t>(FrameDecodePart(static_cast<MovieHandle*>(target), parts));
}

namespace {

// The steps before any decode of the current packet: the map storages and
// the start bookkeeping. False when no decode should start.
bool PrepareDecode(MovieHandle* movie) {
  MovieVideo& v = movie->video;
  // The decode fills the second storage. While the first slot is empty the
  // finished decode could not exchange the two, so the second one still holds
  // the map of the frame the player is about to copy: that one moves to the
  // first slot, and the decode gets a storage of its own.
  if (!v.map_storage[1] || v.map_storage[1] == v.map_storage[0] || v.map_storage[1] == v.map_copy) {
    auto* map = static_cast<uint8_t*>(Alloc(uint64_t{v.map_size} + 16));
    if (map) {
      movie->total_memory += uint64_t{v.map_size} + 16;
      std::memset(map, 0, v.map_size + 16);
      if (!v.map_storage[0]) v.map_storage[0] = v.map_storage[1];
      v.map_storage[1] = map;
    }
  }
  return FrameDecodeStart(movie, Timer()) != nullptr;
}

bool JobOutstanding(const MovieHandle* movie) {
  return movie->video.job_slot[0] || movie->video.job_slot[1];
}

}  // namespace

int DecodeOnCallingThread(MovieHandle* movie) {
  if (JobOutstanding(movie) || !PrepareDecode(movie)) return 0;
  FrameDecodePart(movie, PART_ALL);
  ExchangeAndFinish(movie);
  return 1;
}

int StartBackgroundDecode(MovieHandle* movie) {
  DecodeThreadPool& pool = movie->engine->decode_threads;
  const uint32_t running = pool.running_mask();
  // No decode thread: the whole frame on this thread, finished at once.
  if (!(running & 1)) return DecodeOnCallingThread(movie);
  if (JobOutstanding(movie) || !PrepareDecode(movie)) return 0;

  const int second = pool.second_thread();
  bool queued = false;
  if (pool.Send(0, MakeJob(movie, 0, second ? PART_LUMA : PART_ALL))) {
    movie->video.job_slot[0] = JOB_REPLY_PENDING | JOB_ISSUED | 0;
    queued = true;
  }
  if (second && (running & (1u << second)) && pool.Send(second, MakeJob(movie, 1, PART_OTHER))) {
    movie->video.job_slot[1] = JOB_REPLY_PENDING | JOB_ISSUED | static_cast<uint32_t>(second);
    queued = true;
  }
  return queued ? 1 : 0;
}

int WaitForBackgroundDecode(MovieHandle* movie) {
  DecodeThreadPool& pool = movie->engine->decode_threads;
  if (!movie->video.job_slot[0] && !movie->video.job_slot[1]) return 1;
  for (auto& slot : movie->video.job_slot) {
    if (!(slot & JOB_REPLY_PENDING)) continue;
    const int thread = SlotThread(slot);
    bool first = true;
    while (pool.running_mask() & (1u << thread)) {
      uintptr_t job;
      uint32_t result;
      if (!pool.TakeReply(thread, first ? -1 : 0, &job, &result)) break;
      first = false;
      MarkAnswered(job);
    }
  }
  if ((movie->video.job_slot[0] & JOB_REPLY_PENDING) ||
      (movie->video.job_slot[1] & JOB_REPLY_PENDING))
    return 0;
  return FinishAnswered(movie);
}

int DecodeBesideThreads(MovieHandle* movie) {
  DecodeThreadPool& pool = movie->engine->decode_threads;
  const int second = pool.second_thread();
  if (!second || !(pool.running_mask() & (1u << second))) {
    if (!StartBackgroundDecode(movie)) return 0;
    FinishBackgroundDecode(movie);
    return 1;
  }
  if (JobOutstanding(movie) || !PrepareDecode(movie)) return 0;
  if (!pool.Send(second, MakeJob(movie, 1, PART_OTHER))) {
    FrameDecodePart(movie, PART_ALL);
    ExchangeAndFinish(movie);
    return 1;
  }
  movie->video.job_slot[1] = JOB_REPLY_PENDING | JOB_ISSUED | static_cast<uint32_t>(second);
  FrameDecodePart(movie, PART_LUMA);
  FinishBackgroundDecode(movie);
  return 1;
}

void FinishBackgroundDecode(MovieHandle* movie) {
  DecodeThreadPool& pool = movie->engine->decode_threads;
  if (!movie->video.job_slot[0] && !movie->video.job_slot[1]) return;
  for (auto& slot : movie->video.job_slot) {
    while (slot & JOB_REPLY_PENDING) {
      const int thread = SlotThread(slot);
      const bool running = pool.running_mask() & (1u << thread);
      uintptr_t job;
      uint32_t result;
      if (pool.TakeReply(thread, running ? -1 : 0, &job, &result)) {
        MarkAnswered(job);
      } else if (!running) {
        // A stopped thread ran every job queued before its end: what it has
        // not answered never will be.
        slot.fetch_and(~JOB_REPLY_PENDING);
      }
    }
  }
  FinishAnswered(movie);
}

}  // namespace vexil
