#pragma once
// The command line, read in one place.
#include <cstdint>
#include <string>

struct Options {
    int computer = 0;     // the players the computer takes: bit 1 player 1, bit 2 player 2
    int level = 0;        // the computer's strength, 1 to 5; 0 not given
    int windowed = -1;    // 1 --window, 0 --fullscreen, -1 neither
    int pause_ms = -1;    // the computer's pauses in all, before its clicks and its key; -1 not given
    std::string script;   // --script: the steps the headless device plays
    std::string settings; // --settings: the file of settings to keep, also in a scripted run
    bool headless = false;
    // A game between two machines: --host listens on listen_address ("" for all)
    // and port; --join connects to join_host and port. code: --code, normalised.
    bool host = false;
    std::string listen_address, join_host, code;
    uint16_t port = 0;
    // Records: the opening of new games (0 standard, 1 rosettes, 2 rosettes-inset),
    // where the game is kept (--record), a record to go on from (--load) or to review.
    int opening = -1; // -1: not given
    std::string record, load, review;
};

// Reads argv, after GLOBOID_DEVICE=headless, GLOBOID_SCRIPT and GLOBOID_WINDOWED=1 in the environment
// (see README). --help prints every option and exits 0; an unknown option or a bad
// value prints one line saying which and exits 2.
Options read_options(int argc, char** argv);
