// The pointer to a cell, and seeded random games whose every click and move is
// checked against the rules worked out afresh.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "draw/geometry.h"
#include "rules/rules.h"
#include "tests/harness.h"
#include "tests/play.h"

namespace {

using play::Cell;

// Each board cell owns a band of 50 by 38 pixels round its picture; the first
// band of a row reaches further left, since the division truncates toward zero.
TEST(RulesTest, PointerBandsAndTheirEdges) {
    test::Buffers buffers;
    play::reset_cursor();
    std::memset(Jeu, 0, sizeof Jeu);
    NbSelec = 0;
    Tour = 1;
    auto cell_at = [&](int px, int py) {
        play::click(px, py);
        return Cell{Xc, Yc};
    };
    for (int y = 2; y <= 10; y++)
        for (int x = std::abs(y - 6) + 2; x <= 18 - std::abs(y - 6); x += 2)
            for (int px : {band_left(x), band_left(x) + kBandWidth - 1})
                for (int py : {band_top(y), band_top(y) + kBandHeight - 1}) EXPECT_EQ(cell_at(px, py), (Cell{x, y}));
    EXPECT_EQ(cell_at(18, band_top(5)).x, -1);
    EXPECT_EQ(cell_at(19, band_top(5)).x, 1);
    EXPECT_EQ(cell_at(623, band_top(5)).x, 23);
    // Columns -1, 22 and 23 would alias (21, 6), (0, 7) and (1, 6) without a bounds check.
    Jeu[6][21] = Jeu[7][0] = Jeu[6][1] = 1;
    for (auto [px, py] : {std::pair{10, band_top(7)}, {600, band_top(6)}, {620, band_top(5)}}) {
        play::click(px, py);
        EXPECT_EQ(NbSelec, 0) << px << "," << py;
    }
}

long env_or(const char* name, long fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::strtol(v, nullptr, 0) : fallback;
}

// Each game has a seed of its own and lasts until a win or the step limit. To replay
// a failure: GLOBOID_PLAY_SEED=<seed> GLOBOID_PLAY_GAMES=1.
TEST(RandomPlay, InvariantsHoldAfterEveryStep) {
    test::Buffers buffers;
    long first = env_or("GLOBOID_PLAY_SEED", 1), count = env_or("GLOBOID_PLAY_GAMES", 1000);
    std::vector<uint8_t> bytes(size_t(env_or("GLOBOID_PLAY_STEPS", 2000)) * play::kBytesPerStep);
    play::Stats s;
    auto start = std::chrono::steady_clock::now();
    for (long seed = first; seed < first + count; seed++) {
        uint64_t state = uint64_t(seed) * 0x9E3779B97F4A7C15ull;
        for (uint8_t& b : bytes) b = uint8_t(test::next_random(state) >> 24);
        ASSERT_EQ(play::game(bytes.data(), bytes.size(), s), "") << "seed " << seed;
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%ld games, %ld steps clean in %.2f s: %ld moves (%ld refused), %ld push-offs, %ld wins\n", count,
                s.steps, seconds, s.moves, s.refused, s.push_offs, s.wins);
    EXPECT_TRUE(buffers.guards_intact());
}

} // namespace
