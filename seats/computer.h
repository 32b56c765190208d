#pragma once
// The computer at the board: it thinks on a thread of its own, then plays its move
// as a person would, a click on each marble it selects and then the direction key,
// with pauses between them so that the rings can be followed by eye.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "seats/seat.h"

namespace seats {

// Where a seat's clicks and keys go. The computer calls these from its own thread.
class Hands {
public:
    virtual ~Hands() = default;
    virtual void click(float x, float y) = 0;
    virtual void tap(uint8_t key) = 0;
    // Drops what was given and has not reached the board yet.
    virtual void drop() = 0;
};
class Computer : public Seat {
public:
    // Strength 1 (weakest) to 5. pause_ms is the time from the end of the search to
    // the direction key, shared among the clicks and the key; 0 for none.
    Computer(int level, int pause_ms, Hands& hands);
    // Stops any search at once and waits for the thread to end.
    ~Computer() override;

    void begin(const Position& opening) override;
    void your_turn(const Position& now) override;
    void moved(const Move& move, const Position& after) override;
    void taken_back(int moves, const Position& now) override;
    void cancel() override;
    void over(int winner) override;

private:
    void run();
    // Sleeps ms unless the turn is cancelled first; false when it was.
    bool pause(std::unique_lock<std::mutex>& g, int ms, uint64_t turn);

    const int level_, pause_ms_;
    Hands& hands_;
    std::vector<Position> history_; // every position of the game so far, the last on the board

    std::mutex mu_;
    std::condition_variable cv_;
    uint64_t turn_ = 0;    // counts turns and cancels: a worker's turn is stale once this moves
    bool to_move_ = false; // a turn waits for the thread
    bool quit_ = false;
    Position now_;
    std::vector<Position> seen_; // the history handed to the search
    std::atomic<bool> stop_{false}; // stops the search under way
    std::thread thread_;
};

} // namespace seats
