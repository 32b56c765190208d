#include "engine/levels.h"

#include <algorithm>

namespace engine {

namespace {

// Level 1: every move scored by the position it leaves, then a random one among
// those within this of the best; a repetition only when nothing else is left.
constexpr int kLevel1Margin = 300;

Result random_reasonable(const Position& root, const std::vector<uint64_t>& history, uint64_t seed) {
    Result r;
    MoveList list;
    generate(root, list);
    if (root.over() || list.size == 0) return r;
    int scores[512], best = -kMate * 2;
    Position p = root;
    for (int i = 0; i < list.size; i++) {
        Position::Undo u = p.make(list.moves[i]);
        bool again = std::find(history.begin(), history.end(), p.hash()) != history.end();
        scores[i] = p.over() ? kMate : -evaluate(p) - (again ? kMate / 2 : 0);
        p.unmake(u);
        best = std::max(best, scores[i]);
    }
    int candidates[512], n = 0;
    for (int i = 0; i < list.size; i++)
        if (scores[i] >= best - kLevel1Margin) candidates[n++] = i;
    uint64_t x = seed * 0x9E3779B97F4A7C15ull + 0x2545F4914F6CDD1Dull;
    x ^= x >> 29;
    int pick = candidates[(x * 0xBF58476D1CE4E5B9ull >> 32) % uint64_t(n)];
    r.move = list.moves[pick];
    r.has_move = true;
    r.score = scores[pick];
    r.depth = 1;
    return r;
}

} // namespace

Limits level_limits(int level, double time_scale) {
    Limits l;
    level = std::clamp(level, kMinLevel, kMaxLevel);
    static const int kMs[6] = {0, 0, 0, 150, 600, 2000};
    if (level <= 2)
        l.depth = level;
    else
        l.time_ms = std::max(1, int(kMs[level] * time_scale + 0.5));
    return l;
}

Result choose(Search& search, const Position& p, int level, const std::vector<uint64_t>& history,
              const std::atomic<bool>* stop, uint64_t seed, double time_scale) {
    if (level <= 1) return random_reasonable(p, history, seed);
    return search.run(p, level_limits(level, time_scale), history, stop);
}

} // namespace engine
