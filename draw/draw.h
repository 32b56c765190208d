#pragma once
// A board cell, its selection ring and the scores, drawn into _ECRAN. Cell
// (Xc, Yc) is drawn in its box of draw/geometry.h.

// Draws code n at the cell, keyed: 1 and 2 a marble, 4 to 6 the ring; nothing else.
void AffBoule(char Xc, char Yc, char n);
// Puts the cell's box back to the background, then draws what Jeu holds there.
void EffCurseur(char Xc, char Yc);
// Draws Score[1] at (410, 370) and Score[2] at (410, 424).
void AffScore();
