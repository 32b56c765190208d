// The opening position and the board drawing on top of the pixel routines.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>
#include <vector>

#include "draw/draw.h"
#include "rules/rules.h"
#include "tests/support.h"
#include "unit/unit.h"

using test::box;

// Every sprite drawn, in order: the link wraps _PUTSPRITE (by its mangled name)
// with this recorder, which then draws as usual.
static std::vector<std::tuple<int, int, char*>> sprites_drawn;
extern "C" void __real__Z10_PUTSPRITEiiPc(int32 x, int32 y, char* sprite);
extern "C" void __wrap__Z10_PUTSPRITEiiPc(int32 x, int32 y, char* sprite) {
    sprites_drawn.emplace_back(x, y, sprite);
    __real__Z10_PUTSPRITEiiPc(x, y, sprite);
}

namespace {

class BoardTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::memset(Jeu, 0, sizeof Jeu);
        sprites_drawn.clear();
    }
    void TearDown() override { EXPECT_TRUE(buffers.guards_intact()); }
    test::Buffers buffers;
};

bool on_board(int x, int y) {
    return y >= 2 && y <= 10 && (x + y) % 2 == 0 && x >= std::abs(y - 6) + 2 && x <= 18 - std::abs(y - 6);
}

TEST_F(BoardTest, OpeningGridMatchesTheTable) {
    SetJeu();
    std::vector<int> count(5);
    for (auto& row : Jeu)
        for (char c : row) count[c >= 0 && c <= 3 ? c : 4]++;
    EXPECT_EQ(count, (std::vector<int>{420, 14, 14, 36, 0})) << "empty, 1, 2, border, any other value";
    // Rows 1 to 11, columns 0 to 20: '#' border, '1' and '2' marbles, '.' an empty
    // board cell, ' ' a cell never used.
    const char* expected[11] = {
        " # # # # # # # # #   ", "    # 1 1 1 1 1 #    ", "   # 1 1 1 1 1 1 #   ", "  # . . 1 1 1 . . #  ",
        " # . . . . . . . . # ", "# . . . . . . . . . #", " # . . . . . . . . # ", "  # . . 2 2 2 . . #  ",
        "   # 2 2 2 2 2 2 #   ", "    # 2 2 2 2 2 #    ", " # # # # # # # # #   ",
    };
    for (int y = 1; y <= 11; y++) {
        std::string row;
        for (int x = 0; x <= 20; x++) row += Jeu[y][x] ? " 12#"[int(Jeu[y][x])] : on_board(x, y) ? '.' : ' ';
        EXPECT_EQ(row, expected[y - 1]) << "row " << y;
    }
}

TEST_F(BoardTest, EveryWalkMeetsTheBorderWithinNineSteps) {
    SetJeu();
    auto border = [](int x, int y) { return y >= 1 && y <= 11 && x >= 0 && x <= 20 && Jeu[y][x] == 3; };
    int cells = 0;
    for (int y = 2; y <= 10; y++)
        for (int x = 0; x <= 20; x++)
            for (auto [dx, dy] : {std::pair{1, 1}, {2, 0}, {1, -1}, {-1, -1}, {-2, 0}, {-1, 1}}) {
                if (!on_board(x, y)) continue;
                cells++;
                int n = 1;
                while (n < 9 && !border(x + n * dx, y + n * dy)) n++;
                EXPECT_TRUE(border(x + n * dx, y + n * dy)) << "from " << x << "," << y << " by " << dx << "," << dy;
            }
    EXPECT_EQ(cells, 6 * 61);
}

TEST_F(BoardTest, SetJeuPaintsTwentyEightMarblesPlayerOneFirst) {
    SetJeu();
    ASSERT_EQ(sprites_drawn.size(), 28u);
    // The first marble is row 2, column 6: its box is at (203, 17).
    EXPECT_EQ(sprites_drawn[0], std::make_tuple(203, 17, _BOULE1));
    for (size_t i = 1; i < 28; i++) {
        auto [x, y, sprite] = sprites_drawn[i];
        auto [px, py, ps] = sprites_drawn[i - 1];
        EXPECT_EQ(sprite, i < 14 ? _BOULE1 : _BOULE2) << "sprite " << i;
        EXPECT_TRUE(y > py || (y == py && x > px)) << "painted out of order at " << i;
    }
}

TEST_F(BoardTest, RingCodesDrawOneRingAndOtherCodesNothing) {
    std::vector<uint32_t> rings[3];
    for (int n = 4; n <= 6; n++) {
        std::memcpy(_ECRAN, _FOND, 640 * 480 * 4);
        AffBoule(10, 6, n);
        rings[n - 4] = box(_ECRAN, 303, 169);
    }
    EXPECT_TRUE(rings[0] == rings[1] && rings[1] == rings[2]);
    EXPECT_NE(rings[0], box(_FOND, 303, 169));
    // Everywhere on the grid, rows 0 and 1 included.
    std::memcpy(_ECRAN, _FOND, 640 * 480 * 4);
    for (int n : {0, 3, -1, 7, 8, 127, -128})
        for (int y = 0; y <= 13; y++)
            for (int x = 0; x <= 21; x++) AffBoule(x, y, n);
    EXPECT_EQ(std::memcmp(_ECRAN, _FOND, 640 * 480 * 4), 0);
    EXPECT_EQ(sprites_drawn.size(), 3u);
}

TEST_F(BoardTest, EffCurseurTakesTheRingOffAndKeepsTheMarble) {
    Jeu[6][10] = 2;
    AffBoule(10, 6, 2);
    std::vector<uint32_t> marble = box(_ECRAN, 303, 169);
    AffBoule(10, 6, 6);
    ASSERT_NE(box(_ECRAN, 303, 169), marble);
    EffCurseur(10, 6);
    EXPECT_EQ(box(_ECRAN, 303, 169), marble);
    for (char code : {0, 3}) {
        Jeu[6][10] = code;
        AffBoule(10, 6, 1);
        EffCurseur(10, 6);
        EXPECT_EQ(box(_ECRAN, 303, 169), box(_FOND, 303, 169));
    }
}

} // namespace
