// The headless device: the frame buffer is plain memory, and input comes only
// through the input queue (a scripted seat) or from a test.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/core.h"
#include "platform/device.h"
#include "platform/sound.h"

namespace platform {

namespace {

class HeadlessDevice : public Device {
public:
    HeadlessDevice() : frame_(static_cast<char*>(std::aligned_alloc(64, kFrameBytes))) {
        std::memset(frame_, 0, kFrameBytes);
    }

    bool open(const char*, std::string*) override { return true; }
    char* frame_buffer() override { return frame_; }

    // A scripted run says on stdout which sounds it was asked for, one a line.
    void play(Sound s) override {
        if (!headless_lists_sounds()) return;
        std::printf("sound %s\n", sound_name(s));
        std::fflush(stdout);
    }

    // Serves the application until it is done.
    void run() override {
        Core& c = core();
        for (;;) {
            {
                Guard g(c.mu);
                wait_until(g, self(g), app_wake_at(g), [&] { return app_has_work(g); });
            }
            if (!app_service()) return;
        }
    }

    void wake() override {
        Guard g(core().mu);
        core().cv.notify_all();
    }

    void close() override {}

private:
    char* frame_;
};

} // namespace

std::unique_ptr<Device> make_headless_device() { return std::make_unique<HeadlessDevice>(); }

} // namespace platform
