#pragma once
// Short sounds, played beside the game through the display's device. Without an
// audio device they are silent, and nothing is said about it.
#include "platform/types.h"

enum class Sound : uint8 { Move, Push, Off, Victory };

// Any thread; returns at once. Plays s, cutting short a sound still playing;
// nothing while sound is off.
void play_sound(Sound s);
// Any thread. Turns sound off when it is on and on when it is off; it starts on.
void toggle_sound();
// Any thread: sound on or off, and whether it is on.
void set_sound(bool on);
bool sound_is_on();
// "move", "push", "off", "victory".
const char* sound_name(Sound s);
