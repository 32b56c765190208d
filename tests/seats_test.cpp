// The computer's seat on hands that only count what they are given: a cancelled
// turn gives nothing more, the next turn plays, and the seat ends at once however
// long its pauses.
#include <gtest/gtest.h>

#include <mutex>
#include <thread>

#include "seats/computer.h"
#include "seats/remote.h"

namespace {

struct Counter : seats::Hands {
    std::mutex mu;
    int given = 0, taps = 0, drops = 0;
    void click(float, float) override { add(given); }
    void tap(uint8_t) override { add(given), add(taps); }
    void drop() override { add(drops); }
    void add(int& n) {
        std::lock_guard<std::mutex> g(mu);
        n++;
    }
    int read(int& n) {
        std::lock_guard<std::mutex> g(mu);
        return n;
    }
};

seats::Position opening() { return board::opening(); }

TEST(ComputerTest, ACancelledTurnGivesNothingTheNextPlaysAndTheSeatEndsAtOnce) {
    using std::chrono::milliseconds;
    Counter hands;
    {
        seats::Computer computer(2, 200, -1, hands);
        computer.begin(opening());
        computer.your_turn(opening());
        std::this_thread::sleep_for(milliseconds(20));
        computer.cancel();
        std::this_thread::sleep_for(milliseconds(600)); // the search and the pauses, had they gone on
        EXPECT_EQ(hands.read(hands.given), 0);
        EXPECT_EQ(hands.read(hands.drops), 1);
        computer.your_turn(opening());
        auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!hands.read(hands.taps) && std::chrono::steady_clock::now() < limit)
            std::this_thread::sleep_for(milliseconds(5));
        EXPECT_EQ(hands.read(hands.taps), 1);
        EXPECT_GE(hands.read(hands.given), 2) << "a click on each marble, then the key";
    }
    // Pauses of an hour: the seat, in the first of them, ends without sitting it out.
    const int given = hands.read(hands.given);
    const auto start = std::chrono::steady_clock::now();
    {
        seats::Computer computer(2, 3600000, -1, hands);
        computer.begin(opening());
        computer.your_turn(opening());
        std::this_thread::sleep_for(milliseconds(300));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(hands.read(hands.given), given);
}

// Dropped with its link open, as when the player quits: the link, whose thread wakes
// the seat, goes before what it wakes.
TEST(RemoteTest, GoesWithItsLinkOpen) {
    seats::Remote remote(0);
    remote.attach(net::Link::host("127.0.0.1", 0, "ABCD-EFGH", remote.link_options()));
}

} // namespace
