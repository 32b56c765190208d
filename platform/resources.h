#pragma once
// What the executable carries besides its code. A source that the build generates
// for the program hands it over before main; a program without one (the tests, the
// small game) runs as well and keeps the display's default icon.
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

} // namespace platform
