#pragma once
// The board as the additions speak of it: cells, directions, moves and positions,
// their written form, the openings, the hash and the rules of a legal move. The
// engine, the seats, the network and the records all use this one vocabulary; the
// game itself keeps its grid and its own rules.
//
// Cells are numbered 0 to 60 in the order of their names, A1..A5, B1..B6, ...,
// I5..I9. Row A is the bottom row on the screen (the dark player's home row), row I
// the top. Along a row the number grows to the right; the cell up and to the left
// keeps the number, the cell up and to the right adds one. In the game's grid,
// cell c lies at column cell_x(c), row cell_y(c).
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace board {

constexpr int kCells = 61;
constexpr int kWinScore = 6;
constexpr int kLight = 1, kDark = 2; // the game's player 1 (moves first) and player 2

// The six directions, numbered as the game's sens; (kDx, kDy) is the step in its grid.
enum Dir : uint8_t { SE, E, NE, NW, W, SW };
constexpr int kDx[6] = {1, 2, 1, -1, -2, -1};
constexpr int kDy[6] = {1, 0, -1, -1, 0, 1};
constexpr Dir opposite(Dir d) { return Dir((d + 3) % 6); }
// "SE", "E", ...; parse_dir takes any letter case.
const char* dir_name(Dir d);
bool parse_dir(std::string_view text, Dir* out);

// The grid coordinates of cell c, and back: -1 for a grid cell off the board.
int cell_x(int c);
int cell_y(int c);
int cell_at(int x, int y);
// The cell one step from c in direction d, or -1 past the edge.
int neighbour(int c, Dir d);
// "A1" ... "I9"; parse_cell takes any letter case and gives -1 for anything else.
std::string cell_name(int c);
int parse_cell(std::string_view text);

// n marbles (1 to 3) standing in a line, each stepping once in direction dir.
// cells[0..n) are in order along the line; normalised() puts them lowest first,
// which is the order the notation writes (lower row, then lower number).
struct Move {
    uint8_t n = 0;
    uint8_t cells[3] = {0, 0, 0};
    Dir dir = SE;
    Move normalised() const;
};
// The same marbles, in any order, and the same direction.
bool operator==(const Move& a, const Move& b);
inline bool operator!=(const Move& a, const Move& b) { return !(a == b); }
// "C3:NE", "C3-C5:E": the cell of one marble or the two ends of the line, then the
// direction. parse_move takes the ends in either order and any letter case; false
// unless the ends are one or two steps apart along a line of the board.
std::string to_text(const Move& m);
bool parse_move(std::string_view text, Move* out);

struct Position {
    int8_t cell[kCells] = {}; // 0 empty, kLight, kDark
    int8_t to_move = kLight;
    int8_t score[3] = {}; // score[kLight], score[kDark]: the marbles each has pushed off
    // Someone has pushed six marbles off; the mover of that push keeps the turn.
    bool over() const { return score[kLight] >= kWinScore || score[kDark] >= kWinScore; }
};
bool operator==(const Position& a, const Position& b);

enum class Opening : uint8_t { Standard, Rosettes, RosettesInset };
// "standard", "rosettes", "rosettes-inset"; parse_opening takes exactly those.
const char* opening_name(Opening o);
bool parse_opening(std::string_view text, Opening* out);
// The opening's marbles, light to move, no score.
Position opening(Opening o = Opening::Standard);

// A Zobrist hash of the marbles and the side to move (not the score). The keys are
// fixed, so two programs agree on it.
uint64_t zobrist(int player, int cell);
uint64_t zobrist_dark_to_move();
uint64_t hash(const Position& p);

// The rules, as the game applies them: a line of own marbles steps sideways into
// empty cells, or along its line into an empty cell or pushing fewer opposing
// marbles that have an empty cell or the edge behind them. A push over the edge
// scores one for the mover. The game ends when a score reaches six.
bool legal(const Position& p, const Move& m);
// Plays m if it is legal; false, and p unchanged, otherwise (also once the game is over).
bool play(Position& p, const Move& m);
// Every legal move once, normalised, in a fixed order.
std::vector<Move> legal_moves(const Position& p);
// The legal move by before.to_move that turns `before` into `after`; false if none does.
bool derive_move(const Position& before, const Position& after, Move* out);

// "light" or "dark"; -1 for anything else.
int parse_player(std::string_view text);
const char* player_name(int player);

} // namespace board
