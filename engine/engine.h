#pragma once
// The computer player, in the game's own terms: a position is the game's grid, the
// player to move and the scores; a move is the marbles to click, in an order the
// selection rules accept, and the direction key's sens. Nothing here touches the
// game's globals.
//
// Cells are (x, y) with x + y even in rows 2 to 10; grid[y][x] holds 0 empty, 1 or 2
// a player's marble, 3 border. sens 0 to 5 steps (+1,+1) (+2,0) (+1,-1) (-1,-1)
// (-2,0) (-1,+1).
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace engine {

struct GamePosition {
    char grid[22][22] = {};
    char tour = 1;      // 1 or 2
    char score[3] = {}; // score[1], score[2]: marbles each player has pushed off
};

struct GameMove {
    int n = 0;                // 1 to 3 marbles
    int x[3] = {}, y[3] = {}; // in clicking order: along the line, from one end
    int sens = 0;
    bool operator==(const GameMove& o) const;
};

// The opening position, player 1 to move.
GamePosition opening();
// Identifies a position for the history below: the marbles and the player to move.
uint64_t hash(const GamePosition& p);
// Every move the game's rules accept, each group of marbles once per direction.
std::vector<GameMove> legal_moves(const GamePosition& p);
// Plays m as the game would, scores included; false and no change if it is not legal.
bool apply(GamePosition& p, const GameMove& m);

// Chooses moves on a thread of its own; no call waits for a search.
class Searcher {
public:
    Searcher();
    ~Searcher(); // cancels and joins
    Searcher(const Searcher&) = delete;
    Searcher& operator=(const Searcher&) = delete;

    // Starts choosing a move for p.tour at level 1 to 5 (3 is the default; 5 thinks
    // about 2 s). history: hash() of every position of the game so far, so that the
    // computer avoids repeating one unless it is losing. Cancels a search still
    // running. seed varies the random choices of level 1.
    void start(const GamePosition& p, int level, std::vector<uint64_t> history, uint64_t seed = 0);
    // Stops the search at once; it will give no result.
    void cancel();
    // True from start until the result is ready or the search is cancelled.
    bool busy() const;
    // The move chosen by the last search started, once, when it is ready; nothing
    // while it runs, after a cancel, or when the side to move has no move.
    std::optional<GameMove> result();

    // Scales every level's time, for matches; 1 by default.
    void set_time_scale(double scale);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace engine
