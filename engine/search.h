#pragma once
// Iterative deepening alpha-beta (principal variation search) with a transposition
// table, aspiration windows, null-move pruning and late-move reductions, and a
// quiescence search over push-offs.
//
// More threads search the same position at once, each on its own, sharing only the
// transposition table: what one finds cuts the others' searches short, and every
// other helper runs a depth ahead, so that they spread out. The helpers stop when
// the calling thread's search does; the deepest search finished gives the move.
//
// Budget: Limits says how deep, how long and how many nodes; the search also stops
// as soon as *stop turns true, whoever sets it, and then returns the best move of
// the deepest search it finished (or a better one found since).
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/evaluate.h"
#include "engine/movegen.h"
#include "engine/position.h"
#include "engine/tt.h"

namespace engine {

constexpr int kMate = 30000;
constexpr int kMaxPly = 128;

struct Limits {
    int depth = kMaxPly - 8; // plies
    int time_ms = 0;         // 0: no limit
    uint64_t nodes = 0;      // 0: no limit
    // A deeper search starts only within this part of the time: it would rarely finish.
    double new_depth_until = 0.5;
    // Time counted in this thread's processor time instead of the wall clock's: for
    // measurements on a machine shared with other work.
    bool thread_clock = false;
    // Threads searching, the calling one included.
    int threads = 1;
};

struct Result {
    Move move;
    bool has_move = false; // false only when the side to move has no move, or the game is over
    int score = 0;         // for the side to move
    int depth = 0;         // the deepest search finished
    uint64_t nodes = 0;
    double seconds = 0;
};

// The parts of the search that matches decide on.
struct Options {
    bool null_move = true;
    bool reductions = true;
    bool aspiration = true;
    // A repeated position counts this much against the side that was to move at the
    // root, so that it repeats only when everything else loses more.
    int contempt = 150;
};

class Search {
public:
    explicit Search(int tt_megabytes = 16);
    ~Search();
    // history: the hashes of the positions the game has passed through.
    Result run(const Position& root, const Limits& limits, const std::vector<uint64_t>& history = {},
               const std::atomic<bool>* stop = nullptr);
    // Forgets what earlier searches learned.
    void clear();
    // The line the last run expects from root: its move `first`, then the table's
    // best move in each position after, legal and unrepeated, up to max moves.
    std::vector<Move> line(const Position& root, const Move& first, int max) const;

    Weights weights;
    Options options;

private:
    struct Worker; // one thread's search
    friend struct Worker;

    bool in_game(uint64_t key) const;

    TT tt_;
    std::vector<std::unique_ptr<Worker>> workers_; // the calling thread's first
    std::vector<uint64_t> game_;                   // the game's positions, sorted
    uint64_t game_filter_[64];                     // a quick no for most positions
    int root_side_ = 0;
    std::atomic<bool> done_{false}; // the calling thread's search has ended: helpers stop
};

} // namespace engine
