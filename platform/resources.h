#pragma once
// What the executable carries besides its code. Sources that the build generates
// for the program hand it over before main; a program without them (the tests, the
// small game) runs as well, keeps the display's default icon and plays no sound.
#include <cstddef>

#include "platform/sound.h"
#include "platform/types.h"

namespace platform {

// The window's icon: width x height pixels of 4 bytes (red, green, blue, alpha),
// top row first.
struct Icon {
    int width, height;
    const uint8* rgba;
};

// Records the window's icon; the pixels must live as long as the process. Returns
// true, so that a static initialiser can call it.
bool register_icon(int width, int height, const uint8* rgba);
// The icon the program registered, or nullptr.
const Icon* registered_icon();

// A sound: mono, signed 16-bit samples at kSoundRate a second.
constexpr int kSoundRate = 22050;
struct Samples {
    const int16* data;
    size_t count;
};
// Records the samples of s, which must live as long as the process. Returns true,
// so that a static initialiser can call it.
bool register_sound(Sound s, const int16* data, size_t count);
// The samples registered for s; none when the program carries none.
Samples registered_sound(Sound s);

} // namespace platform
