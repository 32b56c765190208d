// Selection and moves: the pointer to a cell, the selection table, moves, pushes
// and refusals, and whole random games checked step by step.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <vector>

#include "draw/draw.h"
#include "rules/rules.h"
#include "souris/souris.h"
#include "tests/doubles.h"
#include "tests/play.h"
#include "tests/support.h"
#include "unit/unit.h"

namespace {

struct Cell {
    int x, y;
};
bool operator==(Cell a, Cell b) { return a.x == b.x && a.y == b.y; }
bool operator!=(Cell a, Cell b) { return !(a == b); }
std::ostream& operator<<(std::ostream& o, Cell c) { return o << "(" << c.x << "," << c.y << ")"; }

const int kSteps[6][2] = {{1, 1}, {2, 0}, {1, -1}, {-1, -1}, {-2, 0}, {-1, 1}};
constexpr size_t kFrame = 640 * 480 * 4;

// Everything a move or a click may change, the frame included.
struct Snapshot {
    std::vector<char> grid, frame;
    char tour, score1, score2, nbselec, xc, yc;
    std::vector<Cell> selection;
    bool operator==(const Snapshot& o) const {
        return grid == o.grid && frame == o.frame && tour == o.tour && score1 == o.score1 && score2 == o.score2 &&
               nbselec == o.nbselec && xc == o.xc && yc == o.yc && selection == o.selection;
    }
};

class RulesTest : public ::testing::Test {
protected:
    // An empty board with its border, player 1 to move, no score, nothing selected.
    void SetUp() override {
        std::memset(Jeu, 0, sizeof Jeu);
        SetJeu();
        for (auto& row : Jeu)
            for (char& c : row)
                if (c == 1 || c == 2) c = 0;
        Score[1] = Score[2] = 0;
        NbSelec = 0;
        Tour = 1;
        doubles::reset();
        redraw();
    }
    void TearDown() override { EXPECT_TRUE(buffers.guards_intact()); }

    // Puts marbles of player v and draws the frame afresh.
    void put(std::initializer_list<Cell> cells, char v) {
        for (Cell c : cells) Jeu[c.y][c.x] = v;
        redraw();
    }
    void redraw() { scratch(_ECRAN); }

    // The frame as it should look: background, cells, rings, scores.
    void scratch(char* out) {
        char* ecran = _ECRAN;
        _ECRAN = out;
        std::memcpy(out, _FOND, kFrame);
        for (int y = 0; y <= 18; y++)
            for (int x = 0; x <= 20; x++) AffBoule(x, y, Jeu[y][x]);
        for (int i = 1; i <= NbSelec; i++) AffBoule(Xs[i], Ys[i], Tour + 4);
        AffScore();
        _ECRAN = ecran;
    }
    // The number of pixels in which the frame differs from one drawn from scratch.
    int stale_pixels(const char* frame = nullptr) {
        std::vector<char> want(kFrame);
        scratch(want.data());
        int n = 0;
        for (size_t p = 0; p < kFrame; p += 4) n += std::memcmp((frame ? frame : _ECRAN) + p, want.data() + p, 4) != 0;
        return n;
    }

    void click_at(int px, int py) {
        Souris->x = int16(px);
        Souris->y = int16(py);
        Selectionne();
    }
    // A click in the middle of the cell's marble picture.
    void click(Cell c) { click_at(25 * c.x + 53 + 16, 38 * c.y - 59 + 16); }
    void select(std::initializer_list<Cell> cells) {
        for (Cell c : cells) click(c);
    }
    std::vector<Cell> selection() {
        std::vector<Cell> out;
        for (int i = 1; i <= NbSelec; i++) out.push_back({Xs[i], Ys[i]});
        return out;
    }
    Snapshot snap() {
        return {std::vector<char>(&Jeu[0][0], &Jeu[0][0] + sizeof Jeu), std::vector<char>(_ECRAN, _ECRAN + kFrame),
                Tour, Score[1], Score[2], NbSelec, Xc, Yc, selection()};
    }
    // Row y's cells of the right parity, columns 0 to 20: '#' border, '.' empty.
    std::string row(int y) {
        std::string out;
        for (int x = y % 2; x <= 20; x += 2) {
            char c = Jeu[y][x];
            out += c >= 0 && c <= 3 ? ".12#"[int(c)] : '?';
        }
        return out;
    }
    void joue(int sens) {
        int hides = doubles::record.hides, shows = doubles::record.shows;
        Joue(char(sens));
        EXPECT_EQ(doubles::record.hides, hides + 1);
        EXPECT_EQ(doubles::record.shows, shows + 1);
        EXPECT_FALSE(doubles::record.misuse);
    }

    test::Buffers buffers;
};

// ---- The pointer to a cell ----------------------------------------------------

TEST_F(RulesTest, PointerBandsAndTheirEdges) {
    auto cell_at = [&](int px, int py) {
        click_at(px, py);
        return Cell{Xc, Yc};
    };
    const int row5 = 38 * 5 - 63, row6 = 38 * 6 - 63; // the top of each row's band
    EXPECT_EQ(cell_at(50, row6), (Cell{2, 6}));
    EXPECT_EQ(cell_at(30, row5), (Cell{1, 5}));
    EXPECT_EQ(cell_at(300, 0).y, 1);
    EXPECT_EQ(cell_at(300, 463).y, 13);
    for (int r = 2; r <= 13; r++) {
        EXPECT_EQ(cell_at(300, 38 * r - 63).y, r);
        EXPECT_EQ(cell_at(300, 38 * r - 64).y, r - 1);
    }
    // Truncation toward zero widens the first band of each row to the left.
    for (int px = 0; px <= 18; px++) EXPECT_EQ(cell_at(px, row5).x, -1) << px;
    EXPECT_EQ(cell_at(19, row5).x, 1);
    EXPECT_EQ(cell_at(43, row6).x, 0);
    EXPECT_EQ(cell_at(44, row6).x, 2);
    EXPECT_EQ(cell_at(592, row6).x, 20);
    for (int px = 593; px <= 623; px++) EXPECT_EQ(cell_at(px, row6).x, 22) << px;
    EXPECT_EQ(cell_at(617, row5).x, 21);
    for (int px = 618; px <= 623; px++) EXPECT_EQ(cell_at(px, row5).x, 23) << px;

    // Each board cell owns the band around its picture, corners included.
    for (int y = 2; y <= 10; y++)
        for (int x = std::abs(y - 6) + 2; x <= 18 - std::abs(y - 6); x += 2) {
            int left = y % 2 ? 50 * (x - 1) / 2 + 68 : 50 * (x - 2) / 2 + 93, top = 38 * y - 63;
            for (int px : {left, left + 49, 25 * x + 53, 25 * x + 84})
                for (int py : {top, top + 37, 38 * y - 59, 38 * y - 28}) EXPECT_EQ(cell_at(px, py), (Cell{x, y}));
            if (x > 2) { // the first band reaches the screen's edge
                EXPECT_NE(cell_at(left - 1, top), (Cell{x, y}));
            }
            EXPECT_NE(cell_at(left + 50, top), (Cell{x, y}));
        }
}

TEST_F(RulesTest, ClicksBesideOwnMarblesChangeNothing) {
    put({{10, 6}}, 1);
    put({{12, 6}}, 2);
    click({10, 6});
    // Own marbles planted where an unchecked column off the grid would read:
    // (-1, 7), (22, 6) and (23, 5) alias these cells of the neighbouring rows.
    Jeu[6][21] = Jeu[7][0] = Jeu[6][1] = 1;
    Snapshot before = snap();
    auto unchanged = [&](const char* what) {
        Snapshot now = snap();
        now.xc = before.xc;
        now.yc = before.yc;
        EXPECT_TRUE(now == before) << what;
    };
    click({8, 6});
    unchanged("empty cell");
    click({12, 6});
    unchanged("opposing marble");
    click({20, 6});
    unchanged("border");
    click_at(5, 5);
    unchanged("above the board");
    click_at(10, 38 * 7 - 63);
    unchanged("column -1");
    click_at(600, 38 * 6 - 63);
    unchanged("column 22");
    click_at(620, 38 * 5 - 63);
    unchanged("column 23");
}

// ---- The selection table ------------------------------------------------------

TEST_F(RulesTest, OneMarbleIsMarkedAndAClickOnItUnmarksIt) {
    put({{10, 6}, {14, 6}}, 1);
    Snapshot fresh = snap();
    click({10, 6});
    EXPECT_EQ(selection(), (std::vector<Cell>{{10, 6}}));
    EXPECT_EQ(stale_pixels(), 0);
    EXPECT_NE(snap().frame, fresh.frame);
    click({10, 6});
    EXPECT_EQ(NbSelec, 0);
    EXPECT_TRUE(snap().frame == fresh.frame);

    // A marble two cells away in line does not join: it is selected alone.
    click({10, 6});
    click({14, 6});
    EXPECT_EQ(selection(), (std::vector<Cell>{{14, 6}}));
    EXPECT_EQ(stale_pixels(), 0);
}

TEST_F(RulesTest, ANeighbourInEachDirectionJoinsTheFirst) {
    for (auto& d : kSteps) {
        SetUp();
        Cell a{10, 6}, b{10 + d[0], 6 + d[1]};
        put({a, b}, 1);
        select({a, b});
        EXPECT_EQ(selection(), (std::vector<Cell>{a, b})) << b;
        EXPECT_EQ(stale_pixels(), 0);
    }
}

TEST_F(RulesTest, AClickOnOneOfTwoLeavesTheOtherInSlotOne) {
    put({{10, 6}, {11, 7}}, 1);
    select({{10, 6}, {11, 7}});
    click({10, 6});
    EXPECT_EQ(selection(), (std::vector<Cell>{{11, 7}}));
    EXPECT_EQ(stale_pixels(), 0);

    select({{10, 6}});
    click({10, 6});
    EXPECT_EQ(selection(), (std::vector<Cell>{{11, 7}}));
    EXPECT_EQ(stale_pixels(), 0);
}

// For a pair along each axis, in both orders, every own marble around it: only the
// two cells that continue the line join; any other starts a new selection.
TEST_F(RulesTest, APairGrowsOnlyAlongItsLine) {
    for (int axis = 0; axis < 3; axis++)
        for (bool reversed : {false, true}) {
            Cell a{10, 6}, b{10 + kSteps[axis][0], 6 + kSteps[axis][1]};
            Cell ends[2] = {{a.x - kSteps[axis][0], a.y - kSteps[axis][1]}, {b.x + kSteps[axis][0], b.y + kSteps[axis][1]}};
            std::vector<Cell> around;
            for (Cell c : {a, b})
                for (auto& d : kSteps) {
                    Cell n{c.x + d[0], c.y + d[1]};
                    if (!(n == a) && !(n == b) && std::find(around.begin(), around.end(), n) == around.end())
                        around.push_back(n);
                }
            ASSERT_EQ(around.size(), 8u);
            for (Cell n : around) {
                SetUp();
                put({a, b}, 1);
                for (Cell m : around) Jeu[m.y][m.x] = 1;
                redraw();
                if (reversed)
                    select({b, a});
                else
                    select({a, b});
                click(n);
                bool joins = n == ends[0] || n == ends[1];
                std::vector<Cell> want = {n};
                if (joins) want = reversed ? std::vector<Cell>{b, a, n} : std::vector<Cell>{a, b, n};
                EXPECT_EQ(selection(), want) << "pair " << a << b << " clicked " << n;
                EXPECT_EQ(stale_pixels(), 0) << "pair " << a << b << " clicked " << n;
            }
        }
}

TEST_F(RulesTest, WithThreeSelectedAnyClickStartsAfresh) {
    Cell a{9, 5}, b{10, 6}, c{11, 7}, far{14, 6};
    put({a, b, c, far, {12, 8}}, 1);
    select({a, b, c});
    ASSERT_EQ(NbSelec, 3);
    click(b);
    EXPECT_EQ(selection(), (std::vector<Cell>{b}));
    EXPECT_EQ(stale_pixels(), 0);

    select({a, c});
    ASSERT_EQ(NbSelec, 3);
    click({12, 8}); // in line, but there is no fourth
    EXPECT_EQ(selection(), (std::vector<Cell>{{12, 8}}));
    EXPECT_EQ(stale_pixels(), 0);

    select({c, b});
    ASSERT_EQ(NbSelec, 3);
    click(far);
    EXPECT_EQ(selection(), (std::vector<Cell>{far}));
    EXPECT_EQ(stale_pixels(), 0);
}

// ---- Moves --------------------------------------------------------------------

TEST_F(RulesTest, OneMarbleStepsInEachDirection) {
    for (int sens = 0; sens < 6; sens++) {
        SetUp();
        put({{10, 6}}, 1);
        click({10, 6});
        joue(sens);
        Cell to{10 + kSteps[sens][0], 6 + kSteps[sens][1]};
        EXPECT_EQ(Jeu[6][10], 0) << sens;
        EXPECT_EQ(Jeu[to.y][to.x], 1) << sens;
        EXPECT_EQ(Tour, 2);
        EXPECT_EQ(NbSelec, 0);
        EXPECT_EQ(stale_pixels(), 0);
    }
}

TEST_F(RulesTest, BroadsideAndInLineGroupsMove) {
    put({{8, 6}, {10, 6}, {12, 6}}, 1);
    select({{8, 6}, {10, 6}, {12, 6}});
    joue(0);
    EXPECT_EQ(row(6), "#.........#");
    EXPECT_EQ(row(7), "#...111..#");
    EXPECT_EQ(Tour, 2);
    EXPECT_EQ(stale_pixels(), 0);

    put({{8, 8}, {10, 8}}, 2);
    select({{10, 8}, {8, 8}});
    joue(4);
    EXPECT_EQ(row(8), ".#.22....#.");
    EXPECT_EQ(Tour, 1);
    EXPECT_EQ(NbSelec, 0);
    EXPECT_EQ(stale_pixels(), 0);
}

TEST_F(RulesTest, TwoPushOneAlongTheirLine) {
    put({{8, 6}, {10, 6}}, 1);
    put({{12, 6}}, 2);
    select({{8, 6}, {10, 6}});
    joue(1);
    EXPECT_EQ(row(6), "#....112..#");
    EXPECT_EQ(Score[1], 0);
    EXPECT_EQ(Tour, 2);
    EXPECT_EQ(stale_pixels(), 0);
}

TEST_F(RulesTest, ThreePushTwoAndTheLastLeavesTheBoard) {
    put({{10, 6}, {12, 6}, {14, 6}}, 1);
    put({{16, 6}, {18, 6}, {6, 10}}, 2);
    select({{10, 6}, {12, 6}, {14, 6}});
    joue(1);
    EXPECT_EQ(row(6), "#.....1112#");
    EXPECT_EQ(Score[1], 1);
    EXPECT_EQ(Score[2], 0);
    EXPECT_EQ(Tour, 2);
    EXPECT_EQ(NbSelec, 0);
    EXPECT_EQ(stale_pixels(), 0); // the new score is painted too
}

// Each refused move leaves everything as it was, the marks and the frame included.
TEST_F(RulesTest, RefusedMovesChangeNothing) {
    struct Case {
        const char* what;
        std::vector<Cell> own, opposing;
        std::vector<Cell> selected;
        int sens;
    };
    const std::vector<Case> cases = {
        {"two against two", {{8, 6}, {10, 6}}, {{12, 6}, {14, 6}}, {{8, 6}, {10, 6}}, 1},
        {"three against three", {{4, 6}, {6, 6}, {8, 6}}, {{10, 6}, {12, 6}, {14, 6}}, {{4, 6}, {6, 6}, {8, 6}}, 1},
        {"one never pushes", {{8, 6}}, {{10, 6}}, {{8, 6}}, 1},
        {"own marble behind the row", {{6, 6}, {8, 6}, {10, 6}, {14, 6}}, {{12, 6}}, {{6, 6}, {8, 6}, {10, 6}}, 1},
        {"own marble behind two", {{4, 6}, {6, 6}, {8, 6}, {14, 6}}, {{10, 6}, {12, 6}}, {{4, 6}, {6, 6}, {8, 6}}, 1},
        {"own marble ahead", {{8, 6}, {10, 6}, {12, 6}}, {}, {{8, 6}, {10, 6}}, 1},
        {"border ahead", {{14, 6}, {16, 6}, {18, 6}}, {}, {{14, 6}, {16, 6}, {18, 6}}, 1},
        {"border ahead on a diagonal", {{6, 2}, {7, 3}}, {}, {{6, 2}, {7, 3}}, 3},
        {"broadside on an own marble", {{8, 6}, {10, 6}, {12, 6}, {13, 7}}, {}, {{8, 6}, {10, 6}, {12, 6}}, 0},
        {"broadside on an opposing marble", {{8, 6}, {10, 6}, {12, 6}}, {{9, 7}}, {{8, 6}, {10, 6}, {12, 6}}, 0},
        {"broadside on the border", {{5, 9}, {7, 9}, {9, 9}}, {}, {{5, 9}, {7, 9}, {9, 9}}, 5},
        {"broadside of one onto the border", {{2, 6}}, {}, {{2, 6}}, 4},
    };
    for (const Case& c : cases) {
        SetUp();
        for (Cell m : c.own) Jeu[m.y][m.x] = 1;
        for (Cell m : c.opposing) Jeu[m.y][m.x] = 2;
        Score[1] = 3;
        Score[2] = 2;
        redraw();
        for (Cell m : c.selected) click(m);
        ASSERT_EQ(int(NbSelec), int(c.selected.size())) << c.what;
        Snapshot before = snap();
        joue(c.sens);
        EXPECT_TRUE(snap() == before) << c.what;
        EXPECT_EQ(stale_pixels(), 0) << c.what;
    }
}

// The same line, clicked in every order that selects all three, pushes, pushes off
// and moves broadside the same way.
TEST_F(RulesTest, SelectionOrderDoesNotMatter) {
    Cell line[3] = {{6, 6}, {8, 6}, {10, 6}};
    const int orders[4][3] = {{0, 1, 2}, {1, 0, 2}, {1, 2, 0}, {2, 1, 0}};
    const struct {
        int sens;
        const char* row6;
        int score;
    } moves[3] = {{1, "#22.11122.#", 0}, {4, "#2111.22..#", 1}, {0, "#22...22..#", 0}};
    for (auto& m : moves) {
        std::vector<char> first;
        for (auto& order : orders) {
            SetUp();
            put({line[0], line[1], line[2]}, 1);
            put({{12, 6}, {14, 6}, {4, 6}, {2, 6}}, 2);
            select({line[order[0]], line[order[1]], line[order[2]]});
            ASSERT_EQ(NbSelec, 3);
            joue(m.sens);
            EXPECT_EQ(row(6), m.row6) << "sens " << m.sens;
            EXPECT_EQ(Score[1], m.score);
            EXPECT_EQ(Tour, 2);
            if (first.empty()) first = snap().frame;
            EXPECT_TRUE(snap().frame == first) << "sens " << m.sens << ", order " << order[0] << order[1] << order[2];
            EXPECT_EQ(stale_pixels(), 0);
        }
    }
}

TEST_F(RulesTest, TheSixthPointIsPaintedBeforeGagneAndTheTurnStays) {
    for (char player : {1, 2}) {
        SetUp();
        Tour = player;
        Score[1] = Score[2] = 5;
        put({{14, 6}, {16, 6}}, player);
        put({{18, 6}}, 3 - player);
        select({{14, 6}, {16, 6}});
        ASSERT_THROW(Joue(1), doubles::Won);
        const doubles::Record& r = doubles::record;
        ASSERT_EQ(r.wins, 1);
        EXPECT_TRUE(r.hidden) << "the cursor must be hidden under the victory screen";
        EXPECT_EQ(r.score[int(player)], 6);
        EXPECT_EQ(Tour, player);
        EXPECT_EQ(NbSelec, 0);
        EXPECT_EQ(stale_pixels(r.frame.data()), 0) << "player " << int(player);
        std::vector<uint32_t> six(27 * 33);
        std::memcpy(six.data(), _NB + 6 * 3564, 3564);
        EXPECT_EQ(test::box(r.frame.data(), 410, player == 1 ? 370 : 424, 27, 33), six);
    }
}

// The game calls Joue only with a selection and one of six directions; anything
// else must not pass the turn or read past the direction table.
TEST_F(RulesTest, JoueWithoutASelectionOrADirectionDoesNothing) {
    put({{10, 6}}, 1);
    Snapshot before = snap();
    joue(1);
    EXPECT_TRUE(snap() == before);
    click({10, 6});
    before = snap();
    for (int sens : {6, -1, 100, -128}) {
        joue(sens);
        EXPECT_TRUE(snap() == before) << sens;
    }
}

class Generator : public play::Source {
public:
    explicit Generator(uint64_t seed) : state_(seed) {}
    bool next(uint32_t n, uint32_t& out) override {
        out = test::next_random(state_) % n;
        return true;
    }

private:
    uint64_t state_;
};

long env_or(const char* name, long fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::strtol(v, nullptr, 0) : fallback;
}

// Each game has a seed of its own and lasts until a win or the step limit. To replay
// a failure: GLOBOID_PLAY_SEED=<seed> GLOBOID_PLAY_GAMES=1.
TEST(RandomPlay, InvariantsHoldAfterEveryStep) {
#ifdef GLOBOID_SANITIZED
    const long games = 100;
#else
    const long games = 1000;
#endif
    test::Buffers buffers;
    long first = env_or("GLOBOID_PLAY_SEED", 1), count = env_or("GLOBOID_PLAY_GAMES", games);
    long limit = env_or("GLOBOID_PLAY_STEPS", 2000);
    play::Session session;
    auto start = std::chrono::steady_clock::now();
    for (long seed = first; seed < first + count; seed++) {
        Generator source{uint64_t(seed) * 0x9E3779B97F4A7C15ull};
        session.new_game();
        while (session.step_in_game() < limit && session.step(source)) {
        }
        ASSERT_EQ(session.fault(), "") << "seed " << seed;
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const play::Stats& s = session.stats;
    std::printf("%ld games, %ld steps clean in %.2f s: %ld clicks, %ld moves (%ld refused), %ld pushes, "
                "%ld push-offs, %ld wins\n",
                count, s.steps, seconds, s.clicks, s.moves, s.refused, s.pushes, s.push_offs, s.wins);
    EXPECT_TRUE(buffers.guards_intact());
}

} // namespace
