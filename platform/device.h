#pragma once
// Internal to platform/: the display device behind the screen and the application
// loop. Two implement it, SDL2 and headless; one is chosen once per process.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/sound.h"
#include "platform/types.h"

namespace platform {

class Device {
public:
    virtual ~Device() = default;
    // Main thread. Opens the display; false, with the cause in *why, when it cannot.
    virtual bool open(const char* title, std::string* why) = 0;
    // Main thread. Makes the opened display visible.
    virtual void show() {}
    // 480 rows of 2560 bytes, blue, green, red, fourth byte; lives as long as the process.
    virtual char* frame_buffer() = 0;
    // Main thread, inside BApplication::Run: input, presentation and app_service()
    // until the application is done.
    virtual void run() = 0;
    // Any thread: a new frame is in the frame buffer, or the application has work.
    virtual void wake() = 0;
    // Main thread. Closes the display; nothing reaches it afterwards.
    virtual void close() = 0;
    // Any thread; returns at once. Plays s, or notes that it was asked for.
    virtual void play(Sound s) = 0;
};

constexpr size_t kFrameBytes = 640 * 480 * 4;

// The device of this process, made on first use: the SDL display, or headless
// once use_headless_device ran.
Device& device();
std::unique_ptr<Device> make_sdl_device();
std::unique_ptr<Device> make_headless_device();
// Whether the headless device says on stdout which sounds the game plays.
bool headless_lists_sounds();
// Whether the display starts in a window, and whom to tell when the player switches.
bool starts_windowed();
void window_switched(bool windowed);

// The frame as the last whole _UPDATE left it: 640x480 words 0xAARRGGBB.
std::vector<uint32_t> copy_frame();

// The raw key code for an SDL scancode, or 0 for a key the game has no code for.
// With Ctrl held, the letters that stand for keypad keys are themselves (Ctrl+Z
// is not a move).
int raw_key_for_scancode(int scancode, bool control = false);

// The program's short name, for messages on stderr.
const char* program_name();

} // namespace platform
