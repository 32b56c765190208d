// The application: takes the screen, then starts the game thread.
#include "control/control.h"

#include "souris/souris.h"

AppType* MonApp;

AppType::AppType() : BApplication("application/x-vnd.Be-Globoid") { OpenWindow(MonProg, "Le thread de folie"); }

AppType::~AppType() {}
