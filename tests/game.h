#pragma once
// The whole game seen from outside, for the end-to-end tests: its pictures read
// from the generated Sprites files, its frames read back from the shots of a
// scripted run, the board decoded from a frame, and the game files of
// tests/games, which interleave script steps with what the screen must show.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tests/process.h"

namespace game {

// Words 0xAARRGGBB, top row first. Frames read from PNG have no fourth byte.
struct Image {
    int w = 0, h = 0;
    std::vector<uint32_t> px;
    uint32_t at(int x, int y) const { return px[size_t(y) * w + x]; }
    bool empty() const { return px.empty(); }
};

// Sprites/NAME.tga of the build tree, placed as the game places it: rows turned
// over, except in the three 32x32 sprites. Empty when it cannot be read.
Image picture(const std::string& name);
// The background the game draws the board on: the board picture and its panels.
Image background();
// A shot, 640x480; empty when it cannot be read.
Image read_png(const std::string& path);
bool write_png(const std::string& path, const Image& image);
// "" when the two frames show the same colours, else how many pixels differ and
// the first (x, y).
std::string difference(const Image& actual, const Image& expected);

// What the board shows: 61 cells, row 2 first, each row left to right, as
// '.' empty, 'o' and 'x' a marble of player 1 and 2, 'O' and 'X' the same ringed,
// '*' a ring alone and '?' anything else; and the two score digits, -1 unreadable.
struct Board {
    std::string cells;
    int score[2] = {-1, -1};
    bool operator==(const Board& o) const {
        return cells == o.cells && score[0] == o.score[0] && score[1] == o.score[1];
    }
};
Board decode(const Image& frame);
// Where cell (x, y) lies in Board::cells.
size_t cell_index(int x, int y);
// The frame the game shows for a board, with the cursor in the bottom-right corner.
Image compose(const Board& board);
// The board as the game files write it.
std::string text(const Board& board);

// A game file, turned into a script: each check becomes a move of the pointer to
// the corner and a shot into `shots` (or, for "expect end", a shot that must never
// be taken). `error` names the first line that could not be read.
struct Check {
    enum Kind { Board, Title, Victory, Frame, End } kind;
    int line;
    game::Board board; // for Board and Frame
    std::string shot;
    size_t steps;      // the length of Game::steps before the check
};
struct Game {
    std::string script;
    std::string steps; // the script without the checks' moves and shots
    std::vector<Check> checks;
    std::string error;
};
Game load(const std::string& path, const std::string& shots);

// Starts the game on a script, in the build tree where its pictures lie.
std::unique_ptr<test::Child> start(const std::string& script_path);

// The build tree's scratch directory `name`, made empty.
std::string scratch(const std::string& name);

} // namespace game
