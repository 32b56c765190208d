// The SDL device's sounds; see sdl_sound.h.
#include "platform/sdl_sound.h"

#include <SDL.h>
#include <chrono>
#include <dlfcn.h>

namespace platform {

namespace {

// How long the device stays open after a sound has ended, for the next one.
constexpr auto kLinger = std::chrono::seconds(3);

void say_nothing(const char*, int, const char*, int, const char*, ...) {}

// ALSA's library reports a missing sound card on stderr by itself; without one
// the game is to play silently. SDL loads this same library later, and the
// handler stays with it.
void quiet_alsa() {
    void* lib = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
    if (!lib) return;
    using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
    if (auto set = reinterpret_cast<int (*)(Handler)>(dlsym(lib, "snd_lib_error_set_handler"))) set(say_nothing);
}

SDL_AudioDeviceID open_device() {
    SDL_AudioSpec want{};
    want.freq = kSoundRate;
    want.format = AUDIO_S16SYS;
    want.channels = 1;
    want.samples = 512;
    return SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
}

} // namespace

void SdlSound::play(Samples samples) {
    if (!samples.data || !samples.count) return;
    std::lock_guard<std::mutex> g(mu_);
    if (stopping_) return;
    next_ = samples;
    pending_ = true;
    if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
    cv_.notify_all();
}

void SdlSound::stop() {
    {
        std::lock_guard<std::mutex> g(mu_);
        stopping_ = true;
        cv_.notify_all();
    }
    if (thread_.joinable()) thread_.join();
}

void SdlSound::run() {
    quiet_alsa();
    bool audio = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    SDL_AudioDeviceID device = 0;
    std::chrono::steady_clock::time_point close_at;
    std::unique_lock<std::mutex> g(mu_);
    for (;;) {
        auto asked = [this] { return pending_ || stopping_; };
        if (!device)
            cv_.wait(g, asked);
        else if (!cv_.wait_until(g, close_at, asked)) {
            SDL_CloseAudioDevice(device);
            device = 0;
            continue;
        }
        if (stopping_) break;
        Samples samples = next_;
        pending_ = false;
        g.unlock();
        if (audio && !device) device = open_device();
        if (device) {
            SDL_ClearQueuedAudio(device);
            SDL_QueueAudio(device, samples.data, Uint32(samples.count * sizeof *samples.data));
            SDL_PauseAudioDevice(device, 0);
        }
        g.lock();
        if (device)
            close_at = std::chrono::steady_clock::now() + kLinger +
                       std::chrono::milliseconds(samples.count * 1000 / kSoundRate);
    }
    g.unlock();
    if (device) SDL_CloseAudioDevice(device);
    if (audio) SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

} // namespace platform
