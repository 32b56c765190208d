// Cell geometry and names, the openings, the Zobrist keys and the rules of a move.
#include "board/board.h"

#include <algorithm>
#include <cctype>

namespace board {

namespace {

constexpr int kRowStart[10] = {0, 5, 11, 18, 26, 35, 43, 50, 56, 61};

constexpr int row_of(int c) {
    int r = 0;
    while (kRowStart[r + 1] <= c) r++;
    return r;
}
// The number of the first cell of row r: rows A to E start at 1, rows E to I end at 9.
constexpr int first_number(int r) { return r <= 4 ? 1 : r - 3; }
constexpr int number_of(int c) { return first_number(row_of(c)) + c - kRowStart[row_of(c)]; }

// Row r lies at grid row 10 - r; its number n at column 2n - r + 4, which puts the
// cell up and to the left (one row up, one column left) at the same number.
constexpr int index_of(int x, int y) {
    int r = 10 - y;
    if (r < 0 || r > 8 || (x + r) % 2 != 0) return -1;
    int n = (x + r - 4) / 2, first = first_number(r);
    int count = kRowStart[r + 1] - kRowStart[r];
    if (x + r - 4 < 0 || n < first || n >= first + count) return -1;
    return kRowStart[r] + n - first;
}

struct Tables {
    int8_t x[kCells] = {}, y[kCells] = {}, nb[kCells][6] = {};
    uint64_t key[3][kCells] = {};
    uint64_t dark = 0;
};

constexpr uint64_t splitmix(uint64_t& s) {
    uint64_t z = (s += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

constexpr Tables build() {
    Tables t;
    for (int c = 0; c < kCells; c++) {
        t.y[c] = int8_t(10 - row_of(c));
        t.x[c] = int8_t(2 * number_of(c) - row_of(c) + 4);
    }
    for (int c = 0; c < kCells; c++)
        for (int d = 0; d < 6; d++) t.nb[c][d] = int8_t(index_of(t.x[c] + kDx[d], t.y[c] + kDy[d]));
    uint64_t s = 0x61CE11u;
    for (int player = kLight; player <= kDark; player++)
        for (int c = 0; c < kCells; c++) t.key[player][c] = splitmix(s);
    t.dark = splitmix(s);
    return t;
}

constexpr Tables kT = build();

const char* const kDirNames[6] = {"SE", "E", "NE", "NW", "W", "SW"};
const char* const kOpeningNames[3] = {"standard", "rosettes", "rosettes-inset"};

bool same_text(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char p, char q) {
               return std::toupper(static_cast<unsigned char>(p)) == std::toupper(static_cast<unsigned char>(q));
           });
}

// The line's direction from its lowest cell: E along a row, NE or NW up a row, so
// that cells in ascending order follow it. -1 when the cells are not such a line.
int axis_of(const Move& m) {
    if (m.n == 1) return -1;
    for (Dir a : {E, NE, NW})
        if (neighbour(m.cells[0], a) == m.cells[1] && (m.n == 2 || neighbour(m.cells[1], a) == m.cells[2])) return a;
    return -1;
}

} // namespace

const char* dir_name(Dir d) { return kDirNames[d % 6]; }

bool parse_dir(std::string_view text, Dir* out) {
    for (int d = 0; d < 6; d++)
        if (same_text(text, kDirNames[d])) {
            *out = Dir(d);
            return true;
        }
    return false;
}

int cell_x(int c) { return kT.x[c]; }
int cell_y(int c) { return kT.y[c]; }
int cell_at(int x, int y) { return index_of(x, y); }
int neighbour(int c, Dir d) { return kT.nb[c][d]; }

std::string cell_name(int c) { return std::string(1, char('A' + row_of(c))) + char('0' + number_of(c)); }

int parse_cell(std::string_view text) {
    if (text.size() != 2) return -1;
    int r = std::toupper(static_cast<unsigned char>(text[0])) - 'A', n = text[1] - '0';
    if (r < 0 || r > 8 || n < 1 || n > 9) return -1;
    int first = first_number(r), count = kRowStart[r + 1] - kRowStart[r];
    return n >= first && n < first + count ? kRowStart[r] + n - first : -1;
}

Move Move::normalised() const {
    // Three cells at most, sorted by hand: std::sort over them trips GCC 12's
    // array-bounds warning under the sanitizers, which the build treats as an error.
    Move m = *this;
    const int n = std::min<int>(m.n, 3);
    for (int i = 1; i < n; i++)
        for (int j = i; j > 0 && m.cells[j] < m.cells[j - 1]; j--) std::swap(m.cells[j], m.cells[j - 1]);
    return m;
}

bool operator==(const Move& a, const Move& b) {
    if (a.n != b.n || a.dir != b.dir || a.n > 3) return false;
    Move x = a.normalised(), y = b.normalised();
    return std::equal(x.cells, x.cells + x.n, y.cells);
}

std::string to_text(const Move& move) {
    Move m = move.normalised();
    std::string s = cell_name(m.cells[0]);
    if (m.n > 1) s += "-" + cell_name(m.cells[m.n - 1]);
    return s + ":" + dir_name(m.dir);
}

bool parse_move(std::string_view text, Move* out) {
    size_t colon = text.find(':'), dash = text.find('-');
    if (colon == std::string_view::npos) return false;
    Move m;
    if (!parse_dir(text.substr(colon + 1), &m.dir)) return false;
    std::string_view ends = text.substr(0, colon);
    int a = parse_cell(ends.substr(0, dash));
    if (a < 0) return false;
    m.n = 1;
    m.cells[0] = uint8_t(a);
    if (dash != std::string_view::npos) {
        int b = parse_cell(ends.substr(dash + 1));
        if (b < 0) return false;
        m.n = 0;
        for (int d = 0; d < 6 && !m.n; d++) {
            int one = neighbour(a, Dir(d));
            if (one < 0) continue;
            if (one == b)
                m = Move{2, {uint8_t(a), uint8_t(b), 0}, m.dir};
            else if (neighbour(one, Dir(d)) == b)
                m = Move{3, {uint8_t(a), uint8_t(one), uint8_t(b)}, m.dir};
        }
        if (!m.n) return false;
    }
    *out = m.normalised();
    return true;
}

bool operator==(const Position& a, const Position& b) {
    return std::equal(a.cell, a.cell + kCells, b.cell) && a.to_move == b.to_move &&
           a.score[kLight] == b.score[kLight] && a.score[kDark] == b.score[kDark];
}

const char* opening_name(Opening o) { return kOpeningNames[int(o) % 3]; }

bool parse_opening(std::string_view text, Opening* out) {
    for (int o = 0; o < 3; o++)
        if (text == kOpeningNames[o]) {
            *out = Opening(o);
            return true;
        }
    return false;
}

Position opening(Opening o) {
    Position p;
    auto put = [&](int player, const char* name) { p.cell[parse_cell(name)] = int8_t(player); };
    // A rosette: a cell and its six neighbours.
    auto rosette = [&](int player, const char* centre) {
        put(player, centre);
        for (int d = 0; d < 6; d++) p.cell[neighbour(parse_cell(centre), Dir(d))] = int8_t(player);
    };
    switch (o) {
    case Opening::Standard:
        for (int c = 0; c < kCells; c++) {
            int r = row_of(c), n = number_of(c);
            if (r <= 1 || (r == 2 && n >= 3 && n <= 5)) p.cell[c] = kDark;
            if (r >= 7 || (r == 6 && n >= 5 && n <= 7)) p.cell[c] = kLight;
        }
        break;
    case Opening::Rosettes:
        rosette(kLight, "B2"), rosette(kLight, "H8"), rosette(kDark, "B5"), rosette(kDark, "H5");
        break;
    case Opening::RosettesInset:
        rosette(kLight, "C2"), rosette(kLight, "G8"), rosette(kDark, "C6"), rosette(kDark, "G4");
        break;
    }
    return p;
}

uint64_t zobrist(int player, int cell) { return kT.key[player][cell]; }
uint64_t zobrist_dark_to_move() { return kT.dark; }

uint64_t hash(const Position& p) {
    uint64_t h = p.to_move == kDark ? kT.dark : 0;
    for (int c = 0; c < kCells; c++)
        if (p.cell[c] == kLight || p.cell[c] == kDark) h ^= kT.key[p.cell[c]][c];
    return h;
}

namespace {

// Checks m against p and, when `apply`, plays it. The move's cells are taken in
// ascending order, which runs along the line.
bool judge(Position& p, const Move& move, bool apply) {
    const int me = p.to_move, them = 3 - me;
    if (p.over() || (me != kLight && me != kDark) || move.n < 1 || move.n > 3 || move.dir > SW) return false;
    Move m = move.normalised();
    for (int i = 0; i < m.n; i++)
        if (m.cells[i] >= kCells || p.cell[m.cells[i]] != me) return false;
    const int axis = axis_of(m);
    if (m.n > 1 && axis < 0) return false;
    int pushed_to = -2; // where the last pushed marble goes: -1 off the board, -2 no push
    int front_target = -1;
    if (m.n > 1 && (m.dir == axis || m.dir == opposite(Dir(axis)))) {
        int front = m.dir == axis ? m.cells[m.n - 1] : m.cells[0];
        int c = front_target = neighbour(front, m.dir), k = 0;
        while (c >= 0 && p.cell[c] == them) c = neighbour(c, m.dir), k++;
        if (front_target < 0 || k >= m.n) return false;
        if (k > 0) {
            if (c >= 0 && p.cell[c] != 0) return false;
            pushed_to = c;
        } else if (p.cell[front_target] != 0) {
            return false;
        }
    } else {
        for (int i = 0; i < m.n; i++) {
            int t = neighbour(m.cells[i], m.dir);
            if (t < 0 || p.cell[t] != 0) return false;
        }
    }
    if (!apply) return true;
    for (int i = 0; i < m.n; i++) p.cell[m.cells[i]] = 0;
    for (int i = 0; i < m.n; i++) p.cell[neighbour(m.cells[i], m.dir)] = int8_t(me);
    if (pushed_to >= 0) p.cell[pushed_to] = int8_t(them);
    if (pushed_to == -1) p.score[me]++;
    // The game ends on the sixth push-off, with the turn still the winner's.
    if (!p.over()) p.to_move = int8_t(them);
    return true;
}

} // namespace

bool legal(const Position& p, const Move& m) { return judge(const_cast<Position&>(p), m, false); }
bool play(Position& p, const Move& m) { return judge(p, m, true); }

std::vector<Move> legal_moves(const Position& p) {
    std::vector<Move> out;
    for (int c = 0; c < kCells; c++) {
        if (p.cell[c] != p.to_move) continue;
        Move groups[7];
        int count = 0;
        groups[count++] = Move{1, {uint8_t(c), 0, 0}, SE};
        for (Dir a : {E, NE, NW}) {
            int b = neighbour(c, a);
            if (b < 0 || p.cell[b] != p.to_move) continue;
            groups[count++] = Move{2, {uint8_t(c), uint8_t(b), 0}, SE};
            int e = neighbour(b, a);
            if (e >= 0 && p.cell[e] == p.to_move) groups[count++] = Move{3, {uint8_t(c), uint8_t(b), uint8_t(e)}, SE};
        }
        for (int g = 0; g < count; g++)
            for (int d = 0; d < 6; d++) {
                groups[g].dir = Dir(d);
                if (legal(p, groups[g])) out.push_back(groups[g]);
            }
    }
    return out;
}

bool derive_move(const Position& before, const Position& after, Move* out) {
    for (const Move& m : legal_moves(before)) {
        Position p = before;
        play(p, m);
        if (std::equal(p.cell, p.cell + kCells, after.cell)) {
            *out = m;
            return true;
        }
    }
    return false;
}

int parse_player(std::string_view text) {
    return same_text(text, "light") ? kLight : same_text(text, "dark") ? kDark : -1;
}
const char* player_name(int player) { return player == kDark ? "dark" : "light"; }

} // namespace board
