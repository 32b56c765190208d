// The resources the program registered. Constant-initialised, so a registration
// from any static initialiser finds them ready.
#include "platform/resources.h"

namespace platform {

namespace {

Icon icon{0, 0, nullptr};
Samples sounds[4] = {};

} // namespace

bool register_icon(int width, int height, const uint8* rgba) {
    icon = {width, height, rgba};
    return true;
}

const Icon* registered_icon() { return icon.rgba ? &icon : nullptr; }

bool register_sound(Sound s, const int16* data, size_t count) {
    sounds[size_t(s)] = {data, count};
    return true;
}

Samples registered_sound(Sound s) { return sounds[size_t(s)]; }

} // namespace platform
