// Records through the real program on the headless device: a game killed outright
// keeps every move made before the kill, R on the title resumes the unfinished
// game, a review shows the game's own frames, and a bad record is refused.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "records/record.h"
#include "tests/harness.h"

namespace {

// Cell (x, y) of the game's grid clicked at its centre, then a direction key.
std::string move(int x, int y, const char* key) {
    return "click " + std::to_string(25 * x + 69) + " " + std::to_string(38 * y - 43) + "\ntap " + key + "\n";
}

records::Record read(const std::string& path) {
    records::Record r;
    records::Fault fault;
    EXPECT_TRUE(records::read_file(path, &r, &fault)) << records::describe(path, fault);
    return r;
}

std::string texts(const records::Record& r) {
    std::string out;
    for (const board::Move& m : r.moves) out += board::to_text(m) + " ";
    return out;
}

TEST(KeepingTest, AGameKilledOutrightKeepsEveryMoveMadeBeforeTheKill) {
    const std::string dir = test::scratch("keeping/kill"), record = dir + "/game.txt";
    // The computer pauses 2 s before each of its moves: the kill comes in such a pause.
    std::ofstream(dir + "/steps.txt") << "tap space\n"
                                      << move(8, 4, "kp3") << "wait\n"
                                      << move(7, 3, "kp1") << "wait\n"
                                      << move(12, 4, "kp1") << "wait\n";
    auto game = game::start(dir + "/steps.txt", {"--computer", "2", "--level", "2", "--pause", "2000", "--record",
                                                 record, "GLOBOID_SCRIPT_LIMIT_MS=60000"});
    records::Record r;
    records::Fault fault;
    for (int tries = 0; tries < 6000 && !(records::read_file(record, &r, &fault) && r.moves.size() == 5); tries++)
        usleep(10000);
    ASSERT_EQ(r.moves.size(), 5u) << game->output();
    game->signal(SIGKILL);
    game->wait();
    r = read(record);
    ASSERT_EQ(r.moves.size(), 5u);
    EXPECT_EQ(board::to_text(r.moves[0]), "G5:SE");
    EXPECT_EQ(board::to_text(r.moves[2]), "H5:SW");
    EXPECT_EQ(board::to_text(r.moves[4]), "G7:SW");
    EXPECT_EQ(r.tag("Light"), "person");
    EXPECT_EQ(r.tag("Dark"), "computer 2");
    EXPECT_EQ(r.tag("Result"), "*");
}

TEST(KeepingTest, RResumesTheUnfinishedGameAndTheTitleSaysSo) {
    const std::string dir = test::scratch("keeping/resume"), games = dir + "/globoid/games";
    std::filesystem::create_directories(games);
    std::ofstream(games + "/2026-01-02-100000.txt") << "[Game \"Globoid\"]\n[Opening \"rosettes\"]\n"
                                                       "[Light \"person\"]\n[Dark \"person\"]\n[Result \"*\"]\n\n"
                                                       "1. C3:NE G5:SE *\n";
    std::ofstream(games + "/2026-01-03-100000.txt") << "[Light \"person\"]\n[Dark \"computer 5\"]\n\n1. G5:SE *\n";
    std::ofstream(dir + "/steps.txt") << "shot " << dir << "/title.png\ntap 0x2a\nmove 639 479\nshot " << dir
                                      << "/resumed.png\n"
                                      << move(9, 7, "kp4");
    auto game = game::start(dir + "/steps.txt", {"XDG_DATA_HOME=" + dir, "--record", dir + "/on.txt"});
    ASSERT_EQ(game->wait(60000), 0) << game->output();
    EXPECT_NE(test::differs(test::read_png(dir + "/title.png"), game::picture("presentation")), "");
    records::Record rosettes;
    rosettes.set_tag("Opening", "rosettes");
    board::Position p = rosettes.position();
    board::Move m;
    for (const char* text : {"C3:NE", "G5:SE"}) ASSERT_TRUE(board::parse_move(text, &m) && board::play(p, m));
    game::Board shown = game::decode(test::read_png(dir + "/resumed.png"));
    for (int c = 0; c < board::kCells; c++)
        EXPECT_EQ(shown.cells[game::cell_index(board::cell_x(c), board::cell_y(c))], ".ox"[p.cell[c]])
            << board::cell_name(c);
    EXPECT_EQ(shown.turn, 1);
    EXPECT_EQ(texts(read(dir + "/on.txt")), "C3:NE G5:SE D4:W ");
}

// The review draws every position as the game drew it: the board, both panels and
// the turn mark; only the plaque on the left says which move it is.
TEST(KeepingTest, AReviewShowsTheGamesOwnFramesAndNothingMoves) {
    const std::string dir = test::scratch("keeping/review"), record = dir + "/game.txt";
    const std::string corner = "move 639 479\n";
    std::ofstream(dir + "/play.txt") << "tap space\n"
                                     << corner << "shot " << dir << "/g0.png\n"
                                     << move(8, 4, "kp3") << corner << "shot " << dir << "/g1.png\n"
                                     << move(8, 8, "kp9") << corner << "shot " << dir << "/g2.png\n"
                                     << move(7, 3, "kp1") << corner << "shot " << dir << "/g3.png\n";
    ASSERT_EQ(game::start(dir + "/play.txt", {"--record", record})->wait(60000), 0);
    std::ofstream(dir + "/review.txt") << "shot " << dir << "/r0.png\ntap right\nshot " << dir << "/r1.png\n"
                                       << "tap end\nshot " << dir << "/r3.png\ntap left\nshot " << dir << "/r2.png\n"
                                       << move(9, 5, "kp3") << "shot " << dir << "/still2.png\n"
                                       << "tap home\ntap right\nshot " << dir << "/again1.png\ntap escape\n";
    auto review = game::start(dir + "/review.txt", {"--review", record});
    ASSERT_EQ(review->wait(60000), 0) << review->output();
    const std::pair<const char*, const char*> same[] = {{"r0", "g0"}, {"r1", "g1"},     {"r2", "g2"},
                                                        {"r3", "g3"}, {"still2", "g2"}, {"again1", "g1"}};
    for (const auto& [shown, played] : same) {
        test::Picture a = test::read_png(dir + "/" + shown + ".png"), b = test::read_png(dir + "/" + played + ".png");
        ASSERT_FALSE(a.rgb.empty() || b.rgb.empty()) << shown;
        // The board, and the players' panels beside the plaque; not the cursor's corner.
        for (int y = 0; y < 470; y++)
            for (int x = y < 360 ? 0 : 150; x < (y < 360 ? 640 : 460); x++)
                ASSERT_EQ(a.at(x, y), b.at(x, y)) << shown << " against " << played << " at " << x << "," << y;
    }
}

// R on the victory screen: the game just won, at its end; Escape goes back.
TEST(KeepingTest, RReviewsTheGameJustWon) {
    const std::string dir = test::scratch("keeping/won");
    game::Game won = game::load(GAMES_DIR "/victory.txt", dir);
    auto victory = std::find_if(won.checks.begin(), won.checks.end(),
                                [](const game::Check& c) { return c.kind == game::Check::Victory; });
    ASSERT_NE(victory, won.checks.end());
    std::ofstream(dir + "/steps.txt") << won.steps.substr(0, victory->steps) << "tap 0x2a\nshot " << dir
                                      << "/end.png\ntap escape\nshot " << dir << "/back.png\ntap space\n";
    ASSERT_EQ(game::start(dir + "/steps.txt")->wait(60000), 0);
    const game::Board end = game::decode(test::read_png(dir + "/end.png"));
    EXPECT_TRUE(end.score[0] == 6 || end.score[1] == 6) << game::text(end);
    EXPECT_EQ(test::differs(test::read_png(dir + "/back.png"), game::picture("victoire")), "");
}

TEST(KeepingTest, ABadRecordIsRefusedWithItsFileAndLineAndNothingIsWrittenOver) {
    const std::string dir = test::scratch("keeping/bad");
    const struct {
        std::string text, said;
    } bad[] = {
        {"[Light \"person\"]\n\n1. G5:SE C4:NE\n2. G5:SE\n", "/bad.txt:4: G5:SE is not a legal move for light"},
        {"[Light \"per\xffson\"]\n", "/bad.txt:1: not UTF-8"},
        {std::string(1 << 20, ' ') + "*", "/bad.txt: over 1 MB"},
    };
    for (const auto& b : bad)
        for (const char* option : {"--review", "--load"}) {
            std::ofstream(dir + "/bad.txt") << b.text;
            std::vector<std::string> argv = {GLOBOID_BUILD_DIR "/globoid", "--headless", option, dir + "/bad.txt"};
            if (std::string(option) == "--load") argv.insert(argv.end(), {"--record", dir + "/bad.txt"});
            test::Child run(test::in_dir(GLOBOID_BUILD_DIR, argv));
            EXPECT_EQ(run.wait(), 2 << 8) << option;
            const std::string said = run.output();
            EXPECT_NE(said.find(b.said), std::string::npos) << said;
            EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
            EXPECT_EQ(test::slurp(dir + "/bad.txt"), b.text);
        }
}

} // namespace
