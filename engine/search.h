#pragma once
// Iterative deepening alpha-beta (principal variation search) with a transposition
// table, aspiration windows, null-move pruning and late-move reductions, and a
// quiescence search over push-offs.
//
// Budget: Limits says how deep, how long and how many nodes; the search also stops
// as soon as *stop turns true, whoever sets it, and then returns the best move of
// the deepest search it finished (or a better one found since).
#include <atomic>
#include <cstdint>
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
    // history: the hashes of the positions the game has passed through.
    Result run(const Position& root, const Limits& limits, const std::vector<uint64_t>& history = {},
               const std::atomic<bool>* stop = nullptr);
    // Forgets what earlier searches learned.
    void clear();

    Weights weights;
    Options options;

private:
    int negamax(Position& p, int depth, int alpha, int beta, int ply, bool null_ok);
    int quiesce(Position& p, int alpha, int beta, int ply);
    void order(const Position& p, MoveList& list, int* keys, uint16_t hash_move, int ply) const;
    bool repeated(uint64_t key, int ply) const;
    bool should_stop();
    int history_index(const Move& m) const { return m.code() & 0x1FFF; }

    TT tt_;
    Move killers_[kMaxPly][2];
    int history_[2][0x2000];
    uint64_t path_[kMaxPly + 8];
    std::vector<uint64_t> game_; // the game's positions, sorted
    uint64_t game_filter_[64];   // a quick no for most positions
    int root_side_ = 0;
    uint64_t nodes_ = 0, node_limit_ = 0;
    bool stopped_ = false;
    bool timed_ = false;
    double deadline_ = 0; // seconds on the clock below
    bool thread_clock_ = false;
    double now() const;
    const std::atomic<bool>* stop_ = nullptr;
};

} // namespace engine
