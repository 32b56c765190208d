#pragma once
// The person's scripted seat: the moves of a script file (see README, "Scripted
// runs"), posted into the input queue step by step, each once the game has taken
// in the one before.
#include <string>
#include <vector>

namespace seats {

class ScriptSeat {
public:
    // Reads and checks the script. One that cannot be read or is not fit ends the
    // program at once, with one line on stderr and status 2.
    explicit ScriptSeat(const std::string& path);
    // Replays the script on a thread of its own, from when the game first polls;
    // the end of the script closes the window, as the person would. Pauses in the
    // input queue are cut to none unless GLOBOID_SEAT_PAUSE_MS is set.
    void start();

    struct Step {
        enum Kind { Move, Press, Release, Click, Key, Tap, Wait, Shot, Quit, Signal } kind;
        int line = 0;
        std::string text;
        float x = 0, y = 0;
        int button = 1;
        unsigned char code = 0;
        bool down = false;
        std::string path;
        int signal = 0;
    };

private:
    void play() const;
    std::string path_;
    int limit_ms_; // read before the script, so that a bad value is said first
    std::vector<Step> steps_;
};

} // namespace seats
