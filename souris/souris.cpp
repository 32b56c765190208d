// The mouse cursor and the mouse thread that moves it inside _ECRAN.
#include "souris/souris.h"

#include "platform/kernel.h"
#include "unit/unit.h"

SourisType* Souris;

SourisType::SourisType()
    : Thread(0), Bouton1(false), Bouton2(false), Bouton3(false), x(0), y(0), oldx(0), oldy(0), Forme(new uint32[256]()),
      Fond(new uint32[256]()), Visible(false) {
    _SOURIS = reinterpret_cast<char*>(Forme);
    _SSOURIS = reinterpret_cast<char*>(Fond);
    // The thread gets the object itself: Souris is set only once this returns.
    Thread = spawn_thread(GetSouris, "Le thread de la souris", B_NORMAL_PRIORITY, this);
    resume_thread(Thread);
}

// Show and Hide take the window's lock, as the mouse thread does for each pass, so
// that neither runs in the middle of a pass.
void SourisType::Show() {
    Window->Lock();
    oldx = x;
    oldy = y;
    Visible = true;
    _DRAWSOURIS(x, y);
    Window->Unlock();
}

void SourisType::Hide() {
    Window->Lock();
    oldx = x;
    oldy = y;
    Visible = false;
    _EFFSOURIS(oldx, oldy);
    Window->Unlock();
}

int32 SourisType::GetSouris(void* pointeur) {
    SourisType* souris = static_cast<SourisType*>(pointeur);
    BPoint Point;
    uint32 Boutons;
    for (;;) {
        Window->Lock();
        View->GetMouse(&Point, &Boutons, false);
        // Clamped before it is stored, so the game never reads a position past the edge.
        int16 px = int16(Point.x), py = int16(Point.y);
        souris->x = px > 623 ? int16(623) : px;
        souris->y = py > 463 ? int16(463) : py;
        if (souris->Visible) {
            if (souris->x != souris->oldx || souris->y != souris->oldy) {
                _EFFSOURIS(souris->oldx, souris->oldy);
                _DRAWSOURIS(souris->x, souris->y);
                souris->oldx = souris->x;
                souris->oldy = souris->y;
            }
            souris->Bouton1 = (Boutons & 1) != 0;
            souris->Bouton2 = (Boutons & 2) != 0;
            souris->Bouton3 = (Boutons & 4) != 0;
        }
        Window->Unlock();
    }
}
