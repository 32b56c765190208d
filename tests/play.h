#pragma once
// Whole games of clicks and moves driven through Selectionne and Joue, with the
// invariants of play checked after every step and each outcome foreseen by a small
// model of the rules. Shared by the randomised test and the fuzz target; needs
// test::Buffers in place and the doubles of tests/doubles.h linked in.
#include <cstdint>
#include <string>
#include <vector>

namespace play {

// Where the numbers of each step come from: a seeded generator or fuzzer bytes.
class Source {
public:
    virtual ~Source() = default;
    // Sets out to a number below n (n >= 1); false once the source has run dry.
    virtual bool next(uint32_t n, uint32_t& out) = 0;
};

struct Stats {
    long steps = 0, clicks = 0, moves = 0, refused = 0, pushes = 0, push_offs = 0, wins = 0;
};

class Session {
public:
    Session();
    // Empties the grid, score, selection and frame and sets up the opening position.
    void new_game();
    // Draws one action from the source and plays it, then checks everything. False
    // when the source ran dry or a check failed (see fault()).
    bool step(Source& source);
    // The first fault found, with the step of the game it came at; empty if none.
    const std::string& fault() const { return fault_; }
    bool won() const { return won_; }
    long step_in_game() const { return step_in_game_; }

    Stats stats;

private:
    struct Cell {
        int x, y;
        bool operator==(const Cell& o) const { return x == o.x && y == o.y; }
    };
    struct State {
        char grid[22][22];
        char score[3];
        char tour;
        std::vector<Cell> selection;
    };

    enum class Outcome { Refused, Moved, Pushed, PushedOff, Won };

    State capture() const;
    void make_plan(uint32_t a);
    void follow_plan(uint32_t b, uint32_t c);
    void click_cell(Cell c, uint32_t ox, uint32_t oy);
    void click_pixel(int x, int y, const Cell* known);
    void move(int sens);
    State predict_click(const State& before, Cell c) const;
    State predict_move(const State& before, int sens, Outcome& outcome) const;
    void compare(const State& expected, const char* what);
    void check_invariants();
    void check_drawn();
    void check_frame(const char* frame, const char* what, bool whole);
    void fail(const std::string& what);

    std::string fault_;
    bool won_ = false;
    long step_in_game_ = 0;
    char opening_[22][22];
    bool board_[22][22];
    std::vector<Cell> plan_; // marbles to select and move in plan_dir_
    int plan_dir_ = 0, plan_left_ = 0;
    std::vector<char> reference_;
    char shown_[22][22];  // what reference_ shows in each cell: its code, plus 4 with a ring
    char shown_score_[3];
};

} // namespace play
