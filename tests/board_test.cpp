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

const int kSteps[6][2] = {{1, 1}, {2, 0}, {1, -1}, {-1, -1}, {-2, 0}, {-1, 1}};

TEST_F(BoardTest, OpeningGridMatchesTheTable) {
    SetJeu();
    int count[4] = {};
    for (auto& row : Jeu)
        for (char c : row) {
            ASSERT_GE(c, 0);
            ASSERT_LE(c, 3);
            count[int(c)]++;
        }
    EXPECT_EQ(count[1], 14);
    EXPECT_EQ(count[2], 14);
    EXPECT_EQ(count[3], 36);
    EXPECT_EQ(count[0], 420);

    // Rows 1 to 11 as the table gives them: '#' border, '1' and '2' marbles,
    // '.' an empty board cell, ' ' a cell never used; columns 0 to 20.
    const char* expected[11] = {
        " # # # # # # # # #   ",
        "    # 1 1 1 1 1 #    ",
        "   # 1 1 1 1 1 1 #   ",
        "  # . . 1 1 1 . . #  ",
        " # . . . . . . . . # ",
        "# . . . . . . . . . #",
        " # . . . . . . . . # ",
        "  # . . 2 2 2 . . #  ",
        "   # 2 2 2 2 2 2 #   ",
        "    # 2 2 2 2 2 #    ",
        " # # # # # # # # #   ",
    };
    for (int y = 1; y <= 11; y++) {
        std::string row;
        for (int x = 0; x <= 20; x++) {
            char c = Jeu[y][x];
            bool board = y >= 2 && y <= 10 && (x + y) % 2 == 0 && x >= std::abs(y - 6) + 2 && x <= 18 - std::abs(y - 6);
            row += c == 3 ? '#' : c == 1 ? '1' : c == 2 ? '2' : board ? '.' : ' ';
        }
        EXPECT_EQ(row, expected[y - 1]) << "row " << y;
    }
}

TEST_F(BoardTest, EveryWalkMeetsTheBorderWithinNineSteps) {
    SetJeu();
    int cells = 0;
    for (int y = 2; y <= 10; y++)
        for (int x = 0; x <= 20; x++) {
            if ((x + y) % 2 || Jeu[y][x] == 3 || x < std::abs(y - 6) + 2 || x > 18 - std::abs(y - 6)) continue;
            cells++;
            for (auto& step : kSteps) {
                int cx = x, cy = y, n = 0;
                do {
                    cx += step[0];
                    cy += step[1];
                    n++;
                    ASSERT_TRUE(cy >= 1 && cy <= 11 && cx >= 0 && cx <= 20) << "walk from " << x << "," << y << " left the grid";
                } while (Jeu[cy][cx] != 3);
                EXPECT_LE(n, 9);
            }
        }
    EXPECT_EQ(cells, 61);
}

TEST_F(BoardTest, SetJeuPaintsTwentyEightMarblesPlayerOneFirst) {
    SetJeu();
    ASSERT_EQ(sprites_drawn.size(), 28u);
    for (size_t i = 0; i < 28; i++) {
        auto [x, y, sprite] = sprites_drawn[i];
        EXPECT_EQ(sprite, i < 14 ? _BOULE1 : _BOULE2) << "sprite " << i;
        if (i > 0) {
            auto [px, py, ps] = sprites_drawn[i - 1];
            EXPECT_TRUE(y > py || (y == py && x > px)) << "painted out of order at " << i;
        }
    }
    // The first marble is row 2, column 6: its box is at (203, 17).
    EXPECT_EQ(std::get<0>(sprites_drawn[0]), 203);
    EXPECT_EQ(std::get<1>(sprites_drawn[0]), 17);
}

TEST_F(BoardTest, RingCodesDrawOneRingAndOtherCodesNothing) {
    std::vector<uint32_t> rings[3];
    for (int n = 4; n <= 6; n++) {
        std::memcpy(_ECRAN, _FOND, 640 * 480 * 4);
        AffBoule(10, 6, n);
        rings[n - 4] = box(_ECRAN, 303, 169);
    }
    EXPECT_EQ(rings[0], rings[1]);
    EXPECT_EQ(rings[1], rings[2]);
    EXPECT_NE(rings[0], box(_FOND, 303, 169));

    std::memcpy(_ECRAN, _FOND, 640 * 480 * 4);
    for (int n : {0, 3, -1, 7, 8, 127, -128})
        for (int y = 0; y <= 13; y++)
            for (int x = 0; x <= 21; x++) AffBoule(x, y, n);
    EXPECT_EQ(std::memcmp(_ECRAN, _FOND, 640 * 480 * 4), 0);
    EXPECT_TRUE(sprites_drawn.size() == 3);
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

TEST_F(BoardTest, ScoresGoToTheirPlaces) {
    Score[1] = 6;
    Score[2] = 0;
    AffScore();
    std::vector<uint32_t> six(27 * 33), zero(27 * 33);
    std::memcpy(six.data(), _NB + 6 * 3564, 3564);
    std::memcpy(zero.data(), _NB, 3564);
    EXPECT_EQ(box(_ECRAN, 410, 370, 27, 33), six);
    EXPECT_EQ(box(_ECRAN, 410, 424, 27, 33), zero);
}

} // namespace
