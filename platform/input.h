#pragma once
// The keyboard snapshot, and the one ordered queue through which every input
// reaches the game. Key codes are the raw codes of a standard keyboard.
#include <vector>

#include "platform/types.h"

// The raw key codes the game and its devices use, by their place on a standard
// keyboard. The letters, Backspace and the arrows serve the additions around the game.
enum : uint8 {
    KEY_ESCAPE = 0x01,
    KEY_BACKSPACE = 0x1e,
    KEY_HOME = 0x20,
    KEY_W = 0x28,
    KEY_E = 0x29,
    KEY_R = 0x2a,
    KEY_O = 0x2f,
    KEY_END = 0x35,
    KEY_KP7 = 0x37,
    KEY_KP9 = 0x39,
    KEY_A = 0x3c,
    KEY_D = 0x3e,
    KEY_H = 0x41,
    KEY_ENTER = 0x47,
    KEY_KP4 = 0x48,
    KEY_KP6 = 0x4a,
    KEY_Z = 0x4c,
    KEY_X = 0x4d,
    KEY_C = 0x4e,
    KEY_M = 0x52,
    KEY_KP1 = 0x58,
    KEY_KP3 = 0x5a,
    KEY_SPACE = 0x5e,
    KEY_LEFT = 0x61,
    KEY_RIGHT = 0x63,
};

// Bits of key_info::modifiers. The game reads only key_states.
enum : uint32 { KEY_NUM_LOCK = 0x1 };

struct key_info {
    uint32 modifiers;     // KEY_NUM_LOCK while Num Lock is on
    uint8 key_states[16]; // key k is down when bit 0x80 >> (k % 8) of byte k / 8 is set
};

// True when key code k is down in the snapshot.
inline bool key_down(const key_info& info, uint8 k) { return info.key_states[k / 8] & (0x80 >> (k % 8)); }

// Fills *info with the current keyboard state. Returns at once when the input has
// changed since the calling thread's previous call; otherwise waits for a change
// (a second at most), so that a caller polling in a loop costs nothing while idle.
status_t get_key_info(key_info* info);

// The input queue. Every press, release, pointer move and key, from the display or
// from a seat at the board, is applied to the input state in the order it was
// posted, and each only once the game has taken in the one before: the mouse
// thread has finished a pass with it and the game has polled three times since.
// So a quick click is seen at its own place, and a tap is never lost.
namespace input {

enum class Source : uint8 { Person, Seat };

struct Event {
    enum Kind : uint8 { Move, Press, Release, KeyDown, KeyUp, Pause } kind;
    float x = 0, y = 0; // Move: the pointer, clamped into 640x480
    int button = 1;     // Press, Release: 1 primary, 2 secondary, 3 tertiary
    uint8 code = 0;     // KeyDown, KeyUp: a raw key code below 128
    int ms = 0;         // Pause: the queue waits this long before the next event

    static Event move(float x, float y) { return {Move, x, y}; }
    static Event press(int button = 1) { return {Press, 0, 0, button}; }
    static Event release(int button = 1) { return {Release, 0, 0, button}; }
    static Event key(uint8 code, bool down) { return {down ? KeyDown : KeyUp, 0, 0, 1, code}; }
    static Event pause(int ms) { return {Pause, 0, 0, 1, 0, ms}; }
};

// Queues a batch; nothing posted later comes between its events. Moves posted one
// after another by the same source are merged while they wait.
void post(Source from, const std::vector<Event>& batch);
// Off: the person's primary presses (with their releases) and the six direction
// keys are dropped as they come to be applied; pointer moves and other keys pass.
// On at start.
void set_person_turn(bool on);
bool person_turn();
// Drops what is still queued from that source, but lets go of every button and key
// it holds down, so nothing stays pressed.
void cancel(Source from);
// Runs hook on the polling thread inside every get_key_info, after the snapshot is
// filled; nullptr removes it.
void set_poll_hook(void (*hook)(const key_info& keys));
// Pauses last at most ms (0: none), for scripts, tests and measurements; below 0,
// as long as posted. GLOBOID_SEAT_PAUSE_MS sets it at start.
void set_pause_limit(int ms);

enum class Wait { Drained, Quit, Late };
// Waits until everything posted has been applied and taken in, and with
// person_turn also until it is the person's turn. Quit as soon as the program is
// quitting; Late when limit_ms ran out first.
Wait wait_drained(int limit_ms, bool for_person_turn = false);
// Makes the game's next get_key_info return at once, as a change of input would:
// for what the game waits on outside the input, such as a search's result.
void nudge();
// Asks to close the window, as the person would. Whatever is queued is dropped.
void request_quit();

} // namespace input
