// The real program, whole, on the headless device: the games of tests/games, each
// step checked against what the file says the screen shows and the sounds it asks for; scripts it must refuse
// loudly; and the way out of every state it can be in.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

#include "tests/harness.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

TEST(GameTest, EveryStepShowsWhatTheFileExpects) {
    for (const auto& file : fs::directory_iterator(GAMES_DIR)) {
        if (file.path().extension() != ".txt") continue;
        const std::string name = file.path().filename().string();
        const std::string dir = test::scratch("games/" + file.path().stem().string()), script = dir + "/script.txt";
        game::Game g = game::load(file.path().string(), dir);
        ASSERT_FALSE(g.checks.empty()) << name;
        std::ofstream(script) << g.script;
        auto child = game::start(script);
        EXPECT_EQ(child->wait(300000), 0) << name << "\n" << child->output(); // sanitizers play slower
        // The run lists on its output the sounds it asked for.
        std::istringstream output(child->output());
        std::string sounds;
        for (std::string line; std::getline(output, line);)
            if (line.rfind("sound ", 0) == 0) sounds += line + "\n";
        EXPECT_EQ(sounds, g.sounds) << name;
        for (const game::Check& c : g.checks) {
            std::string fault = game::verify(c);
            ASSERT_EQ(fault, "") << name << ", line " << c.line;
        }
    }
}

TEST(GameTest, AScriptThatCannotBeRunEndsTheRunWithItsReason) {
    const std::string dir = test::scratch("bad-scripts");
    const std::pair<const char*, std::string> bad[] = {
        {nullptr, "cannot read script " + dir + "/missing.txt"},
        {"move 1 2\njump 3\n", "line 2: unknown step \"jump\""},
        {"tap kp5\n", "line 1: unknown key \"kp5\""},
        {"move 1\n", "line 1: cannot read \"move 1\""},
        {"press 4\n", "line 1: cannot read"},
        {"key space sideways\n", "line 1: cannot read"},
        {"tap 0x80\n", "line 1: unknown key"},
        {"signal HUP\n", "line 1: unknown signal"},
        {"shot /no/such/dir/x.png\n", "line 1: cannot write /no/such/dir/x.png"},
    };
    for (const auto& [text, error] : bad) {
        std::string path = dir + (text ? "/bad.txt" : "/missing.txt");
        if (text) std::ofstream(path) << text;
        auto run = game::start(path);
        int status = run->wait(30000);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << status;
        EXPECT_NE(run->output().find(error), std::string::npos) << run->output();
    }
}

// ThreadSanitizer pauses for a second at exit to catch threads still running then.
#ifdef GLOBOID_THREAD_SANITIZED
constexpr int kQuitLimitMs = 2000;
#else
constexpr int kQuitLimitMs = 1000;
#endif

// Each state of the program once, left each way at least once: the script brings
// the game there, takes a shot that shows it got there, and ends. The program must
// end with status 0 within a second of the shot, and run nothing after the ending.
TEST(QuitTest, EveryStateEndsWellEveryWay) {
    game::Game won = game::load(std::string(GAMES_DIR) + "/victory.txt", test::scratch("quits/unused"));
    auto victory = std::find_if(won.checks.begin(), won.checks.end(),
                                [](const game::Check& c) { return c.kind == game::Check::Victory; });
    ASSERT_NE(victory, won.checks.end()) << "tests/games/victory.txt never shows the victory picture";
    const std::string to_victory = won.steps.substr(0, victory->steps);
    // A marble at (8, 4) selected; the title left by each of its three keys.
    const std::string selected = "click 269 109\nmove 639 479\n";
    const struct {
        const char* state;
        std::string steps;
        const char* ending;
        std::string shown; // what the shot shows: the picture or the board's cells
    } runs[] = {
        {"title", "", "signal TERM", "title"},
        {"playing", "tap enter\nmove 639 479\n" + selected, "quit", "(8, 4) O"},
        // Pressed off the board: the cursor stays where the press was, hiding no cell.
        {"button held", "tap space\nmove 600 40\npress\n", "signal INT", "(8, 4) o"},
        {"key held", "tap escape\nmove 639 479\n" + selected + "key kp3 down\n", "signal TERM", "(9, 5) o"},
        {"victory", to_victory, "quit", "victory"},
        {"victory, then its key", to_victory, "tap space", "victory"},
    };
    const std::string dir = test::scratch("quits");
    std::vector<std::unique_ptr<test::Child>> children;
    for (size_t i = 0; i < std::size(runs); i++) {
        std::ofstream(dir + "/" + std::to_string(i) + ".txt")
            << runs[i].steps << "shot " << dir << "/" << i << ".png\n"
            << runs[i].ending << "\nshot " << dir << "/" << i << "-never.png\n";
        children.push_back(game::start(dir + "/" + std::to_string(i) + ".txt"));
    }
    // When each shot appears and each run ends; the sanitizers play slower.
    std::vector<Clock::time_point> reached(children.size()), ended(children.size());
    std::vector<int> status(children.size(), -1);
    for (auto limit = Clock::now() + std::chrono::minutes(5);
         Clock::now() < limit && std::count(status.begin(), status.end(), -1);)
        for (size_t i = 0; i < children.size(); i++) {
            if (status[i] != -1) continue;
            if (reached[i] == Clock::time_point() && fs::exists(dir + "/" + std::to_string(i) + ".png"))
                reached[i] = Clock::now();
            if ((status[i] = children[i]->wait(1)) != -1) ended[i] = Clock::now();
        }
    for (size_t i = 0; i < children.size(); i++) {
        SCOPED_TRACE(std::string(runs[i].state) + ", then \"" + runs[i].ending + "\"");
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(ended[i] - reached[i]).count();
        EXPECT_NE(reached[i], Clock::time_point()) << "the state was never reached\n" << children[i]->output();
        EXPECT_EQ(status[i], 0) << children[i]->output();
        EXPECT_TRUE(ms >= 0 && ms <= kQuitLimitMs) << ms << " ms after the shot";
        EXPECT_FALSE(fs::exists(dir + "/" + std::to_string(i) + "-never.png")) << "the script went on";
        test::Picture shot = test::read_png(dir + "/" + std::to_string(i) + ".png");
        if (runs[i].shown[0] != '(') {
            EXPECT_EQ(test::differs(shot, game::picture(runs[i].shown == "title" ? "presentation" : "victoire")), "");
            continue;
        }
        int x = runs[i].shown[1] - '0', y = runs[i].shown[4] - '0';
        game::Board board = game::decode(shot);
        ASSERT_EQ(board.cells.size(), 61u);
        EXPECT_EQ(board.cells[game::cell_index(x, y)], runs[i].shown.back());
    }
}

} // namespace
