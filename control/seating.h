#pragma once
// Who plays each side of the board, and the glue that keeps the seats in step with
// the game. The glue runs inside every poll of the input, on the game thread: it
// watches the game's globals for the start, each move and the end, tells the seats,
// lets the person's clicks and keys through only on the person's turns, marks whose
// turn it is on the panels, takes moves back, and sounds each move (M turns the
// sound off and on). The game never learns of it.
#include <memory>

#include "seats/seat.h"

namespace seating {

struct Setup {
    int computer = 0;          // the players the computer takes: bit 1 player 1, bit 2 player 2
    int level = 3;             // its strength, 1 to 5
    int pause_ms = 400;        // its pauses in all, from its choice to its direction key
    int longest_pause_ms = -1; // and each of them at most this long; below 0, no limit
};

// Seats the players and hooks the glue into the polls; before the game thread
// starts. A seat given here takes its side whatever the setup says (a player on
// another machine), and C on the title then changes nothing.
void start(const Setup& setup, std::unique_ptr<seats::Seat> one = nullptr, std::unique_ptr<seats::Seat> two = nullptr);
// Unhooks the glue and ends the seats, a search under way included; once the game
// thread is gone. Returns the program's exit status: not 0 when the link to the
// other machine failed.
int stop();

} // namespace seating
