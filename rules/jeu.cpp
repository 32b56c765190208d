// The board grid, the turn, the score, and the opening position.
#include "rules/rules.h"

#include "draw/draw.h"

char Jeu[22][22];
char Tour;
char Score[3];
char Xc, Yc;
char NbSelec;
char Xs[4], Ys[4];

char Abs(char n) { return n < 0 ? -n : n; }

void SetJeu() {
    int x, y, k;

    // Border: rows 1 and 11, then a cell two columns beyond each end of rows 2 to 10.
    for (k = 0; k <= 8; k++) {
        Jeu[1][2 * k + 1] = 3;
        Jeu[11][2 * k + 1] = 3;
    }
    for (y = 2; y <= 6; y++) {
        Jeu[y][6 - y] = 3;
        Jeu[y][14 + y] = 3;
    }
    for (y = 7; y <= 10; y++) {
        Jeu[y][y - 6] = 3;
        Jeu[y][26 - y] = 3;
    }

    // Player 1 fills the top three rows, player 2 the bottom three.
    for (k = 0; k <= 4; k++) {
        Jeu[2][2 * k + 6] = 1;
        Jeu[10][2 * k + 6] = 2;
    }
    for (k = 0; k <= 5; k++) {
        Jeu[3][2 * k + 5] = 1;
        Jeu[9][2 * k + 5] = 2;
    }
    for (k = 0; k <= 2; k++) {
        Jeu[4][2 * k + 8] = 1;
        Jeu[8][2 * k + 8] = 2;
    }

    for (y = 0; y <= 18; y++)
        for (x = 0; x <= 20; x++) AffBoule(x, y, Jeu[y][x]);
}
