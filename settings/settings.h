#pragma once
// The player's settings, kept between runs in a small text file of `key = value`
// lines: sound = on|off, display = fullscreen|window, level = 1..5, opening =
// standard|rosettes|rosettes-inset. A missing
// file is no settings; a line that is damaged, unknown or out of range is skipped
// with one line on stderr for the whole file, never more. The file is written
// whole, through a new file renamed over the old, so a crash leaves one or the
// other. A new key is one line of the table in settings.cpp and a field here.
#include <optional>
#include <string>

#include "board/board.h"

namespace settings {

struct Values {
    std::optional<bool> sound;             // on
    std::optional<bool> windowed;          // in a window rather than full screen
    std::optional<int> level;              // the computer's strength last chosen
    std::optional<board::Opening> opening; // the opening last chosen
};

// $XDG_CONFIG_HOME/globoid/settings, or $HOME/.config/globoid/settings when
// XDG_CONFIG_HOME is unset or not absolute; "" when neither is known.
std::string default_path();

// Reads the file at path; no values when it is missing or unreadable.
Values read(const std::string& path);
// Writes every value that is set, creating the file's directory if need be;
// false, with one line on stderr, when it cannot.
bool write(const std::string& path, const Values& values);

// The settings of this run, any thread: open reads path once ("" keeps nothing,
// for a scripted run); each change after that writes the file again.
Values open(const std::string& path);
void keep_sound(bool on);
void keep_windowed(bool windowed);
void keep_level(int level);
void keep_opening(board::Opening opening);

} // namespace settings
