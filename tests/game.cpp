// The game seen from outside: pictures, shots, the board read from a frame, game files.
#include "tests/game.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <png.h>
#include <sstream>
#include <unistd.h>

namespace game {

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kRgb = 0xFFFFFF;

struct Form {
    const char* name;
    int w, h;
};
const Form kForms[] = {
    {"souris", 16, 16},    {"vrkan", 32, 32},     {"pion1", 32, 32},   {"pion2", 32, 32},
    {"vrk0", 27, 33},      {"vrk1", 27, 33},      {"vrk2", 27, 33},    {"vrk3", 27, 33},
    {"vrk4", 27, 33},      {"vrk5", 27, 33},      {"vrk6", 27, 33},    {"presentation", 640, 480},
    {"vorkane", 640, 480}, {"vrkscore", 146, 39}, {"vrkj1", 199, 43},  {"vrkj2", 199, 43},
    {"victoire", 640, 480},
};

// The 61 cells, row 2 first: rows hold their cells two columns apart, indented by
// their distance from the middle row.
struct Cell {
    int x, y;
};
std::vector<Cell> cells() {
    std::vector<Cell> out;
    for (int y = 2; y <= 10; y++)
        for (int x = std::abs(y - 6) + 2; x <= 18 - std::abs(y - 6); x += 2) out.push_back({x, y});
    return out;
}
int row_start(int y) { return std::abs(y - 6) + 2; }

} // namespace

size_t cell_index(int x, int y) {
    size_t i = 0;
    for (int row = 2; row < y; row++) i += size_t(9 - std::abs(row - 6));
    return i + size_t(x - row_start(y)) / 2;
}

namespace {

// Draws `from` into `to` at (x, y); keyed leaves the zero word out.
void paste(Image& to, const Image& from, int x, int y, bool keyed) {
    for (int r = 0; r < from.h; r++)
        for (int c = 0; c < from.w; c++) {
            uint32_t p = from.at(c, r);
            if (!keyed || p) to.px[size_t(y + r) * to.w + x + c] = p;
        }
}

Image crop(const Image& from, int x, int y, int w, int h) {
    Image out{w, h, std::vector<uint32_t>(size_t(w) * h)};
    for (int r = 0; r < h; r++)
        for (int c = 0; c < w; c++) out.px[size_t(r) * w + c] = from.at(x + c, y + r);
    return out;
}

bool same_colours(const Image& a, const Image& b) {
    if (a.w != b.w || a.h != b.h) return false;
    for (size_t i = 0; i < a.px.size(); i++)
        if ((a.px[i] & kRgb) != (b.px[i] & kRgb)) return false;
    return true;
}

const char kCodes[] = ".oxOX*";

// Cell (x, y) as the game draws code c over the background: the marble, then the ring.
Image cell_picture(const Image& back, int x, int y, char c) {
    static const Image marble1 = picture("pion1"), marble2 = picture("pion2"), ring = picture("vrkan");
    Image box = crop(back, 25 * x + 53, 38 * y - 59, 32, 32);
    if (c == 'o' || c == 'O') paste(box, marble1, 0, 0, true);
    if (c == 'x' || c == 'X') paste(box, marble2, 0, 0, true);
    if (c == 'O' || c == 'X' || c == '*') paste(box, ring, 0, 0, true);
    return box;
}

std::string body(const std::string& line) {
    std::string s = line.substr(0, line.find('#'));
    size_t a = s.find_first_not_of(" \t\r"), b = s.find_last_not_of(" \t\r");
    return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

std::vector<std::string> read_lines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

} // namespace

Image picture(const std::string& name) {
    const Form* form = nullptr;
    for (const Form& f : kForms)
        if (name == f.name) form = &f;
    std::ifstream in(fs::path(GLOBOID_BUILD_DIR) / "Sprites" / (name + ".tga"), std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Image img;
    if (!form || bytes.size() < 18 + size_t(form->w) * form->h * 4) return img;
    img.w = form->w;
    img.h = form->h;
    img.px.resize(size_t(img.w) * img.h);
    bool as_stored = img.w == 32 && img.h == 32;
    for (int r = 0; r < img.h; r++)
        std::memcpy(&img.px[size_t(as_stored ? r : img.h - 1 - r) * img.w], &bytes[18 + size_t(r) * img.w * 4],
                    size_t(img.w) * 4);
    return img;
}

Image background() {
    Image back = picture("vorkane");
    Image score = picture("vrkscore"), one = picture("vrkj1"), two = picture("vrkj2");
    if (back.empty() || score.empty() || one.empty() || two.empty()) return Image();
    paste(back, score, 0, 377, false);
    paste(back, one, 200, 373, false);
    paste(back, two, 200, 428, false);
    return back;
}

Image read_png(const std::string& path) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    Image out;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return out;
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
    bool ok = image.width == 640 && image.height == 480 &&
              png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr);
    png_image_free(&image);
    if (!ok) return out;
    out.w = 640;
    out.h = 480;
    out.px.resize(640 * 480);
    for (size_t i = 0; i < out.px.size(); i++)
        out.px[i] = uint32_t(rgb[i * 3]) << 16 | uint32_t(rgb[i * 3 + 1]) << 8 | rgb[i * 3 + 2];
    return out;
}

bool write_png(const std::string& path, const Image& image) {
    std::vector<uint8_t> rgb(image.px.size() * 3);
    for (size_t i = 0; i < image.px.size(); i++) {
        rgb[i * 3] = uint8_t(image.px[i] >> 16);
        rgb[i * 3 + 1] = uint8_t(image.px[i] >> 8);
        rgb[i * 3 + 2] = uint8_t(image.px[i]);
    }
    png_image out;
    std::memset(&out, 0, sizeof out);
    out.version = PNG_IMAGE_VERSION;
    out.width = uint32_t(image.w);
    out.height = uint32_t(image.h);
    out.format = PNG_FORMAT_RGB;
    return png_image_write_to_file(&out, path.c_str(), 0, rgb.data(), image.w * 3, nullptr);
}

std::string difference(const Image& actual, const Image& expected) {
    if (actual.w != expected.w || actual.h != expected.h)
        return "sizes differ: " + std::to_string(actual.w) + "x" + std::to_string(actual.h) + " against " +
               std::to_string(expected.w) + "x" + std::to_string(expected.h);
    size_t count = 0, first = 0;
    for (size_t i = 0; i < actual.px.size(); i++)
        if ((actual.px[i] & kRgb) != (expected.px[i] & kRgb) && count++ == 0) first = i;
    if (!count) return "";
    return std::to_string(count) + " pixels differ, the first at (" + std::to_string(first % actual.w) + ", " +
           std::to_string(first / actual.w) + ")";
}

Board decode(const Image& frame) {
    static const Image back = background();
    static std::vector<std::vector<Image>> looks; // per cell, per code of kCodes
    static std::vector<Image> digits;
    if (looks.empty() && !back.empty()) {
        for (const Cell& c : cells()) {
            looks.emplace_back();
            for (const char* code = kCodes; *code; code++) looks.back().push_back(cell_picture(back, c.x, c.y, *code));
        }
        for (int k = 0; k <= 6; k++) digits.push_back(picture("vrk" + std::to_string(k)));
    }
    Board board;
    if (frame.w != 640 || frame.h != 480 || looks.empty()) return board;
    std::vector<Cell> all = cells();
    for (size_t i = 0; i < all.size(); i++) {
        Image box = crop(frame, 25 * all[i].x + 53, 38 * all[i].y - 59, 32, 32);
        char seen = '?';
        for (size_t k = 0; k < looks[i].size() && seen == '?'; k++)
            if (same_colours(box, looks[i][k])) seen = kCodes[k];
        board.cells += seen;
    }
    const int tops[2] = {370, 424};
    for (int p = 0; p < 2; p++) {
        Image place = crop(frame, 410, tops[p], 27, 33);
        for (int k = 0; k <= 6; k++)
            if (same_colours(place, digits[size_t(k)])) board.score[p] = k;
    }
    return board;
}

Image compose(const Board& board) {
    Image frame = background();
    if (frame.empty() || board.cells.size() != 61) return Image();
    std::vector<Cell> all = cells();
    for (size_t i = 0; i < all.size(); i++)
        paste(frame, cell_picture(frame, all[i].x, all[i].y, board.cells[i]), 25 * all[i].x + 53, 38 * all[i].y - 59,
              false);
    const int tops[2] = {370, 424};
    for (int p = 0; p < 2; p++)
        if (board.score[p] >= 0 && board.score[p] <= 6)
            paste(frame, picture("vrk" + std::to_string(board.score[p])), 410, tops[p], false);
    paste(frame, picture("souris"), 623, 463, true);
    return frame;
}

std::string text(const Board& board) {
    std::string out;
    size_t i = 0;
    for (int y = 2; y <= 10; y++) {
        out += std::string(size_t(row_start(y)), ' ');
        for (int x = row_start(y); x <= 20 - row_start(y); x += 2) {
            out += i < board.cells.size() ? board.cells[i++] : ' ';
            out += x + 2 <= 20 - row_start(y) ? " " : "\n";
        }
    }
    return out + "score " + std::to_string(board.score[0]) + " " + std::to_string(board.score[1]) + "\n";
}

Game load(const std::string& path, const std::string& shots) {
    Game game;
    std::vector<std::string> lines = read_lines(path);
    if (lines.empty()) game.error = "cannot read " + path;
    Board last;
    bool have_last = false;
    auto fail = [&](size_t at, const std::string& what) {
        if (game.error.empty()) game.error = path + ", line " + std::to_string(at + 1) + ": " + what;
    };
    auto shoot = [&](Check check, bool move) {
        char name[32];
        std::snprintf(name, sizeof name, "/%04d.png", check.line);
        check.shot = shots + name;
        check.steps = game.steps.size();
        if (move) game.script += "move 639 479\n";
        game.script += "shot " + check.shot + "\n";
        game.checks.push_back(check);
    };
    for (size_t i = 0; i < lines.size() && game.error.empty(); i++) {
        std::string line = body(lines[i]);
        if (line.empty()) continue;
        if (line == "board") {
            Check check{Check::Board, int(i + 1), Board(), "", 0};
            size_t row = 0;
            for (i++; i < lines.size() && row < 9; i++) {
                std::istringstream words(body(lines[i]));
                size_t expected = size_t(9 - std::abs(int(row) - 4)), count = 0;
                for (std::string w; words >> w; count++) {
                    if (w.size() != 1 || !std::strchr(kCodes, w[0])) fail(i, "no such cell \"" + w + "\"");
                    check.board.cells += w;
                }
                if (count == 0) continue;
                if (count != expected) fail(i, "a row of " + std::to_string(expected) + " cells was expected");
                row++;
            }
            std::istringstream words(i < lines.size() ? body(lines[i]) : "");
            std::string verb, extra;
            if (!(words >> verb >> check.board.score[0] >> check.board.score[1]) || verb != "score" || (words >> extra))
                fail(i, "\"score A B\" was expected");
            shoot(check, true);
            last = check.board;
            have_last = true;
        } else if (line.rfind("expect ", 0) == 0) {
            std::string what = body(line.substr(7));
            Check check{Check::Board, int(i + 1), Board(), "", 0};
            if (what == "title") check.kind = Check::Title;
            else if (what == "victory") check.kind = Check::Victory;
            else if (what == "end") check.kind = Check::End;
            else if (what == "frame" && have_last) {
                check.kind = Check::Frame;
                check.board = last;
            } else {
                fail(i, "cannot check \"" + what + "\" here");
            }
            shoot(check, check.kind != Check::End);
        } else {
            game.script += line + "\n";
            game.steps += line + "\n";
        }
    }
    return game;
}

std::unique_ptr<test::Child> start(const std::string& script_path) {
    if (chdir(GLOBOID_BUILD_DIR) != 0) return nullptr;
    return std::make_unique<test::Child>(std::vector<std::string>{GLOBOID, "--script", script_path});
}

std::string scratch(const std::string& name) {
    fs::path dir = fs::path(GLOBOID_BUILD_DIR) / "tests" / name;
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    fs::create_directories(dir, ignored);
    return dir.string();
}

} // namespace game
