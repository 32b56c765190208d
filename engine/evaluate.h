#pragma once
// The static evaluation, in thousandths of a marble, for the side to move.
#include "engine/position.h"

namespace engine {

struct Weights {
    int marble = 1000;                   // each marble pushed off
    int centre[5] = {60, 45, 28, 10, 0}; // a marble on ring 0 (the centre) to 4 (the edge)
    int cohesion = 10;                   // each pair of own neighbours
    int lines = 0;                       // each line of three own marbles
    int in_danger = 220;                 // each own marble the opponent could push off
    int attacking = 90;                  // each opposing marble we could push off
    int contact = 3;                     // each own marble touching an opposing one, when ahead
};

int evaluate(const Position& p, const Weights& w = Weights());
// The marbles of own that touch one of theirs.
int contact(Bits own, Bits theirs);

} // namespace engine
