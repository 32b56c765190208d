#pragma once
// Games between players of the engine's benchmarks: random and greedy movers, the
// levels, searches with limits and weights of their own.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "engine/levels.h"
#include "engine/movegen.h"
#include "engine/search.h"

namespace match {

using namespace engine;

inline uint64_t next(uint64_t& s) {
    s = s * 6364136223846793005ULL + 1442695040888963407ULL;
    return s >> 33;
}

struct Player {
    virtual ~Player() = default;
    virtual std::string name() const = 0;
    virtual void new_game() {}
    virtual Move choose(const Position& p, const std::vector<uint64_t>& history, uint64_t& rng) = 0;
};

struct RandomPlayer : Player {
    std::string name() const override { return "random"; }
    Move choose(const Position& p, const std::vector<uint64_t>&, uint64_t& rng) override {
        MoveList l;
        generate(p, l);
        return l.moves[next(rng) % uint64_t(l.size)];
    }
};

// One ply: the most marbles pushed off, then the marbles closest to the centre.
struct GreedyPlayer : Player {
    std::string name() const override { return "greedy"; }
    Move choose(const Position& root, const std::vector<uint64_t>&, uint64_t& rng) override {
        MoveList l;
        generate(root, l);
        Position p = root;
        int best = -(1 << 30), count = 0;
        Move pick;
        for (const Move& m : l) {
            Position::Undo u = p.make(m);
            int s = 100 * p.score(root.side());
            for (Bits b = p.marbles(root.side()); b; b &= b - 1) s += 4 - ring(__builtin_ctzll(b));
            p.unmake(u);
            if (s > best) best = s, count = 0;
            if (s == best && next(rng) % uint64_t(++count) == 0) pick = m;
        }
        return pick;
    }
};

// A search with limits of its own, or a level. Levels search one thread each on this
// thread's processor time: that measures the search however busy the machine is,
// and the levels' second thread adds to every level alike.
struct SearchPlayer : Player {
    SearchPlayer(std::string name, const Limits& limits) : label(std::move(name)), limits(limits) {}
    SearchPlayer(int level, double scale)
        : label("level " + std::to_string(level)), level(level), limits(level_limits(level, scale)) {
        limits.threads = 1;
        limits.thread_clock = true;
    }
    std::string name() const override { return label; }
    void new_game() override { search.clear(); }
    Move choose(const Position& p, const std::vector<uint64_t>& history, uint64_t& rng) override {
        if (level == 1) return engine::choose(search, p, level, history, nullptr, next(rng) + 1).move;
        return search.run(p, limits, history).move;
    }
    std::string label;
    int level = 0;
    Limits limits;
    Search search{16};
};

struct Tally {
    int wins = 0, losses = 0, capped = 0;
    long plies = 0;
    void add(int result, long game_plies) {
        wins += result > 0, losses += result < 0, capped += result == 0;
        plies += game_plies;
    }
};

// Game g of a match: `plies` random plies open it, the same for games 2k and 2k + 1,
// and `first` plays player 1 in even games, `second` in odd ones. 1 if `first`
// wins, -1 if `second` does, 0 if nobody has within `cap` plies.
inline int play(Player& first, Player& second, int g, uint64_t seed, long& plies, int opening_plies = 4,
                int cap = 400) {
    uint64_t rng = seed * 0x9E3779B97F4A7C15ull + uint64_t(g / 2);
    Position p = Position::opening();
    std::vector<uint64_t> history{p.hash()};
    first.new_game();
    second.new_game();
    Player* players[2] = {&first, &second};
    if (g % 2) std::swap(players[0], players[1]);
    RandomPlayer opener;
    for (plies = 0; plies < cap && !p.over(); plies++) {
        MoveList l;
        generate(p, l);
        if (l.size == 0) break;
        Move m = plies < opening_plies ? opener.choose(p, history, rng) : players[p.side()]->choose(p, history, rng);
        p.make(m);
        history.push_back(p.hash());
    }
    if (!p.over()) return 0;
    int winner = p.score(0) >= kWinScore ? 0 : 1;
    return players[winner] == &first ? 1 : -1;
}

} // namespace match
