#pragma once
// The sounds of the game: which one a finished move makes, and M to turn them off
// and on.
#include "platform/input.h"
#include "platform/sound.h"
#include "seats/seat.h"

// The sound of the move that turned `before` into `after`: the victory when it
// brought a score to six, a marble off when it raised a score, a push when marbles
// of both players changed cells, else a plain move. False when the board is the same.
bool sound_of(const seats::Position& before, const seats::Position& after, Sound* out);

// Game thread, inside each poll of the input: plays the sound of a move made since
// the previous poll, and turns sound off or on when M goes down.
void listen_for_sounds(const key_info& keys);
