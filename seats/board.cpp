// The direction keys.
#include "seats/board.h"

#include "platform/input.h"

namespace seats {

uint8_t key_for(board::Dir d) {
    static const uint8_t keys[6] = {KEY_KP3, KEY_KP6, KEY_KP9, KEY_KP7, KEY_KP4, KEY_KP1};
    return keys[d];
}

} // namespace seats
