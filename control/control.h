#pragma once
// The application and the game thread.
#include "platform/app.h"
#include "platform/input.h"

class AppType : public BApplication {
public:
    // Takes the screen, waits until it is ours, then starts the game thread.
    AppType();
    ~AppType() override;
};

// The game thread: start-up, then the input loop for ever.
int32 MonProg(void* pointeur);

extern AppType* MonApp;
extern key_info* Key; // the keyboard snapshot the loop and both screens poll
