#include "control/sounds.h"

bool sound_of(const seats::Position& before, const seats::Position& after, Sound* out) {
    bool moved[3] = {}; // by player: a marble of theirs left a cell or came into one
    auto mark = [&moved](int8_t v) {
        if (v == 1 || v == 2) moved[v] = true;
    };
    for (int c = 0; c < board::kCells; c++)
        if (before.cell[c] != after.cell[c]) {
            mark(before.cell[c]);
            mark(after.cell[c]);
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
