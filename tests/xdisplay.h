#pragma once
// A virtual X display for the end-to-end tests: Xvfb at 640x480x24 with no window
// manager, started once per test program on a display number it picks itself, and
// driven and looked at with the usual X tools.
#include <string>
#include <vector>

#include "tests/picture.h"

namespace test {

// ":N" once the display runs (after the test environment has been set up).
const std::string& x_display();
// The environment changes for a program shown on the display (see test::Child):
// DISPLAY set, other displays and the game's device choice unset, and the
// sanitizers told to leave the display's own libraries alone.
std::vector<std::string> x_env();
// Runs xdotool with these arguments on the display; a failure fails the test.
void xdotool(std::vector<std::string> args);
// The whole screen as `xwd -root` sees it; empty when the dump failed.
Picture screenshot();

} // namespace test
