#pragma once
// Pictures: the loaders, the title screen and the victory screen. Each picture is
// a Targa file of fixed size under "Sprites/", read straight into its place.

// The two marbles, the ring and the seven digits.
void LoadBoules();
// The background with its three panels into _FOND, then all of it into _ECRAN.
void LoadFond();
// Shows the title until space, Enter or Escape is down.
void Presentation();
// Shows the victory picture, waits for space, Enter or Escape, asks the application
// to quit, and idles until the program ends.
[[noreturn]] void Gagne();
