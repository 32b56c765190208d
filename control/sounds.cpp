#include "control/sounds.h"

#include <cstring>

#include "rules/rules.h"

bool sound_of(const seats::Position& before, const seats::Position& after, Sound* out) {
    bool moved[3] = {}; // by player: a marble of theirs left a cell or came into one
    auto mark = [&moved](int8_t v) {
        if (v == 1 || v == 2) moved[v] = true;
    };
    for (int y = 0; y < 22; y++)
        for (int x = 0; x < 22; x++)
            if (before.grid[y][x] != after.grid[y][x]) {
                mark(before.grid[y][x]);
                mark(after.grid[y][x]);
            }
    bool scored = false, won = false;
    for (int p = 1; p <= 2; p++) {
        scored |= after.score[p] > before.score[p];
        won |= after.score[p] >= 6 && before.score[p] < 6;
    }
    if (!moved[1] && !moved[2] && !scored) return false;
    *out = won ? Sound::Victory : scored ? Sound::Off : moved[1] && moved[2] ? Sound::Push : Sound::Move;
    return true;
}

void listen_for_sounds(const key_info& keys) {
    static bool m_held = false, playing = false;
    static seats::Position last;
    const bool m = key_down(keys, KEY_M);
    if (m && !m_held) toggle_sound();
    m_held = m;
    seats::Position now;
    std::memcpy(now.grid, Jeu, sizeof now.grid);
    now.tour = int8_t(Tour);
    std::memcpy(now.score, Score, sizeof now.score);
    // The turn is set once the opening position is up: that is the first position.
    Sound s;
    if (playing && sound_of(last, now, &s)) play_sound(s);
    playing = Tour != 0;
    last = now;
}
