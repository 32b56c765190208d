#pragma once
// The full-screen window and its view, and the mouse cursor with its thread.
#include <atomic>

#include "platform/kernel.h"
#include "platform/screen.h"

class WindowType : public BWindowScreen {
public:
    WindowType();
    ~WindowType() override;
    // Gives the screen back, kills the game and mouse threads, closes the window.
    void Quit() override;
    void ScreenConnected(bool connected) override;

    std::atomic<thread_id> Thread{0}; // the game thread
};

class ViewType : public BView {
public:
    ViewType();
    ~ViewType() override;
};

// The game's own mouse cursor, drawn into _ECRAN by the mouse thread while shown.
// Invariant: while Visible, the cursor is drawn at (oldx, oldy) and Fond holds what
// lies under it; while hidden, it is not in _ECRAN and the button flags stay put.
class SourisType {
public:
    // Starts the mouse thread, with the cursor hidden and both pictures cleared.
    SourisType();
    // Draws the cursor at the current position. Only while hidden.
    void Show();
    // Takes the cursor out of _ECRAN. Only while shown.
    void Hide();
    // Reads the 16x16 cursor picture from file s into Forme.
    void Load(const char* s);
    // The mouse thread; pointeur is the object.
    static int32 GetSouris(void* pointeur);

    thread_id Thread;
    std::atomic<bool> Bouton1, Bouton2, Bouton3;
    std::atomic<int16> x, y; // top-left pixel, at most 623 and 463
    int16 oldx, oldy;        // where the cursor was last drawn or erased
    uint32* Forme;           // 16x16 picture, 0 is transparent
    uint32* Fond;            // the 16x16 pixels under the drawn cursor
    std::atomic<bool> Visible;
};

// The start-up of the screen: makes Window and shows it, spins until the screen is
// connected, then starts `game` as the game thread, unless it is null. The game's
// application runs it; so do the programs that stand in for the game.
void OpenWindow(thread_func game, const char* name);

extern WindowType* Window;
extern ViewType* View;
extern SourisType* Souris;
extern std::atomic<bool> Connected; // the screen has been handed to Window
extern status_t erreur;
