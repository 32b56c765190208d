#pragma once
// Which key plays each direction: what seats need of the keyboard to play a move.
// Where a cell lies on the screen is in draw/geometry.h.
#include <cstdint>

#include "board/board.h"

namespace seats {

// The raw code of the keypad key that plays direction d.
uint8_t key_for(board::Dir d);

} // namespace seats
