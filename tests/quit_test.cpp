// The quit path of the real program from every state it can be in: the window
// closed, Ctrl+C (SIGINT) and SIGTERM each end it with status 0 within a second.
// Each run is a script that brings the game into its state, takes a shot there and
// then quits; the second counts from the moment the shot appears. The shot also
// shows that the state was reached. The sanitizer builds of this test catch a
// thread that touches freed memory on the way out.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sys/wait.h>

#include "tests/game.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// ThreadSanitizer pauses for a second at exit (atexit_sleep_ms) to catch threads
// still running then; that second is the tool's, not the game's.
#ifdef GLOBOID_THREAD_SANITIZED
constexpr int kToolPauseMs = 1000;
#else
constexpr int kToolPauseMs = 0;
#endif
constexpr int kQuitLimitMs = 1000 + kToolPauseMs;
constexpr int kReachLimitMs = 300000; // the sanitizer builds play several times slower

struct Run {
    std::string name, shot, never;
    std::unique_ptr<test::Child> child;
    Clock::time_point reached{};
    int status = -1;
    long quit_ms = -1;
};

// Starts one run per ending, all at once: each brings the game into its state with
// `steps`, takes a shot and ends with its ending. Waits for them all.
std::vector<Run> play(const std::string& state, const std::string& steps, const std::vector<std::string>& endings) {
    std::vector<Run> runs;
    const std::string dir = game::scratch("quits/" + state);
    for (size_t i = 0; i < endings.size(); i++) {
        Run run;
        run.name = state + ", then \"" + endings[i] + "\"";
        run.shot = dir + "/reached-" + std::to_string(i) + ".png";
        run.never = dir + "/never-" + std::to_string(i) + ".png";
        std::string script = dir + "/script-" + std::to_string(i) + ".txt";
        std::ofstream(script) << steps << "shot " << run.shot << "\n" << endings[i] << "\nshot " << run.never << "\n";
        run.child = game::start(script);
        runs.push_back(std::move(run));
    }
    auto deadline = Clock::now() + std::chrono::milliseconds(kReachLimitMs);
    for (bool waiting = true; waiting && Clock::now() < deadline;) {
        waiting = false;
        for (Run& run : runs) {
            if (!run.child || run.status != -1) continue;
            if (run.reached == Clock::time_point() && fs::exists(run.shot)) run.reached = Clock::now();
            run.status = run.child->wait(1); // a few milliseconds at most
            if (run.status != -1 && run.reached != Clock::time_point())
                run.quit_ms = long(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - run.reached).count());
            waiting = waiting || run.status == -1;
        }
    }
    return runs;
}

// Each run reached its state, as `shows` sees it in the shot, and ended well in time.
void expect_clean_ends(std::vector<Run>& runs, const std::function<void(const game::Image&)>& shows) {
    for (Run& run : runs) {
        SCOPED_TRACE(run.name);
        ASSERT_TRUE(run.child) << "the game could not be started";
        EXPECT_NE(run.reached, Clock::time_point()) << "the state was never reached\n" << run.child->errors();
        EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0)
            << "status " << run.status << "\n" << run.child->errors();
        EXPECT_GE(run.quit_ms, 0);
        EXPECT_LE(run.quit_ms, kQuitLimitMs);
        std::printf("%s: ended %ld ms after the shot\n", run.name.c_str(), run.quit_ms);
        EXPECT_FALSE(fs::exists(run.never)) << "the script went on after the ending";
        shows(game::read_png(run.shot));
    }
}

const std::vector<std::string> kEndings = {"quit", "signal INT", "signal TERM"};

// Past the title, with the pointer in the corner, off the board.
const std::string kPlaying = "tap space\nmove 639 479\n";

void shows_title(const game::Image& shot) {
    EXPECT_EQ(game::difference(shot, game::picture("presentation")), "");
}

void shows_victory(const game::Image& shot) {
    EXPECT_EQ(game::difference(shot, game::picture("victoire")), "");
}

// The steps of the whole game of tests/games that lead to the victory picture.
std::string to_victory() {
    game::Game g = game::load(std::string(GAMES_DIR) + "/victory.txt", game::scratch("quits/unused"));
    for (const game::Check& c : g.checks)
        if (c.kind == game::Check::Victory) return g.steps.substr(0, c.steps);
    ADD_FAILURE() << "tests/games/victory.txt never shows the victory picture";
    return "";
}

TEST(QuitTest, DuringTheTitle) {
    auto runs = play("title", "", kEndings);
    expect_clean_ends(runs, shows_title);
}

TEST(QuitTest, WhilePlaying) {
    auto runs = play("playing", kPlaying + "click 269 109\nmove 639 479\n", kEndings);
    expect_clean_ends(runs, [](const game::Image& shot) {
        EXPECT_EQ(game::decode(shot).cells[game::cell_index(8, 4)], 'O') << "a marble is selected";
    });
}

TEST(QuitTest, WhileTheMouseButtonIsHeld) {
    // Pressed off the board, so that the cursor, which stays where the press was
    // until the release, hides no cell.
    auto runs = play("button-held", kPlaying + "move 600 40\npress\n", kEndings);
    expect_clean_ends(runs, [](const game::Image& shot) {
        EXPECT_EQ(game::decode(shot).cells.find('?'), std::string::npos) << "the board is on the screen";
    });
}

TEST(QuitTest, WhileADirectionKeyIsHeld) {
    auto runs = play("key-held", kPlaying + "click 269 109\nmove 639 479\nkey kp3 down\n", kEndings);
    expect_clean_ends(runs, [](const game::Image& shot) {
        game::Board board = game::decode(shot);
        EXPECT_EQ(board.cells[game::cell_index(8, 4)], '.');
        EXPECT_EQ(board.cells[game::cell_index(9, 5)], 'o') << "the key moved the marble";
    });
}

TEST(QuitTest, OnTheVictoryPictureAndByItselfAfterTheVictoryKey) {
    // After the key nothing more runs: not even the shot that follows it.
    std::vector<std::string> endings = kEndings;
    endings.push_back("tap space");
    auto runs = play("victory", to_victory(), endings);
    expect_clean_ends(runs, shows_victory);
}

} // namespace
