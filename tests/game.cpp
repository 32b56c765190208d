// The game seen from outside: its pictures, the board read from a frame, game files.
#include "tests/game.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <tuple>

#include "draw/geometry.h"

namespace game {

namespace {

using test::Picture;

const char kCodes[] = ".oxOX*";
const int kDigitTop[2] = {370, 424}; // the two score digits, at x = 410

int row_start(int y) { return std::abs(y - 6) + 2; }

// The 61 cells, row 2 first: rows hold their cells two columns apart, indented by
// their distance from the middle row.
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

// The background the game draws the board on: the board picture and its panels.
const Picture& background() {
    static const Picture back = [] {
        Picture p = picture("vorkane");
        for (auto [name, x, y] : {std::tuple{"vrkscore", 0, 377}, {"vrkj1", 200, 373}, {"vrkj2", 200, 428}})
            if (!p.rgb.empty()) paste(p, picture(name), x, y, false);
        return p;
    }();
    return back;
}

// Cell c's box as the game draws code `code` over the background: the marble, then the ring.
Picture cell_picture(const Cell& c, char code) {
    static const Picture marble1 = picture("pion1"), marble2 = picture("pion2"), ring = picture("vrkan");
    Picture box = crop(background(), cell_left(c.x), cell_top(c.y), kCellBox, kCellBox);
    if (code == 'o' || code == 'O') paste(box, marble1, 0, 0, true);
    if (code == 'x' || code == 'X') paste(box, marble2, 0, 0, true);
    if (code == 'O' || code == 'X' || code == '*') paste(box, ring, 0, 0, true);
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
            if (!test::compare(box, cell_picture(c, *code)).count) seen = *code;
        board.cells += seen;
    }
    for (int p = 0; p < 2; p++)
        for (int k = 0; k <= 6; k++)
            if (!test::compare(crop(frame, 410, kDigitTop[p], 27, 33), picture("vrk" + std::to_string(k))).count)
                board.score[p] = k;
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
    return out + "score " + std::to_string(board.score[0]) + " " + std::to_string(board.score[1]) + "\n";
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
            last = check.board;
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

std::unique_ptr<test::Child> start(const std::string& script_path) {
    return std::make_unique<test::Child>(test::in_dir(GLOBOID_BUILD_DIR, {GLOBOID, "--script", script_path}));
}

} // namespace game
