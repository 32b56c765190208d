// The board's vocabulary: cell names against the grid, the written moves, the
// openings. Its rules are held against the game's in rules_test and engine_test.
#include <gtest/gtest.h>

#include <string>

#include "board/board.h"

namespace {

using board::cell_name;
using board::parse_cell;

TEST(BoardTest, CellNamesFollowTheGridAndTheirSteps) {
    const struct {
        const char* name;
        int x, y;
    } corners[] = {{"A1", 6, 10}, {"A5", 14, 10}, {"E1", 2, 6}, {"E9", 18, 6}, {"I5", 6, 2}, {"I9", 14, 2}};
    for (const auto& c : corners) {
        EXPECT_EQ(board::cell_at(c.x, c.y), parse_cell(c.name)) << c.name;
        EXPECT_EQ(cell_name(parse_cell(c.name)), c.name);
    }
    for (int c = 0; c < board::kCells; c++) {
        const std::string name = cell_name(c);
        EXPECT_EQ(parse_cell(std::string(1, char(name[0] + 32)) + name[1]), c) << "any letter case";
        EXPECT_EQ(board::cell_at(board::cell_x(c), board::cell_y(c)), c);
        // Up and to the left keeps the number, up and to the right adds one, right adds one.
        const struct {
            board::Dir d;
            int row, number;
        } steps[] = {{board::NW, 1, 0}, {board::NE, 1, 1}, {board::E, 0, 1}};
        for (const auto& s : steps) {
            if (int n = board::neighbour(c, s.d); n >= 0) {
                EXPECT_EQ(cell_name(n), std::string(1, char(name[0] + s.row)) + char(name[1] + s.number)) << name;
            }
        }
    }
    for (const char* bad : {"A6", "I4", "J1", "A0", "E10", "", "A", "1A"}) EXPECT_EQ(parse_cell(bad), -1) << bad;
}

TEST(BoardTest, MovesAreReadLiberallyAndWrittenCanonically) {
    const struct {
        const char* text;
        const char* canonical; // nullptr: refused
        int n;
    } rows[] = {
        {"C3:NE", "C3:NE", 1},       {"c5-c3:e", "C3-C5:E", 3},   {"H6-H5:SW", "H5-H6:SW", 2},
        {"A1-C3:nw", "A1-C3:NW", 3}, {"I9-H8:SE", "H8-I9:SE", 2}, {"C3-C6:E", nullptr, 0},
        {"C3-D5:E", nullptr, 0},     {"C3-C3:E", nullptr, 0},     {"J1:E", nullptr, 0},
        {"C3:N", nullptr, 0},        {"C3", nullptr, 0},          {"C3-:E", nullptr, 0},
        {"C3-C4-C5:E", nullptr, 0},  {"C3:NE ", nullptr, 0},      {"", nullptr, 0},
    };
    for (const auto& r : rows) {
        board::Move m;
        ASSERT_EQ(board::parse_move(r.text, &m), r.canonical != nullptr) << r.text;
        if (!r.canonical) continue;
        EXPECT_EQ(board::to_text(m), r.canonical);
        EXPECT_EQ(m.n, r.n) << r.text;
    }
}

TEST(BoardTest, OpeningsHoldTheirCells) {
    const struct {
        board::Opening opening;
        const char *light, *dark;
    } rows[] = {
        {board::Opening::Standard, "G5 G6 G7 H4 H5 H6 H7 H8 H9 I5 I6 I7 I8 I9",
         "A1 A2 A3 A4 A5 B1 B2 B3 B4 B5 B6 C3 C4 C5"},
        {board::Opening::Rosettes, "A1 A2 B1 B2 B3 C2 C3 G7 G8 H7 H8 H9 I8 I9",
         "A4 A5 B4 B5 B6 C5 C6 G4 G5 H4 H5 H6 I5 I6"},
        {board::Opening::RosettesInset, "B1 B2 C1 C2 C3 D2 D3 F7 F8 G7 G8 G9 H8 H9",
         "B5 B6 C5 C6 C7 D6 D7 F3 F4 G3 G4 G5 H4 H5"},
    };
    for (const auto& r : rows) {
        const board::Position p = board::opening(r.opening);
        std::string light, dark;
        for (int c = 0; c < board::kCells; c++)
            if (p.cell[c]) (p.cell[c] == board::kLight ? light : dark) += cell_name(c) + " ";
        EXPECT_EQ(light, std::string(r.light) + " ") << board::opening_name(r.opening);
        EXPECT_EQ(dark, std::string(r.dark) + " ") << board::opening_name(r.opening);
        board::Opening back;
        EXPECT_TRUE(board::parse_opening(board::opening_name(r.opening), &back) && back == r.opening);
    }
}

TEST(BoardTest, MalformedMovesAreNeverLegal) {
    const board::Position p = board::opening();
    for (board::Move m : {board::Move{0, {20, 0, 0}, board::E}, board::Move{4, {50, 51, 52}, board::E},
                          board::Move{1, {61, 0, 0}, board::E}, board::Move{1, {50, 0, 0}, board::Dir(6)},
                          board::Move{2, {50, 52, 0}, board::E}, board::Move{2, {50, 50, 0}, board::SE}})
        EXPECT_FALSE(board::legal(p, m)) << int(m.n) << " " << int(m.cells[0]);
}

} // namespace
