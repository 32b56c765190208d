#pragma once
// Who sits at each side of the board: the person at the mouse and keys, the
// computer, or a player on another machine. control/ owns the seats and tells
// them what happens on the board; a seat that is not the person plays by posting,
// through the platform's input queue, the clicks and the key a person would give.
// The game itself never learns who is playing.
#include <cstdint>
#include <string>

#include "board/board.h"

namespace seats {

// Positions and moves in the board's vocabulary.
using board::Move;
using board::Position;

// Everything here is called on the game thread and returns at once: a seat that
// needs time works on a thread of its own. Each seat hears every event, its own
// moves included.
class Seat {
public:
    virtual ~Seat() = default;
    // True for the seat that the person's own mouse and keys play for; on its
    // turns their clicks and direction keys reach the board, on the others not.
    virtual bool person() const { return false; }
    // False when a move once played cannot be taken back (a game over the network).
    virtual bool allows_undo() const { return true; }
    // False while the player behind the seat has not arrived (one on another
    // machine, still connecting): the game waits for them.
    virtual bool here() const { return true; }
    // The opening this player chose for the game (as board::Opening), when it is
    // theirs to choose: the host on another machine, once here. -1 otherwise.
    virtual int opening() const { return -1; }
    // True once that player is gone for good: *quit when they quit, otherwise the
    // link to them failed and *cause says why, in one line.
    virtual bool gone(bool* /*quit*/, std::string* /*cause*/) const { return false; }

    // The opening position is on the board.
    virtual void begin(const Position& /*opening*/) {}
    // This seat is to move in `now`. It stays its turn until moved() or taken_back().
    virtual void your_turn(const Position& /*now*/) {}
    // A move was made, by either side; `after` is the position it left.
    virtual void moved(const Move& /*move*/, const Position& /*after*/) {}
    // The last `moves` moves were taken back; `now` is on the board again.
    virtual void taken_back(int /*moves*/, const Position& /*now*/) {}
    // Drop whatever is under way for the current turn: a search, input not yet posted.
    virtual void cancel() {}
    // Player `winner` has pushed six marbles off: nothing more happens on the board.
    virtual void over(int /*winner*/) {}
};

// The person at the mouse and keys: acts by itself, needs telling nothing.
class Person : public Seat {
public:
    bool person() const override { return true; }
};

} // namespace seats
