// The other machine's player: its thread plays their moves through the input
// queue; the game thread tells the link about every move made here.
#include "seats/remote.h"

#include <utility>

#include "draw/geometry.h"
#include "platform/input.h"
#include "seats/board.h"

namespace seats {

namespace {

net::Move to_net(const Move& m) {
    net::Move out;
    out.n = uint8_t(m.n);
    for (int i = 0; i < m.n && i < 3; i++) {
        out.x[i] = m.x[i];
        out.y[i] = m.y[i];
    }
    out.sens = uint8_t(m.sens);
    return out;
}

// The cells top to bottom, left to right: along the line, as a person clicks them.
Move in_order(Move m) {
    for (int pass = 0; pass < 2; pass++)
        for (int i = 0; i + 1 < m.n && i < 2; i++)
            if (m.y[i + 1] < m.y[i] || (m.y[i + 1] == m.y[i] && m.x[i + 1] < m.x[i])) {
                std::swap(m.x[i], m.x[i + 1]);
                std::swap(m.y[i], m.y[i + 1]);
            }
    return m;
}

bool same(const Move& a, const Move& b) {
    if (a.n != b.n || a.sens != b.sens) return false;
    Move x = in_order(a), y = in_order(b);
    for (int i = 0; i < a.n; i++)
        if (x.x[i] != y.x[i] || x.y[i] != y.y[i]) return false;
    return true;
}

} // namespace

uint64_t position_hash(const Position& p) {
    // FNV-1a over every byte that matters to the game.
    uint64_t h = 1469598103934665603ull;
    auto add = [&](int8_t v) { h = (h ^ uint8_t(v)) * 1099511628211ull; };
    for (const auto& row : p.grid)
        for (int8_t v : row) add(v);
    add(p.tour);
    add(p.score[1]);
    add(p.score[2]);
    return h;
}

Remote::Remote(int pause_ms, int longest_ms, Hands& hands)
    : pause_ms_(pause_ms), longest_ms_(longest_ms), hands_(hands) {}

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
        // A move that came before the end is played first: it may be the last one.
        if (playing_ || link_->has_move()) return false;
    }
    *quit = link_->reason() == net::Reason::PeerQuit;
    *cause = link_->cause();
    return true;
}

void Remote::begin(const Position&) { ply_ = 0; }

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
        const bool played = playing_ && same(move, expected_);
        playing_ = false;
        cv_.notify_all();
        if (!played) return link_->fail(net::Reason::IllegalMove);
    } else {
        link_->send_move(to_net(move));
    }
    link_->played(ply_, position_hash(after));
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

bool Remote::fits(const net::Move& m, const Position& now) {
    // The link has checked that every cell is on the board. A selection is a
    // straight row of the mover's own marbles without gaps.
    Move c;
    c.n = m.n;
    for (int i = 0; i < m.n; i++) {
        c.x[i] = m.x[i];
        c.y[i] = m.y[i];
        if (now.grid[m.y[i]][m.x[i]] != now.tour) return false;
    }
    c = in_order(c);
    const int dx = c.x[1] - c.x[0], dy = c.y[1] - c.y[0];
    if (c.n > 1 && !((dx == 2 && dy == 0) || (dy == 1 && (dx == 1 || dx == -1)))) return false;
    return c.n < 3 || (c.x[2] - c.x[1] == dx && c.y[2] - c.y[1] == dy);
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
        if (!fits(m, now_)) {
            link_->fail(net::Reason::IllegalMove);
            continue;
        }
        Move move;
        move.n = m.n;
        for (int i = 0; i < m.n; i++) {
            move.x[i] = m.x[i];
            move.y[i] = m.y[i];
        }
        move.sens = m.sens;
        expected_ = in_order(move);
        playing_ = true;
        int each = pause_ms_ / (move.n + 1);
        if (longest_ms_ >= 0 && each > longest_ms_) each = longest_ms_;
        for (int i = 0; i < move.n; i++) {
            if (!pause(g, each)) return;
            hands_.click(float(cell_centre_x(expected_.x[i])), float(cell_centre_y(expected_.y[i])));
        }
        if (!pause(g, each)) return;
        hands_.tap(key_for(move.sens));
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
