// The application: takes the screen, then starts the game thread.
#include "control/control.h"

#include "platform/kernel.h"
#include "souris/souris.h"

AppType* MonApp;

AppType::AppType() : BApplication("application/x-vnd.Be-Globoid") {
    Connected = false;
    Window = new WindowType();
    Window->Show();
    while (!Connected) spin_hint();
    Window->Thread = spawn_thread(MonProg, "Le thread de folie", B_NORMAL_PRIORITY, nullptr);
    erreur = resume_thread(Window->Thread);
}

AppType::~AppType() {}
