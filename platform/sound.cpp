// Sound on and off, and the way to the device that plays.
#include "platform/sound.h"

#include <atomic>

#include "platform/device.h"

namespace {

std::atomic<bool> sound_on{true};

} // namespace

void play_sound(Sound s) {
    if (sound_on.load()) platform::device().play(s);
}

void toggle_sound() { sound_on = !sound_on.load(); }

void set_sound(bool on) { sound_on = on; }

bool sound_is_on() { return sound_on.load(); }

const char* sound_name(Sound s) {
    static const char* const names[] = {"move", "push", "off", "victory"};
    return names[size_t(s)];
}
