#include "engine/levels.h"

#include <algorithm>
#include <thread>

namespace engine {

namespace {

// Level 1 plays as a beginner: it takes any push-off it sees, and otherwise goes
// for the opposing marbles, judging each move only by the position it leaves, with
// a careless eye: every move's score is blurred by up to a quarter of a marble,
// more than a marble left in reach of a push-off costs, so that it often misses a
// threat. It repeats a position only when nothing else is left.
constexpr int kLevel1Blur = 250;
// Each own marble touching an opposing one: what keeps it from wandering.
constexpr int kLevel1Contact = 40;

uint64_t next_random(uint64_t& s) {
    uint64_t z = (s += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

Result beginner(const Position& root, const std::vector<uint64_t>& history, uint64_t seed) {
    Result r;
    MoveList list;
    generate(root, list);
    if (root.over() || list.size == 0) return r;
    uint64_t rng = seed;
    int best = -kMate * 2;
    Position p = root;
    for (const Move& m : list) {
        Position::Undo u = p.make(m);
        bool again = std::find(history.begin(), history.end(), p.hash()) != history.end();
        int s = -evaluate(p) + kLevel1Contact * contact(p.marbles(root.side()), p.marbles(p.side()));
        if (m.kind == Move::PushOff) s += kMate / 4;
        if (again) s -= kMate / 2;
        s += int(next_random(rng) % kLevel1Blur);
        p.unmake(u);
        if (s > best) {
            best = s;
            r.move = m;
        }
    }
    r.has_move = true;
    r.score = best;
    r.depth = 1;
    return r;
}

} // namespace

Limits level_limits(int level, double time_scale) {
    Limits l;
    level = std::clamp(level, kMinLevel, kMaxLevel);
    static const int kMs[6] = {0, 0, 0, 150, 600, 2000};
    if (level <= 2) {
        l.depth = level;
    } else {
        l.time_ms = std::max(1, int(kMs[level] * time_scale + 0.5));
        l.threads = int(std::clamp(std::thread::hardware_concurrency(), 1u, 2u));
    }
    return l;
}

Result choose(Search& search, const Position& p, int level, const std::vector<uint64_t>& history,
              const std::atomic<bool>* stop, uint64_t seed, double time_scale) {
    if (level <= 1) return beginner(p, history, seed);
    return search.run(p, level_limits(level, time_scale), history, stop);
}

} // namespace engine
