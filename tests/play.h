#pragma once
// Random games for the rules, on doubles of the cursor and the victory screen:
// every click and move checked against the rules worked out afresh. Needs
// test::Buffers in place.
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>

namespace play {

// A cell of the grid, column first.
struct Cell {
    int x, y;
    bool operator==(Cell o) const { return x == o.x && y == o.y; }
};
inline std::ostream& operator<<(std::ostream& o, Cell c) { return o << "(" << c.x << "," << c.y << ")"; }

// Makes Souris exist and shown; then click puts its pointer at pixel (px, py) and clicks.
void reset_cursor();
void click(int px, int py);

struct Stats {
    long steps = 0, moves = 0, refused = 0, push_offs = 0, wins = 0;
};
constexpr size_t kBytesPerStep = 7;
// Plays one game from the opening position, a step for each kBytesPerStep bytes,
// until the bytes run out or a player wins. Returns the first broken rule as
// "step N: what", or an empty string.
std::string game(const uint8_t* data, size_t size, Stats& stats);

} // namespace play
