#pragma once
// The board, whose turn it is, the score, the selection, and the moves.
//
// Jeu[y][x] holds 0 (empty), 1 or 2 (a player's marble) or 3 (border, just off the
// board). Board cells are x + y even in rows 2 to 10; the six neighbours of (x, y)
// are (x +- 2, y) and (x +- 1, y +- 1). Cells are always passed column first.

extern char Jeu[22][22];
extern char Tour;         // 1 or 2, the player to move
extern char Score[3];     // Score[1], Score[2]: marbles each player has pushed off
extern char Xc, Yc;       // the cell of the last click
extern char NbSelec;      // 0 to 3 marbles selected
extern char Xs[4], Ys[4]; // slots 1 to NbSelec hold the selected cells

// Writes the border and the opening position into the zeroed grid and paints the
// 28 marbles, row by row.
void SetJeu();
// The absolute value of an 8-bit value, as an 8-bit value.
char Abs(char n);
// One press of the primary button: the pointer of Souris becomes (Xc, Yc) and the
// selection rules apply to that cell, marks included. The cursor is hidden.
void Selectionne();
// Moves the selected group one cell in direction sens (0 to 5), pushing and scoring
// as the rules allow, or refuses and changes nothing; with nothing selected or any
// other sens it changes nothing either. Hides the cursor meanwhile.
void Joue(char sens);
// The in-line push of Joue: the pushers must outnumber the pushed.
void Pousse(char sens);
