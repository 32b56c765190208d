// Selection and moves: the pointer to a cell, the selection table, and seeded
// random games whose every move is checked against the rules worked out afresh.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "draw/geometry.h"
#include "rules/rules.h"
#include "souris/souris.h"
#include "tests/play.h"
#include "tests/harness.h"
#include "unit/unit.h"

namespace {

using play::Cell;
using play::step;
using Cells = std::vector<Cell>;
constexpr size_t kFrame = kScreenBytes;

class RulesTest : public ::testing::Test {
protected:
    // An empty board with its border, player 1 to move, no score, nothing selected.
    void SetUp() override {
        std::memset(Jeu, 0, sizeof Jeu);
        SetJeu();
        for (auto& row : Jeu)
            for (char& c : row) c = c == 3 ? 3 : 0;
        Score[1] = Score[2] = 0;
        NbSelec = 0;
        Tour = 1;
        play::reset_cursor();
        play::draw_from_scratch(_ECRAN);
    }
    void TearDown() override { EXPECT_TRUE(buffers_.guards_intact()); }

    // Marbles of players 1 and 2 on the empty board, the frame drawn afresh, then
    // clicks by player tour in the middle of each cell's picture.
    void setup(const Cells& own, const Cells& opposing, const Cells& clicks = {}, char tour = 1) {
        SetUp();
        for (Cell c : own) Jeu[c.y][c.x] = 1;
        for (Cell c : opposing) Jeu[c.y][c.x] = 2;
        play::draw_from_scratch(_ECRAN);
        Tour = tour;
        for (Cell c : clicks) play::click(cell_centre_x(c.x), cell_centre_y(c.y));
    }
    // How the frame differs from one drawn from scratch; empty if it does not.
    std::string stale() {
        std::vector<char> want(kFrame);
        play::draw_from_scratch(want.data());
        return play::frame_diff(_ECRAN, want.data());
    }

    test::Buffers buffers_;
};

// Each board cell owns a band of 50 by 38 pixels round its picture; the first
// band of a row reaches further left, since the division truncates toward zero.
TEST_F(RulesTest, PointerBandsAndTheirEdges) {
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
    setup({{21, 6}, {0, 7}, {1, 6}}, {}, {});
    for (auto [px, py] : {std::pair{10, band_top(7)}, {600, band_top(6)}, {620, band_top(5)}}) {
        play::click(px, py);
        EXPECT_EQ(NbSelec, 0) << px << "," << py;
    }
}

// Own marbles on every cell within two of a, so that every click below is on one.
// Each case clicks from an empty selection; the marks must follow the selection.
TEST_F(RulesTest, SelectionTable) {
    const Cell a{10, 6};
    Cells near;
    for (int y = 4; y <= 8; y++)
        for (int x = y % 2; x <= 20; x += 2)
            if (std::abs(x - 10) + std::abs(y - 6) <= 4) near.push_back({x, y});
    auto selects = [&](const Cells& clicks) {
        setup(near, {}, clicks);
        EXPECT_EQ(stale(), "") << testing::PrintToString(clicks);
        return play::selection();
    };
    EXPECT_EQ(selects({a}), Cells{a});
    EXPECT_EQ(selects({a, a}), Cells{});
    for (int s = 0; s < 6; s++) {
        Cell b = step(a, s);
        EXPECT_EQ(selects({a, b}), (Cells{a, b}));
        EXPECT_EQ(selects({a, step(a, s, 2)}), Cells{step(a, s, 2)}); // two away: a new selection
        EXPECT_EQ(selects({a, b, a}), Cells{b});                      // the other one ends in slot 1
        EXPECT_EQ(selects({a, b, b}), Cells{a});
    }
    // A pair, in both orders, grows only by the two cells that continue its line; any
    // other neighbour, such as one touching both marbles, starts a new selection.
    for (int s = 0; s < 3; s++) {
        Cell b = step(a, s);
        for (Cell m : {a, b})
            for (int d = 0; d < 6; d++) {
                Cell n = step(m, d);
                if (n == a || n == b) continue;
                bool joins = n == step(a, s + 3) || n == step(b, s);
                EXPECT_EQ(selects({a, b, n}), joins ? Cells({a, b, n}) : Cells({n}));
                EXPECT_EQ(selects({b, a, n}), joins ? Cells({b, a, n}) : Cells({n}));
            }
    }
    // With three there is neither a removal nor a fourth: any click starts afresh.
    for (Cell n : {a, step(a, 4), step(a, 1, 2), Cell{12, 8}})
        EXPECT_EQ(selects({step(a, 4), a, step(a, 1), n}), Cells{n});
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
