// The title and victory screens: a full-screen picture, shown until a key.
#include "assets/assets.h"

#include "control/control.h"
#include "platform/kernel.h"
#include "unit/unit.h"

namespace {

// Space, Enter or Escape, tested in that order. A key already held counts.
bool ends_screen() { return key_down(*Key, KEY_SPACE) || key_down(*Key, KEY_ENTER) || key_down(*Key, KEY_ESCAPE); }

void show_until_key(const char* s) {
    LoadEcran(s, _ECRAN);
    _UPDATE();
    do get_key_info(Key);
    while (!ends_screen());
}

} // namespace

void Presentation() { show_until_key("Sprites/presentation.tga"); }

void Gagne() {
    show_until_key("Sprites/victoire.tga");
    MonApp->PostMessage(B_QUIT_REQUESTED);
    wait_forever();
}
