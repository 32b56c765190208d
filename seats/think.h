#pragma once
// The computer's choice of a move, a position in and a move out.
#include <atomic>
#include <vector>

#include "seats/seat.h"

namespace seats {

// Chooses a move for now.tour at strength `level` (1 to 5); `history` holds the
// positions played before `now`. Returns false when stop was raised first or
// there is no move.
bool think(const Position& now, const std::vector<Position>& history, int level, const std::atomic<bool>& stop,
           Move* out);

} // namespace seats
