#pragma once
// The five levels and the time they take. Level 1 looks one move ahead with a
// careless eye, as a beginner: it takes the push-offs it sees and goes for the
// opposing marbles, but sometimes misses a threat; level 2 looks two moves ahead;
// levels 3 to 5 search for 0.15 s, 0.6 s and 2 s, on two threads where the
// machine has two cores.
#include <atomic>
#include <cstdint>
#include <vector>

#include "engine/search.h"

namespace engine {

constexpr int kMinLevel = 1, kMaxLevel = 5, kDefaultLevel = 3;

// The search limits of a level; time_scale multiplies its time (matches use it).
Limits level_limits(int level, double time_scale = 1.0);

// A move for the side to move at the given level, or has_move false when there is
// none. seed drives level 1's choice.
Result choose(Search& search, const Position& p, int level, const std::vector<uint64_t>& history,
              const std::atomic<bool>* stop, uint64_t seed, double time_scale = 1.0);

} // namespace engine
