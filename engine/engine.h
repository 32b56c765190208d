#pragma once
// The computer player in the board's vocabulary (board/board.h): a position in, a
// move out, chosen on a thread of its own. Nothing here touches the game.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "board/board.h"
#include "engine/position.h"

namespace engine {

// The engine's own position for a board position, and its moves in the board's terms.
Position to_engine(const board::Position& p);
board::Move to_board(const Move& m);
// The engine's move for m, when m is legal in p.
std::optional<Move> from_board(const Position& p, const board::Move& m);

// Chooses moves on a thread of its own; no call waits for a search.
class Searcher {
public:
    Searcher();
    ~Searcher(); // cancels and joins
    Searcher(const Searcher&) = delete;
    Searcher& operator=(const Searcher&) = delete;

    // Starts choosing a move for p.to_move at level 1 to 5 (3 is the default; 5 thinks
    // about 2 s). history: board::hash() of every position of the game so far, so that the
    // computer avoids repeating one unless it is losing. Cancels a search still
    // running. seed varies the random choices of level 1.
    void start(const board::Position& p, int level, std::vector<uint64_t> history, uint64_t seed = 0);
    // Stops the search at once; it will give no result.
    void cancel();
    // True from start until the result is ready or the search is cancelled.
    bool busy() const;
    // The move chosen by the last search started, once, when it is ready; nothing
    // while it runs, after a cancel, or when the side to move has no move.
    std::optional<board::Move> result();

    // Called on the search's thread whenever a result is ready (never for a
    // cancelled search), so that a caller may sleep until then; it must return at once.
    void on_done(std::function<void()> done);

    // Scales every level's time, for matches; 1 by default.
    void set_time_scale(double scale);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace engine
