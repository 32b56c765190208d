// Which device this process runs on, chosen once.
#include <cerrno>

#include "platform/app.h"
#include "platform/device.h"

namespace platform {

namespace {
bool headless_selected = false, sounds_listed = false, windowed_at_start = false;
void (*switch_hook)(bool windowed) = nullptr;
} // namespace

bool headless_lists_sounds() { return sounds_listed; }

bool starts_windowed() { return windowed_at_start; }

void window_switched(bool windowed) {
    if (switch_hook) switch_hook(windowed);
}

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

void use_window(bool windowed) { platform::windowed_at_start = windowed; }

void on_window_switch(void (*hook)(bool windowed)) { platform::switch_hook = hook; }
