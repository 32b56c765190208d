// The real program, whole, on the headless device. Whole games, one per file of
// tests/games: after each step the screen shows the board the file expects, a few
// frames are exactly the pictures they must be, and the program ends well. And the
// quit path from every state it can be in: the window closed, Ctrl+C (SIGINT) and
// SIGTERM each end it with status 0 within a second. Each quit run is a script
// that brings the game into its state, takes a shot there and then quits; the
// second counts from the moment the shot appears, and the shot shows that the state
// was reached. The sanitizer builds catch a thread that touches freed memory on the
// way out.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>

#include "draw/geometry.h"
#include "tests/game.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

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
    frame.rgb[size_t(cell_centre_y(2)) * 640 + size_t(cell_centre_x(6))] ^= 0x010000; // the middle of cell (6, 2)
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
        const std::string dir = test::scratch("games/" + file.path().stem().string()), script = dir + "/script.txt";
        game::Game g = game::load(file.path().string(), dir);
        ASSERT_FALSE(g.checks.empty()) << name;
        std::ofstream(script) << g.script;
        auto child = game::start(script);
        int status = child->wait(300000); // the sanitizer builds play several times slower
        EXPECT_EQ(status, 0) << name << "\n" << child->errors();
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

// ThreadSanitizer pauses for a second at exit (atexit_sleep_ms) to catch threads
// still running then; that second is the tool's, not the game's.
#ifdef GLOBOID_THREAD_SANITIZED
constexpr int kQuitLimitMs = 2000;
#else
constexpr int kQuitLimitMs = 1000;
#endif

// Past the title, with the pointer in the corner, off the board.
const std::string kPlaying = "tap space\nmove 639 479\n";
const std::string kSelected = kPlaying + "click 269 109\nmove 639 479\n"; // (8, 4)

// Runs `steps`, a shot, then each ending, all at once; each run must reach the
// shot, which `shows` checks, and then end well in time without going on.
using Shows = std::function<void(const test::Picture&)>;
void quit_from(const std::string& state, const std::string& steps, const Shows& shows,
               const std::vector<std::string>& endings = {"quit", "signal INT", "signal TERM"}) {
    const std::string dir = test::scratch("quits/" + state);
    auto path = [&](size_t i, const char* what) { return dir + "/" + std::to_string(i) + what; };
    std::vector<std::unique_ptr<test::Child>> runs;
    for (size_t i = 0; i < endings.size(); i++) {
        std::ofstream(path(i, ".txt")) << steps << "shot " << path(i, "-reached.png") << "\n"
                                       << endings[i] << "\nshot " << path(i, "-never.png") << "\n";
        runs.push_back(game::start(path(i, ".txt")));
    }
    // When each shot appears, and when each run ends. The sanitizer builds play
    // several times slower.
    std::vector<Clock::time_point> reached(runs.size()), ended(runs.size());
    std::vector<int> status(runs.size(), -1);
    auto limit = Clock::now() + std::chrono::minutes(5);
    while (Clock::now() < limit && std::count(status.begin(), status.end(), -1))
        for (size_t i = 0; i < runs.size(); i++) {
            if (status[i] != -1) continue;
            if (reached[i] == Clock::time_point() && fs::exists(path(i, "-reached.png"))) reached[i] = Clock::now();
            if ((status[i] = runs[i]->wait(1)) != -1) ended[i] = Clock::now();
        }
    for (size_t i = 0; i < runs.size(); i++) {
        SCOPED_TRACE(state + ", then \"" + endings[i] + "\"");
        long ms = long(std::chrono::duration_cast<std::chrono::milliseconds>(ended[i] - reached[i]).count());
        EXPECT_NE(reached[i], Clock::time_point()) << "the state was never reached\n" << runs[i]->errors();
        EXPECT_EQ(status[i], 0) << runs[i]->errors();
        EXPECT_TRUE(ms >= 0 && ms <= kQuitLimitMs) << ms << " ms after the shot";
        std::printf("%s, then \"%s\": ended %ld ms after the shot\n", state.c_str(), endings[i].c_str(), ms);
        EXPECT_FALSE(fs::exists(path(i, "-never.png"))) << "the script went on after the ending";
        shows(test::read_png(path(i, "-reached.png")));
    }
}

TEST(QuitTest, DuringTheTitle) {
    quit_from("title", "",
              [](const test::Picture& shot) { EXPECT_EQ(test::differs(shot, game::picture("presentation")), ""); });
}

TEST(QuitTest, WhilePlaying) {
    quit_from("playing", kSelected, [](const test::Picture& shot) {
        EXPECT_EQ(game::decode(shot).cells[game::cell_index(8, 4)], 'O') << "a marble is selected";
    });
}

TEST(QuitTest, WhileTheMouseButtonIsHeld) {
    // Pressed off the board, so that the cursor, which stays where the press was
    // until the release, hides no cell.
    quit_from("button-held", kPlaying + "move 600 40\npress\n", [](const test::Picture& shot) {
        EXPECT_EQ(game::decode(shot).cells.find('?'), std::string::npos) << "the board is on the screen";
    });
}

TEST(QuitTest, WhileADirectionKeyIsHeld) {
    quit_from("key-held", kSelected + "key kp3 down\n", [](const test::Picture& shot) {
        game::Board board = game::decode(shot);
        EXPECT_EQ(board.cells[game::cell_index(8, 4)], '.');
        EXPECT_EQ(board.cells[game::cell_index(9, 5)], 'o') << "the key moved the marble";
    });
}

TEST(QuitTest, OnTheVictoryPictureAndByItselfAfterTheVictoryKey) {
    // The steps of the whole game of tests/games that lead to the victory picture.
    game::Game g = game::load(std::string(GAMES_DIR) + "/victory.txt", test::scratch("quits/unused"));
    auto victory = std::find_if(g.checks.begin(), g.checks.end(),
                                [](const game::Check& c) { return c.kind == game::Check::Victory; });
    ASSERT_NE(victory, g.checks.end()) << "tests/games/victory.txt never shows the victory picture";
    // After the key nothing more runs: not even the shot that follows it.
    quit_from(
        "victory", g.steps.substr(0, victory->steps),
        [](const test::Picture& shot) { EXPECT_EQ(test::differs(shot, game::picture("victoire")), ""); },
        {"quit", "signal INT", "signal TERM", "tap space"});
}

} // namespace
