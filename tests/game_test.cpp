// Whole games of the real program on the headless device, one per file of
// tests/games: after each step the screen shows the board the file expects, a few
// frames are exactly the pictures they must be, and the program ends well.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>

#include "tests/game.h"

namespace {

namespace fs = std::filesystem;

// Generous: the sanitizer builds run the same game several times slower.
constexpr int kLimitMs = 300000;

std::vector<std::string> game_files() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(GAMES_DIR))
        if (entry.path().extension() == ".txt") names.push_back(entry.path().stem().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Compares a whole frame; on a difference both frames go beside the shot.
::testing::AssertionResult same_frame(const game::Image& frame, const game::Image& expected,
                                      const game::Check& check) {
    if (expected.empty()) return ::testing::AssertionFailure() << "the pictures to build the frame from are missing";
    std::string diff = game::difference(frame, expected);
    if (diff.empty()) return ::testing::AssertionSuccess();
    std::string stem = check.shot.substr(0, check.shot.size() - 4);
    game::write_png(stem + "-actual.png", frame);
    game::write_png(stem + "-expected.png", expected);
    return ::testing::AssertionFailure() << diff << "; see " << stem << "-actual.png and -expected.png";
}

// The reading of the screen itself: every kind of cell and every digit is told
// apart from the others, and a single wrong pixel is not taken for any of them.
TEST(DecodeTest, ReadsBackEveryKindOfCellAndDigitAndNothingElse) {
    game::Board board;
    for (int i = 0; i < 61; i++) board.cells += ".oxOX*"[i % 6];
    for (int a = 0; a <= 6; a++) {
        board.score[0] = a;
        board.score[1] = 6 - a;
        game::Image frame = game::compose(board);
        ASSERT_FALSE(frame.empty());
        EXPECT_EQ(game::text(game::decode(frame)), game::text(board));
    }
    game::Image frame = game::compose(board);
    frame.px[size_t(38 * 2 - 59 + 16) * 640 + 25 * 6 + 53 + 16] ^= 0x010000; // the middle of cell (6, 2)
    frame.px[size_t(424 + 20) * 640 + 410 + 3] ^= 0x000100;                 // inside player 2's digit
    game::Board seen = game::decode(frame);
    EXPECT_EQ(seen.cells[0], '?');
    EXPECT_EQ(seen.cells.substr(1), board.cells.substr(1));
    EXPECT_EQ(seen.score[0], board.score[0]);
    EXPECT_EQ(seen.score[1], -1);
}

TEST(GameFileTest, AMisshapenBoardNamesItsLine) {
    const std::string dir = game::scratch("games/bad");
    const char* bad[] = {
        "tap space\nboard\n o o o o\n",                       // a row too short
        "board\n" "o o o o o\n" "o o o o o o\n" "o o q o o o o\n", // no such cell
        "expect frame\n",                                       // no board to draw yet
    };
    const int lines[] = {3, 4, 1};
    for (int i = 0; i < 3; i++) {
        std::ofstream(dir + "/bad.txt") << bad[i];
        game::Game g = game::load(dir + "/bad.txt", dir);
        EXPECT_NE(g.error.find("bad.txt, line " + std::to_string(lines[i]) + ":"), std::string::npos)
            << bad[i] << "gave: " << g.error;
    }
}

class GameTest : public ::testing::TestWithParam<std::string> {};

TEST_P(GameTest, EveryStepShowsWhatTheFileExpects) {
    const std::string name = GetParam();
    const std::string dir = game::scratch("games/" + name);
    game::Game g = game::load(std::string(GAMES_DIR) + "/" + name + ".txt", dir);
    ASSERT_EQ(g.error, "");
    ASSERT_FALSE(g.checks.empty());
    std::ofstream(dir + "/script.txt") << g.script;

    auto child = game::start(dir + "/script.txt");
    ASSERT_TRUE(child);
    int status = child->wait(kLimitMs);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status << "\n" << child->errors();

    // The first check that fails says all; the ones after it would only repeat it.
    for (size_t i = 0; i < g.checks.size() && !HasFailure(); i++) {
        const game::Check& c = g.checks[i];
        SCOPED_TRACE(name + ".txt, line " + std::to_string(c.line));
        if (c.kind == game::Check::End) {
            EXPECT_FALSE(fs::exists(c.shot)) << "the game went on after it should have quit";
            continue;
        }
        game::Image frame = game::read_png(c.shot);
        ASSERT_FALSE(frame.empty()) << "no shot was taken: the game ended before this step";
        switch (c.kind) {
        case game::Check::Board:
            EXPECT_EQ(game::text(game::decode(frame)), game::text(c.board));
            break;
        case game::Check::Frame:
            EXPECT_TRUE(same_frame(frame, game::compose(c.board), c));
            break;
        case game::Check::Title:
            EXPECT_TRUE(same_frame(frame, game::picture("presentation"), c));
            break;
        case game::Check::Victory:
            EXPECT_TRUE(same_frame(frame, game::picture("victoire"), c));
            break;
        case game::Check::End:
            break;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Games, GameTest, ::testing::ValuesIn(game_files()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param;
                             for (char& ch : name)
                                 if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             return name;
                         });

} // namespace
