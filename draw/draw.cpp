// Board drawing: cells to pixel boxes, codes to sprites.
#include "draw/draw.h"

#include "platform/types.h"
#include "rules/rules.h"
#include "unit/unit.h"

namespace {
int32 box_x(char Xc) { return 25 * int32(Xc) + 53; }
int32 box_y(char Yc) { return 38 * int32(Yc) - 59; }
} // namespace

void AffBoule(char Xc, char Yc, char n) {
    switch (n) {
    case 1: _PUTSPRITE(box_x(Xc), box_y(Yc), _BOULE1); break;
    case 2: _PUTSPRITE(box_x(Xc), box_y(Yc), _BOULE2); break;
    case 4:
    case 5:
    case 6: _PUTSPRITE(box_x(Xc), box_y(Yc), _ANNEAU); break;
    default: break;
    }
}

void EffCurseur(char Xc, char Yc) {
    _EFFSPRITE(box_x(Xc), box_y(Yc));
    AffBoule(Xc, Yc, Jeu[int(Yc)][int(Xc)]);
}

void AffScore() {
    _AFFNOMBRE(410, 370, Score[1]);
    _AFFNOMBRE(410, 424, Score[2]);
}
