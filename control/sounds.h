#pragma once
// Which sound a finished move makes (the glue of control/seating.cpp plays it).
#include "platform/sound.h"
#include "seats/seat.h"

// The sound of the move that turned `before` into `after`: the victory when it
// brought a score to six, a marble off when it raised a score, a push when marbles
// of both players changed cells, else a plain move. False when the board is the same.
bool sound_of(const seats::Position& before, const seats::Position& after, Sound* out);
