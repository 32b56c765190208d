// The other machine's player: its thread plays their moves through the input
// queue; the game thread tells the link about every move made here.
#include "seats/remote.h"

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <utility>

#include "draw/geometry.h"
#include "platform/input.h"
#include "seats/board.h"

namespace seats {

Remote::Remote(int pause_ms, int longest_ms, Hands& hands)
    : pause_ms_(pause_ms), longest_ms_(longest_ms), hands_(hands) {
    // Later members lie at higher addresses: the link must come after what it wakes.
    const std::less<const void*> before;
    if (!before(&mu_, &link_) || !before(&cv_, &link_)) {
        std::fprintf(stderr, "seats::Remote: link_ must be declared after mu_ and cv_\n");
        std::abort();
    }
}

Remote::~Remote() {
    {
        std::lock_guard<std::mutex> g(mu_);
        quit_ = true;
    }
    cv_.notify_all();
    if (thread_.joinable()) thread_.join();
}

net::Options Remote::link_options() {
    net::Options o;
    o.wake = [this] {
        std::lock_guard<std::mutex> g(mu_);
        cv_.notify_all();
    };
    return o;
}

void Remote::attach(std::unique_ptr<net::Link> link) {
    link_ = std::move(link);
    thread_ = std::thread([this] { run(); });
}

bool Remote::here() const { return link_ && link_->state() == net::Link::State::Playing; }

bool Remote::gone(bool* quit, std::string* cause) const {
    {
        std::lock_guard<std::mutex> g(mu_);
        if (finished_ || !link_ || link_->state() != net::Link::State::Ended) return false;
        // A move that came before the end is played first, once the game is under
        // way: it may be the last one. Before that the game would wait for the player.
        if (begun_ && (playing_ || link_->has_move())) return false;
    }
    *quit = link_->reason() == net::Reason::PeerQuit;
    *cause = link_->cause();
    return true;
}

void Remote::begin(const Position&) {
    std::lock_guard<std::mutex> g(mu_);
    begun_ = true;
    ply_ = 0;
}

void Remote::your_turn(const Position& now) {
    std::lock_guard<std::mutex> g(mu_);
    turn_ = true;
    now_ = now;
    cv_.notify_all();
}

void Remote::moved(const Move& move, const Position& after) {
    std::lock_guard<std::mutex> g(mu_);
    const bool theirs = turn_;
    turn_ = false;
    ply_++;
    if (theirs) {
        // Their move must be the one the game just played, to the cell.
        const bool played = playing_ && move == expected_;
        playing_ = false;
        cv_.notify_all();
        if (!played) return link_->fail(net::Reason::IllegalMove);
    } else {
        link_->send_move(move);
    }
    link_->played(ply_, board::hash(after));
}

void Remote::over(int) {
    std::lock_guard<std::mutex> g(mu_);
    finished_ = true;
    turn_ = false;
    cv_.notify_all();
}

void Remote::cancel() {
    std::lock_guard<std::mutex> g(mu_);
    quit_ = true;
    hands_.drop();
    cv_.notify_all();
}

bool Remote::pause(std::unique_lock<std::mutex>& g, int ms) {
    if (ms > 0) cv_.wait_for(g, std::chrono::milliseconds(ms), [&] { return quit_; });
    return !quit_;
}

void Remote::run() {
    std::unique_lock<std::mutex> g(mu_);
    for (;;) {
        net::Move m;
        cv_.wait(g, [&] { return quit_ || (turn_ && !playing_ && link_->next_move(&m)); });
        if (quit_) return;
        // The rules are asked before the game is: a move they refuse ends the link.
        if (!board::legal(now_, m)) {
            link_->fail(net::Reason::IllegalMove);
            continue;
        }
        // In ascending order the cells run along the line, as a person clicks them.
        expected_ = m.normalised();
        playing_ = true;
        int each = pause_ms_ / (m.n + 1);
        if (longest_ms_ >= 0 && each > longest_ms_) each = longest_ms_;
        for (int i = 0; i < m.n; i++) {
            if (!pause(g, each)) return;
            const int cell = expected_.cells[i];
            hands_.click(float(cell_centre_x(board::cell_x(cell))), float(cell_centre_y(board::cell_y(cell))));
        }
        if (!pause(g, each)) return;
        hands_.tap(key_for(m.dir));
        // Once the game has taken all of it in, the move has been played, or refused.
        input::Wait w;
        do {
            g.unlock();
            w = input::wait_drained(1000);
            g.lock();
        } while (w == input::Wait::Late && !quit_);
        if (quit_ || w == input::Wait::Quit) return;
        if (playing_) {
            playing_ = false;
            link_->fail(net::Reason::IllegalMove);
        }
    }
}

} // namespace seats
