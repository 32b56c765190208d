#pragma once
// The keyboard snapshot. Key codes are the raw codes of a standard keyboard.
#include "platform/types.h"

// The raw key codes the game and its devices use, by their place on a standard
// keyboard. The letters and Backspace serve the additions around the game.
enum : uint8 {
    KEY_ESCAPE = 0x01,
    KEY_BACKSPACE = 0x1e,
    KEY_W = 0x28,
    KEY_E = 0x29,
    KEY_KP7 = 0x37,
    KEY_KP9 = 0x39,
    KEY_A = 0x3c,
    KEY_D = 0x3e,
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
};

// Bits of key_info::modifiers. The game reads only key_states.
enum : uint32 { KEY_NUM_LOCK = 0x1 };

struct key_info {
    uint32 modifiers; // KEY_NUM_LOCK while Num Lock is on
    uint8 key_states[16]; // key k is down when bit 0x80 >> (k % 8) of byte k / 8 is set
};

// True when key code k is down in the snapshot.
inline bool key_down(const key_info& info, uint8 k) { return info.key_states[k / 8] & (0x80 >> (k % 8)); }

// Fills *info with the current keyboard state. Returns at once when the input has
// changed since the calling thread's previous call; otherwise waits for a change, a
// short tick at most, so that a caller polling in a loop does not burn a core.
status_t get_key_info(key_info* info);
