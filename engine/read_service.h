// The read service: a streaming movie joins the read service thread with a
// node whose query asks for pieces and whose work reads them (see
// service_thread.h for the rounds).
#pragma once

#include <cstdint>

namespace vexil {

struct MovieHandle;
struct ServiceNode;

// Ticks per second of the read service (normal priority).
constexpr int32_t kReadServiceRate = 60;

// Joins the read service (player thread, at open, once the lock operations
// are installed). Sets movie->reader.read_node; it stays null when no service thread
// slot is free, and the movie is then read in the foreground only.
void JoinReadService(MovieHandle* movie);

// 0 when the input failed or is suspended. Below half full ((buffered + 1) x
// 100 / (target fill + 1) under 50) the complement of that percentage, which
// outranks every other answer; otherwise 0x80000000 - the tick at which the
// node was last served, and 0 once it was served in this tick. So a ring below
// half full is refilled piece after piece within one tick; above half, one
// piece per tick.
uint32_t ReadNodeQuery(ServiceNode* node, uint32_t tick);
// One `service` call (the read-ahead lock is held); records the tick.
void ReadNodeWork(ServiceNode* node, uint32_t tick);

}  // namespace vexil
