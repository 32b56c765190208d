#pragma once
// The keyboard snapshot. Key codes are the raw codes of a standard keyboard.
#include "platform/types.h"

// Bits of key_info::modifiers. The game reads only key_states.
enum : uint32 { KEY_NUM_LOCK = 0x1 };

struct key_info {
    uint32 modifiers; // KEY_NUM_LOCK while Num Lock is on
    uint8 key_states[16]; // key k is down when bit 0x80 >> (k % 8) of byte k / 8 is set
};

// Fills *info with the current keyboard state. Returns at once when the input has
// changed since the calling thread's previous call; otherwise waits for a change, a
// short tick at most, so that a caller polling in a loop does not burn a core.
status_t get_key_info(key_info* info);
