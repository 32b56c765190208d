// The title and victory screens: a full-screen picture, shown until a key.
#include "assets/assets.h"

#include "control/control.h"
#include "platform/kernel.h"
#include "unit/unit.h"

namespace {

// Space, Enter or Escape, tested in that order. A key already held counts.
bool ends_screen() {
    return (Key->key_states[11] & 0x02) || (Key->key_states[8] & 0x01) || (Key->key_states[0] & 0x40);
}

void show_until_key(const char* s) {
    LoadEcran(s, _ECRAN);
    _UPDATE();
    do
        get_key_info(Key);
    while (!ends_screen());
}

} // namespace

void Presentation() { show_until_key("Sprites/presentation.tga"); }

void Gagne() {
    show_until_key("Sprites/victoire.tga");
    MonApp->PostMessage(B_QUIT_REQUESTED);
    wait_forever();
}
