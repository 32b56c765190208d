// The engine: move counts from the opening, its moves against the game's own rules
// driven by clicks and keys, tactics, and the search thread.
#include <gtest/gtest.h>

#include <atomic>

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

using board::Move;
using board::Position;

TEST(EngineTest, MoveCountsFromTheOpening) {
    const uint64_t want[] = {1, 44, 1936, 98912};
    for (int depth = 0; depth <= 3; depth++) {
        engine::Position p = engine::Position::opening();
        EXPECT_EQ(engine::perft(p, depth), want[depth]) << "depth " << depth;
    }
}

// The game's state set to a position, nothing selected; the border stays.
void set_current(const Position& g) {
    for (int c = 0; c < board::kCells; c++) Jeu[board::cell_y(c)][board::cell_x(c)] = g.cell[c];
    Tour = g.to_move;
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
std::map<std::pair<Group, int>, Outcome> game_moves(const Position& g) {
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
            if (won || Tour != g.to_move) out[{group, sens}] = {std::string(&Jeu[0][0], sizeof Jeu), Score[g.to_move]};
        }
    set_current(g);
    return out;
}

// Random positions: half scattered marbles, half reached by random moves from the
// opening. Scores follow the marbles lost; nobody has won yet.
Position random_position(uint64_t& rng) {
    Position g = board::opening();
    if (test::next_random(rng) % 2) {
        for (int plies = test::next_random(rng) % 80; plies > 0; plies--) {
            std::vector<Move> moves = board::legal_moves(g);
            Position next = g;
            if (moves.empty() || !board::play(next, moves[test::next_random(rng) % moves.size()]) ||
                next.score[1] >= 5 || next.score[2] >= 5)
                break;
            g = next;
        }
        return g;
    }
    g = Position();
    for (int side = 1; side <= 2; side++) {
        int count = 9 + int(test::next_random(rng) % 6);
        g.score[3 - side] = int8_t(14 - count);
        for (int placed = 0; placed < count;) {
            int c = int(test::next_random(rng) % board::kCells);
            if (!g.cell[c]) g.cell[c] = int8_t(side), placed++;
        }
    }
    g.to_move = int8_t(1 + test::next_random(rng) % 2);
    return g;
}

// The grid as the game would hold it after m; the game's state stays at g.
std::string grid_after(const Position& g, const Move& m) {
    Position after = g;
    board::play(after, m);
    set_current(after);
    std::string grid(&Jeu[0][0], sizeof Jeu);
    set_current(g);
    return grid;
}

// The engine's generator and the board's rules against the game's clicks and Joue.
TEST(EngineTest, MovesAreExactlyThoseTheGameAccepts) {
    test::Buffers buffers;
    play::reset_cursor();
    std::memset(Jeu, 0, sizeof Jeu);
    SetJeu();
    Position opening = board::opening();
    for (int c = 0; c < board::kCells; c++)
        ASSERT_EQ(opening.cell[c], Jeu[board::cell_y(c)][board::cell_x(c)]) << "the opening, " << board::cell_name(c);

    const char* env = std::getenv("GLOBOID_ENGINE_POSITIONS");
    long positions = env ? std::atol(env) : 2000;
    for (long seed = 1; seed <= positions; seed++) {
        uint64_t rng = uint64_t(seed) * 0x9E3779B97F4A7C15ull;
        Position g = random_position(rng);
        auto want = game_moves(g);
        engine::Position p = engine::to_engine(g);
        engine::MoveList list;
        engine::generate(p, list);
        std::vector<Move> rules = board::legal_moves(g);
        ASSERT_EQ(list.size, int(want.size())) << "seed " << seed;
        ASSERT_EQ(rules.size(), want.size()) << "seed " << seed << ": the board's rules";
        ASSERT_EQ(engine::count_moves(p), int(want.size())) << "seed " << seed << ": counted without listing";
        for (const engine::Move& e : list) {
            const Move m = engine::to_board(e);
            EXPECT_TRUE(std::find(rules.begin(), rules.end(), m) != rules.end()) << "seed " << seed;
            std::vector<play::Cell> cells;
            Group group;
            for (int i = 0; i < m.n; i++) {
                play::Cell c{board::cell_x(m.cells[i]), board::cell_y(m.cells[i])};
                cells.push_back(c), group.insert({c.x, c.y});
            }
            click(cells);
            ASSERT_EQ(NbSelec, m.n) << "seed " << seed << ": the clicks of a move select its marbles";
            auto it = want.find({group, m.dir});
            ASSERT_NE(it, want.end()) << "seed " << seed << ": the game refuses " << board::to_text(m);
            Position after = g;
            engine::Position ep = p;
            ep.make(e);
            ASSERT_TRUE(board::play(after, m));
            if (!after.over()) {
                EXPECT_EQ(ep.hash(), board::hash(after)) << "seed " << seed << ": the hash differs";
            }
            EXPECT_EQ(grid_after(g, m), it->second.grid) << "seed " << seed;
            EXPECT_EQ(after.score[g.to_move], it->second.score) << "seed " << seed;
        }
        set_current(g);
    }
}

// Boards as nine rows of cells, top first: '.' empty, 'o' player 1, 'x' player 2.
Position position(const std::vector<std::string>& rows, int tour) {
    Position g;
    for (int y = 2; y <= 10; y++)
        for (size_t i = 0; i < rows[y - 2].size(); i++) {
            int x = std::abs(y - 6) + 2 + 2 * int(i);
            g.cell[board::cell_at(x, y)] = int8_t(std::string(".ox").find(rows[y - 2][i]));
        }
    g.to_move = int8_t(tour);
    return g;
}

Move choose(const Position& g, int level) {
    engine::Searcher s;
    s.start(g, level, {board::hash(g)}, 1);
    EXPECT_TRUE(test::eventually([&] { return !s.busy(); }));
    std::optional<Move> m = s.result();
    EXPECT_TRUE(m.has_value());
    return m.value_or(Move());
}

// The pushes-off the side to move could make in g.
int push_offs(const Position& g) {
    int n = 0;
    for (const Move& m : board::legal_moves(g)) {
        Position after = g;
        board::play(after, m);
        n += after.score[g.to_move] != g.score[g.to_move];
    }
    return n;
}

TEST(EngineTest, TakesAPushOffAndParriesOne) {
    // o's pair in the middle row can push x's marble off to the left.
    const std::vector<std::string> rows = {
        "...oo", "......", ".......", "........", "xoo......", "........", ".......", "......", "xxx..",
    };
    for (int level = 1; level <= 3; level++) {
        Position g = position(rows, 1), after = g;
        ASSERT_EQ(push_offs(g), 1);
        ASSERT_TRUE(board::play(after, choose(g, level)));
        EXPECT_EQ(after.score[1], 1) << "level " << level;
        if (level == 1) continue; // level 1 may blunder its own marbles
        // x to move saves its marble.
        Position threat = position(rows, 2), reply = threat;
        ASSERT_TRUE(board::play(reply, choose(threat, level)));
        EXPECT_EQ(push_offs(reply), 0) << "level " << level;
    }
}

TEST(EngineTest, SearchIsCancelledAtOnceAndGivesNothing) {
    engine::Searcher s;
    std::atomic<int> done{0};
    s.on_done([&] { done++; });
    Position g = board::opening();
    s.start(g, 5, {});
    EXPECT_TRUE(s.busy());
    s.cancel();
    EXPECT_FALSE(s.busy());
    EXPECT_FALSE(s.result().has_value());
    // A new search after a cancel gives its own result, a legal move.
    s.start(g, 2, {});
    ASSERT_TRUE(test::eventually([&] { return done == 1; })) << "told once, of the search not cancelled";
    EXPECT_FALSE(s.busy());
    std::optional<Move> m = s.result();
    ASSERT_TRUE(m.has_value());
    EXPECT_TRUE(board::play(g, *m));
    EXPECT_FALSE(s.result().has_value()) << "a result is given once";
}

} // namespace
