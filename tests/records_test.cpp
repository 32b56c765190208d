// Records: a game written and read back from each opening, the reader's liberties,
// the records it refuses and where, the file replaced whole, and the game to resume.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <random>

#include "records/keep.h"
#include "records/record.h"
#include "tests/harness.h"

namespace {

// A seeded random game of up to `plies` moves from the opening.
records::Record random_game(board::Opening o, unsigned seed, int plies) {
    records::Record r = records::new_record(o, "person", "computer 3");
    std::mt19937 rng(seed);
    board::Position p = board::opening(o);
    for (int i = 0; i < plies && !p.over(); i++) {
        const std::vector<board::Move> moves = board::legal_moves(p);
        if (moves.empty()) break;
        const board::Move m = moves[rng() % moves.size()];
        board::play(p, m);
        r.moves.push_back(m);
    }
    r.set_tag("Result", records::result_of(p));
    return r;
}

void write_text(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

TEST(RecordTest, AGameFromEachOpeningComesBackAsItWasWritten) {
    for (board::Opening o : {board::Opening::Standard, board::Opening::Rosettes, board::Opening::RosettesInset})
        for (unsigned seed = 1; seed <= 20; seed++) {
            records::Record r = random_game(o, seed, 300);
            r.set_tag("Event", "a \"club\" night \\ x"); // a tag of another program's, with escapes
            const std::string text = records::write(r);
            records::Record back;
            records::Fault fault;
            ASSERT_TRUE(records::parse(text, &back, &fault)) << fault.line << ": " << fault.what << "\n" << text;
            EXPECT_EQ(back.moves.size(), r.moves.size());
            EXPECT_EQ(back.tag("Event"), r.tag("Event"));
            EXPECT_EQ(back.opening(), o);
            EXPECT_EQ(records::write(back), text) << "seed " << seed;
            EXPECT_EQ(text.substr(0, text.find('\n')), "[Game \"Globoid\"]");
        }
}

TEST(RecordTest, TheReaderTakesAnySpacingCaseOrderCommentsAndNumbers) {
    const char* text =
        "\xef\xbb\xbf; saved by hand\r\n[Light \"person\"]\r\n[Dark \"remote\"]\n[Opening \"Standard\"]\n"
        "1.g5:se\n\n c4:Ne ; dark\n"
        "2.\nh6-h5:SW 2...\nC5:nE 3.i7:sw *\t\n";
    records::Record r;
    records::Fault fault;
    ASSERT_TRUE(records::parse(text, &r, &fault)) << fault.line << ": " << fault.what;
    ASSERT_EQ(r.moves.size(), 5u);
    EXPECT_EQ(board::to_text(r.moves[2]), "H5-H6:SW");
    EXPECT_EQ(r.tag("Result"), "*");
    EXPECT_EQ(r.tag("Dark"), "remote");
    EXPECT_EQ(r.tag("Opening"), "standard");
    EXPECT_FALSE(records::parse("1. h6-h5 :SW", &r, &fault)) << "a blank inside a move";
}

TEST(RecordTest, ABadRecordIsRefusedWithItsLineAndWhatIsWrong) {
    const struct {
        const char* text;
        int line;
        const char* what;
    } cases[] = {
        {"[Game \"Globoid\"]\n\n1. G5:SE C4:NE\n2. \xff", 4, "not UTF-8"},
        {"[Game \"Glob\xc0\xafoid\"]", 1, "not UTF-8"}, // an overlong slash
        {"1. G5:SE\n\xed\xa0\x80", 2, "not UTF-8"},     // a surrogate
        {"1. G5:SE C4:NE\n2. G5:SE", 2, "not a legal move for light"},
        {"1. G5:SE\nC4:SE", 2, "not a legal move for dark"}, // into its own marbles
        {"1. I5:NW", 1, "not a legal move"},                 // off the board alone
        {"1. G5:SE C4:NE\n3. G6:SE", 2, "move number"},
        {"1... G5:SE", 1, "move number"},
        {"1. G5:SE C4:NE 1-0 2. G6:SE", 1, "after the result"},
        {"1. G5:SE\n[Dark \"person\"]", 2, "a tag after the moves"},
        {"[Light person]", 1, "no value in quotes"},
        {"[Light \"person]", 1, "no closing quote"},
        {"[\"person\"]", 1, "without a name"},
        {"[Light \"a\x01\"]", 1, "control character"},
        {"\n\n[Opening \"hexagons\"]", 3, "unknown opening"},
        {"1. G5-G8:SE", 1, "not a move"}, // ends three steps apart
        {"1. Z9:SE", 1, "not a move"},
        {"1. G5:UP", 1, "not a move"},
    };
    for (const auto& c : cases) {
        records::Record r;
        records::Fault fault;
        EXPECT_FALSE(records::parse(c.text, &r, &fault)) << c.text;
        EXPECT_EQ(fault.line, c.line) << c.text;
        EXPECT_NE(fault.what.find(c.what), std::string::npos) << c.text << " -> " << fault.what;
    }
    // The file as a whole: missing, a folder, over 1 MB.
    const std::string dir = test::scratch("records_bad");
    write_text(dir + "/big.txt", std::string(records::kMaxBytes + 1, ' '));
    for (const char* name : {"none.txt", ".", "big.txt"}) {
        records::Record r;
        records::Fault fault;
        EXPECT_FALSE(records::read_file(dir + "/" + name, &r, &fault)) << name;
        EXPECT_EQ(fault.line, 0);
        EXPECT_EQ(records::describe("f", fault).rfind("f: ", 0), 0u);
    }
}

TEST(RecordTest, TheFileIsReplacedWholeAndNothingButAFileIsWrittenOver) {
    const std::string dir = test::scratch("records_write");
    std::string error;
    ASSERT_TRUE(records::write_file(dir + "/g.txt", "one\n", &error)) << error;
    ASSERT_TRUE(records::write_file(dir + "/g.txt", "two\n", &error)) << error;
    std::ifstream in(dir + "/g.txt");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "two\n");
    mkdir((dir + "/folder").c_str(), 0755);
    EXPECT_FALSE(records::write_file(dir + "/folder", "x", &error));
    EXPECT_FALSE(records::write_file(dir + "/missing/g.txt", "x", &error));
    EXPECT_EQ(system(("test $(ls -A " + dir + " | wc -l) -eq 2").c_str()), 0) << "a file left aside";
}

TEST(KeepTest, TheGameToResumeIsTheNewestUnfinishedOneOfTheSamePlayers) {
    const std::string dir = test::scratch("records_keep");
    std::string error;
    auto keep = [&](const char* light, const char* dark, int plies, time_t when) {
        const std::string path = records::new_game_path(dir, when, &error);
        records::Record g = random_game(board::Opening::Rosettes, unsigned(when), plies);
        records::Keeper keeper(path, records::new_record(board::Opening::Rosettes, light, dark));
        for (const board::Move& m : g.moves) keeper.moved(m);
        keeper.taken_back(1);
        struct timespec times[2] = {{when, 0}, {when, 0}};
        utimensat(AT_FDCWD, path.c_str(), times, 0);
        return path;
    };
    const std::string older = keep("person", "computer 3", 6, 1000);
    keep("person", "computer 3", 1, 3000); // no move left after the undo
    keep("person", "computer 2", 6, 4000);
    keep("person", "person", 6, 5000);
    EXPECT_EQ(records::find_unfinished(dir, "person", "computer 3"), older);
    records::Record r;
    records::Fault fault;
    ASSERT_TRUE(records::read_file(older, &r, &fault)) << fault.what;
    EXPECT_EQ(r.moves.size(), 5u);
    EXPECT_EQ(r.tag("Result"), "*");
    write_text(dir + "/9999-damaged.txt", "1. Z9:SE");
    EXPECT_EQ(records::find_unfinished(dir, "person", "computer 3"), older);
    EXPECT_EQ(records::find_unfinished(dir, "remote", "person"), "");
}

} // namespace
