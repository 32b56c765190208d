// Whole games of the real program on the headless device, one per file of
// tests/games: after each step the screen shows the board the file expects, a few
// frames are exactly the pictures they must be, and the program ends well.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/wait.h>

#include "tests/game.h"

namespace {

namespace fs = std::filesystem;

// The reading of the screen itself: every kind of cell and every digit is told
// apart from the others, and a single wrong pixel is not taken for any of them.
TEST(DecodeTest, ReadsBackEveryKindOfCellAndDigitAndNothingElse) {
    game::Board board;
    for (int i = 0; i < 61; i++) board.cells += ".oxOX*"[i % 6];
    for (int a = 0; a <= 6; a++) {
        board.score[0] = a;
        board.score[1] = 6 - a;
        EXPECT_EQ(game::text(game::decode(game::compose(board))), game::text(board));
    }
    test::Picture frame = game::compose(board);
    ASSERT_FALSE(frame.rgb.empty());
    frame.rgb[size_t(38 * 2 - 59 + 16) * 640 + 25 * 6 + 53 + 16] ^= 0x010000; // the middle of cell (6, 2)
    frame.rgb[size_t(424 + 20) * 640 + 410 + 3] ^= 0x000100;                 // inside player 2's digit
    board.cells[0] = '?';
    board.score[1] = -1;
    EXPECT_EQ(game::text(game::decode(frame)), game::text(board));
}

// Each file of tests/games, played to its end; the first check that fails says all.
TEST(GameTest, EveryStepShowsWhatTheFileExpects) {
    for (const auto& file : fs::directory_iterator(GAMES_DIR)) {
        if (file.path().extension() != ".txt") continue;
        const std::string name = file.path().filename().string();
        const std::string dir = test::scratch("games/" + name), script = dir + "/script.txt";
        game::Game g = game::load(file.path().string(), dir);
        ASSERT_EQ(g.error, "");
        ASSERT_FALSE(g.checks.empty()) << name;
        std::ofstream(script) << g.script;
        auto child = game::start(script);
        int status = child->wait(300000); // the sanitizer builds play several times slower
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << name << ": status " << status << "\n"
                                                                   << child->errors();
        for (const game::Check& c : g.checks) {
            SCOPED_TRACE(name + ", line " + std::to_string(c.line));
            if (c.kind == game::Check::End) {
                EXPECT_FALSE(fs::exists(c.shot)) << "the game went on after it should have quit";
                continue;
            }
            test::Picture frame = test::read_png(c.shot);
            ASSERT_FALSE(frame.rgb.empty()) << "no shot was taken: the game ended before this step";
            if (c.kind == game::Check::Board) {
                ASSERT_EQ(game::text(game::decode(frame)), game::text(c.board));
                continue;
            }
            test::Picture want = c.kind == game::Check::Frame   ? game::compose(c.board)
                                 : c.kind == game::Check::Title ? game::picture("presentation")
                                                                : game::picture("victoire");
            std::string diff = test::differs(frame, want);
            if (!diff.empty()) test::write_ppm(c.shot + "-expected.ppm", want);
            ASSERT_EQ(diff, "") << "the shot is " << c.shot << ", the frame expected beside it";
        }
    }
}

} // namespace
