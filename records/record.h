#pragma once
// A game's record as text: tag lines `[Name "value"]`, a blank line, then the moves
// in the board's notation with the number of each full turn before light's move,
// e.g. `1. G5:SE C4:NE 2. ...`, and the result. Line breaks may stand between any
// two tokens; `;` starts a comment that runs to the end of the line. The reader is
// liberal in spacing and letter case and checks every move against the rules; the
// writer is canonical. Tags it does not know survive a round trip.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "board/board.h"

namespace records {

constexpr size_t kMaxBytes = 1 << 20; // a longer file is refused unread

struct Record {
    // Every tag, in the order read or set. The writer puts Game, Date, Opening, Light,
    // Dark and Result first, in that order, and the others after them as they stand.
    std::vector<std::pair<std::string, std::string>> tags;
    std::vector<board::Move> moves;

    // The tag's value, or "" when it has none.
    std::string tag(std::string_view name) const;
    void set_tag(const std::string& name, const std::string& value);
    // From the Opening tag; standard when it has none.
    board::Opening opening() const;
    // The position after the first `moves` moves (all of them when below 0).
    board::Position position(int moves = -1) const;
};

// A new game's tags: Game, Date (today), Opening, Light, Dark, Result `*`.
Record new_record(board::Opening opening, const std::string& light, const std::string& dark);
// "1-0", "0-1" or "*" for the position.
const char* result_of(const board::Position& p);

// What is wrong with a record, and where: line 0 when it is the file as a whole.
struct Fault {
    int line = 0;
    std::string what;
};
// "FILE:LINE: WHAT", or "FILE: WHAT" for the file as a whole.
std::string describe(const std::string& file, const Fault& fault);

// Reads a record's text. False, with *fault, when a tag line is malformed, a token
// is neither a move number, a move nor a result, a move number is out of turn, or a
// move is not legal from the position before it.
bool parse(std::string_view text, Record* out, Fault* fault);
// Reads the file: also refused when it cannot be read, is over kMaxBytes or is not
// UTF-8.
bool read_file(const std::string& path, Record* out, Fault* fault);
// The canonical text, ending in a line break: tags, a blank line, the moves ten full
// turns a line, then the result.
std::string write(const Record& record);
// Writes the text to a new file beside path, flushed to the disk, then renamed over
// path: a crash leaves the old file or the new one. False with *error (one line)
// when it could not.
bool write_file(const std::string& path, const std::string& text, std::string* error);

} // namespace records
