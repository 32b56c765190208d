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

#include "engine/engine.h"
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
// The hands that post to the platform's input queue.
Hands& input_hands();
class Computer : public Seat {
public:
    // Strength 1 (weakest) to 5. pause_ms is the time from the end of the search to
    // the direction key, shared among the pauses before each click and the key;
    // each lasts longest_ms at most, unless that is below 0.
    Computer(int level, int pause_ms, int longest_ms = -1, Hands& hands = input_hands());
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
    // Waits ms unless the turn is over first; false when it is.
    bool pause(std::unique_lock<std::mutex>& g, int ms, uint64_t turn);

    const int level_, pause_ms_, longest_ms_;
    Hands& hands_;
    std::vector<uint64_t> history_; // every position of the game so far, the last on the board

    std::mutex mu_;
    std::condition_variable cv_;
    uint64_t turn_ = 0;    // counts turns and cancels: a worker's turn is over once this moves
    bool to_move_ = false; // a turn waits for the thread
    bool quit_ = false;
    Position now_;
    std::vector<uint64_t> seen_; // the history handed to the search
    engine::Searcher search_;    // after mu_ and cv_: its thread wakes this seat's until it is gone
    std::thread thread_;
};

} // namespace seats
