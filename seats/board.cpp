// Direction keys, and reading a move back from two positions.
#include "seats/board.h"

#include <vector>

#include "platform/input.h"

namespace seats {

const int kStep[6][2] = {{1, 1}, {2, 0}, {1, -1}, {-1, -1}, {-2, 0}, {-1, 1}};

uint8_t key_for(int sens) {
    static const uint8_t keys[6] = {KEY_KP3, KEY_KP6, KEY_KP9, KEY_KP7, KEY_KP4, KEY_KP1};
    return keys[sens];
}

namespace {

struct Cell {
    int x, y;
};

// The cells where `who` has a marble in `a` but not in `b`.
std::vector<Cell> only_in(const Position& a, const Position& b, int who) {
    std::vector<Cell> out;
    for (int y = 2; y <= 10; y++)
        for (int x = 0; x < 22; x++)
            if (a.grid[y][x] == who && b.grid[y][x] != who) out.push_back({x, y});
    return out;
}

} // namespace

bool derive_move(const Position& before, const Position& after, Move* out) {
    const int who = before.tour;
    std::vector<Cell> left = only_in(before, after, who), arrived = only_in(after, before, who);
    if (left.empty() || left.size() != arrived.size() || left.size() > 3) return false;
    Move m;
    if (left.size() == 1) {
        // One marble stepping, or a line of k advancing: the back cell empties and
        // the cell k steps ahead of it fills; every cell between held the line.
        const int dx = arrived[0].x - left[0].x, dy = arrived[0].y - left[0].y;
        for (int s = 0; s < 6; s++)
            for (int k = 1; k <= 3; k++) {
                if (dx != k * kStep[s][0] || dy != k * kStep[s][1]) continue;
                m.n = k;
                m.sens = s;
                for (int i = 0; i < k; i++) {
                    m.x[i] = int8_t(left[0].x + i * kStep[s][0]);
                    m.y[i] = int8_t(left[0].y + i * kStep[s][1]);
                    if (before.grid[m.y[i]][m.x[i]] != who) return false;
                }
                *out = m;
                return true;
            }
        return false;
    }
    // Broadside: every marble that left arrived one step away, all the same way.
    for (int s = 0; s < 6; s++) {
        size_t found = 0;
        for (const Cell& c : left)
            for (const Cell& a : arrived) found += a.x == c.x + kStep[s][0] && a.y == c.y + kStep[s][1];
        if (found != left.size()) continue;
        m.n = int(left.size());
        m.sens = s;
        for (int i = 0; i < m.n; i++) {
            m.x[i] = int8_t(left[size_t(i)].x);
            m.y[i] = int8_t(left[size_t(i)].y);
        }
        *out = m;
        return true;
    }
    return false;
}

} // namespace seats
