#pragma once
// The static evaluation, in thousandths of a marble, for the side to move.
#include "engine/position.h"

namespace engine {

struct Weights {
    // Tuned by self-play: build/bench/engine_tune.
    int marble = 1000;                  // each marble pushed off
    int centre[5] = {66, 72, 20, 2, 0}; // a marble on ring 0 (the centre) to 4 (the edge)
    int cohesion = 17;                  // each pair of own neighbours
    int lines = 13;                     // each line of three own marbles
    int in_danger = 66;                 // each own marble the opponent could push off
    int attacking = 77;                 // each opposing marble we could push off
    int contact = 4;                    // each own marble touching an opposing one, when ahead
};

int evaluate(const Position& p, const Weights& w = Weights());
// The marbles of own that touch one of theirs.
int contact(Bits own, Bits theirs);

} // namespace engine
