// Until the engine is in: the first move the rules allow.
#include "seats/think.h"

namespace seats {

namespace {

// Plays m on p by the game's rules; false when they refuse it.
bool plays(Position p, const Move& m) {
    const int who = p.tour, dx = kStep[m.sens][0], dy = kStep[m.sens][1];
    auto at = [&](int x, int y) -> int8_t& { return p.grid[y][x]; };
    auto selected = [&](int x, int y) {
        for (int i = 0; i < m.n; i++)
            if (m.x[i] == x && m.y[i] == y) return true;
        return false;
    };
    bool inline_move = false;
    int fx = 0, fy = 0; // the front marble's target
    for (int i = 0; i < m.n; i++) {
        int tx = m.x[i] + dx, ty = m.y[i] + dy;
        if (selected(tx, ty)) {
            inline_move = true;
            continue;
        }
        fx = tx;
        fy = ty;
    }
    if (!inline_move || m.n == 1) {
        for (int i = 0; i < m.n; i++)
            if (at(m.x[i] + dx, m.y[i] + dy) != 0) return false;
        return true;
    }
    if (at(fx, fy) == 0) return true;
    if (at(fx, fy) != 3 - who) return false;
    int np = 0, x = fx, y = fy;
    while (at(x, y) == 3 - who) {
        np++;
        x += dx;
        y += dy;
    }
    return np < m.n && at(x, y) != who;
}

} // namespace

bool think(const Position& now, const std::vector<Position>&, int, const std::atomic<bool>& stop, Move* out) {
    for (int y = 2; y <= 10; y++)
        for (int x = 0; x < 22; x++) {
            if (now.grid[y][x] != now.tour) continue;
            for (int axis = 0; axis < 3; axis++)
                for (int n = 1; n <= 3; n++) {
                    Move m;
                    m.n = n;
                    for (int i = 0; i < n; i++) {
                        m.x[i] = int8_t(x + i * kStep[axis][0]);
                        m.y[i] = int8_t(y + i * kStep[axis][1]);
                    }
                    if (now.grid[m.y[n - 1]][m.x[n - 1]] != now.tour) break;
                    for (m.sens = 0; m.sens < 6; m.sens++)
                        if (!stop && plays(now, m)) {
                            *out = m;
                            return true;
                        }
                }
        }
    return false;
}

} // namespace seats
