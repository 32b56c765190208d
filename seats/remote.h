#pragma once
// The player on another machine. Their moves come over the link and are played
// here as a person would, a click on each marble and then the direction key; the
// game's own rules decide whether they stand. The person's moves go the other way.
// After every move both sides compare a hash of the position.
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "net/link.h"
#include "seats/computer.h"
#include "seats/seat.h"

namespace seats {

class Remote : public Seat {
public:
    // pause_ms is shared among the pauses before each click and the key, each at
    // most longest_ms unless that is below 0, so that the rings can be followed.
    Remote(int pause_ms, int longest_ms = -1, Hands& hands = input_hands());
    // Says bye to the other side when still playing; stops the thread.
    ~Remote() override;
    // The options to make the link with: they wake this seat when a move comes.
    net::Options link_options();
    // Takes the link and starts listening to it.
    void attach(std::unique_ptr<net::Link> link);

    bool allows_undo() const override { return false; }
    bool here() const override;
    int opening() const override { return link_ ? link_->host_opening() : -1; }
    bool gone(bool* quit, std::string* cause) const override;
    void begin(const Position& opening) override;
    void your_turn(const Position& now) override;
    void moved(const Move& move, const Position& after) override;
    void over(int winner) override;
    // For good: nothing more is played, and what is queued is dropped.
    void cancel() override;

private:
    void run();
    bool pause(std::unique_lock<std::mutex>& g, int ms);

    const int pause_ms_, longest_ms_;
    Hands& hands_;
    // The link's thread wakes this seat through mu_ and cv_ until the link is gone,
    // so they must outlive it: declared before link_, they are destroyed after it.
    // The constructor checks this order.
    mutable std::mutex mu_;
    std::condition_variable cv_;
    std::unique_ptr<net::Link> link_;
    uint32_t ply_ = 0; // moves played, on the game thread

    bool quit_ = false;     // the thread ends: the seat goes, or was cancelled
    bool turn_ = false;     // this seat is to move
    bool playing_ = false;  // its move is being played: the next move must be it
    bool finished_ = false; // the game was won: the link may end as it likes
    bool begun_ = false;    // the game is under way: moves that came are played
    Position now_;
    Move expected_;
    std::thread thread_;
};

} // namespace seats
