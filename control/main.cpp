// Globoid: two players push marbles on a hexagonal board until one has pushed six off.
#include <cstdlib>
#include <memory>

#include "control/control.h"
#include "control/options.h"
#include "control/seating.h"
#include "seats/script.h"

int main(int argc, char** argv) {
    const Options options = read_options(argc, argv);
    // A script is checked whole before the game starts, and needs no display.
    std::unique_ptr<seats::ScriptSeat> script;
    if (!options.script.empty()) script = std::make_unique<seats::ScriptSeat>(options.script);
    if (options.headless || script) use_headless_device(script != nullptr);
    seating::Setup setup;
    setup.computer = options.computer;
    setup.level = options.level;
    setup.pause_ms = options.pause_ms >= 0 ? options.pause_ms : 400;
    // The pauses are for a person to watch: GLOBOID_SEAT_PAUSE_MS caps each, and a
    // replay leaves them out unless it or --pause says otherwise.
    if (const char* env = std::getenv("GLOBOID_SEAT_PAUSE_MS")) setup.longest_pause_ms = std::atoi(env);
    else if (script && options.pause_ms < 0) setup.longest_pause_ms = 0;
    seating::start(setup);
    MonApp = new AppType();
    if (script) script->start();
    MonApp->Run();
    seating::stop();
    if (MonApp) delete MonApp;
    return 0;
}
