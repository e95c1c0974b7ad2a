#include "engine/read_service.h"

#include "engine/engine.h"
#include "engine/movie.h"
#include "engine/service_thread.h"

namespace vexil {

void JoinReadService(MovieHandle* movie) {
  movie->reader.read_node = movie->engine->services.Join(kReadServiceRate, &movie->reader.read_lock,
                                                         ReadNodeQuery, ReadNodeWork, movie);
}

uint32_t ReadNodeQuery(ServiceNode* node, uint32_t tick) {
  const InputRecord& in = *static_cast<MovieHandle*>(node->context)->reader.input;
  // A suspended input reads nothing: answering would keep the round asking
  // for work that never comes.
  if (in.input_error.load() || in.suspended.load()) return 0;
  const uint64_t percent = (uint64_t{in.buffered.load(std::memory_order_acquire)} + 1) * 100 /
                           (uint64_t{in.target_fill.load(std::memory_order_acquire)} + 1);
  if (percent < 50) return ~static_cast<uint32_t>(percent);
  return node->last_tick != tick ? 0x80000000u - node->last_tick : 0;
}

void ReadNodeWork(ServiceNode* node, uint32_t tick) {
  InputRecord* in = static_cast<MovieHandle*>(node->context)->reader.input.get();
  in->service(in);
  node->last_tick = tick;
}

}  // namespace vexil
