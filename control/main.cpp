// Globoid: two players push marbles on a hexagonal board until one has pushed six off.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "control/control.h"
#include "control/sounds.h"
#include "platform/input.h"
#include "seats/script.h"

namespace {

// The command line and the environment, read in this one place (see README).
struct Options {
    bool headless = false;
    std::string script; // the person's moves come from this file
};

Options read_options(int argc, char** argv) {
    Options o;
    if (const char* env = std::getenv("GLOBOID_DEVICE")) o.headless = std::strcmp(env, "headless") == 0;
    if (const char* env = std::getenv("GLOBOID_SCRIPT")) o.script = env;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        if (arg == "--headless") o.headless = true;
        else if (arg == "--script" && i + 1 < argc) o.script = argv[++i];
        else if (arg.rfind("--script=", 0) == 0) o.script = arg.substr(9);
    }
    return o;
}

} // namespace

int main(int argc, char** argv) {
    Options options = read_options(argc, argv);
    // A script is checked whole before the game starts, and needs no display.
    std::unique_ptr<seats::ScriptSeat> script;
    if (!options.script.empty()) script = std::make_unique<seats::ScriptSeat>(options.script);
    if (options.headless || script) use_headless_device(script != nullptr);
    input::set_poll_hook(listen_for_sounds);
    MonApp = new AppType();
    if (script) script->start();
    MonApp->Run();
    if (MonApp) delete MonApp;
    return 0;
}
