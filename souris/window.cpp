// The full-screen window and its one view.
#include "platform/kernel.h"
#include "souris/souris.h"

WindowType* Window;
ViewType* View;
std::atomic<bool> Connected;
status_t erreur;

WindowType::WindowType() : BWindowScreen("le titre", B_32_BIT_640x480, &erreur, false) {
    View = new ViewType;
    AddChild(View);
}

WindowType::~WindowType() = default;

// Only the first call matters: the start-up waits for it.
void WindowType::ScreenConnected(bool /*connected*/) { Connected = true; }

// The game thread first: once it has stopped, Souris no longer changes.
// A thread that has not been started yet is skipped.
void WindowType::Quit() {
    Disconnect();
    if (Window->Thread > 0) kill_thread(Window->Thread);
    if (Souris) kill_thread(Souris->Thread);
    BWindowScreen::Quit();
}

void OpenWindow(thread_func game, const char* name) {
    Connected = false;
    Window = new WindowType();
    Window->Show();
    while (!Connected) spin_hint();
    if (!game) return;
    Window->Thread = spawn_thread(game, name, B_NORMAL_PRIORITY, nullptr);
    erreur = resume_thread(Window->Thread);
}

ViewType::ViewType() : BView(BRect(0, 0, 639, 479), "View main", B_FOLLOW_NONE, 0) {}

ViewType::~ViewType() = default;
