#include "tests/harness.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <png.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <tuple>
#include <unistd.h>

#include "draw/geometry.h"
#include "unit/unit.h"

extern char** environ;

namespace test {

// ---- In-process. ---------------------------------------------------------------

bool Guarded::intact() const {
    auto fill = [](char c) { return uint8_t(c) == kFill; };
    return std::all_of(bytes_.begin(), bytes_.begin() + kGuard, fill) &&
           std::all_of(bytes_.end() - kGuard, bytes_.end(), fill);
}

namespace {

char** const kGlobals[9] = {&_ECRAN, &_FOND, &_VIDEO, &_BOULE1, &_BOULE2, &_ANNEAU, &_NB, &_SOURIS, &_SSOURIS};

bool in_disc(int x, int y, int r2) {
    int dx = 2 * x - 31, dy = 2 * y - 31; // the middle of a 32x32 box, doubled
    return dx * dx + dy * dy <= r2;
}

} // namespace

Buffers::Buffers() {
    const size_t frame = kScreenBytes, sprite = kSpriteBytes, cursor = kCursorBytes;
    const size_t sizes[9] = {frame, frame, frame, sprite, sprite, sprite, kDigitsBytes, cursor, cursor};
    for (int i = 0; i < 9; i++) {
        saved_[i] = *kGlobals[i];
        *kGlobals[i] = all_.emplace_back(sizes[i]).data();
        std::memset(*kGlobals[i], 0, sizes[i]);
    }
    for (int y = 0; y < 480; y++)
        for (int x = 0; x < 640; x++) set_pixel(_FOND, x, y, 0xFF000000u | uint32_t(y << 10 | x));
    std::memcpy(_ECRAN, _FOND, frame);
    for (int y = 0; y < 32; y++)
        for (int x = 0; x < 32; x++) {
            bool disc = in_disc(x, y, 28 * 28), ring = in_disc(x, y, 31 * 31) && !in_disc(x, y, 22 * 22);
            set_pixel(_BOULE1, x, y, disc ? 0xFFE0E0E0u - uint32_t(y) : 0, 32);
            set_pixel(_BOULE2, x, y, disc ? 0xFF202020u + uint32_t(x) : 0, 32);
            set_pixel(_ANNEAU, x, y, ring ? 0xFFFF0000u + uint32_t(x + y) : 0, 32);
        }
    for (int i = 0; i < 7 * 891; i++) set_pixel(_NB, i, 0, 0xFF000000u | uint32_t(i / 891 << 16 | i % 891));
    for (int y = 0; y < 16; y++)
        for (int x = 0; x < 16; x++)
            set_pixel(_SOURIS, x, y, x <= y && (x + y) % 5 ? 0xFFFFFF00u + uint32_t(x) : 0, 16);
}

Buffers::~Buffers() {
    for (int i = 0; i < 9; i++) *kGlobals[i] = saved_[i];
}

bool Buffers::guards_intact() const {
    return std::all_of(all_.begin(), all_.end(), [](const Guarded& g) { return g.intact(); });
}

uint32_t pixel(const char* image, int x, int y, int width) { return box(image, x, y, 1, 1, width)[0]; }

void set_pixel(char* image, int x, int y, uint32_t value, int width) {
    std::memcpy(image + (size_t(y) * width + x) * 4, &value, 4);
}

std::vector<uint32_t> box(const char* image, int x, int y, int w, int h, int width) {
    std::vector<uint32_t> out(size_t(w) * h);
    for (int r = 0; r < h; r++)
        std::memcpy(&out[size_t(r) * w], image + (size_t(y + r) * width + x) * 4, size_t(w) * 4);
    return out;
}

bool eventually(const std::function<bool()>& cond) {
    auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!cond())
        if (std::chrono::steady_clock::now() > limit)
            return false;
        else
            std::this_thread::yield();
    return true;
}

uint32_t next_random(uint64_t& state) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return uint32_t(state >> 32);
}

// ---- Processes and folders. ----------------------------------------------------

namespace {

// Programs under the emulator run many times slower: the time limits given to a
// child stretch alike, so that they still catch only a child that is stuck.
int stretch(int limit_ms) { return std::string(TARGET_EMULATOR).empty() ? limit_ms : limit_ms * 10; }

} // namespace

Child::Child(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
    std::vector<std::string> args = runnable(argv), vars;
    for (char** e = environ; *e; e++) vars.push_back(*e);
    for (const std::string& change : env) {
        std::string name = change.substr(0, change.find('=')) + "=";
        vars.erase(std::remove_if(vars.begin(), vars.end(), [&](const std::string& v) { return !v.rfind(name, 0); }),
                   vars.end());
        if (change.find('=') != std::string::npos) vars.push_back(change);
    }
    // A file, not a pipe: however much a child says, it never blocks.
    char path[] = "/tmp/globoid-output-XXXXXX";
    if ((out_ = mkostemp(path, O_CLOEXEC)) < 0) return;
    unlink(path);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out_, 1);
    posix_spawn_file_actions_adddup2(&actions, out_, 2);
    auto pointers = [](std::vector<std::string>& strings) {
        std::vector<char*> out;
        for (std::string& s : strings) out.push_back(s.data());
        out.push_back(nullptr);
        return out;
    };
    std::vector<char*> arg_ptrs = pointers(args), var_ptrs = pointers(vars);
    if (posix_spawn(&pid_, args[0].c_str(), &actions, nullptr, arg_ptrs.data(), var_ptrs.data())) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
}

Child::~Child() {
    if (pid_ > 0 && status_ == -1) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) close(out_);
}

int Child::wait(int limit_ms) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(stretch(limit_ms));
    while (status_ == -1 && pid_ > 0) {
        int status;
        pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_)
            status_ = status;
        else if (done < 0 || std::chrono::steady_clock::now() > deadline)
            return -1;
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return status_;
}

void Child::signal(int sig) {
    if (pid_ > 0) kill(pid_, sig);
}

std::string Child::output() const {
    std::string all;
    char chunk[4096];
    for (ssize_t n; (n = pread(out_, chunk, sizeof chunk, off_t(all.size()))) > 0;) all.append(chunk, size_t(n));
    return all;
}

std::vector<std::string> runnable(std::vector<std::string> argv) {
    std::string emulator = TARGET_EMULATOR;
    if (emulator.empty() || argv.empty()) return argv;
    auto header = [](const std::string& path) {
        char h[20] = {};
        std::ifstream(path, std::ios::binary).read(h, sizeof h);
        return std::string(h, sizeof h);
    };
    std::string own = header("/proc/self/exe"), theirs = header(argv[0]);
    if (theirs.compare(0, 4,
                       "\x7f"
                       "ELF") != 0 ||
        theirs.substr(18) != own.substr(18))
        return argv;
    std::istringstream words(emulator);
    argv.insert(argv.begin(), std::istream_iterator<std::string>(words), std::istream_iterator<std::string>());
    return argv;
}

std::vector<std::string> in_dir(const std::string& dir, std::vector<std::string> argv) {
    argv = runnable(argv);
    argv.insert(argv.begin(), {"/bin/sh", "-c", "cd \"$0\" && exec \"$@\"", dir});
    return argv;
}

int run(const std::vector<std::string>& argv, const std::vector<std::string>& env, int limit_ms) {
    return Child(argv, env).wait(limit_ms);
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string scratch(const std::string& name) {
    std::filesystem::path dir = std::filesystem::path(GLOBOID_BUILD_DIR) / "tests" / name;
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    std::filesystem::create_directories(dir, ignored);
    return dir.string();
}

// ---- Pictures. -----------------------------------------------------------------

Picture read_png(const std::string& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    Picture p{0, 0, {}};
    if (!png_image_begin_read_from_file(&image, path.c_str())) return p;
    image.format = PNG_FORMAT_BGRA; // in memory, the words of a little-endian machine
    p = Picture{int(image.width), int(image.height), std::vector<uint32_t>(size_t(image.width) * image.height)};
    if (!png_image_finish_read(&image, nullptr, p.rgb.data(), 0, nullptr)) p = Picture{0, 0, {}};
    png_image_free(&image);
    return p;
}

// A big-endian header, a colour map of 12-byte entries, then the rows. Xvfb at
// depth 24 gives 32-bit pixels, 0x00RRGGBB in the server's byte order.
Picture read_xwd(const std::string& path) {
    std::string x = slurp(path);
    Picture p;
    auto be32 = [&x](size_t at) {
        const uint8_t* q = reinterpret_cast<const uint8_t*>(&x[at]);
        return uint32_t(q[0]) << 24 | uint32_t(q[1]) << 16 | uint32_t(q[2]) << 8 | q[3];
    };
    if (x.size() < 100 || be32(44) != 32 || be32(28) != 0) return p;
    p.w = int(be32(16));
    p.h = int(be32(20));
    size_t start = be32(0) + be32(76) * 12, row = be32(48);
    if (x.size() < start + row * size_t(p.h)) return p;
    for (size_t y = 0; y < size_t(p.h); y++)
        for (size_t c = 0; c < size_t(p.w); c++)
            p.rgb.push_back(*reinterpret_cast<const uint32_t*>(&x[start + y * row + c * 4]));
    return p;
}

Picture read_tga(const std::string& path) {
    std::string bytes = slurp(path);
    Picture p{0, 0, {}};
    if (bytes.size() < 18) return p;
    p.w = uint8_t(bytes[12]) | uint8_t(bytes[13]) << 8;
    p.h = uint8_t(bytes[14]) | uint8_t(bytes[15]) << 8;
    if (bytes.size() < 18 + size_t(p.w) * p.h * 4) return Picture{0, 0, {}};
    p.rgb.resize(size_t(p.w) * p.h);
    bool as_stored = p.w == 32; // the sprites, which the game keeps as stored
    for (int r = 0; r < p.h; r++)
        bytes.copy(reinterpret_cast<char*>(&p.rgb[size_t(as_stored ? r : p.h - 1 - r) * p.w]), size_t(p.w) * 4,
                   18 + size_t(r) * p.w * 4);
    return p;
}

void write_ppm(const std::string& path, const Picture& p) {
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << p.w << " " << p.h << "\n255\n";
    for (uint32_t v : p.rgb) out << char(v >> 16) << char(v >> 8) << char(v);
}

std::string differs(const Picture& actual, const Picture& expected) {
    if (actual.w != expected.w || actual.rgb.size() != expected.rgb.size())
        return "sizes differ: " + std::to_string(actual.rgb.size()) + " pixels, " +
               std::to_string(expected.rgb.size()) + " expected";
    size_t count = 0, first = 0;
    for (size_t i = actual.rgb.size(); i-- > 0;)
        if ((actual.rgb[i] ^ expected.rgb[i]) & 0xFFFFFF) count++, first = i;
    if (!count) return "";
    return std::to_string(count) + " pixels differ, the first at (" + std::to_string(first % actual.w) + ", " +
           std::to_string(first / actual.w) + ")";
}

} // namespace test

// ---- The game seen from outside. -------------------------------------------------

namespace game {

namespace {

using test::Picture;

const char kCodes[] = ".oxOX";
const int kDigitTop[2] = {370, 424}; // the two score digits, at x = 410
const int kMarkTop[2] = {371, 425};  // the turn marks' boxes, at x = 356

int row_start(int y) { return std::abs(y - 6) + 2; }

struct Cell {
    int x, y;
};
const std::vector<Cell> kCells = [] {
    std::vector<Cell> out;
    for (int y = 2; y <= 10; y++)
        for (int x = row_start(y); x <= 20 - row_start(y); x += 2) out.push_back({x, y});
    return out;
}();

// Draws `from` into `to` at (x, y); keyed leaves the zero word out.
void paste(Picture& to, const Picture& from, int x, int y, bool keyed) {
    for (int r = 0; r < from.h; r++)
        for (int c = 0; c < from.w; c++)
            if (!keyed || from.at(c, r)) to.rgb[size_t(y + r) * to.w + x + c] = from.at(c, r);
}

Picture crop(const Picture& from, int x, int y, int w, int h) {
    Picture out{w, h, {}};
    for (int r = 0; r < h; r++)
        for (int c = 0; c < w; c++) out.rgb.push_back(from.at(x + c, y + r));
    return out;
}

// Turn mark k of Sprites/tour.tga: players 1 and 2, then the same thinking.
Picture mark(int k) {
    static const Picture marks = picture("tour");
    return marks.rgb.empty() ? marks : crop(marks, 0, 32 * k, 32, 32);
}

// The board picture and its panels.
const Picture& background() {
    static const Picture back = [] {
        Picture p = picture("vorkane");
        for (auto [name, x, y] : {std::tuple{"vrkscore", 0, 377}, {"vrkj1", 200, 373}, {"vrkj2", 200, 428}})
            if (!p.rgb.empty()) paste(p, picture(name), x, y, false);
        return p;
    }();
    return back;
}

// A cell's box as the game draws `code` over the background: the marble, then the ring.
Picture cell_picture(const Cell& c, char code) {
    static const Picture marble1 = picture("pion1"), marble2 = picture("pion2"), ring = picture("vrkan");
    Picture box = crop(background(), cell_left(c.x), cell_top(c.y), kCellBox, kCellBox);
    if (code == 'o' || code == 'O') paste(box, marble1, 0, 0, true);
    if (code == 'x' || code == 'X') paste(box, marble2, 0, 0, true);
    if (code == 'O' || code == 'X') paste(box, ring, 0, 0, true);
    return box;
}

std::string body(const std::string& line) {
    std::string s = line.substr(0, line.find('#'));
    size_t a = s.find_first_not_of(" \t\r"), b = s.find_last_not_of(" \t\r");
    return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

} // namespace

Picture picture(const std::string& name) {
    return test::read_tga(std::string(GLOBOID_BUILD_DIR) + "/Sprites/" + name + ".tga");
}

size_t cell_index(int x, int y) {
    auto at = std::find_if(kCells.begin(), kCells.end(), [=](Cell c) { return c.x == x && c.y == y; });
    return size_t(at - kCells.begin());
}

Board decode(const Picture& frame) {
    Board board;
    if (frame.w != 640 || frame.rgb.size() != 640 * 480 || background().rgb.empty()) return board;
    for (const Cell& c : kCells) {
        Picture box = crop(frame, cell_left(c.x), cell_top(c.y), kCellBox, kCellBox);
        char seen = '?';
        for (const char* code = kCodes; *code && seen == '?'; code++)
            if (test::differs(box, cell_picture(c, *code)).empty()) seen = *code;
        board.cells += seen;
    }
    for (int p = 0; p < 2; p++)
        for (int k = 0; k <= 6; k++)
            if (test::differs(crop(frame, 410, kDigitTop[p], 27, 33), picture("vrk" + std::to_string(k))).empty())
                board.score[p] = k;
    // Exactly one panel shows a mark, the other what lies under it.
    int marked[2] = {-1, -1};
    for (int p = 0; p < 2; p++) {
        Picture box = crop(frame, 356, kMarkTop[p], 32, 32);
        if (test::differs(box, crop(background(), 356, kMarkTop[p], 32, 32)).empty()) marked[p] = 0;
        for (int k : {p, p + 2})
            if (test::differs(box, mark(k)).empty()) marked[p] = 1 + k / 2;
    }
    board.turn = marked[0] > 0 && marked[1] == 0 ? 1 : marked[1] > 0 && marked[0] == 0 ? 2 : -1;
    board.thinking = board.turn > 0 && marked[board.turn - 1] == 2;
    return board;
}

Picture compose(const Board& board) {
    Picture frame = background();
    if (frame.rgb.empty() || board.cells.size() != 61) return Picture();
    for (size_t i = 0; i < 61; i++)
        paste(frame, cell_picture(kCells[i], board.cells[i]), cell_left(kCells[i].x), cell_top(kCells[i].y), false);
    for (int p = 0; p < 2; p++)
        if (board.score[p] >= 0 && board.score[p] <= 6)
            paste(frame, picture("vrk" + std::to_string(board.score[p])), 410, kDigitTop[p], false);
    if (board.turn == 1 || board.turn == 2)
        paste(frame, mark(board.turn - 1 + 2 * board.thinking), 356, kMarkTop[board.turn - 1], false);
    paste(frame, picture("souris"), 623, 463, true);
    return frame;
}

std::string text(const Board& board) {
    std::string out;
    for (size_t i = 0; i < kCells.size(); i++) {
        int y = kCells[i].y;
        if (i == 0 || kCells[i - 1].y != y) out += std::string(size_t(row_start(y)), ' ');
        out += i < board.cells.size() ? board.cells[i] : ' ';
        out += i + 1 == kCells.size() || kCells[i + 1].y != y ? '\n' : ' ';
    }
    out += "score " + std::to_string(board.score[0]) + " " + std::to_string(board.score[1]) + "\n";
    if (board.turn) out += "turn " + std::to_string(board.turn) + (board.thinking ? " thinking" : "") + "\n";
    return out;
}

Game load(const std::string& path, const std::string& shots) {
    Game game;
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) lines.push_back(body(line));
    Board last;
    for (size_t i = 0; i < lines.size(); i++) {
        Check check{Check::Board, int(i + 1), last, shots + "/" + std::to_string(i + 1) + ".png", game.steps.size()};
        if (lines[i] == "board") {
            // Nine rows of cells, then "score A B"; a misshapen board fails its check.
            check.board = Board();
            for (int row = 0; row < 9 && ++i < lines.size(); row += !lines[i].empty())
                for (char c : lines[i])
                    if (c != ' ') check.board.cells += c;
            std::istringstream words(++i < lines.size() ? lines[i] : "");
            std::string score;
            words >> score >> check.board.score[0] >> check.board.score[1];
            // Then, if the file says, whose turn it is: "turn 1", "turn 2 thinking".
            std::string turn, thinking;
            if (i + 1 < lines.size() && std::istringstream(lines[i + 1]) >> turn && turn == "turn") {
                std::istringstream(lines[++i]) >> turn >> check.board.turn >> thinking;
                check.board.thinking = thinking == "thinking";
            }
            last = check.board;
        } else if (lines[i].rfind("sound ", 0) == 0) {
            game.sounds += lines[i] + "\n";
            continue;
        } else if (lines[i].rfind("options ", 0) == 0) {
            std::istringstream words(lines[i].substr(8));
            for (std::string w; words >> w;) game.options.push_back(w);
            continue;
        } else if (lines[i].rfind("expect ", 0) == 0) {
            std::string what = lines[i].substr(7);
            check.kind = what == "title"     ? Check::Title
                         : what == "victory" ? Check::Victory
                         : what == "end"     ? Check::End
                                             : Check::Frame;
        } else {
            game.script += lines[i] + "\n";
            game.steps += lines[i] + "\n";
            continue;
        }
        game.script += (check.kind == Check::End ? "shot " : "move 639 479\nshot ") + check.shot + "\n";
        game.checks.push_back(check);
    }
    return game;
}

std::string verify(const Check& c) {
    bool shot = std::filesystem::exists(c.shot);
    if (c.kind == Check::End) return shot ? "the game went on after it should have quit" : "";
    Picture frame = test::read_png(c.shot);
    if (frame.rgb.empty()) return "no shot was taken: the game ended before this step";
    if (c.kind == Check::Board) {
        Board shown = decode(frame);
        if (!c.board.turn) shown.turn = 0;
        std::string seen = text(shown), want = text(c.board);
        return seen == want ? "" : "the board shows\n" + seen + "instead of\n" + want;
    }
    Picture want =
        c.kind == Check::Frame ? compose(c.board) : picture(c.kind == Check::Title ? "presentation" : "victoire");
    std::string diff = test::differs(frame, want);
    if (!diff.empty()) test::write_ppm(c.shot + "-expected.ppm", want);
    return diff.empty() ? "" : diff + "; the shot is " + c.shot + ", the frame expected beside it";
}

std::unique_ptr<test::Child> start(const std::string& script_path, const std::vector<std::string>& options) {
    std::vector<std::string> argv = {GLOBOID_BUILD_DIR "/globoid", "--script", script_path}, env;
    // No kept game of the machine's own to resume, unless the game file says otherwise.
    env.push_back("XDG_DATA_HOME=" GLOBOID_BUILD_DIR "/tests/no-games");
    for (const std::string& o : options)
        (o.rfind("--", 0) && o.find('=') != std::string::npos ? env : argv).push_back(o);
    return std::make_unique<test::Child>(test::in_dir(GLOBOID_BUILD_DIR, argv), env);
}

} // namespace game
