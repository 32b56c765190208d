// Board drawing: cells to pixel boxes, codes to sprites.
#include "draw/draw.h"

#include "draw/geometry.h"
#include "rules/rules.h"
#include "unit/unit.h"

void AffBoule(char Xc, char Yc, char n) {
    switch (n) {
    case 1: _PUTSPRITE(cell_left(Xc), cell_top(Yc), _BOULE1); break;
    case 2: _PUTSPRITE(cell_left(Xc), cell_top(Yc), _BOULE2); break;
    case 4:
    case 5:
    case 6: _PUTSPRITE(cell_left(Xc), cell_top(Yc), _ANNEAU); break;
    default: break;
    }
}

void EffCurseur(char Xc, char Yc) {
    _EFFSPRITE(cell_left(Xc), cell_top(Yc));
    AffBoule(Xc, Yc, Jeu[int(Yc)][int(Xc)]);
}

void AffScore() {
    _AFFNOMBRE(410, 370, Score[1]);
    _AFFNOMBRE(410, 424, Score[2]);
}
