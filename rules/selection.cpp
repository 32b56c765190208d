// The click handling: the pointer becomes a cell, and a click on an own marble
// adds it to the selection, takes it out, or starts a new selection.
#include "draw/draw.h"
#include "draw/geometry.h"
#include "platform/types.h"
#include "rules/rules.h"
#include "souris/souris.h"

namespace {

void Marque() { AffBoule(Xc, Yc, Tour + 4); }

bool EstSlot(int i) { return Xc == Xs[i] && Yc == Ys[i]; }

void PrendSlot(int i) {
    Xs[i] = Xc;
    Ys[i] = Yc;
}

// On board cells this accepts exactly the six neighbours of slot 1.
bool Voisin() {
    char DX = Abs(char(Xc - Xs[1]));
    char DY = Abs(char(Yc - Ys[1]));
    return DX <= 2 && DY <= 1 && !(DX == 2 && DY != 0);
}

// On board cells this accepts exactly the two cells that continue the pair's line,
// one beyond each end.
bool Prolonge() {
    if (Ys[1] == Ys[2]) return Yc == Ys[1] && (Abs(char(Xc - Xs[1])) <= 2 || Abs(char(Xc - Xs[2])) <= 2);
    return (Abs(char(Xc - Xs[1])) <= 1 || Abs(char(Xc - Xs[2])) <= 1) && Yc != Ys[1] && Yc != Ys[2] &&
           (Abs(char(Yc - Ys[1])) <= 1 || Abs(char(Yc - Ys[2])) <= 1) && Xc != Xs[1] && Xc != Xs[2];
}

} // namespace

void Selectionne() {
    int32 x = Souris->x, y = Souris->y;

    int32 ligne = row_at(y);
    int32 colonne = column_at(x, ligne);
    Yc = char(ligne);
    Xc = char(colonne);

    // The bands at the screen's edges give columns off the grid: no marble there.
    if (ligne < 0 || ligne > 21 || colonne < 0 || colonne > 21) return;
    if (Jeu[ligne][colonne] != Tour) return;

    switch (NbSelec) {
    case 0:
        Marque();
        PrendSlot(1);
        NbSelec = 1;
        break;
    case 1:
        if (EstSlot(1)) {
            NbSelec = 0;
            EffCurseur(Xc, Yc);
        } else if (Voisin()) {
            Marque();
            PrendSlot(2);
            NbSelec = 2;
        } else {
            EffCurseur(Xs[1], Ys[1]);
            Marque();
            PrendSlot(1);
        }
        break;
    case 2:
        if (EstSlot(1) || EstSlot(2)) {
            // The marble left over ends in slot 1.
            if (EstSlot(1)) {
                Xs[1] = Xs[2];
                Ys[1] = Ys[2];
            }
            NbSelec = 1;
            EffCurseur(Xc, Yc);
        } else if (Prolonge()) {
            Marque();
            PrendSlot(3);
            NbSelec = 3;
        } else {
            EffCurseur(Xs[1], Ys[1]);
            EffCurseur(Xs[2], Ys[2]);
            Marque();
            PrendSlot(1);
            NbSelec = 1;
        }
        break;
    case 3:
        // There is no removal from three: any own marble, one of them included,
        // becomes the only one selected.
        EffCurseur(Xs[1], Ys[1]);
        EffCurseur(Xs[2], Ys[2]);
        EffCurseur(Xs[3], Ys[3]);
        Marque();
        PrendSlot(1);
        NbSelec = 1;
        break;
    }
}
