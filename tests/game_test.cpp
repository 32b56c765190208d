// The real program, whole, on the headless device: the games of tests/games, each
// step checked against what the file says the screen shows and the sounds it asks for; scripts it must refuse
// loudly; and the way out of every state it can be in.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "board/board.h"
#include "tests/harness.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// ThreadSanitizer pauses for a second at exit to catch threads still running then.
#ifdef GLOBOID_THREAD_SANITIZED
constexpr int kQuitLimitMs = 2000;
#else
constexpr int kQuitLimitMs = 1000;
#endif

TEST(GameTest, EveryStepShowsWhatTheFileExpects) {
    for (const auto& file : fs::directory_iterator(GAMES_DIR)) {
        if (file.path().extension() != ".txt") continue;
        const std::string name = file.path().filename().string();
        const std::string dir = test::scratch("games/" + file.path().stem().string()), script = dir + "/script.txt";
        game::Game g = game::load(file.path().string(), dir);
        ASSERT_FALSE(g.checks.empty()) << name;
        std::ofstream(script) << g.script;
        auto child = game::start(script, g.options);
        EXPECT_EQ(child->wait(300000), 0) << name << "\n" << child->output(); // sanitizers play slower
        // The run lists on its output the sounds it asked for; a file that names none
        // (a whole game the computer plays) leaves them unchecked.
        std::istringstream output(child->output());
        std::string sounds;
        for (std::string line; std::getline(output, line);)
            if (line.rfind("sound ", 0) == 0) sounds += line + "\n";
        if (!g.sounds.empty()) {
            EXPECT_EQ(sounds, g.sounds) << name;
        }
        for (const game::Check& c : g.checks) {
            std::string fault = game::verify(c);
            ASSERT_EQ(fault, "") << name << ", line " << c.line;
        }
    }
}

// Refused with status 2 and one line, which quotes little of the script and no
// control byte. A shot that fails leaves what stood at its path.
TEST(GameTest, AScriptThatCannotBeRunEndsTheRunWithItsReason) {
    const std::string dir = test::scratch("bad-scripts"), kLimit = "GLOBOID_SCRIPT_LIMIT_MS";
    const struct {
        std::string text, error, env = "GLOBOID_SCRIPT_LIMIT_MS", path = "bad.txt";
        bool tiny_files = false; // the game may write 1 KB at most
    } bad[] = {
        {"", "cannot read script " + dir + "/missing.txt", kLimit, "missing.txt"},
        {"", "cannot read script " + dir + "/: Is a directory", kLimit, ""},
        {"", "cannot read script /dev/zero: longer than 16 MB", kLimit, "/dev/zero"},
        {"move 1 2\njump 3\n", "line 2: unknown step \"jump\""},
        {"tap kp5\n", "line 1: unknown key \"kp5\""},
        {"move 1\n", "line 1: cannot read \"move 1\""},
        {"# a comment, then\nmove 1 # and another\n", "line 2: cannot read \"move 1\""},
        {"press 4\n", "line 1: cannot read"},
        {"press abc\n", "line 1: cannot read \"press abc\""},
        {"release 99999999999\n", "line 1: cannot read"},
        {"key space sideways\n", "line 1: cannot read"},
        {"tap 0x80\n", "line 1: unknown key"},
        {"signal HUP\n", "line 1: unknown signal"},
        {"move 1 2 \x1b[2J" + std::string(300, 'x'),
         "cannot read \"move 1 2 \\x1b[2J" + std::string(64, 'x') + "...\"\n"},
        {"tap space\n", "GLOBOID_SCRIPT_LIMIT_MS must be a whole number", kLimit + "=abc"},
        {"tap space\n", "not \"0\"", kLimit + "=0"},
        {"tap space\n", "not \"-5\"", kLimit + "=-5"},
        {"shot /no/such/dir/x.png\n", "line 1: cannot write /no/such/dir/x.png"},
        {"shot " + dir + "/kept.png\n", "line 1: cannot write " + dir + "/kept.png: ", kLimit, "bad.txt", true},
        {"shot /dev/null\n", "line 1: cannot write /dev/null: not a regular file"},
    };
    std::ofstream(dir + "/kept.png") << "kept";
    for (const auto& b : bad) {
        std::string path = b.path[0] == '/' ? b.path : dir + "/" + b.path;
        if (!b.text.empty()) std::ofstream(path) << b.text;
        std::vector<std::string> argv = {GLOBOID_BUILD_DIR "/globoid", "--script", path};
        if (b.tiny_files) {
            argv = test::runnable(argv);
            argv.insert(argv.begin(), {"/bin/sh", "-c", "trap '' XFSZ; ulimit -f 2; exec \"$0\" \"$@\""});
        }
        test::Child run(test::in_dir(GLOBOID_BUILD_DIR, argv), {b.env});
        int status = run.wait(30000);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << status;
        const std::string said = run.output();
        EXPECT_NE(said.find(b.error), std::string::npos) << said;
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    }
    EXPECT_EQ(test::slurp(dir + "/kept.png"), "kept");
    EXPECT_TRUE(fs::exists("/dev/null"));
}

// A picture that never opens (a FIFO with no writer, as a stalled network file
// system would be): a script's step limit names it, and SIGTERM still ends the
// game at once, with a thread stuck in the system call. Without any pictures, the
// game runs on in black and says once why.
TEST(GameTest, APictureThatNeverOpensOrIsMissingIsNamed) {
    const std::string dir = test::scratch("stuck"), fifo = dir + "/Sprites/souris.tga";
    fs::create_directories(dir + "/Sprites");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::ofstream(dir + "/steps.txt") << "tap space\n";
    const std::vector<std::string> scripted = {GLOBOID_BUILD_DIR "/globoid", "--script", "steps.txt"};
    test::Child stalled(test::in_dir(dir, scripted), {"GLOBOID_SCRIPT_LIMIT_MS=300"});
    EXPECT_EQ(stalled.wait(), 2 << 8);
    EXPECT_NE(stalled.output().find("within 300 ms (it is opening Sprites/souris.tga)\n"), std::string::npos)
        << stalled.output();

    test::Child idle(test::in_dir(dir, {GLOBOID_BUILD_DIR "/globoid", "--headless"}));
    int writer = -1; // opens once the game waits in open(); the game then waits in read()
    for (int i = 0; i < 3000 && writer < 0; i++, std::this_thread::sleep_for(std::chrono::milliseconds(10)))
        writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    ASSERT_GE(writer, 0) << "the game never opened the picture";
    auto asked = Clock::now();
    idle.signal(SIGTERM);
    EXPECT_EQ(idle.wait(5000), 0) << idle.output();
    EXPECT_LE(Clock::now() - asked, std::chrono::milliseconds(1000 + kQuitLimitMs)); // a second's grace
    close(writer);

    fs::remove_all(dir + "/Sprites");
    test::Child dark(test::in_dir(dir, scripted));
    EXPECT_EQ(dark.wait(60000), 0);
    EXPECT_EQ(dark.output(), "globoid: cannot open Sprites/souris.tga: No such file or directory (pictures are read "
                             "from Sprites/ in the working directory)\n");
}

TEST(GameTest, TheCommandLineIsListedAndABadOptionIsRefusedInOneLine) {
    auto run = [](std::vector<std::string> args) {
        args.insert(args.begin(), GLOBOID_BUILD_DIR "/globoid");
        test::Child child(args);
        int status = child.wait(30000);
        return std::make_pair(WIFEXITED(status) ? WEXITSTATUS(status) : -1, child.output());
    };
    auto help = run({"--help"});
    EXPECT_EQ(help.first, 0);
    for (const char* option :
         {"--computer 1|2|both", "--level 1..5", "--pause", "--script FILE", "--headless", "--help", "its last value"})
        EXPECT_NE(help.second.find(option), std::string::npos) << option << " is not listed:\n" << help.second;
    for (std::vector<std::string> bad : {std::vector<std::string>{"--level", "6"},
                                         {"--computer=3"},
                                         {"--pause", "-1"},
                                         {"--level"},
                                         {"--headless=yes"},
                                         {"--help=1"},
                                         {"--fast"},
                                         {"--x\n\x1b[31mRED"},
                                         {"--code", std::string(100000, 'A')},
                                         {"--host", ""},
                                         {"--host", "foo:5000"},
                                         {"--pause", " 5"},
                                         {"--pause", "+5"}}) {
        auto [status, output] = run(bad);
        EXPECT_EQ(status, 2) << bad[0];
        EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1) << output;
        EXPECT_TRUE(output.size() < 200 && output.find('\x1b') == std::string::npos) << output.substr(0, 200);
        EXPECT_NE(output.find(bad[0].substr(0, bad[0].find_first_of("=\n"))), std::string::npos) << output;
    }
    // An IPv6 address alone, on the default port (which another run may hold).
    test::Child host({GLOBOID_BUILD_DIR "/globoid", "--host", "::1", "--headless"});
    EXPECT_TRUE(test::eventually([&] {
        return host.output().find("--join [::1]:4712 ") != std::string::npos ||
               host.output().find("port 4712: Address already in use") != std::string::npos;
    })) << host.output();
}

// H on the person's turn: rings on the marbles of a legal move and a mark on the
// cell it heads for, after which a key (M) takes them off again.
TEST(GameTest, AHintShowsALegalMoveUntilTheNextKey) {
    const std::string dir = test::scratch("hint"), script = dir + "/script.txt";
    std::ofstream(script) << "tap space\ntap 0x41\nwait\nmove 639 479\nshot " << dir
                          << "/hint.png\ntap 0x52\nmove 639 479\nshot " << dir << "/after.png\n";
    auto child = game::start(script, {"--computer", "2"});
    ASSERT_EQ(child->wait(60000), 0) << child->output();
    const std::string shown = game::decode(test::read_png(dir + "/hint.png")).cells;
    board::Move m;
    int mark = -1;
    for (int c = 0; c < board::kCells; c++) {
        const char at = shown[game::cell_index(board::cell_x(c), board::cell_y(c))];
        if (at == 'O' && m.n < 3) m.cells[m.n++] = uint8_t(c);
        if (at == '?') mark = c;
    }
    ASSERT_GE(mark, 0) << shown;
    bool found = false; // a direction in which the ringed marbles move legally and reach the mark
    for (int d = 0; d < 6; d++) {
        m.dir = board::Dir(d);
        for (int i = 0; i < m.n; i++)
            found |= board::legal(board::opening(), m) && board::neighbour(m.cells[i], m.dir) == mark;
    }
    EXPECT_TRUE(found) << shown;
    const std::string after = game::decode(test::read_png(dir + "/after.png")).cells;
    EXPECT_EQ(after.find_first_of("OX?"), std::string::npos) << after;
}

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
        std::string shown; // what the shot shows: the picture, the board's cells, or the computer thinking
        std::vector<std::string> options = {};
    } runs[] = {
        {"title", "", "signal TERM", "title"},
        {"playing", "tap enter\nmove 639 479\n" + selected, "quit", "(8, 4) O"},
        // Pressed off the board: the cursor stays where the press was, hiding no cell.
        {"button held", "tap space\nmove 600 40\npress\n", "signal INT", "(8, 4) o"},
        {"key held", "tap escape\nmove 639 479\n" + selected + "key kp3 down\n", "signal TERM", "(9, 5) o"},
        {"victory", to_victory, "quit", "victory"},
        {"victory, then its key", to_victory, "tap space", "victory"},
        {"the computer thinking",
         "tap space\nmove 639 479\n",
         "signal INT",
         "thinking",
         {"--computer", "1", "--level", "5"}},
    };
    const std::string dir = test::scratch("quits");
    std::vector<std::unique_ptr<test::Child>> children;
    for (size_t i = 0; i < std::size(runs); i++) {
        std::ofstream(dir + "/" + std::to_string(i) + ".txt")
            << runs[i].steps << "shot " << dir << "/" << i << ".png\n"
            << runs[i].ending << "\nshot " << dir << "/" << i << "-never.png\n";
        children.push_back(game::start(dir + "/" + std::to_string(i) + ".txt", runs[i].options));
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
            if ((status[i] = children[i]->wait(1)) == -1) continue;
            ended[i] = Clock::now();
            // A shot appears whole, renamed into place: perhaps during that wait.
            if (reached[i] == Clock::time_point() && fs::exists(dir + "/" + std::to_string(i) + ".png"))
                reached[i] = ended[i];
        }
    for (size_t i = 0; i < children.size(); i++) {
        SCOPED_TRACE(std::string(runs[i].state) + ", then \"" + runs[i].ending + "\"");
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(ended[i] - reached[i]).count();
        EXPECT_NE(reached[i], Clock::time_point()) << "the state was never reached\n" << children[i]->output();
        EXPECT_EQ(status[i], 0) << children[i]->output();
        EXPECT_TRUE(ms >= 0 && ms <= kQuitLimitMs) << ms << " ms after the shot";
        EXPECT_FALSE(fs::exists(dir + "/" + std::to_string(i) + "-never.png")) << "the script went on";
        test::Picture shot = test::read_png(dir + "/" + std::to_string(i) + ".png");
        if (runs[i].shown == "thinking") {
            game::Board board = game::decode(shot);
            EXPECT_TRUE(board.turn == 1 && board.thinking) << game::text(board);
            continue;
        }
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
