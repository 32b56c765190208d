// The game thread: start-up, then the input loop for ever.
#include "control/control.h"

#include "assets/assets.h"
#include "draw/draw.h"
#include "platform/kernel.h"
#include "rules/rules.h"
#include "souris/souris.h"
#include "unit/unit.h"

key_info* Key;

namespace {

// The six direction keys in the order they are tested: keypad 3, 7, 9, 1, 6, 4.
// They surround keypad 5 as the six neighbours of a cell surround it.
struct Direction {
    uint8 key;
    char sens;
};
const Direction kDirections[6] = {
    {KEY_KP3, 0}, // down-right
    {KEY_KP7, 3}, // up-left
    {KEY_KP9, 2}, // up-right
    {KEY_KP1, 5}, // down-left
    {KEY_KP6, 1}, // right
    {KEY_KP4, 4}, // left
};

bool down(const Direction& d) { return key_down(*Key, d.key); }

} // namespace

int32 MonProg(void* /*pointeur*/) {
    _VIDEO = static_cast<char*>(Window->CardInfo()->frame_buffer);

    // Cleared, so that a picture that fails to load shows black, not stale memory.
    _ECRAN = new char[kScreenBytes]();
    _FOND = new char[kScreenBytes]();
    _BOULE1 = new char[kSpriteBytes]();
    _BOULE2 = new char[kSpriteBytes]();
    _ANNEAU = new char[kSpriteBytes]();
    _NB = new char[kDigitsBytes]();
    Key = new key_info();

    Souris = new SourisType();
    Souris->Load("Sprites/souris.tga");
    LoadBoules();
    Presentation();
    LoadFond();
    Score[1] = 0;
    Score[2] = 0;
    SetJeu();
    Tour = 1;
    AffScore();
    Souris->Show();
    _UPDATE();

    for (;;) {
        get_key_info(Key);

        if (Souris->Bouton1) {
            Souris->Hide();
            Selectionne();
            Souris->Show();
            // The release shows only once the cursor is back: one selection step per press.
            while (Souris->Bouton1) spin_hint();
        }

        for (const Direction& d : kDirections) {
            if (!down(d)) continue;
            if (NbSelec != 0) Joue(d.sens);
            _UPDATE();
            // One move per press, however long the key is held.
            while (down(d)) get_key_info(Key);
        }

        _UPDATE();
    }
}
