// The computer's thread: it waits for the engine's search, then plays the move by hand.
#include "seats/computer.h"

#include "draw/geometry.h"
#include "seats/board.h"

namespace seats {

Computer::Computer(int level, int pause_ms, int longest_ms, Hands& hands)
    : level_(level), pause_ms_(pause_ms), longest_ms_(longest_ms), hands_(hands), thread_([this] { run(); }) {
    // The search says when it is done; the thread sleeps until then.
    search_.on_done([this] {
        std::lock_guard<std::mutex> g(mu_);
        cv_.notify_all();
    });
}

Computer::~Computer() {
    {
        std::lock_guard<std::mutex> g(mu_);
        quit_ = true;
        turn_++;
    }
    cv_.notify_all();
    thread_.join();
}

void Computer::begin(const Position& opening) { history_.assign(1, board::hash(opening)); }

void Computer::your_turn(const Position& now) {
    std::lock_guard<std::mutex> g(mu_);
    turn_++;
    to_move_ = true;
    now_ = now;
    seen_ = history_;
    cv_.notify_all();
}

void Computer::moved(const Move&, const Position& after) { history_.push_back(board::hash(after)); }

void Computer::taken_back(int moves, const Position& now) {
    history_.resize(history_.size() > size_t(moves) ? history_.size() - size_t(moves) : 0);
    if (history_.empty()) history_.push_back(board::hash(now));
}

void Computer::cancel() {
    std::lock_guard<std::mutex> g(mu_);
    turn_++;
    to_move_ = false;
    // Under the lock, so that no click of the cancelled turn is given after this.
    hands_.drop();
    cv_.notify_all();
}

void Computer::over(int) { cancel(); }

bool Computer::pause(std::unique_lock<std::mutex>& g, int ms, uint64_t turn) {
    if (ms > 0) cv_.wait_for(g, std::chrono::milliseconds(ms), [&] { return turn_ != turn; });
    return turn_ == turn;
}

void Computer::run() {
    std::unique_lock<std::mutex> g(mu_);
    for (;;) {
        cv_.wait(g, [&] { return quit_ || to_move_; });
        if (quit_) return;
        to_move_ = false;
        const uint64_t turn = turn_;
        search_.start(now_, level_, seen_);
        cv_.wait(g, [&] { return turn_ != turn || !search_.busy(); });
        std::optional<Move> m = search_.result();
        if (turn_ != turn) search_.cancel();
        if (turn_ != turn || !m) continue;
        // The pauses come before each click and before the key.
        int each = pause_ms_ / (m->n + 1);
        if (longest_ms_ >= 0 && each > longest_ms_) each = longest_ms_;
        bool on = true;
        for (int i = 0; i < m->n && on; i++)
            if ((on = pause(g, each, turn)))
                hands_.click(float(cell_centre_x(board::cell_x(m->cells[i]))),
                             float(cell_centre_y(board::cell_y(m->cells[i]))));
        if (on && pause(g, each, turn)) hands_.tap(key_for(m->dir));
    }
}

} // namespace seats
