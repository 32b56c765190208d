#pragma once
// For tests of the rules: doubles of the cursor and the victory screen, the frame
// drawn from scratch, and whole games of clicks and moves checked step by step.
// Needs test::Buffers in place.
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace play {

// A cell of the grid, column first.
struct Cell {
    int x, y;
    bool operator==(Cell o) const { return x == o.x && y == o.y; }
};
inline std::ostream& operator<<(std::ostream& o, Cell c) { return o << "(" << c.x << "," << c.y << ")"; }
// k cells from c in direction sens (0 to 5).
inline Cell step(Cell c, int sens, int k = 1) {
    static const int steps[6][2] = {{1, 1}, {2, 0}, {1, -1}, {-1, -1}, {-2, 0}, {-1, 1}};
    return {c.x + k * steps[sens][0], c.y + k * steps[sens][1]};
}
// The selected cells, slot 1 first.
std::vector<Cell> selection();
// Puts the pointer at pixel (px, py) and clicks.
void click(int px, int py);

// What the Gagne double throws: it must not return to its caller.
struct Won {};
// Hides of the cursor double; misuse is a Hide while hidden or a Show while shown.
struct Cursor {
    int hides = 0;
    bool misuse = false;
};
extern Cursor cursor;
// Makes Souris exist and shown, and clears the record.
void reset_cursor();

// The background, every cell as Jeu has it, the rings on the selection, the scores.
void draw_from_scratch(char* out);
// Empty when the two frames match, else how many pixels differ and the first.
std::string frame_diff(const char* frame, const char* want);

struct Stats {
    long steps = 0, moves = 0, refused = 0, push_offs = 0, wins = 0;
};
constexpr size_t kBytesPerStep = 7;
// Plays one game from the opening position, a step for each kBytesPerStep bytes,
// until the bytes run out or a player wins. Returns the first broken invariant as
// "step N: what", or an empty string.
std::string game(const uint8_t* data, size_t size, Stats& stats);

} // namespace play
