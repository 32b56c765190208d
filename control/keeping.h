#pragma once
// The records of the games played here, for the glue of seating.cpp, on the game
// thread: the opening and the game to resume shown on the title, the position a
// game starts from, the record brought up to date after every move and undo, and
// the review of a record move by move through the game's own board drawing.
#include <string>

#include "board/board.h"
#include "records/record.h"

namespace keeping {

struct Setup {
    board::Opening opening = board::Opening::Standard;
    bool keep = true;        // games are kept: not in scripted or headless runs without --record
    std::string record_path; // --record: this file instead of a new one in the games folder
    bool load = false;       // --load: the game goes on from the end of `record`
    bool review = false;     // --review: the program only reviews `record`
    records::Record record;
};
// Before the game thread starts.
void setup(Setup s);
// Once the screen is up: a start other than the game's own opening then goes on
// the board before the board's first frame.
void watch_frames();

// The title: the opening that space and C start, and the note that R resumes a
// game when there is one, pasted over the picture and shown.
void show_title(bool resumable);
// O: the next opening, shown.
void next_opening();
// The opening new games start from; the host's, in a game over the network.
board::Opening opening();
void set_opening(board::Opening o);
// The opening is the host's, told when the link is up: until set_opening, nothing
// is put on the board.
void await_opening();
// The most recent unfinished game with these players, or "".
std::string resumable(const std::string& light, const std::string& dark);
// The next game goes on from the record at path, kept in the same file. False when
// it cannot be read any more.
bool resume(const std::string& path, records::Record* record);

// The board is up: puts the start position on it when it is not the game's own
// opening, and begins the record with these players ("person", "computer N",
// "remote"). `keep`: a person plays here, so the game is kept.
void begin(const std::string& light, const std::string& dark, bool keep);
// After each move the game made, and after moves taken back; each writes the
// record, which takes a few milliseconds of the game thread (records_bench).
void moved(const board::Move& move);
void taken_back(int moves);

// --review: shows the record given to setup until Escape, then the program ends.
bool review_only();
[[noreturn]] void review_file();
// R on the victory screen: the game just played, until Escape is pressed and let
// go; the victory picture is then shown again.
void review_game();
// True while a review holds the game thread: the glue's polls then do nothing.
bool reviewing();

} // namespace keeping
