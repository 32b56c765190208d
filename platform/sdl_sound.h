#pragma once
// Internal to platform/: the SDL device's sounds. They play on a thread of their
// own, which opens the audio device for a sound and closes it a little after the
// last one, so that an idle game has no audio thread waking it.
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/resources.h"

namespace platform {

class SdlSound {
public:
    ~SdlSound() { stop(); }
    // Any thread; returns at once. Plays the samples, cutting short what plays.
    void play(Samples samples);
    // Main thread, before SDL_Quit: ends the thread; nothing plays afterwards.
    void stop();

private:
    void run();

    std::mutex mu_;
    std::condition_variable cv_;
    std::thread thread_;
    Samples next_{nullptr, 0};
    bool pending_ = false, stopping_ = false;
};

} // namespace platform
