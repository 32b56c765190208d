#pragma once
// Legal moves of the side to move, as the game's rules accept them: a line of one to
// three own marbles steps sideways into empty cells, or along itself into an empty
// cell, or pushes a shorter opposing row ahead of it into an empty cell or off the
// board. Nothing pushes sideways, nothing pushes a single marble's way, and no row
// is pushed into an own marble.
#include "engine/position.h"

namespace engine {

struct MoveList {
    Move moves[512];
    int size = 0;
    void add(const Move& m) { moves[size++] = m; }
    const Move* begin() const { return moves; }
    const Move* end() const { return moves + size; }
};

void generate(const Position& p, MoveList& out);
// Only the moves that push a marble off.
void generate_push_offs(const Position& p, MoveList& out);
// The number of legal moves, without listing them.
int count_moves(const Position& p);
// Marbles of `side` that the other side could push off if it were to move.
int threatened(const Position& p, int side);
// Leaf counts to a depth, for checking the generator.
uint64_t perft(Position& p, int depth);

} // namespace engine
