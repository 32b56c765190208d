#pragma once
// What the tests share: guarded image buffers with test art for the in-process
// tests; child processes, scratch folders and pictures for the end-to-end ones;
// and the whole game seen from outside, with the game files of tests/games.
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace test {

// ---- In-process: the image globals. ----------------------------------------------

// One allocation: `size` usable bytes between two guard zones.
class Guarded {
public:
    explicit Guarded(size_t size) : bytes_(size + 2 * kGuard, char(kFill)) {}
    char* data() { return bytes_.data() + kGuard; }
    bool intact() const;

private:
    static constexpr size_t kGuard = 4096;
    static constexpr uint8_t kFill = 0xA5;
    std::vector<char> bytes_;
};

// Points every image global, _VIDEO too, at a fresh guarded buffer with test art:
// _FOND a distinct opaque value per pixel and _ECRAN a copy of it; _BOULE1 and
// _BOULE2 discs of one mask in two colours; _ANNEAU a ring round their middle; _NB
// a pattern of its own per digit; _SOURIS an arrow with holes. Restores the
// previous globals on destruction.
class Buffers {
public:
    Buffers();
    ~Buffers();
    bool guards_intact() const;

private:
    std::vector<Guarded> all_;
    char* saved_[9];
};

uint32_t pixel(const char* image, int x, int y, int width = 640);
void set_pixel(char* image, int x, int y, uint32_t value, int width = 640);
// The w x h box at (x, y) of an image `width` pixels wide, row by row.
std::vector<uint32_t> box(const char* image, int x, int y, int w = 32, int h = 32, int width = 640);
// Yields until cond holds; false after ten seconds. For waits on other threads.
bool eventually(const std::function<bool()>& cond);
uint32_t next_random(uint64_t& state);

// ---- End to end: processes, folders, pictures. -------------------------------------

class Child {
public:
    // Starts argv[0] with the environment changed by `env` ("NAME=value" sets,
    // "NAME" alone unsets); stdout and stderr go to one file.
    Child(const std::vector<std::string>& argv, const std::vector<std::string>& env = {});
    ~Child();
    // The status as wait() gives it, or -1 when limit_ms runs out first.
    int wait(int limit_ms = 10000);
    void signal(int sig);
    std::string output() const;
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    int out_ = -1, status_ = -1;
};
// argv as it can be started: in a cross build a program built here goes through the
// emulator that runs the tests (Child and in_dir do this; a wrapper of argv must too).
std::vector<std::string> runnable(std::vector<std::string> argv);
// argv wrapped so that it runs with `dir` as its working directory.
std::vector<std::string> in_dir(const std::string& dir, std::vector<std::string> argv);
// Runs a command to its end: its exit status, or -1.
int run(const std::vector<std::string>& argv, const std::vector<std::string>& env = {}, int limit_ms = 10000);
std::string slurp(const std::string& path);
// The build tree's scratch folder `name`, made empty.
std::string scratch(const std::string& name);

// Words 0xAARRGGBB, top row first; empty when a file could not be read.
struct Picture {
    int w = 640, h = 480;
    std::vector<uint32_t> rgb;
    uint32_t at(int x, int y) const { return rgb[size_t(y) * w + x]; }
};
Picture read_png(const std::string& path);
// A dump of Xvfb's screen as `xwd` writes it; empty when it is not one.
Picture read_xwd(const std::string& path);
// A picture file of the game, placed as the game places it: rows turned over,
// except in the sprites 32 pixels wide.
Picture read_tga(const std::string& path);
void write_ppm(const std::string& path, const Picture& p);
// "" when the colours (the fourth byte aside) agree, else how many pixels differ
// and where the first lies.
std::string differs(const Picture& actual, const Picture& expected);

} // namespace test

namespace game {

// Sprites/NAME.tga of the build tree.
test::Picture picture(const std::string& name);

// What the board shows: 61 cells, row 2 first, as '.' empty, 'o' and 'x' the two
// players' marbles, 'O' and 'X' the same ringed, '?' anything else; the two score
// digits, -1 unreadable; and the panel that carries the turn mark, 1 or 2 (-1 none
// or both), with the computer's mark while it thinks. A game file need not say
// whose turn it is: 0.
struct Board {
    std::string cells;
    int score[2] = {-1, -1};
    int turn = 0;
    bool thinking = false;
};
Board decode(const test::Picture& frame);
size_t cell_index(int x, int y);
// The frame the game shows for a board, the cursor in the bottom-right corner.
test::Picture compose(const Board& board);
// The board as the game files write it.
std::string text(const Board& board);

// A game file as a script: each check becomes a move of the pointer to the corner
// and a shot; "expect end" a shot that must never be taken.
struct Check {
    enum Kind { Board, Title, Victory, Frame, End } kind;
    int line;
    game::Board board;
    std::string shot;
    size_t steps; // the length of Game::steps before the check
};
struct Game {
    std::vector<std::string> options; // from the file's "options" line: arguments, and NAME=value for the environment
    std::string script, steps;        // steps: without the checks' moves and shots
    std::string sounds;               // the "sound NAME" lines, in order; none: not checked
    std::vector<Check> checks;
};
Game load(const std::string& path, const std::string& shots);
// "" when the shot of c shows what c expects, else what differs.
std::string verify(const Check& c);

// The game on a script, in the build tree where its pictures lie; options are
// arguments, or NAME=value for its environment.
std::unique_ptr<test::Child> start(const std::string& script_path, const std::vector<std::string>& options = {});

} // namespace game
