#pragma once
// Pictures: the loaders, the title screen and the victory screen. Each picture is
// a Targa file of fixed size under "Sprites/": an 18-byte header that is never
// looked at, then 4-byte pixels stored bottom row first, read straight into place.
// Nothing is checked: a missing file writes nothing, a short one leaves whatever no
// read reached as it was, and bytes after the pixels are never read.

// The two marbles, the ring and the seven digits.
void LoadBoules();
// The background with its three panels into _FOND, then all of it into _ECRAN.
void LoadFond();
// Reads the 640x480 picture file s into image (2560-byte rows), top row first.
void LoadEcran(const char* s, char* image);
// Shows the title until space, Enter or Escape is down.
void Presentation();
// Shows the victory picture, waits for space, Enter or Escape, asks the application
// to quit, and idles until the program ends.
[[noreturn]] void Gagne();
