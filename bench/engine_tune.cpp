// Tunes the evaluation's weights by self-play, with SPSA: each step plays a pair of
// games, one opening with colours swapped, between the weights nudged one way and
// the same weights nudged the other way (every weight by its own step, each with a
// random sign), and moves the weights towards the side that won. Prints the weights
// now and then, and at the end as they are written in engine/evaluate.h.
//
//   engine_tune [--steps N] [--nodes K] [--rate R] [--seed S]
//   engine_tune --match GAMES [--first G] [--ms MS] [--nodes K] [--weights a,b,...] [--against a,b,...]
//
// N pairs of games (400), searched with K nodes a move (6000), so that the load of
// other work changes nothing and every run repeats; R (0.08) is how far the first
// pair of games moves each weight, in its nudges, for each game won.
//
// --match plays GAMES games between two sets of weights (by default the ones built
// in against those set by hand before any tuning), at MS of this thread's
// processor time a move when given, and prints the score. --first G plays only
// games G and on, so that a long match can be split between runs.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "bench/match.h"

using namespace engine;
using namespace match;

namespace {

// The weights as they were set by hand, before any tuning.
Weights hand_weights() {
    Weights w;
    w.marble = 1000;
    const int centre[5] = {60, 45, 28, 10, 0};
    std::memcpy(w.centre, centre, sizeof centre);
    w.cohesion = 10;
    w.lines = 0;
    w.in_danger = 220;
    w.attacking = 90;
    w.contact = 3;
    return w;
}

// The weights tuned, each with its step: about what changes the play a little.
struct Param {
    const char* name;
    int Weights::*field;
    int index; // into centre[] when field is null
    double step;
};

const Param kParams[] = {
    {"centre[0]", nullptr, 0, 10},
    {"centre[1]", nullptr, 1, 10},
    {"centre[2]", nullptr, 2, 8},
    {"centre[3]", nullptr, 3, 5},
    {"cohesion", &Weights::cohesion, 0, 4},
    {"lines", &Weights::lines, 0, 8},
    {"in_danger", &Weights::in_danger, 0, 40},
    {"attacking", &Weights::attacking, 0, 25},
    {"contact", &Weights::contact, 0, 2},
};
constexpr int kCount = int(sizeof kParams / sizeof kParams[0]);

int& field(Weights& w, int i) { return kParams[i].field ? w.*kParams[i].field : w.centre[kParams[i].index]; }

std::vector<double> values(Weights w) {
    std::vector<double> v;
    for (int i = 0; i < kCount; i++) v.push_back(field(w, i));
    return v;
}

Weights weights(const std::vector<double>& v) {
    Weights w = hand_weights();
    for (int i = 0; i < kCount; i++) field(w, i) = int(std::lround(v[size_t(i)]));
    return w;
}

void print(const char* title, Weights w) {
    std::printf("%s", title);
    for (int i = 0; i < kCount; i++) std::printf(" %s=%d", kParams[i].name, field(w, i));
    std::printf("\n");
    std::fflush(stdout);
}

bool parse_weights(const char* text, Weights* out) {
    std::vector<double> v;
    std::stringstream in(text);
    for (std::string item; std::getline(in, item, ',');) v.push_back(std::atof(item.c_str()));
    if (int(v.size()) != kCount) return false;
    *out = weights(v);
    return true;
}

Limits limits(int nodes, int ms) {
    Limits l;
    if (ms) {
        l.time_ms = ms;
        l.thread_clock = true;
    } else {
        l.nodes = uint64_t(nodes);
    }
    return l;
}

// Standard SPSA gains: the step of the weights shrinks as k^-0.602 and the size of
// the nudges as k^-0.101.
int tune(int steps, int nodes, double rate, uint64_t seed) {
    std::vector<double> theta = values(Weights());
    const double big_a = steps / 10.0;
    uint64_t rng = seed;
    print("start:", weights(theta));
    int results[5] = {};
    SearchPlayer a("plus", limits(nodes, 0)), b("minus", limits(nodes, 0));
    for (int k = 0; k < steps; k++) {
        double nudge = 1 / std::pow(k + 1, 0.101);
        double gain = rate * std::pow((big_a + 1) / (k + 1 + big_a), 0.602);
        std::vector<double> plus = theta, minus = theta, delta(kCount);
        for (int i = 0; i < kCount; i++) {
            delta[size_t(i)] = next(rng) & 1 ? 1 : -1;
            plus[size_t(i)] += kParams[i].step * nudge * delta[size_t(i)];
            minus[size_t(i)] -= kParams[i].step * nudge * delta[size_t(i)];
        }
        a.search.weights = weights(plus);
        b.search.weights = weights(minus);
        int r = 0;
        for (int g = 0; g < 2; g++) {
            long plies = 0;
            r += play(a, b, g, seed + uint64_t(k), plies, 4, 300);
        }
        results[r + 2]++;
        for (int i = 0; i < kCount; i++) theta[size_t(i)] += gain * kParams[i].step * r * delta[size_t(i)];
        if ((k + 1) % 50 == 0) {
            char title[80];
            std::snprintf(title, sizeof title, "step %d (pairs -2..2: %d %d %d %d %d):", k + 1, results[0], results[1],
                          results[2], results[3], results[4]);
            print(title, weights(theta));
        }
    }
    Weights w = weights(theta);
    print("tuned:", w);
    std::printf("as written in engine/evaluate.h: centre {%d, %d, %d, %d, 0}, cohesion %d, lines %d, in_danger %d, "
                "attacking %d, contact %d\n",
                w.centre[0], w.centre[1], w.centre[2], w.centre[3], w.cohesion, w.lines, w.in_danger, w.attacking,
                w.contact);
    return 0;
}

int run_match(int first, int games, int nodes, int ms, const Weights& mine, const Weights& theirs) {
    print("weights:", mine);
    print("against:", theirs);
    SearchPlayer a("weights", limits(nodes, ms)), b("against", limits(nodes, ms));
    a.search.weights = mine;
    b.search.weights = theirs;
    Tally t;
    for (int g = first; g < games; g++) {
        long plies = 0;
        int r = play(a, b, g, 7, plies);
        t.add(r, plies);
        if ((g + 1) % 50 == 0 || g + 1 == games) {
            std::printf("%d games: %d won, %d lost, %d capped (%.1f%%, a capped game counted half), %ld plies a game\n",
                        g + 1 - first, t.wins, t.losses, t.capped, 100 * (t.wins + 0.5 * t.capped) / (g + 1 - first),
                        t.plies / (g + 1 - first));
            std::fflush(stdout);
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    int steps = 400, nodes = 6000, games = 0, first = 0, ms = 0;
    double rate = 0.08;
    uint64_t seed = 1;
    Weights mine, theirs = hand_weights();
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        bool more = i + 1 < argc;
        if (a == "--steps" && more)
            steps = std::atoi(argv[++i]);
        else if (a == "--nodes" && more)
            nodes = std::atoi(argv[++i]);
        else if (a == "--rate" && more)
            rate = std::atof(argv[++i]);
        else if (a == "--seed" && more)
            seed = uint64_t(std::atoll(argv[++i]));
        else if (a == "--match" && more)
            games = std::atoi(argv[++i]);
        else if (a == "--first" && more)
            first = std::atoi(argv[++i]);
        else if (a == "--ms" && more)
            ms = std::atoi(argv[++i]);
        else if (a == "--weights" && more && parse_weights(argv[i + 1], &mine))
            i++;
        else if (a == "--against" && more && parse_weights(argv[i + 1], &theirs))
            i++;
        else {
            std::fprintf(stderr,
                         "usage: engine_tune [--steps N] [--nodes K] [--rate R] [--seed S]\n"
                         "       engine_tune --match GAMES [--first G] [--ms MS] [--nodes K] [--weights a,b,...] "
                         "[--against a,b,...]\n");
            return 2;
        }
    }
    return games ? run_match(first, games, nodes, ms, mine, theirs) : tune(steps, nodes, rate, seed);
}
