// The opening position, the Zobrist keys, and make and unmake.
#include "engine/position.h"

#include "board/board.h"

namespace engine {

namespace {

struct Keys {
    uint64_t cell[2][kCells] = {};
    uint64_t side = 0;
};

// The board's own keys, so that the engine's hash is board::hash.
Keys board_keys() {
    Keys k;
    for (int c = 0; c < kCells; c++) {
        k.cell[0][c] = board::zobrist(board::kLight, c);
        k.cell[1][c] = board::zobrist(board::kDark, c);
    }
    k.side = board::zobrist_dark_to_move();
    return k;
}

const Keys kKeys = board_keys();

// line and moved of every (base, n, axis, dir); zero where the line leaves the board.
struct Lines {
    Bits line[kCells][3][3] = {};
    Bits moved[kCells][3][3][6] = {};
};

constexpr Lines make_lines() {
    Lines l;
    for (int c = 0; c < kCells; c++)
        for (int a = 0; a < 3; a++) {
            Bits line = 0;
            for (int n = 1, cell = c; n <= 3 && cell >= 0; n++, cell = geo::kT.nb[cell][a]) {
                line |= Bits(1) << cell;
                l.line[c][n - 1][a] = line;
                for (int d = 0; d < 6; d++) {
                    Bits to = 0;
                    for (Bits b = line; b; b &= b - 1) {
                        int nb = geo::kT.nb[__builtin_ctzll(b)][d];
                        if (nb >= 0) to |= Bits(1) << nb;
                    }
                    l.moved[c][n - 1][a][d] = to;
                }
            }
        }
    return l;
}

const Lines kLines = make_lines();

} // namespace

Bits Position::line(const Move& m) { return kLines.line[m.base][m.n - 1][m.axis]; }
Bits Position::moved(const Move& m) { return kLines.moved[m.base][m.n - 1][m.axis][m.dir]; }

Position Position::opening() {
    Bits top = 0, bottom = 0;
    for (int c = 0; c < kCells; c++) {
        int x = cell_x(c), y = cell_y(c);
        if (y <= 3 || (y == 4 && x >= 8 && x <= 12)) top |= Bits(1) << c;
        if (y >= 9 || (y == 8 && x >= 8 && x <= 12)) bottom |= Bits(1) << c;
    }
    return from_cells(top, bottom, 0, 0, 0);
}

Position Position::from_cells(Bits side0, Bits side1, int to_move, int score0, int score1) {
    Position p;
    p.side_ = uint8_t(to_move & 1);
    p.score_[0] = uint8_t(score0);
    p.score_[1] = uint8_t(score1);
    p.toggle(0, side0 & kBoard);
    p.toggle(1, side1 & kBoard & ~side0);
    if (p.side_) p.hash_ ^= kKeys.side;
    return p;
}

void Position::toggle(int side, Bits cells) {
    marbles_[side] ^= cells;
    for (; cells; cells &= cells - 1) hash_ ^= kKeys.cell[side][__builtin_ctzll(cells)];
}

Position::Undo Position::make(const Move& m) {
    Undo u{{marbles_[0], marbles_[1]}, hash_, {score_[0], score_[1]}};
    Bits from = line(m), to = moved(m);
    if (m.kind != Move::Plain) {
        // The first opposing marble is the cell the line moves into that it did not
        // hold; the row ends at the first cell that is not the opponent's.
        Bits first = to & ~from;
        int c = __builtin_ctzll(first);
        while (c >= 0 && (theirs() >> c & 1)) c = neighbour(c, m.dir);
        Bits last = c >= 0 ? Bits(1) << c : 0;
        toggle(side_ ^ 1, first | last);
        if (!last) score_[side_]++;
    }
    toggle(side_, from ^ to);
    side_ ^= 1;
    hash_ ^= kKeys.side;
    return u;
}

void Position::unmake(const Undo& u) {
    marbles_[0] = u.marbles[0];
    marbles_[1] = u.marbles[1];
    hash_ = u.hash;
    score_[0] = u.score[0];
    score_[1] = u.score[1];
    side_ ^= 1;
}

Position::Undo Position::make_null() {
    Undo u{{marbles_[0], marbles_[1]}, hash_, {score_[0], score_[1]}};
    side_ ^= 1;
    hash_ ^= kKeys.side;
    return u;
}

} // namespace engine
