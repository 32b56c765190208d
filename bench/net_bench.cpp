// A game between two machines on the loopback, measured. First the link alone:
// the time from a move handed to one side's link to the same move read from the
// other's, as a game thread polls for it. Then the screen: a whole game runs in
// this process, hosting, with the player on the other machine played by a bare
// link here; the time from that link sending a move, which is when the other
// screen shows it, to this game's frame showing it, the seat's clicks and key
// included (no pauses). Medians and the slowest tenth; the target is 5 ms.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "control/control.h"
#include "control/seating.h"
#include "draw/geometry.h"
#include "net/link.h"
#include "platform/headless.h"
#include "platform/input.h"
#include "rules/rules.h"
#include "seats/remote.h"

namespace {

using Clock = std::chrono::steady_clock;

double ms_since(Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); }

// Hands a move to `from` and polls `to` until it comes out; milliseconds, or -1.
double one_move(net::Link& from, net::Link& to, const net::Move& m) {
    Clock::time_point t0 = Clock::now();
    from.send_move(m);
    net::Move got;
    while (!to.next_move(&got)) {
        if (ms_since(t0) > 1000 || to.state() != net::Link::State::Playing) return -1;
        std::this_thread::yield();
    }
    return ms_since(t0);
}

bool playing(net::Link& link) { return link.state() == net::Link::State::Playing; }

// The middle of cell (x, y) on a frame: a marble's there looks the same in every
// cell, whatever the wood around it, the ring or the cursor on a cell nearby.
std::vector<uint32_t> middle(const uint32_t* f, int x, int y) {
    std::vector<uint32_t> out;
    for (int r = 12; r < 20; r++) {
        const uint32_t* row = f + (cell_top(y) + r) * 640 + cell_left(x) + 12;
        out.insert(out.end(), row, row + 8);
    }
    return out;
}

// The position the game holds, read while it waits for input.
uint64_t hash_now() {
    board::Position p;
    for (int c = 0; c < board::kCells; c++) p.cell[c] = int8_t(Jeu[board::cell_y(c)][board::cell_x(c)]);
    p.to_move = int8_t(Tour);
    return board::hash(p);
}

// Plays the board of the game in this process against `peer`: each side moves a
// marble out and back in turn; the peer's moves are timed to this game's frame.
void drive(net::Link& peer, std::vector<double>& out) {
    struct Step {
        int x, y, sens, tx, ty;
    };
    // The person's moves here (light) and the peer's (dark), alternately.
    const Step steps[4] = {{8, 4, 0, 9, 5}, {8, 8, 3, 7, 7}, {9, 5, 3, 8, 4}, {7, 7, 0, 8, 8}};
    const uint8 keys[6] = {KEY_KP3, KEY_KP6, KEY_KP9, KEY_KP7, KEY_KP4, KEY_KP1};
    uint32_t ply = 0;
    input::wait_drained(10000, true); // the game has begun: the person is to move
    for (int round = 0; round < 50 && playing(peer); round++)
        for (int i = 0; i < 4; i++) {
            const Step& s = steps[i];
            // A marble of the mover that never moves: (10, 2) light, (10, 10) dark.
            const int ry = i % 2 ? 10 : 2;
            auto shown = [&] {
                return headless::wait_frame(
                    [&](const uint32_t* f) { return middle(f, s.tx, s.ty) == middle(f, 10, ry); }, 2000);
            };
            if (i % 2 == 0) {
                headless::move(float(cell_centre_x(s.x)), float(cell_centre_y(s.y)));
                for (auto input : {+[] {}, +[] { headless::press(); }, +[] { headless::release(); }}) {
                    input();
                    headless::wait_seen();
                }
                headless::key(keys[s.sens], true);
                headless::wait_seen();
                headless::key(keys[s.sens], false);
                if (!shown()) return;
                net::Move m;
                for (Clock::time_point t0 = Clock::now(); !peer.next_move(&m) && ms_since(t0) < 2000;)
                    std::this_thread::yield();
            } else {
                Clock::time_point t0 = Clock::now();
                peer.send_move(net::Move{1, {uint8_t(board::cell_at(s.x, s.y)), 0, 0}, board::Dir(s.sens)});
                if (!shown()) return;
                out.push_back(ms_since(t0));
            }
            // Taken in whole, and after the other side's move the person is to move again.
            input::wait_drained(2000, i % 2 == 1);
            peer.played(++ply, hash_now());
        }
}

} // namespace

int main() {
    if (chdir(GLOBOID_BUILD_DIR) != 0) {
        std::fprintf(stderr, "net_bench: cannot enter %s\n", GLOBOID_BUILD_DIR);
        return 2;
    }
    const std::string code = net::new_code();
    auto host = net::Link::host("127.0.0.1", 0, code);
    auto guest = net::Link::join("127.0.0.1", host->port(), code);
    for (Clock::time_point t0 = Clock::now(); guest->state() != net::Link::State::Playing;) {
        if (ms_since(t0) > 5000) {
            std::fprintf(stderr, "net_bench: the links did not meet: %s\n", guest->cause().c_str());
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const net::Move a{1, {uint8_t(board::cell_at(6, 2)), 0, 0}, board::SE},
        b{1, {uint8_t(board::cell_at(8, 10)), 0, 0}, board::NW};
    std::vector<double> times;
    for (uint32_t ply = 1; ply <= 400; ply++) {
        // Moves in turn, each followed by the same hash on both sides, as in a game.
        bool host_moves = ply % 2 == 1;
        double t = host_moves ? one_move(*host, *guest, a) : one_move(*guest, *host, b);
        if (t < 0) {
            std::fprintf(stderr, "net_bench: move %u was lost: %s / %s\n", ply, host->cause().c_str(),
                         guest->cause().c_str());
            return 1;
        }
        times.push_back(t);
        host->played(ply, ply);
        guest->played(ply, ply);
        std::this_thread::sleep_for(std::chrono::milliseconds(2)); // a game's pace, not a flood
    }
    host.reset();
    guest.reset();

    // The screen: this process hosts; the peer link joins as the other machine.
    headless::select();
    auto seat = std::make_unique<seats::Remote>(0, 0);
    auto here = net::Link::host("127.0.0.1", 0, code, seat->link_options());
    auto peer = net::Link::join("127.0.0.1", here->port(), code);
    seat->attach(std::move(here));
    seating::Setup setup;
    setup.longest_pause_ms = 0;
    seating::start(setup, nullptr, std::move(seat));
    std::vector<double> screens;
    std::thread driver([&] {
        drive(*peer, screens);
        MonApp->PostMessage(B_QUIT_REQUESTED);
    });
    MonApp = new AppType();
    MonApp->Run();
    driver.join();
    seating::stop();
    if (screens.size() < 100) {
        std::fprintf(stderr, "net_bench: the game stopped after %zu moves: %s\n", screens.size(),
                     peer->cause().c_str());
        return 1;
    }

    bool pass = true;
    std::printf("%-50s %9s %9s %8s\n", "", "median", "90%", "target");
    for (auto [what, v] : {std::pair{"move from one link to the other (400)", &times},
                           std::pair{"move sent to the frame that shows it (100)", &screens}}) {
        std::sort(v->begin(), v->end());
        const double median = (*v)[v->size() / 2], slow = (*v)[v->size() * 9 / 10];
        pass &= median < 5.0;
        std::printf("%-50s %6.3f ms %6.3f ms %5.1f ms  %s\n", what, median, slow, 5.0, median < 5.0 ? "PASS" : "FAIL");
    }
    return pass ? 0 : 1;
}
