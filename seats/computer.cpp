// The computer's thread: one search per turn, then the move played by hand.
#include "seats/computer.h"

#include "seats/board.h"
#include "seats/think.h"

namespace seats {

Computer::Computer(int level, int pause_ms, Hands& hands)
    : level_(level), pause_ms_(pause_ms), hands_(hands), thread_([this] { run(); }) {}

Computer::~Computer() {
    {
        std::lock_guard<std::mutex> g(mu_);
        quit_ = true;
        turn_++;
        stop_ = true;
    }
    cv_.notify_all();
    thread_.join();
}

void Computer::begin(const Position& opening) { history_.assign(1, opening); }

void Computer::your_turn(const Position& now) {
    std::lock_guard<std::mutex> g(mu_);
    turn_++;
    stop_ = true; // a search still under way is for a turn that is over
    to_move_ = true;
    now_ = now;
    seen_.assign(history_.begin(), history_.empty() ? history_.end() : history_.end() - 1);
    cv_.notify_all();
}

void Computer::moved(const Move&, const Position& after) { history_.push_back(after); }

void Computer::taken_back(int moves, const Position& now) {
    history_.resize(history_.size() > size_t(moves) ? history_.size() - size_t(moves) : 0);
    if (history_.empty()) history_.push_back(now);
}

void Computer::cancel() {
    std::lock_guard<std::mutex> g(mu_);
    turn_++;
    stop_ = true;
    to_move_ = false;
    // Under the lock, so that no click of the cancelled turn is given after this.
    hands_.drop();
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
        const Position now = now_;
        const std::vector<Position> seen = seen_;
        stop_ = false;
        g.unlock();
        Move m;
        bool found = think(now, seen, level_, stop_, &m);
        g.lock();
        if (!found) continue;
        // The clicks and the key share the pauses: one before each.
        const int each = pause_ms_ / (m.n + 1);
        bool on = true;
        for (int i = 0; i < m.n && on; i++) {
            if ((on = pause(g, each, turn))) hands_.click(centre_x(m.x[i]), centre_y(m.y[i]));
        }
        if (on && pause(g, each, turn)) hands_.tap(key_for(m.sens));
    }
}

} // namespace seats
