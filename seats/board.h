#pragma once
// What seats need to know about the board, apart from the game: which key plays
// each direction, and which move leads from one position to the next. Where a cell
// lies on the screen is in draw/geometry.h.
#include <cstdint>

#include "seats/seat.h"

namespace seats {

// The raw code of the keypad key that plays direction sens.
uint8_t key_for(int sens);

// The move by before.tour that turns `before` into `after`, read from the marbles
// of the mover that left their cells and those that arrived: one cell each for an
// in-line move (the back one left, the front target arrived, n steps apart), n each
// for a broadside move. False when no single move explains the change.
bool derive_move(const Position& before, const Position& after, Move* out);

} // namespace seats
