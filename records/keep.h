#pragma once
// Where games are kept, and the keeping of one: its record is written again after
// every move, whole, through a new file renamed over the old.
#include <ctime>
#include <string>

#include "records/record.h"

namespace records {

// $XDG_DATA_HOME/globoid/games, or ~/.local/share/globoid/games; "" when neither
// variable gives an absolute path.
std::string games_dir();
// A file in dir named by the start time, "2026-12-07-091233.txt" (with "-2" and on
// when that one is taken); dir is made first. "" with *error when it cannot be.
std::string new_game_path(const std::string& dir, time_t start, std::string* error);
// The most recently written record in dir of an unfinished game with moves whose
// Light and Dark tags are light and dark; "" when there is none. Damaged files are
// passed over.
std::string find_unfinished(const std::string& dir, const std::string& light, const std::string& dark);

class Keeper {
public:
    // Keeps `record` at path ("": in memory only); the first write comes with the
    // first move or undo.
    Keeper(std::string path, Record record);
    // A move was made: into the record, Result brought up to date, written.
    void moved(const board::Move& move);
    // The last `moves` moves were taken back: out of the record, written.
    void taken_back(int moves);
    const Record& record() const { return record_; }
    const std::string& path() const { return path_; }
    // How long the last write took, in milliseconds.
    double last_write_ms() const { return last_ms_; }

private:
    void save();
    std::string path_;
    Record record_;
    double last_ms_ = 0;
    bool said_ = false; // a failure to write has been said once
};

} // namespace records
