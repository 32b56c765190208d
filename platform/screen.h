#pragma once
// The full-screen window, its views and the frame buffer it hands out.
#include "platform/app.h"

enum : uint32 { B_32_BIT_640x480 = 0x400 };
enum : uint32 { B_FOLLOW_NONE = 0 };

struct graphics_card_info {
    void* frame_buffer;   // 480 rows of 2560 bytes; pixels blue, green, red, fourth byte
    int16 bits_per_pixel; // 32
    int16 bytes_per_row;  // 2560
    int16 width, height;  // 640, 480
};

class BWindow;

class BView {
public:
    BView(BRect frame, const char* name, uint32 resizing_mode, uint32 flags);
    virtual ~BView();
    // The pointer in view coordinates and the buttons as bits 1, 2 and 4 (primary,
    // secondary, tertiary). Call with the window locked. May wait briefly for the
    // mouse to change first; it lets the window's lock go while it waits.
    void GetMouse(BPoint* where, uint32* buttons, bool check_queue = true);

    BView(const BView&) = delete;
    BView& operator=(const BView&) = delete;

private:
    friend class BWindow;
    BRect frame_;
    BWindow* window_ = nullptr;
};

class BWindow : public BLooper {
public:
    void AddChild(BView* child, BView* before = nullptr);

protected:
    BWindow() = default;
};

class BWindowScreen : public BWindow {
public:
    // Takes the whole screen in the given mode; *error gets B_OK or why it failed.
    BWindowScreen(const char* title, uint32 space, status_t* error, bool debug_enable = false);
    ~BWindowScreen() override;
    // Starts the window's thread, which calls ScreenConnected(true) once the screen is
    // ours. When the screen cannot be taken, says why on stderr and exits non-zero.
    void Show();
    // Called on the window's thread when the screen is handed over or taken away.
    virtual void ScreenConnected(bool connected);
    // The mode and its frame buffer, valid while connected.
    graphics_card_info* CardInfo();
    // Gives the screen back: from now on nothing reaches the frame buffer.
    void Disconnect();
    // Closes the window and ends its thread; called on that thread with the lock held.
    void Quit() override;

private:
    graphics_card_info info_{};
    bool opened_ = false;
};
