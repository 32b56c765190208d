// globoid-engine's protocol: answers to good and bad lines, its counts against the
// board's own rules, its moves held against them, and the program through a pipe.
#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "board/board.h"
#include "protocol/protocol.h"
#include "tests/harness.h"

namespace {

// The answer's text, "=" or "?" and the id stripped; "!" + the raw answer when it
// is not one well-formed answer.
std::string ask(protocol::Session& s, const std::string& line, bool* ok = nullptr) {
    std::string a = s.answer(line);
    size_t space = a.find(' ');
    if (a.size() < 4 || (a[0] != '=' && a[0] != '?') || space == std::string::npos ||
        a.compare(a.size() - 2, 2, "\n\n") != 0 || a.find("\n\n") != a.size() - 2)
        return "!" + a;
    if (ok) *ok = a[0] == '=';
    return a.substr(space + 1, a.size() - space - 3);
}

TEST(ProtocolTest, AnswersEachLine) {
    const std::string light_cells = "ddddddddddd..ddd.............................lll..lllllllllll";
    const struct {
        std::string line;
        std::string answer; // "?" alone: any error
        bool ok;
    } cases[] = {
        {"protocol_version", "2", true},
        {"known_command analyse", "true", true},
        {"known_command fly", "false", true},
        {"fly", "unknown command", false},
        {"42", "unknown command", false},
        {"play light G5-I5:SE", "", true},
        {"play light G5-I5:SE", "illegal move", false}, // I5 is empty now
        {"play dark C5:C7:NW", "invalid move", false},
        {"play grey A1:NE", "invalid side", false},
        {"play dark", "?", false},
        {"undo", "", true},
        {"undo", "cannot undo", false},
        {"setup light ... 0 0", "cells: 61 characters needed", false},
        {("setup light " + light_cells + " 0 7"), "scores: 0 to 6", false},
        {("setup light " + light_cells + " 0 -1"), "scores: 0 to 6", false},
        {("setup light " + light_cells + " 6 6"), "both scores are 6", false},
        {("setup light " + light_cells + " 0 1"), "too many light marbles for dark's score", false},
        {("setup dark " + light_cells.substr(0, 60) + "x 0 0"), "cells: only '.', 'l' and 'd'", false},
        {("setup dark " + light_cells + " 1 0 9"), "?", false},
        {"perft 2", "1936", true}, // the bad setups left the opening
        {"perft 8", "perft: a depth of 0 to 7", false},
        {"level 0", "level: 1 to 5", false},
        {"time_per_move 1e3", "time_per_move: 1 to 3600000 ms", false},
        {"opening rosettes-outset", "opening: standard, rosettes or rosettes-inset", false},
        {std::string(5000, 'x'), "line too long", false},
        {("setup dark " + light_cells.substr(0, 8) + std::string(53, '.') + " 6 0"), "", true},
        {"genmove dark", "game over", false},
        {"analyse 10", "game over", false},
    };
    protocol::Session s;
    for (const auto& c : cases) {
        bool ok = false;
        std::string a = ask(s, c.line, &ok);
        EXPECT_EQ(ok, c.ok) << c.line << " -> " << a;
        if (c.answer != "?") {
            EXPECT_EQ(a, c.answer) << c.line;
        }
    }
    EXPECT_EQ(s.answer("# a comment"), "");
    EXPECT_EQ(s.answer(" \t "), "");
    EXPECT_EQ(s.answer("7 perft 0"), "=7 0\n\n"); // the game is over
    EXPECT_EQ(s.answer("8 bogus"), "?8 unknown command\n\n");
}

// Leaf counts by the board's own rules.
uint64_t board_perft(const board::Position& p, int depth) {
    if (depth == 0) return 1;
    uint64_t n = 0;
    for (const board::Move& m : board::legal_moves(p)) {
        board::Position q = p;
        board::play(q, m);
        n += board_perft(q, depth - 1);
    }
    return n;
}

// Random games from each opening: at every ply the engine's count matches the
// board's, the engine's move is legal, and a genmove for the other side moves it.
TEST(ProtocolTest, CountsAndMovesAgreeWithTheBoard) {
    for (const char* opening : {"standard", "rosettes", "rosettes-inset"}) {
        protocol::Session s;
        board::Opening o;
        ASSERT_TRUE(board::parse_opening(opening, &o));
        board::Position p = board::opening(o);
        EXPECT_EQ(ask(s, std::string("opening ") + opening), "");
        EXPECT_EQ(ask(s, "perft 2"), std::to_string(board_perft(p, 2))) << opening;
        EXPECT_EQ(ask(s, "level 1"), "");
        for (int ply = 0; ply < 300 && !p.over(); ply++) {
            int side = ply % 7 == 6 ? 3 - p.to_move : p.to_move; // now and then the other side's turn
            if (ply % 10 == 0) {
                EXPECT_EQ(ask(s, "level " + std::to_string(1 + ply % 20 / 10)), "");
            }
            board::Position was = p;
            was.to_move = int8_t(side);
            std::string answer = ask(s, std::string("genmove ") + board::player_name(side));
            board::Move m;
            ASSERT_TRUE(board::parse_move(answer, &m)) << opening << " ply " << ply << ": " << answer;
            ASSERT_TRUE(board::play(was, m)) << opening << " ply " << ply << ": " << answer;
            p = was;
            if (ply % 25 == 0) {
                EXPECT_EQ(ask(s, "perft 1"), std::to_string(board::legal_moves(p).size())) << opening << " ply " << ply;
            }
        }
    }
}

// The program itself, its input and output a pipe and a file: bad lines, an
// illegal and a legal move, a bad setup, and counts from the other openings.
TEST(ProtocolTest, ProgramThroughAPipe) {
    const std::string dir = test::scratch("protocol");
    std::ofstream(dir + "/in") << "1 name\n\x01 2 play light A1:NE\r\n3 showboard\nplay dark C3:NE # a comment\n"
                               << std::string(100000, 'y') << "\n4 undo\n5 analyse 50\n"
                               << "7 setup dark " << std::string(61, 'l') << " 0 0\n8 opening rosettes\n9 perft 2\n"
                               << "10 opening rosettes-inset\n11 perft 2\n6 quit\nname\n";
    std::vector<std::string> argv = {"/bin/sh", "-c", "exec \"$@\" < " + dir + "/in", "sh"};
    for (const std::string& a : test::runnable({GLOBOID_ENGINE})) argv.push_back(a);
    test::Child child(argv);
    ASSERT_EQ(child.wait(20000), 0) << child.output();
    const std::string out = child.output();
    EXPECT_EQ(out.substr(0, 23), "=1 globoid-engine\n\n?2 i") << out;
    EXPECT_NE(out.find("=3 \nI  "), std::string::npos) << out;
    EXPECT_NE(out.find("\n\n= \n\n? line too long\n\n=4 \n\n=5 depth "), std::string::npos) << out;
    EXPECT_NE(out.find("\n\n?7 too many light marbles for dark's score\n\n=8 \n\n=9 "), std::string::npos) << out;
    const size_t nine = out.find("=9 "), eleven = out.find("=11 ");
    ASSERT_TRUE(nine != std::string::npos && eleven != std::string::npos) << out;
    EXPECT_EQ(out.substr(nine + 3, out.find('\n', nine) - nine - 3),
              std::to_string(board_perft(board::opening(board::Opening::Rosettes), 2)));
    EXPECT_EQ(out.substr(eleven + 4, out.find('\n', eleven) - eleven - 4),
              std::to_string(board_perft(board::opening(board::Opening::RosettesInset), 2)));
    EXPECT_EQ(out.substr(out.size() - 6), "\n=6 \n\n") << out;
    for (const auto& [arg, status] : {std::pair<std::string, int>{"--help", 0}, {"--version", 0}, {"-x\x1b", 2}}) {
        test::Child run(test::runnable({GLOBOID_ENGINE, arg}));
        EXPECT_EQ(run.wait(10000), status << 8) << arg;
        EXPECT_TRUE(status == 0 || run.output().find('\x1b') == std::string::npos) << run.output();
    }
}

// The engine on a processor of the x86-64 baseline, where one is emulated here: it
// counts and searches without an instruction the processor lacks.
TEST(ProtocolTest, RunsWithoutThePopcountInstruction) {
#ifdef BASELINE_EMULATOR
    if (access(BASELINE_EMULATOR, X_OK) != 0) GTEST_SKIP() << BASELINE_EMULATOR " is not installed";
    const std::string dir = test::scratch("protocol-baseline");
    std::ofstream(dir + "/in") << "perft 3\nlevel 3\ngenmove light\nquit\n";
    test::Child child({"/bin/sh", "-c", "exec \"$@\" < " + dir + "/in", "sh", BASELINE_EMULATOR, "-cpu",
                       "qemu64,-popcnt", GLOBOID_ENGINE});
    ASSERT_EQ(child.wait(60000), 0) << child.output();
    EXPECT_EQ(child.output().substr(0, 15), "= 98912\n\n= \n\n= ") << child.output();
#else
    GTEST_SKIP() << "not an x86-64 build without sanitizers";
#endif
}

} // namespace
