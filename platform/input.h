#pragma once
// The keyboard snapshot. Key codes are the raw codes of a standard keyboard.
#include "platform/types.h"

struct key_info {
    uint32 modifiers;
    uint8 key_states[16]; // key k is down when bit 0x80 >> (k % 8) of byte k / 8 is set
};

// Fills *info with the current keyboard state. May wait briefly for the input to
// change first, so that a caller polling in a loop does not burn a core.
status_t get_key_info(key_info* info);
