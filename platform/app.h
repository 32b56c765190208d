#pragma once
// The application, its message loop, and the lock every looper carries.
#include "platform/types.h"

enum : uint32 { B_QUIT_REQUESTED = 0x5F515251 }; // '_QRQ'

// Runs this process on the headless device (no display; input comes only through
// the input queue) instead of the SDL display; with list_sounds, it says on stdout
// which sounds the game plays, one a line. Call before anything else of the platform.
void use_headless_device(bool list_sounds = false);
// The display starts in a window instead of full screen; call before the
// application is made. F11 and Alt+Enter switch between the two at any time.
void use_window(bool windowed);
// Called on the main thread with the new state each time the player switches.
void on_window_switch(void (*hook)(bool windowed));

class BLooper {
public:
    virtual ~BLooper();
    // Takes the looper's lock, waiting while another thread holds it; recursive for
    // the holder. A kill point while it waits. True once held.
    bool Lock();
    // Gives one level of the lock back.
    void Unlock();
    // Queues a message that carries only its command; the looper's thread handles it.
    status_t PostMessage(uint32 command);
    // Ends the looper's message loop; called with the lock held.
    virtual void Quit();

    BLooper(const BLooper&) = delete;
    BLooper& operator=(const BLooper&) = delete;

protected:
    BLooper();
    friend struct LooperAccess;
    struct State;
    State* state_;
};

class BApplication : public BLooper {
public:
    // Registers the application and takes the display device chosen for this run.
    explicit BApplication(const char* signature);
    ~BApplication() override;
    // Runs the message loop on the calling thread. B_QUIT_REQUESTED (posted, or the
    // window closed, or SIGINT/SIGTERM) quits the window, and then Run returns.
    thread_id Run();
};
