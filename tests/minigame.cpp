// A small game on the real window, view, cursor and platform, for the end-to-end
// tests. Its loop has the shape of the real game's: one keyboard snapshot per pass,
// a click handled with the cursor hidden and then waited out, a key acted on once
// and waited out, and a frame copy at the end of every pass.
//
// A click leaves a mark under the cursor; each of the nine keys toggles a box of
// its own at the bottom; Escape asks the application to quit and idles, as the
// victory screen does; the secondary button makes the game stop polling for good.
// It tells what it sees on stdout, one line per event.
#include <cstdio>
#include <cstring>

#include "platform/app.h"
#include "platform/input.h"
#include "platform/kernel.h"
#include "souris/souris.h"
#include "unit/unit.h"

namespace {

const uint8 kKeys[9] = {KEY_KP3, KEY_KP7, KEY_KP9, KEY_KP1, KEY_KP6, KEY_KP4, KEY_SPACE, KEY_ENTER, KEY_ESCAPE};

BApplication* app;
key_info keys;

bool down(uint8 code) { return key_down(keys, code); }

void fill(int x, int y, int w, int h, uint32 colour) {
    for (int r = y; r < y + h; r++)
        for (int c = x; c < x + w; c++) std::memcpy(_ECRAN + r * 2560 + c * 4, &colour, 4);
}

int32 game(void*) {
    _VIDEO = static_cast<char*>(Window->CardInfo()->frame_buffer);
    _ECRAN = new char[640 * 480 * 4];
    for (int y = 0; y < 480; y++)
        for (int x = 0; x < 640; x++) fill(x, y, 1, 1, 0xFF000000u | uint32(x / 3) << 16 | uint32(y / 2) << 8 | 0x40);
    Souris = new SourisType;
    for (int y = 0; y < 16; y++)
        for (int x = 0; x <= y && x < 11; x++) Souris->Forme[y * 16 + x] = x == 0 || x == y ? 0xFF000000u : 0xFFFFFFFFu;
    Souris->Show();
    _UPDATE();
    std::printf("ready\n");
    int lastx = -1, lasty = -1;
    bool lit[9] = {};
    for (;; _UPDATE()) {
        get_key_info(&keys);
        if (Souris->x != lastx || Souris->y != lasty)
            std::printf("mouse %d %d\n", lastx = Souris->x, lasty = Souris->y);
        if (Souris->Bouton2) wait_forever();
        if (Souris->Bouton1) {
            Souris->Hide();
            int x = Souris->x, y = Souris->y;
            fill(x < 632 ? x : 632, y < 472 ? y : 472, 8, 8, 0xFFFF2020u);
            std::printf("click %d %d\n", x, y);
            Souris->Show();
            while (Souris->Bouton1) spin_hint();
        }
        for (int i = 0; i < 9; i++) {
            if (!down(kKeys[i])) continue;
            std::printf("key 0x%02x numlock %d\n", kKeys[i], keys.modifiers & KEY_NUM_LOCK ? 1 : 0);
            if (kKeys[i] == KEY_ESCAPE) {
                app->PostMessage(B_QUIT_REQUESTED);
                wait_forever();
            }
            Souris->Hide();
            fill(16 + i * 40, 440, 24, 24, (lit[i] = !lit[i]) ? 0xFF20E020u : 0xFF101010u);
            Souris->Show();
            _UPDATE();
            while (down(kKeys[i])) get_key_info(&keys);
        }
    }
}

} // namespace

int main() {
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // the tests read each line as it comes
    BApplication application("application/x-vnd.globoid-minigame");
    app = &application;
    Window = new WindowType;
    Window->Show();
    while (!Connected) spin_hint();
    Window->Thread = spawn_thread(game, "minigame", B_NORMAL_PRIORITY, nullptr);
    erreur = resume_thread(Window->Thread);
    application.Run();
    std::printf("done\n");
    return 0;
}
