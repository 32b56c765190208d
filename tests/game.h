#pragma once
// The whole game seen from outside, for the end-to-end tests: its generated
// pictures, the board decoded from a frame, and the game files of tests/games,
// which interleave script steps with what the screen must show.
#include <memory>
#include <string>
#include <vector>

#include "tests/picture.h"
#include "tests/process.h"

namespace game {

// Sprites/NAME.tga of the build tree, placed as the game places it.
test::Picture picture(const std::string& name);

// What the board shows: 61 cells, row 2 first, each row left to right, as '.'
// empty, 'o' and 'x' a marble of player 1 and 2, 'O' and 'X' the same ringed, '*' a
// ring alone and '?' anything else; and the two score digits, -1 unreadable.
struct Board {
    std::string cells;
    int score[2] = {-1, -1};
};
Board decode(const test::Picture& frame);
// Where cell (x, y) lies in Board::cells.
size_t cell_index(int x, int y);
// The frame the game shows for a board, with the cursor in the bottom-right corner.
test::Picture compose(const Board& board);
// The board as the game files write it.
std::string text(const Board& board);

// A game file turned into a script: each check becomes a move of the pointer to the
// corner and a shot (for "expect end", a shot that must never be taken). A line that
// cannot be read makes a check that fails.
struct Check {
    enum Kind { Board, Title, Victory, Frame, End } kind;
    int line;
    game::Board board; // for Board and Frame
    std::string shot;
    size_t steps; // the length of Game::steps before the check
};
struct Game {
    std::string script;
    std::string steps; // the script without the checks' moves and shots
    std::vector<Check> checks;
};
Game load(const std::string& path, const std::string& shots);

// Starts the game on a script, in the build tree where its pictures lie.
std::unique_ptr<test::Child> start(const std::string& script_path);

} // namespace game
