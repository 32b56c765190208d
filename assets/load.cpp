// Picture loading: fixed sizes, fixed places, one file object per picture.
#include "assets/assets.h"

#include <cstring>
#include <utility>

#include "platform/file.h"
#include "souris/souris.h"
#include "unit/unit.h"

namespace {

// Reads `rows` stored rows of `bytes` each. The first stored row is the picture's
// bottom row and lands at `bottom`; each next one lands a stride higher.
void read_rows(BFile* file, char* bottom, int32 rows, int32 bytes, int32 stride) {
    for (int32 i = 0; i < rows; i++) file->Read(bottom - i * stride, size_t(bytes));
}

// A 32x32 sprite in one read: its rows stay in file order.
void load_sprite(const char* s, char* sprite) {
    BFile* file = new BFile(s, B_READ_ONLY);
    file->Read(sprite, 18);
    file->Read(sprite, kSpriteBytes);
    delete file;
}

// A panel pasted into _FOND: bottom row `bottom`, left edge at byte `x` of the row.
// The header goes to the scratch `vide`, never into the background.
void load_panel(const char* s, char* vide, int32 width, int32 height, int32 bottom, int32 x) {
    BFile* file = new BFile(s, B_READ_ONLY);
    file->Read(vide, 18);
    read_rows(file, _FOND + bottom * kScreenRow + x, height, width * 4, kScreenRow);
    delete file;
}

} // namespace

void LoadEcran(const char* s, char* image) {
    BFile* file = new BFile(s, B_READ_ONLY);
    file->Read(image, 18);
    read_rows(file, image + 479 * kScreenRow, 480, kScreenRow, kScreenRow);
    delete file;
}

void SourisType::Load(const char* s) {
    BFile* file = new BFile(s, B_READ_ONLY);
    file->Read(Forme, 18);
    file->Read(Forme, kCursorBytes);
    for (int x = 0; x < 16; x++)
        for (int y = 0; y < 8; y++) std::swap(Forme[y * 16 + x], Forme[(15 - y) * 16 + x]);
    delete file;
}

void LoadBoules() {
    load_sprite("Sprites/vrkan.tga", _ANNEAU);
    load_sprite("Sprites/pion1.tga", _BOULE1);
    load_sprite("Sprites/pion2.tga", _BOULE2);

    char nom[] = "Sprites/vrk0.tga";
    for (int32 k = 0; k <= 6; k++) {
        nom[11] = char('0' + k);
        char* bloc = _NB + k * kGlyphBytes;
        BFile* file = new BFile(nom, B_READ_ONLY);
        file->Read(bloc, 18);
        read_rows(file, bloc + 32 * kGlyphRow, 33, kGlyphRow, kGlyphRow);
        delete file;
    }
}

void LoadFond() {
    char vide[19];
    LoadEcran("Sprites/vorkane.tga", _FOND);
    load_panel("Sprites/vrkscore.tga", vide, 146, 39, 415, 0);
    load_panel("Sprites/vrkj1.tga", vide, 199, 43, 415, 800);
    load_panel("Sprites/vrkj2.tga", vide, 199, 43, 470, 800);
    std::memcpy(_ECRAN, _FOND, kScreenBytes);
}
