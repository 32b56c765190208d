// The engine's speed and strength. Plain run: move counts from the opening to depth
// 5, timed on one core; nodes a second; the depth finished in 1 s on the opening and
// the ten positions of engine_positions.txt, on one thread and on two; how far a
// search overruns its time; a table against the targets, exit 1 when one is missed;
// the same without the popcount instruction.
//
// --tournament [--scale F] [--games N] [--pairing K,...]: matches of N games (100) per
// pairing, openings varied by four random plies, each played twice with colours
// swapped, games capped at 400 plies. Every level's time is multiplied by F (default 1/200: level 5 thinks
// 10 ms) so that the whole run fits in about half an hour on a shared machine; time
// is this thread's processor time, so the load of other work changes no result.
// --pairing picks pairings by their row in the table, to run them in parallel.
//
// --threads-match GAMES MS [--cpu]: two threads against one, the time to the same
// depth on the bench positions, then GAMES games at MS a move (0 games for the
// times alone) by the wall clock, or by the calling thread's processor time.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/cpu.h"
#include "engine/levels.h"
#include "engine/movegen.h"
#include "bench/match.h"
#include "engine/search.h"

using namespace engine;
using namespace match;

namespace {

using Clock = std::chrono::steady_clock;
double since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }
// This thread's processor time: what one core did, however busy the machine is.
double cpu() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// A position per line: player to move (1 or 2), the two scores, then the nine rows
// top first, '/' between, '.' empty, 'o' player 1, 'x' player 2.
Position parse(const std::string& line) {
    int tour = 0, s1 = 0, s2 = 0;
    char rows[128] = {};
    if (std::sscanf(line.c_str(), "%d %d %d %127s", &tour, &s1, &s2, rows) != 4) return Position();
    Bits side[2] = {0, 0};
    int y = 2, i = 0;
    for (const char* r = rows; *r; r++) {
        if (*r == '/') {
            y++, i = 0;
            continue;
        }
        int c = cell_at((y < 6 ? 6 - y : y - 6) + 2 + 2 * i++, y);
        if (c >= 0 && (*r == 'o' || *r == 'x')) side[*r == 'x'] |= Bits(1) << c;
    }
    return Position::from_cells(side[0], side[1], tour - 1, s1, s2);
}

std::string format(const Position& p) {
    std::string out =
        std::to_string(p.side() + 1) + " " + std::to_string(p.score(0)) + " " + std::to_string(p.score(1)) + " ";
    for (int y = 2; y <= 10; y++) {
        if (y > 2) out += '/';
        for (int x = 0; x <= 20; x++)
            if (int c = cell_at(x, y); c >= 0) out += p.marbles(0) >> c & 1 ? 'o' : p.marbles(1) >> c & 1 ? 'x' : '.';
    }
    return out;
}

std::vector<Position> bench_positions(const char* path) {
    std::vector<Position> out{Position::opening()};
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line[0] != '#') out.push_back(parse(line));
    return out;
}

Limits depth(int d) {
    Limits l;
    l.depth = d;
    return l;
}

int tournament(double scale, int games, const std::string& only) {
    struct Pairing {
        std::function<std::unique_ptr<Player>()> strong, weak;
        double target;
    };
    auto level = [scale](int l) { return [=] { return std::unique_ptr<Player>(new SearchPlayer(l, scale)); }; };
    std::vector<Pairing> pairings = {
        {level(5), [] { return std::unique_ptr<Player>(new RandomPlayer); }, 1.00},
        {level(5), [] { return std::unique_ptr<Player>(new GreedyPlayer); }, 0.98},
        {level(5), [] { return std::unique_ptr<Player>(new SearchPlayer("depth 3", depth(3))); }, 0.85},
        {level(5), level(4), 0.65},
        {level(4), level(3), 0.65},
        {level(3), level(2), 0.65},
        {level(2), level(1), 0.65},
        {level(1), [] { return std::unique_ptr<Player>(new RandomPlayer); }, 0.95},
    };
    std::printf("Tournament: %d games per pairing, time per move x %.4f (level 5: %.0f ms)\n", games, scale,
                2000 * scale);
    std::printf("%-22s %5s %5s %6s %6s %7s %6s %8s  %s\n", "pairing", "won", "lost", "capped", "won%", "target",
                "plies", "minutes", "");
    bool ok = true;
    for (size_t k = 0; k < pairings.size(); k++) {
        if (!only.empty() && ("," + only + ",").find("," + std::to_string(k) + ",") == std::string::npos) continue;
        auto strong = pairings[k].strong(), weak = pairings[k].weak();
        Tally t;
        auto start = Clock::now();
        for (int g = 0; g < games; g++) {
            long plies = 0;
            int r = play(*strong, *weak, g, k + 1, plies);
            t.add(r, plies);
        }
        double seconds = since(start);
        double won = double(t.wins) / games;
        bool pass = won + 1e-9 >= pairings[k].target && t.capped * 20 <= games;
        ok &= pass;
        std::string name = strong->name() + " v " + weak->name();
        std::printf("%-22s %5d %5d %6d %5.0f%% %6.0f%% %6ld %8.1f  %s\n", name.c_str(), t.wins, t.losses, t.capped,
                    100 * won, 100 * pairings[k].target, t.plies / games, seconds / 60, pass ? "PASS" : "FAIL");
        std::fflush(stdout);
    }
    return ok ? 0 : 1;
}

double load_average() {
    double load = 0;
    if (FILE* f = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(f, "%lf", &load) != 1) load = 0;
        std::fclose(f);
    }
    return load;
}

// Two threads against one: the time to finish the same depth on the bench positions
// (the depth one thread finishes in 1 s), then a match of `games` games at `ms` a
// move. By the wall clock, the match is only meaningful while the machine has a
// core free for the second thread; with cpu_clock, a move's time is the calling
// thread's processor time, and the helper takes what the scheduler gives it beside
// (about as much while the machine is loaded evenly). Exit 1 if two threads win
// less than 60%.
int threads_match(int games, int ms, bool cpu_clock) {
    std::printf("Two threads against one; load average at the start %.2f\n\n", load_average());
    // Processor time of the calling thread beside the wall clock's: while other work
    // shares the cores, it stands for the wall time the search would take with a core
    // of its own for each thread.
    std::printf("%-10s %6s %21s %21s %8s\n", "position", "depth", "1 thread: s (wall)", "2 threads: s (wall)",
                "speedup");
    double total[3] = {0, 0, 0};
    std::vector<Position> positions = bench_positions(ENGINE_POSITIONS);
    for (size_t i = 0; i < positions.size(); i++) {
        Limits l;
        l.time_ms = 1000;
        l.new_depth_until = 1;
        l.thread_clock = true;
        l.depth = Search(16).run(positions[i], l).depth;
        l.time_ms = 0;
        double t[3] = {}, wall[3] = {};
        for (int threads = 1; threads <= 2; threads++) {
            Search search(16);
            l.threads = threads;
            auto start = Clock::now();
            t[threads] = search.run(positions[i], l).seconds;
            wall[threads] = since(start);
            total[threads] += t[threads];
        }
        std::printf("%-10zu %6d %12.3f (%6.3f) %12.3f (%6.3f) %8.2f\n", i, l.depth, t[1], wall[1], t[2], wall[2],
                    t[1] / t[2]);
        std::fflush(stdout);
    }
    std::printf("%-10s %6s %12.3f %21.3f %17.2f\n\n", "all", "", total[1], total[2], total[1] / total[2]);
    if (games <= 0) return 0;
    Limits l;
    l.time_ms = ms;
    l.thread_clock = cpu_clock;
    SearchPlayer one("1 thread", l);
    l.threads = 2;
    SearchPlayer two("2 threads", l);
    Tally t;
    auto start = Clock::now();
    for (int g = 0; g < games; g++) {
        long plies = 0;
        int r = play(two, one, g, 99, plies);
        t.add(r, plies);
        if ((g + 1) % 20 == 0) {
            std::printf("  %d games: %d won, %d lost, %d capped\n", g + 1, t.wins, t.losses, t.capped);
            std::fflush(stdout);
        }
    }
    double won = double(t.wins) / games;
    std::printf("2 threads v 1 thread at %d ms a move (%s): %d won, %d lost, %d capped of %d (%.0f%%, target 60%%), "
                "%ld plies a game, %.1f minutes; load average at the end %.2f  %s\n",
                ms, cpu_clock ? "processor time" : "wall clock", t.wins, t.losses, t.capped, games, 100 * won,
                t.plies / games, since(start) / 60, load_average(), won >= 0.6 ? "PASS" : "FAIL");
    return won >= 0.6 ? 0 : 1;
}

// Positions for engine_positions.txt: from games of level 3 against level 2, the
// position after ply 40 + 4 k.
int make_positions(int count) {
    for (int k = 0; k < count; k++) {
        uint64_t rng = 1000 + uint64_t(k);
        SearchPlayer a(3, 0.2), b(2, 1);
        Player* players[2] = {&a, &b};
        RandomPlayer opener;
        Position p = Position::opening();
        std::vector<uint64_t> history{p.hash()};
        for (int ply = 0; ply < 40 + 4 * k && !p.over(); ply++) {
            p.make(ply < 4 ? opener.choose(p, history, rng) : players[ply % 2]->choose(p, history, rng));
            history.push_back(p.hash());
        }
        std::printf("%s\n", format(p).c_str());
    }
    return 0;
}

// perft(5) from the opening and the nodes a second and median depth of 1 s searches,
// in the form the processor runs now.
struct Speed {
    double perft5 = 0, nps = 0;
    int median = 0;
};

Speed speed(const std::vector<Position>& positions) {
    Speed out;
    Position p = Position::opening();
    double c = cpu();
    perft(p, 5);
    out.perft5 = cpu() - c;
    uint64_t nodes = 0;
    double seconds = 0;
    std::vector<int> depths;
    for (const Position& q : positions) {
        Search search(16);
        Limits l;
        l.time_ms = 1000;
        l.new_depth_until = 1;
        l.thread_clock = true;
        Result r = search.run(q, l, {});
        depths.push_back(r.depth);
        nodes += r.nodes;
        seconds += r.seconds;
    }
    std::sort(depths.begin(), depths.end());
    out.median = depths[depths.size() / 2];
    out.nps = nodes / seconds;
    return out;
}

} // namespace

int main(int argc, char** argv) {
    double scale = 1.0 / 200;
    int games = 100;
    std::string only;
    bool tour = false;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        if (a == "--tournament")
            tour = true;
        else if (a == "--scale" && i + 1 < argc)
            scale = std::atof(argv[++i]);
        else if (a == "--games" && i + 1 < argc)
            games = std::atoi(argv[++i]);
        else if (a == "--pairing" && i + 1 < argc)
            only = argv[++i];
        else if (a == "--threads-match" && i + 2 < argc) {
            int g = std::atoi(argv[++i]);
            int ms = std::atoi(argv[++i]);
            return threads_match(g, ms, i + 1 < argc && std::string(argv[i + 1]) == "--cpu");
        } else if (a == "--make-positions" && i + 1 < argc)
            return make_positions(std::atoi(argv[++i]));
        else {
            std::fprintf(stderr, "usage: engine_bench [--tournament [--scale F] [--games N] [--pairing K,...] | "
                                 "--threads-match GAMES MS [--cpu]]\n");
            return 2;
        }
    }
    if (tour) return tournament(scale, games, only);

    bool ok = true;
    std::printf("Seconds are this thread's processor time (wall clock in brackets): the machine is shared.\n\n");
    std::printf("%-30s %14s %10s %10s\n", "move counts from the opening", "moves", "seconds", "(wall)");
    for (int depth = 1; depth <= 5; depth++) {
        Position p = Position::opening();
        auto start = Clock::now();
        double c = cpu();
        uint64_t n = perft(p, depth);
        double s = cpu() - c;
        bool pass = depth < 5 || s < 0.6;
        ok &= pass;
        std::printf("  depth %-22d %14llu %10.3f %10.3f%s\n", depth, (unsigned long long)n, s, since(start),
                    depth == 5 ? (pass ? "  PASS (< 0.6 s)" : "  FAIL (< 0.6 s)") : "");
    }

    // One thread, then two beside it: 1 s of the calling thread's processor time each;
    // the helper's nodes count too, but only as far as the machine's load let it run.
    std::vector<Position> positions = bench_positions(ENGINE_POSITIONS);
    std::printf("\n%-10s %8s %12s %12s   %8s %12s %12s\n", "position", "depth", "nodes", "nodes/s", "2 thr:", "nodes",
                "nodes/s");
    std::vector<int> depths, depths2;
    uint64_t nodes = 0, nodes2 = 0;
    double seconds = 0, seconds2 = 0;
    for (size_t i = 0; i < positions.size(); i++) {
        Result r[3];
        for (int threads = 1; threads <= 2; threads++) {
            Search search(16);
            Limits l;
            l.time_ms = 1000;
            l.new_depth_until = 1; // the depth finished within the second, however long the last took
            l.thread_clock = true;
            l.threads = threads;
            r[threads] = search.run(positions[i], l, {});
        }
        depths.push_back(r[1].depth);
        depths2.push_back(r[2].depth);
        nodes += r[1].nodes, nodes2 += r[2].nodes;
        seconds += r[1].seconds, seconds2 += r[2].seconds;
        std::printf("%-10zu %8d %12llu %12.0f   %8d %12llu %12.0f\n", i, r[1].depth, (unsigned long long)r[1].nodes,
                    r[1].nodes / r[1].seconds, r[2].depth, (unsigned long long)r[2].nodes, r[2].nodes / r[2].seconds);
    }
    // Searches that run into their deadline: how far past it they return, timed by
    // the wall clock (the scheduler's delays on a busy machine count too) and by the
    // thread's own processor time (the search's own lateness).
    double overrun = 0, cpu_overrun = 0;
    for (bool thread_clock : {false, true})
        for (const Position& p : positions) {
            Search search(16);
            Limits l;
            l.time_ms = 300;
            l.new_depth_until = 1;
            l.thread_clock = thread_clock;
            auto start = Clock::now();
            double c = cpu();
            search.run(p, l, {});
            double late = (thread_clock ? cpu() - c : since(start)) * 1000 - l.time_ms;
            (thread_clock ? cpu_overrun : overrun) = std::max(thread_clock ? cpu_overrun : overrun, late);
        }
    bool overrun_ok = overrun <= 20 && cpu_overrun <= 20;
    ok &= overrun_ok;

    std::sort(depths.begin(), depths.end());
    std::sort(depths2.begin(), depths2.end());
    int median = depths[depths.size() / 2];
    double nps = nodes / seconds;
    bool depth_ok = median >= 9, nps_ok = nps >= 3e6;
    ok &= depth_ok && nps_ok;
    std::printf("\nmedian depth in 1 s: %d  %s (>= 9); two threads: %d\n", median, depth_ok ? "PASS" : "FAIL",
                depths2[depths2.size() / 2]);
    std::printf("nodes per second, one thread: %.2f million  %s (>= 3); two threads: %.2f million\n", nps / 1e6,
                nps_ok ? "PASS" : "FAIL", nodes2 / seconds2 / 1e6);
    std::printf("longest overrun of a 0.3 s budget: %.1f ms wall, %.1f ms processor  %s (<= 20)\n", overrun,
                cpu_overrun, overrun_ok ? "PASS" : "FAIL");
    // The baseline x86-64 counts bits without the instruction: what that costs, where
    // this processor has it.
    if (popcount_instruction()) {
        set_popcount_instruction(false);
        Speed base = speed(positions);
        set_popcount_instruction(true);
        std::printf("\nwithout the popcount instruction (as on any x86-64 lacking it):\n"
                    "  perft(5) %.3f s, %.2f million nodes/s, median depth %d in 1 s\n",
                    base.perft5, base.nps / 1e6, base.median);
    } else {
        std::printf("\nthe bit counts have one form here: the figures above are all\n");
    }
    return ok ? 0 : 1;
}
