#pragma once
// H on the person's turn: the move the computer would play for them, found in a
// second at its full strength on a thread of its own, and shown on the board as
// the selection ring on each of its marbles and an arrowhead on the cell it moves
// towards. The hint stays until the person's next click or key, or the turn ends;
// nothing is played for them. Called by the glue on the game thread only.
#include <vector>

#include "board/board.h"
#include "platform/input.h"

namespace hint {

// Once a poll while the board is played, before the glue acts on the poll: H
// asks for a hint when `may` (the person's turn, no player on another machine);
// any other key, a click or a change of the position takes the hint away.
// before: every position of the game before `now`, for the engine's repetitions.
void on_poll(const key_info& keys, const board::Position& now, bool may, const std::vector<board::Position>& before);
// Drops the hint and ends its search thread; for the end of the game.
void end();

} // namespace hint
