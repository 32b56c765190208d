// The engine: move counts from the opening, its moves against the game's own rules
// driven by clicks and keys, tactics, and the search thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "engine/engine.h"
#include "engine/levels.h"
#include "engine/movegen.h"
#include "rules/rules.h"
#include "souris/souris.h"
#include "tests/play.h"
#include "tests/harness.h"

namespace {

using engine::GameMove;
using engine::GamePosition;

TEST(EngineTest, MoveCountsFromTheOpening) {
    const uint64_t want[] = {1, 44, 1936, 98912};
    for (int depth = 0; depth <= 3; depth++) {
        engine::Position p = engine::Position::opening();
        EXPECT_EQ(engine::perft(p, depth), want[depth]) << "depth " << depth;
    }
}

// The game's state set to a position, nothing selected.
void set_current(const GamePosition& g) {
    std::memcpy(Jeu, g.grid, sizeof Jeu);
    Tour = g.tour;
    std::memcpy(Score, g.score, sizeof Score);
    NbSelec = 0;
}

// Clicks the middle of each cell's picture, from an empty selection.
void click(const std::vector<play::Cell>& cells) {
    NbSelec = 0;
    for (play::Cell c : cells) play::click(25 * c.x + 69, 38 * c.y - 43);
}

using Group = std::set<std::pair<int, int>>;
struct Outcome {
    std::string grid;
    int score;
};

// Every (group, sens) that the game's clicks and Joue accept, with the grid it
// leaves. A click extends a line only next to the marbles already selected, so the
// third click is tried on the own marbles near the first.
std::map<std::pair<Group, int>, Outcome> game_moves(const GamePosition& g) {
    set_current(g);
    std::vector<play::Cell> own;
    for (int y = 2; y <= 10; y++)
        for (int x = 0; x <= 20; x++)
            if (Jeu[y][x] == Tour) own.push_back({x, y});
    std::map<Group, std::vector<play::Cell>> groups;
    auto try_clicks = [&](const std::vector<play::Cell>& cells) {
        click(cells);
        if (NbSelec != int(cells.size())) return false;
        Group s;
        for (int i = 1; i <= NbSelec; i++) s.insert({Xs[i], Ys[i]});
        groups.emplace(s, cells);
        return true;
    };
    for (play::Cell a : own)
        for (play::Cell b : own)
            if (try_clicks({a}) && !(a == b) && try_clicks({a, b}))
                for (play::Cell c : own)
                    if (std::abs(c.x - a.x) <= 4 && std::abs(c.y - a.y) <= 2 && !(c == a) && !(c == b))
                        try_clicks({a, b, c});
    std::map<std::pair<Group, int>, Outcome> out;
    for (auto& [group, cells] : groups)
        for (int sens = 0; sens < 6; sens++) {
            set_current(g);
            click(cells);
            bool won = false;
            try {
                Joue(char(sens));
            } catch (...) { // the victory screen's double does not return
                won = true;
            }
            if (won || Tour != g.tour) out[{group, sens}] = {std::string(&Jeu[0][0], sizeof Jeu), Score[int(g.tour)]};
        }
    set_current(g);
    return out;
}

// Random positions: half scattered marbles, half reached by random moves from the
// opening. Scores follow the marbles lost; nobody has won yet.
GamePosition random_position(uint64_t& rng) {
    GamePosition g = engine::opening();
    if (test::next_random(rng) % 2) {
        for (int plies = test::next_random(rng) % 80; plies > 0; plies--) {
            std::vector<GameMove> moves = engine::legal_moves(g);
            GamePosition next = g;
            if (moves.empty() || !engine::apply(next, moves[test::next_random(rng) % moves.size()]) ||
                next.score[1] >= 5 || next.score[2] >= 5)
                break;
            g = next;
        }
        return g;
    }
    std::vector<std::pair<int, int>> cells;
    for (int y = 2; y <= 10; y++)
        for (int x = 0; x <= 20; x++)
            if (g.grid[y][x] == 1 || g.grid[y][x] == 2 ||
                (g.grid[y][x] == 0 && (x + y) % 2 == 0 && x >= std::abs(y - 6) + 2 && x <= 18 - std::abs(y - 6))) {
                g.grid[y][x] = 0;
                cells.push_back({x, y});
            }
    for (int side = 1; side <= 2; side++) {
        int count = 9 + int(test::next_random(rng) % 6);
        g.score[3 - side] = char(14 - count);
        for (int placed = 0; placed < count;) {
            auto [x, y] = cells[test::next_random(rng) % cells.size()];
            if (!g.grid[y][x]) g.grid[y][x] = char(side), placed++;
        }
    }
    g.tour = char(1 + test::next_random(rng) % 2);
    return g;
}

TEST(EngineTest, MovesAreExactlyThoseTheGameAccepts) {
    test::Buffers buffers;
    play::reset_cursor();
    GamePosition opening = engine::opening();
    std::memset(Jeu, 0, sizeof Jeu);
    SetJeu();
    ASSERT_EQ(std::memcmp(opening.grid, Jeu, sizeof Jeu), 0) << "the opening grid";

    const char* env = std::getenv("GLOBOID_ENGINE_POSITIONS");
    long positions = env ? std::atol(env) : 2000;
    for (long seed = 1; seed <= positions; seed++) {
        uint64_t rng = uint64_t(seed) * 0x9E3779B97F4A7C15ull;
        GamePosition g = random_position(rng);
        auto want = game_moves(g);
        std::vector<GameMove> moves = engine::legal_moves(g);
        ASSERT_EQ(moves.size(), want.size()) << "seed " << seed;
        engine::Bits side[2] = {0, 0};
        for (int c = 0; c < engine::kCells; c++)
            if (int v = g.grid[engine::cell_y(c)][engine::cell_x(c)]) side[v - 1] |= engine::Bits(1) << c;
        engine::Position p = engine::Position::from_cells(side[0], side[1], g.tour - 1, 0, 0);
        ASSERT_EQ(engine::count_moves(p), int(want.size())) << "seed " << seed << ": counted without listing";
        for (const GameMove& m : moves) {
            std::vector<play::Cell> cells;
            Group group;
            for (int i = 0; i < m.n; i++) cells.push_back({m.x[i], m.y[i]}), group.insert({m.x[i], m.y[i]});
            click(cells);
            ASSERT_EQ(NbSelec, m.n) << "seed " << seed << ": the clicks of a move select its marbles";
            auto it = want.find({group, m.sens});
            ASSERT_NE(it, want.end()) << "seed " << seed << ": the game refuses a move of " << m.n << " sens " << m.sens
                                      << " from " << play::Cell{m.x[0], m.y[0]};
            GamePosition after = g;
            ASSERT_TRUE(engine::apply(after, m));
            EXPECT_EQ(std::string(&after.grid[0][0], sizeof after.grid), it->second.grid) << "seed " << seed;
            EXPECT_EQ(after.score[int(g.tour)], it->second.score) << "seed " << seed;
        }
        set_current(g);
    }
}

// Boards as nine rows of cells, top first: '.' empty, 'o' player 1, 'x' player 2.
GamePosition board(const std::vector<std::string>& rows, char tour) {
    GamePosition g = engine::opening();
    for (int y = 2; y <= 10; y++)
        for (size_t i = 0; i < rows[y - 2].size(); i++) {
            int x = std::abs(y - 6) + 2 + 2 * int(i);
            g.grid[y][x] = char(std::string(".ox").find(rows[y - 2][i]));
        }
    g.tour = tour;
    return g;
}

GameMove choose(const GamePosition& g, int level) {
    engine::Searcher s;
    s.start(g, level, {engine::hash(g)}, 1);
    EXPECT_TRUE(test::eventually([&] { return !s.busy(); }));
    std::optional<GameMove> m = s.result();
    EXPECT_TRUE(m.has_value());
    return m.value_or(GameMove());
}

// The pushes-off the side to move could make in g.
int push_offs(const GamePosition& g) {
    int n = 0;
    for (const GameMove& m : engine::legal_moves(g)) {
        GamePosition after = g;
        engine::apply(after, m);
        n += after.score[int(g.tour)] != g.score[int(g.tour)];
    }
    return n;
}

TEST(EngineTest, TakesAPushOffAndParriesOne) {
    // o's pair in the middle row can push x's marble off to the left.
    const std::vector<std::string> rows = {
        "...oo", "......", ".......", "........", "xoo......", "........", ".......", "......", "xxx..",
    };
    for (int level = 1; level <= 3; level++) {
        GamePosition g = board(rows, 1), after = g;
        ASSERT_EQ(push_offs(g), 1);
        ASSERT_TRUE(engine::apply(after, choose(g, level)));
        EXPECT_EQ(after.score[1], 1) << "level " << level;
        if (level == 1) continue; // level 1 may blunder its own marbles
        // x to move saves its marble.
        GamePosition threat = board(rows, 2), reply = threat;
        ASSERT_TRUE(engine::apply(reply, choose(threat, level)));
        EXPECT_EQ(push_offs(reply), 0) << "level " << level;
    }
}

TEST(EngineTest, SearchIsCancelledAtOnceAndGivesNothing) {
    engine::Searcher s;
    GamePosition g = engine::opening();
    s.start(g, 5, {});
    EXPECT_TRUE(s.busy());
    s.cancel();
    EXPECT_FALSE(s.busy());
    EXPECT_FALSE(s.result().has_value());
    // A new search after a cancel gives its own result, a legal move.
    s.start(g, 2, {});
    ASSERT_TRUE(test::eventually([&] { return !s.busy(); }));
    std::optional<GameMove> m = s.result();
    ASSERT_TRUE(m.has_value());
    EXPECT_TRUE(engine::apply(g, *m));
    EXPECT_FALSE(s.result().has_value()) << "a result is given once";
}

} // namespace
