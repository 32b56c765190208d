// The SDL2 device: a window over the whole desktop, or a window of any size, that
// shows the 640x480 frame as large as it fits with its aspect kept, letterboxed. Only the main thread calls SDL's
// video and event functions; the game reaches it only through the frame buffer and
// the wake-up event that a finished _UPDATE pushes.
#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/core.h"
#include "platform/device.h"
#include "platform/input.h"
#include "platform/resources.h"
#include "platform/sdl_sound.h"

namespace platform {

namespace {

// The raw key codes the game knows. Keys go by scancode, that is by position, so
// Num Lock changes nothing and any keyboard layout works. The six letters around
// S stand for the keypad keys in the same places round keypad 5.
const struct {
    SDL_Scancode scancode;
    uint8 code;
} kKeys[] = {
    {SDL_SCANCODE_ESCAPE, KEY_ESCAPE}, {SDL_SCANCODE_KP_7, KEY_KP7},    {SDL_SCANCODE_KP_9, KEY_KP9},
    {SDL_SCANCODE_RETURN, KEY_ENTER},  {SDL_SCANCODE_KP_4, KEY_KP4},    {SDL_SCANCODE_KP_6, KEY_KP6},
    {SDL_SCANCODE_KP_1, KEY_KP1},      {SDL_SCANCODE_KP_3, KEY_KP3},    {SDL_SCANCODE_SPACE, KEY_SPACE},
    {SDL_SCANCODE_W, KEY_KP7},         {SDL_SCANCODE_E, KEY_KP9},       {SDL_SCANCODE_A, KEY_KP4},
    {SDL_SCANCODE_D, KEY_KP6},         {SDL_SCANCODE_Z, KEY_KP1},       {SDL_SCANCODE_X, KEY_KP3},
    {SDL_SCANCODE_M, KEY_M},           {SDL_SCANCODE_C, KEY_C},         {SDL_SCANCODE_BACKSPACE, KEY_BACKSPACE},
    {SDL_SCANCODE_H, KEY_H},           {SDL_SCANCODE_R, KEY_R},         {SDL_SCANCODE_O, KEY_O},
    {SDL_SCANCODE_LEFT, KEY_LEFT},     {SDL_SCANCODE_RIGHT, KEY_RIGHT}, {SDL_SCANCODE_HOME, KEY_HOME},
    {SDL_SCANCODE_END, KEY_END},
};
const struct {
    SDL_Scancode scancode;
    uint8 code;
} kLetters[] = {{SDL_SCANCODE_W, KEY_W}, {SDL_SCANCODE_E, KEY_E}, {SDL_SCANCODE_A, KEY_A},
                {SDL_SCANCODE_D, KEY_D}, {SDL_SCANCODE_Z, KEY_Z}, {SDL_SCANCODE_X, KEY_X}};

std::string one_line(std::string s) {
    std::replace(s.begin(), s.end(), '\n', ' ');
    return s;
}

bool driver_compiled(const char* name) {
    for (int i = 0; i < SDL_GetNumVideoDrivers(); i++)
        if (std::strcmp(SDL_GetVideoDriver(i), name) == 0) return true;
    return false;
}

// SDL falls back on its invisible offscreen driver when there is no display; only
// real displays will do, unless the user names a driver.
bool init_video(std::string* why) {
    if (std::getenv("SDL_VIDEODRIVER")) {
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) return true;
        *why = "SDL_VIDEODRIVER=" + std::string(std::getenv("SDL_VIDEODRIVER")) + ": " + one_line(SDL_GetError());
        return false;
    }
    std::string tried;
    auto note = [&](const char* name, const std::string& cause) {
        tried += (tried.empty() ? "" : "; ") + std::string(name) + ": " + cause;
    };
    for (const char* name : {"x11", "wayland", "kmsdrm"}) {
        if (!driver_compiled(name)) continue;
        // Without these the drivers cannot connect, and Wayland's library would
        // say so on stderr itself.
        if (std::strcmp(name, "x11") == 0 && !std::getenv("DISPLAY")) {
            note(name, "DISPLAY is not set");
            continue;
        }
        if (std::strcmp(name, "wayland") == 0 && !std::getenv("XDG_RUNTIME_DIR")) {
            note(name, "XDG_RUNTIME_DIR is not set");
            continue;
        }
        SDL_SetHint(SDL_HINT_VIDEODRIVER, name);
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) return true;
        note(name, one_line(SDL_GetError()));
    }
    *why = "no display found (" + (tried.empty() ? std::string("no display driver in SDL") : tried) + ")";
    return false;
}

// The program's own icon, when it carries one; without it the window keeps the
// display's default.
void set_icon(SDL_Window* window) {
    const Icon* icon = registered_icon();
    if (!icon) return;
    // SDL copies the pixels and never writes through this pointer.
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint8*>(icon->rgba), icon->width, icon->height,
                                                              32, icon->width * 4, SDL_PIXELFORMAT_RGBA32);
    if (!surface) return;
    SDL_SetWindowIcon(window, surface);
    SDL_FreeSurface(surface);
}

class SdlDevice : public Device {
public:
    bool open(const char* title, std::string* why) override {
        SDL_SetMainReady();
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        if (!init_video(why)) return false;
        windowed_size_ = window_size();
        // Without a window manager to make it full screen, the window keeps the size
        // it was made with, so it is made as large as the screen.
        SDL_Rect at{int(SDL_WINDOWPOS_CENTERED), int(SDL_WINDOWPOS_CENTERED), windowed_size_.w, windowed_size_.h};
        Uint32 flags = SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE;
        if (!starts_windowed() && SDL_GetDisplayBounds(0, &at) == 0)
            flags |= SDL_WINDOW_FULLSCREEN_DESKTOP | SDL_WINDOW_BORDERLESS;
        else if (!starts_windowed())
            flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
        window_ = SDL_CreateWindow(title, at.x, at.y, at.w, at.h, flags);
        if (!window_) return fail(why, "cannot create the window");
        SDL_SetWindowMinimumSize(window_, 160, 120);
        set_icon(window_);
        renderer_ = SDL_CreateRenderer(window_, -1, 0);
        if (!renderer_) return fail(why, "cannot render to the window");
        texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_XRGB8888, SDL_TEXTUREACCESS_STREAMING, 640, 480);
        if (!texture_) return fail(why, "cannot make the frame texture");
        frame_ = static_cast<char*>(std::aligned_alloc(64, kFrameBytes));
        std::memset(frame_, 0, kFrameBytes);
        shown_.assign(kFrameBytes, 0);
        SDL_UpdateTexture(texture_, nullptr, shown_.data(), 2560);
        wake_event_ = SDL_RegisterEvents(1);
        SDL_ShowCursor(SDL_DISABLE);
        opened_ = true;
        return true;
    }

    void show() override {
        SDL_ShowWindow(window_);
        SDL_PumpEvents();
        place();
        seed_pointer();
        force_ = true;
        present();
    }

    char* frame_buffer() override { return frame_; }

    void run() override {
        SDL_PumpEvents();
        if (!moved_) seed_pointer();
        for (;;) {
            SDL_Event e;
            // Frames, quit requests and signals each push an event, so an idle game
            // sleeps here.
            if (SDL_WaitEventTimeout(&e, wait_ms())) {
                handle(e);
                while (SDL_PollEvent(&e)) handle(e);
            }
            present();
            if (!app_service()) return;
        }
    }

    // A second at most, less when a quit's grace ends sooner (see app_service).
    int wait_ms() {
        Guard g(core().mu);
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(app_wake_at(g) - Clock::now()).count();
        return int(std::clamp<decltype(left)>(left + 1, 0, 1000));
    }

    void wake() override {
        if (wake_pending_.exchange(true)) return;
        Guard g(core().mu);
        if (!opened_ || closed_) return;
        SDL_Event e;
        SDL_zero(e);
        e.type = wake_event_;
        SDL_PushEvent(&e);
    }

    void close() override {
        {
            Guard g(core().mu);
            if (!opened_ || closed_) return;
            closed_ = true;
        }
        if (sharp_) SDL_DestroyTexture(sharp_);
        sound_.stop();
        SDL_DestroyTexture(texture_);
        SDL_DestroyRenderer(renderer_);
        SDL_DestroyWindow(window_);
        SDL_Quit();
    }

    void play(Sound s) override { sound_.play(registered_sound(s)); }

private:
    bool fail(std::string* why, const char* what) {
        *why = std::string(what) + ": " + one_line(SDL_GetError());
        return false;
    }

    // A window of the largest whole scale of the frame that leaves a tenth of the
    // desktop's usable area free, 640x480 at least.
    SDL_Rect window_size() {
        SDL_Rect usable{0, 0, 640, 480};
        const int display = window_ ? std::max(0, SDL_GetWindowDisplayIndex(window_)) : 0;
        if (SDL_GetDisplayUsableBounds(display, &usable) != 0) return {0, 0, 640, 480};
        const int scale = std::max(1, std::min(usable.w * 9 / 10 / 640, usable.h * 9 / 10 / 480));
        return {0, 0, 640 * scale, 480 * scale};
    }

    // Full screen over the desktop; without a window manager, as when it is made.
    void go_full_screen() {
        SDL_Rect at;
        if (SDL_GetDisplayBounds(std::max(0, SDL_GetWindowDisplayIndex(window_)), &at) == 0) {
            SDL_SetWindowBordered(window_, SDL_FALSE);
            SDL_SetWindowPosition(window_, at.x, at.y);
            SDL_SetWindowSize(window_, at.w, at.h);
        }
        SDL_SetWindowFullscreen(window_, SDL_WINDOW_FULLSCREEN_DESKTOP);
    }

    // F11 and Alt+Enter: full screen to a window of the size it last had, and back.
    void switch_window() {
        const bool to_window = SDL_GetWindowFlags(window_) & SDL_WINDOW_FULLSCREEN_DESKTOP;
        if (to_window) {
            SDL_SetWindowFullscreen(window_, 0);
            SDL_SetWindowBordered(window_, SDL_TRUE);
            SDL_SetWindowSize(window_, windowed_size_.w, windowed_size_.h);
            SDL_SetWindowPosition(window_, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
        } else {
            SDL_GetWindowSize(window_, &windowed_size_.w, &windowed_size_.h);
            go_full_screen();
        }
        place();
        force_ = true;
        window_switched(to_window);
    }

    // Before the first motion the pointer is wherever the desktop has it.
    void seed_pointer() {
        int gx, gy, wx, wy;
        SDL_GetGlobalMouseState(&gx, &gy);
        SDL_GetWindowPosition(window_, &wx, &wy);
        set_pointer(to_frame_x(gx - wx), to_frame_y(gy - wy));
        set_modifiers((SDL_GetModState() & KMOD_NUM) ? uint32(KEY_NUM_LOCK) : 0u);
    }

    // The pointer stays where it is on the desktop while the picture moves or
    // grows under it: the game's cursor goes where the pointer now is on the frame.
    void repoint() {
        int gx, gy, wx, wy;
        SDL_GetGlobalMouseState(&gx, &gy);
        SDL_GetWindowPosition(window_, &wx, &wy);
        input::post(input::Source::Person, {input::Event::move(to_frame_x(gx - wx), to_frame_y(gy - wy))});
    }

    void handle(const SDL_Event& e) {
        if (e.type == wake_event_) {
            wake_pending_ = false;
            return;
        }
        switch (e.type) {
        case SDL_QUIT: request_quit(); break;
        case SDL_RENDER_TARGETS_RESET: refill_ = force_ = true; break;
        case SDL_WINDOWEVENT:
            if (e.window.event == SDL_WINDOWEVENT_CLOSE) request_quit();
            if (e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) place();
            if (moved_ && (e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED || e.window.event == SDL_WINDOWEVENT_MOVED))
                repoint();
            if (e.window.event == SDL_WINDOWEVENT_EXPOSED || e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED)
                force_ = true;
            // Whatever the person held down is let go; what was on its way is dropped.
            if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST) input::cancel(input::Source::Person);
            break;
        case SDL_MOUSEMOTION:
            // On the letterbox bands the position lies outside the frame, and
            // set_pointer clamps it.
            moved_ = true;
            input::post(input::Source::Person, {input::Event::move(to_frame_x(e.motion.x), to_frame_y(e.motion.y))});
            break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP: {
            int button = e.button.button == SDL_BUTTON_LEFT     ? 1
                         : e.button.button == SDL_BUTTON_RIGHT  ? 2
                         : e.button.button == SDL_BUTTON_MIDDLE ? 3
                                                                : 0;
            // The press or release where it happened, whatever moves follow at once.
            std::vector<input::Event> batch = {input::Event::move(to_frame_x(e.button.x), to_frame_y(e.button.y))};
            if (button)
                batch.push_back(e.type == SDL_MOUSEBUTTONDOWN ? input::Event::press(button)
                                                              : input::Event::release(button));
            input::post(input::Source::Person, batch);
            break;
        }
        case SDL_KEYDOWN:
        case SDL_KEYUP: {
            set_modifiers((SDL_GetModState() & KMOD_NUM) ? uint32(KEY_NUM_LOCK) : 0u);
            bool down = e.type == SDL_KEYDOWN;
            if (down && e.key.keysym.scancode == SDL_SCANCODE_F4 && (e.key.keysym.mod & KMOD_ALT)) request_quit();
            // A key goes up as the code it went down as, whatever Ctrl did meanwhile.
            const int scancode = e.key.keysym.scancode;
            if (e.key.repeat || scancode < 0 || scancode >= SDL_NUM_SCANCODES) break;
            // F11 and Alt+Enter are the display's: the game sees neither (Enter would
            // leave the title), nor their release.
            const bool alt_enter =
                (scancode == SDL_SCANCODE_RETURN || scancode == SDL_SCANCODE_KP_ENTER) && (e.key.keysym.mod & KMOD_ALT);
            if (down && (scancode == SDL_SCANCODE_F11 || alt_enter)) {
                switch_window();
                down_as_[scancode] = 0;
                break;
            }
            int code = down ? raw_key_for_scancode(scancode, e.key.keysym.mod & KMOD_CTRL) : down_as_[scancode];
            down_as_[scancode] = down ? uint8(code) : 0;
            if (code) input::post(input::Source::Person, {input::Event::key(uint8(code), down)});
            break;
        }
        default: break;
        }
    }

    // Uploads the frame buffer when a new frame differs from the one on show; the
    // copy is taken while no _UPDATE writes, and the upload happens after.
    void present() {
        Core& c = core();
        {
            Guard g(c.mu);
            if (c.frame_gen == presented_gen_ && !force_) return;
            wait(g, self(g), [&] { return !c.copying; });
            presented_gen_ = c.frame_gen;
            c.presenting = true;
        }
        bool changed = std::memcmp(shown_.data(), frame_, kFrameBytes) != 0;
        if (changed) std::memcpy(shown_.data(), frame_, kFrameBytes);
        {
            Guard g(c.mu);
            c.presenting = false;
            c.cv.notify_all();
        }
        if (changed) SDL_UpdateTexture(texture_, nullptr, shown_.data(), 2560);
        if (changed || force_) {
            if (sharp_ && (changed || refill_)) {
                SDL_SetRenderTarget(renderer_, sharp_);
                SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
                SDL_SetRenderTarget(renderer_, nullptr);
            }
            SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
            SDL_RenderClear(renderer_);
            SDL_RenderCopy(renderer_, sharp_ ? sharp_ : texture_, nullptr, &place_);
            SDL_RenderPresent(renderer_);
        }
        force_ = refill_ = false;
    }

    // Where the frame goes in the window: as large as fits with its aspect kept,
    // centred. At a whole scale each pixel becomes a square of pixels. Otherwise
    // it is first enlarged to the next whole scale, pixel for pixel, and that is
    // brought to the final size with linear filtering: the pixels stay sharp and
    // of one size, and only their edges blend.
    void place() {
        int ww, wh, ow, oh;
        SDL_GetWindowSize(window_, &ww, &wh);
        if (SDL_GetRendererOutputSize(renderer_, &ow, &oh) != 0 || ow <= 0 || oh <= 0) return;
        window_to_output_ = ww > 0 ? float(ow) / float(ww) : 1;
        double scale = std::min(ow / 640.0, oh / 480.0);
        int w = std::max(1, int(std::lround(640 * scale))), h = std::max(1, int(std::lround(480 * scale)));
        place_ = {(ow - w) / 2, (oh - h) / 2, w, h};
        bool whole = w % 640 == 0 && h % 480 == 0;
        int next = int(std::ceil(scale));
        if (sharp_) SDL_DestroyTexture(sharp_);
        sharp_ = nullptr;
        if (!whole && next > 1)
            sharp_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_XRGB8888, SDL_TEXTUREACCESS_TARGET, 640 * next,
                                       480 * next);
        if (sharp_) SDL_SetTextureScaleMode(sharp_, SDL_ScaleModeLinear);
        SDL_SetTextureScaleMode(texture_, whole || sharp_ ? SDL_ScaleModeNearest : SDL_ScaleModeLinear);
        refill_ = true;
    }

    // A window position as a place in the 640x480 frame.
    float to_frame_x(int x) const { return (x * window_to_output_ - place_.x) * 640.0f / place_.w; }
    float to_frame_y(int y) const { return (y * window_to_output_ - place_.y) * 480.0f / place_.h; }

    SDL_Window* window_ = nullptr;
    SDL_Renderer* renderer_ = nullptr;
    SDL_Texture* texture_ = nullptr;
    SDL_Texture* sharp_ = nullptr; // the frame at the next whole scale, when the scale is not whole
    SDL_Rect place_{0, 0, 640, 480};
    SDL_Rect windowed_size_{0, 0, 640, 480}; // the window's size when it is not full screen
    float window_to_output_ = 1;
    bool refill_ = false; // sharp_ must be drawn again
    char* frame_ = nullptr;
    std::vector<char> shown_;
    bool opened_ = false, closed_ = false; // under the platform mutex
    std::atomic<bool> wake_pending_{false};
    Uint32 wake_event_ = 0;
    uint64_t presented_gen_ = 0;
    bool force_ = false, moved_ = false;
    SdlSound sound_;
    uint8 down_as_[SDL_NUM_SCANCODES] = {}; // the code each key went down as
};

} // namespace

int raw_key_for_scancode(int scancode, bool control) {
    for (const auto& k : kLetters)
        if (control && k.scancode == scancode) return k.code;
    for (const auto& k : kKeys)
        if (k.scancode == scancode) return k.code;
    return 0;
}

std::unique_ptr<Device> make_sdl_device() { return std::make_unique<SdlDevice>(); }

} // namespace platform
