#pragma once
// The engine's board: the 61 cells numbered as board/board.h numbers them (A1 to
// I9, row by row from the bottom), each side's marbles one bit per cell of a 64-bit
// word, the hash of board::hash kept up to date by make and unmake.
#include <cstdint>

#include "board/board.h"

namespace engine {

using Bits = uint64_t;
constexpr int kCells = board::kCells;
constexpr Bits kBoard = (Bits(1) << kCells) - 1;
constexpr int kWinScore = board::kWinScore;

// The game's directions: steps (+1,+1) (+2,0) (+1,-1) (-1,-1) (-2,0) (-1,+1) in its
// grid. d and d + 3 are opposite; d % 3 is the line's axis.
constexpr int opposite(int d) { return d < 3 ? d + 3 : d - 3; }

// Geometry, built at compile time.
namespace geo {
using board::kDx;
using board::kDy;
constexpr int kRowStart[10] = {0, 5, 11, 18, 26, 35, 43, 50, 56, 61};

constexpr int abs_(int v) { return v < 0 ? -v : v; }
constexpr int index_of(int x, int y) {
    if (y < 2 || y > 10 || (x + y) % 2 != 0) return -1;
    int r = 10 - y, first = abs_(r - 4) + 2;
    if (x < first || x > 18 - abs_(r - 4)) return -1;
    return kRowStart[r] + (x - first) / 2;
}

struct Tables {
    int8_t x[kCells] = {}, y[kCells] = {}, nb[kCells][6] = {}, ring[kCells] = {};
    // shift in direction d: (b & mask[d][k]) moved by off[d][k], k < groups[d]
    Bits mask[6][4] = {};
    int off[6][4] = {};
    int groups[6] = {};
    Bits edge[6] = {};
};

constexpr Tables build() {
    Tables t;
    for (int r = 0; r < 9; r++)
        for (int c = kRowStart[r]; c < kRowStart[r + 1]; c++) {
            t.x[c] = int8_t(abs_(r - 4) + 2 + 2 * (c - kRowStart[r]));
            t.y[c] = int8_t(10 - r);
        }
    for (int c = 0; c < kCells; c++) {
        // Hex distance from the centre (10, 6) in doubled columns.
        int dx = abs_(t.x[c] - 10), dy = abs_(t.y[c] - 6);
        t.ring[c] = int8_t(dy + (dx > dy ? (dx - dy) / 2 : 0));
        for (int d = 0; d < 6; d++) {
            int n = index_of(t.x[c] + kDx[d], t.y[c] + kDy[d]);
            t.nb[c][d] = int8_t(n);
            if (n < 0) {
                t.edge[d] |= Bits(1) << c;
                continue;
            }
            int off = n - c, k = 0;
            while (k < t.groups[d] && t.off[d][k] != off) k++;
            if (k == t.groups[d]) t.off[d][t.groups[d]++] = off;
            t.mask[d][k] |= Bits(1) << c;
        }
    }
    return t;
}

inline constexpr Tables kT = build();
} // namespace geo

inline int cell_x(int c) { return geo::kT.x[c]; }
inline int cell_y(int c) { return geo::kT.y[c]; }
inline int cell_at(int x, int y) { return geo::index_of(x, y); }
inline int neighbour(int c, int d) { return geo::kT.nb[c][d]; }
inline int ring(int c) { return geo::kT.ring[c]; }
inline Bits edge(int d) { return geo::kT.edge[d]; }

// Moves cells one step in direction D; cells that would leave the board drop out.
// Row lengths differ, so a neighbour's index differs by one offset per pair of
// rows: the shift is a few masked shifts.
template <int D, int K>
inline Bits shift_group(Bits b) {
    constexpr auto& t = geo::kT;
    if constexpr (K >= t.groups[D]) {
        return 0;
    } else {
        constexpr int off = t.off[D][K];
        constexpr Bits mask = t.mask[D][K];
        if constexpr (off > 0)
            return (b & mask) << off;
        else
            return (b & mask) >> -off;
    }
}

template <int D>
inline Bits shift(Bits b) {
    return shift_group<D, 0>(b) | shift_group<D, 1>(b) | shift_group<D, 2>(b) | shift_group<D, 3>(b);
}

inline Bits shift(Bits b, int d) {
    switch (d) {
    case 0: return shift<0>(b);
    case 1: return shift<1>(b);
    case 2: return shift<2>(b);
    case 3: return shift<3>(b);
    case 4: return shift<4>(b);
    default: return shift<5>(b);
    }
}

// A move: a line of n own marbles from cell base along axis (base, base + axis,
// base + 2 axis; axis 0 for one marble), moved one step in direction dir. kind
// says whether it pushes, or pushes a marble off, for move ordering.
struct Move {
    enum Kind : uint8_t { Plain, Push, PushOff };
    uint8_t base = 0, n = 0, axis = 0, dir = 0;
    Kind kind = Plain;
    // 0 for no move (n = 0); every real move's code has the top bit set.
    uint16_t code() const {
        return n ? uint16_t(base | (n - 1) << 6 | axis << 8 | dir << 10 | kind << 13 | 1 << 15) : 0;
    }
    static Move from_code(uint16_t c) {
        return {uint8_t(c & 63), uint8_t((c >> 6 & 3) + 1), uint8_t(c >> 8 & 3), uint8_t(c >> 10 & 7),
                Kind(c >> 13 & 3)};
    }
    bool operator==(const Move& o) const { return code() == o.code(); }
    bool operator!=(const Move& o) const { return !(*this == o); }
    bool inline_move() const { return n > 1 && dir % 3 == axis; }
};

class Position {
public:
    struct Undo {
        Bits marbles[2];
        uint64_t hash;
        uint8_t score[2];
    };

    // The opening position, player 1 (side 0) to move.
    static Position opening();
    // side 0 is the game's player 1. Cells outside the board are ignored.
    static Position from_cells(Bits side0, Bits side1, int to_move, int score0, int score1);

    Bits mine() const { return marbles_[side_]; }
    Bits theirs() const { return marbles_[side_ ^ 1]; }
    Bits marbles(int side) const { return marbles_[side]; }
    Bits empty() const { return kBoard & ~(marbles_[0] | marbles_[1]); }
    int side() const { return side_; }
    int score(int side) const { return score_[side]; }
    uint64_t hash() const { return hash_; }
    // Someone has pushed six marbles off.
    bool over() const { return score_[0] >= kWinScore || score_[1] >= kWinScore; }

    // The cells of a move's line, and the same cells one step on.
    static Bits line(const Move& m);
    static Bits moved(const Move& m);

    // Plays a legal move; unmake takes back the last one made with this Undo.
    Undo make(const Move& m);
    void unmake(const Undo& u);
    // Passes the turn: for null-move pruning.
    Undo make_null();

private:
    Bits marbles_[2] = {0, 0};
    uint64_t hash_ = 0;
    uint8_t score_[2] = {0, 0};
    uint8_t side_ = 0;
    void toggle(int side, Bits cells);
};

} // namespace engine
