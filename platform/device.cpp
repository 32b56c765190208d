// Which device this process runs on, chosen once.
#include <cerrno>

#include "platform/app.h"
#include "platform/device.h"

namespace platform {

namespace {
bool headless_selected = false, sounds_listed = false;
} // namespace

bool headless_lists_sounds() { return sounds_listed; }

Device& device() {
    static Device* chosen = (headless_selected ? make_headless_device() : make_sdl_device()).release(); // for good
    return *chosen;
}

const char* program_name() { return program_invocation_short_name; }

} // namespace platform

void use_headless_device(bool list_sounds) {
    platform::headless_selected = true;
    platform::sounds_listed = list_sounds;
}
