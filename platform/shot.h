#pragma once
// Pictures of the screen, for scripted runs.
#include <string>

// Writes the screen, as the last whole frame left it, as an 8-bit RGB PNG. False,
// with the cause in *why, when it cannot.
bool save_shot(const std::string& path, std::string* why);
