// Moves: the plain move of the selected group, the in-line push and the push-off.
#include "assets/assets.h"
#include "draw/draw.h"
#include "rules/rules.h"
#include "souris/souris.h"

namespace {

// The step of each direction: down-right, right, up-right, up-left, left, down-left.
const char kDx[6] = {1, 2, 1, -1, -2, -1};
const char kDy[6] = {1, 0, -1, -1, 0, 1};

bool Selectionnee(char x, char y) {
    for (int i = 1; i <= NbSelec; i++)
        if (x == Xs[i] && y == Ys[i]) return true;
    return false;
}

// Every old cell is emptied before any target is filled, so that an in-line group
// can advance into its own cells; emptying a cell also takes its ring off.
void Avance(char dx, char dy) {
    int i;
    for (i = 1; i <= NbSelec; i++) {
        Jeu[int(Ys[i])][int(Xs[i])] = 0;
        EffCurseur(Xs[i], Ys[i]);
    }
    for (i = 1; i <= NbSelec; i++) {
        char x = Xs[i] + dx, y = Ys[i] + dy;
        Jeu[int(y)][int(x)] = Tour;
        AffBoule(x, y, Tour);
    }
    NbSelec = 0;
}

} // namespace

void Joue(char sens) {
    Souris->Hide();

    // Only a selection and one of the six directions make a move; anything else
    // would pass the turn without moving, or step off the table.
    if (NbSelec >= 1 && NbSelec <= 3 && sens >= 0 && sens <= 5) {
        char dx = kDx[int(sens)], dy = kDy[int(sens)];
        bool bidule = true, enligne = false, pousse = false;

        for (int i = 1; i <= NbSelec; i++) {
            char x = Xs[i] + dx, y = Ys[i] + dy;
            char cible = Jeu[int(y)][int(x)];
            if (cible == 0) continue;
            if (cible == Tour) {
                if (Selectionnee(x, y))
                    enligne = true;
                else
                    bidule = false;
            } else {
                bidule = false;
                if (cible == 3 - Tour) pousse = true;
            }
        }

        if (bidule) {
            Avance(dx, dy);
            Tour = 3 - Tour;
        } else if (enligne && pousse) {
            Pousse(sens);
        }
    }

    Souris->Show();
}

void Pousse(char sens) {
    char dx = kDx[int(sens)], dy = kDy[int(sens)];
    char adverse = 3 - Tour;

    // The front marble is the one facing the opponent; without one there is no push.
    int n;
    for (n = 1; n <= NbSelec; n++)
        if (Jeu[Ys[n] + dy][Xs[n] + dx] == adverse) break;
    if (n > NbSelec) return;

    // Walk along the opposing row to the first cell beyond it; the border ends
    // every walk.
    char X = Xs[n] + dx, Y = Ys[n] + dy;
    int Np = 0;
    do {
        Np++;
        X += dx;
        Y += dy;
    } while (Jeu[int(Y)][int(X)] == adverse);

    if (Np >= NbSelec) return;

    switch (Jeu[int(Y)][int(X)]) {
    case 0:
        // The row moves on: a new opposing marble beyond it, and the front pusher
        // takes the first opposing cell, painted over as it stands.
        Jeu[int(Y)][int(X)] = adverse;
        AffBoule(X, Y, adverse);
        Avance(dx, dy);
        Tour = 3 - Tour;
        break;
    case 3:
        // The last of the row leaves the board.
        Avance(dx, dy);
        Score[int(Tour)]++;
        AffScore();
        if (Score[int(Tour)] == 6) Gagne();
        Tour = 3 - Tour;
        break;
    default:
        // An own marble right behind the row: no sandwich push.
        break;
    }
}
