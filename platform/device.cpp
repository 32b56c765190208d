// Which device this process runs on, chosen once.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/device.h"
#include "platform/headless.h"

namespace platform {

namespace {

bool headless_selected = false;

std::vector<std::string> command_line() {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> args;
    for (size_t start = 0; start < all.size();) {
        size_t end = all.find('\0', start);
        if (end == std::string::npos) end = all.size();
        args.push_back(all.substr(start, end - start));
        start = end + 1;
    }
    return args;
}

std::unique_ptr<Device> choose() {
    bool headless = headless_selected;
    std::string script;
    if (const char* env = std::getenv("GLOBOID_DEVICE")) headless = headless || std::strcmp(env, "headless") == 0;
    if (const char* env = std::getenv("GLOBOID_SCRIPT")) script = env;
    std::vector<std::string> args = command_line();
    for (size_t i = 1; i < args.size(); i++) {
        if (args[i] == "--headless") headless = true;
        else if (args[i] == "--script" && i + 1 < args.size()) script = args[++i];
        else if (args[i].rfind("--script=", 0) == 0) script = args[i].substr(9);
    }
    if (headless || !script.empty()) return make_headless_device(script);
    return make_sdl_device();
}

} // namespace

Device& device() {
    static Device* chosen = choose().release(); // lives to the end of the process
    return *chosen;
}

const char* program_name() { return program_invocation_short_name; }

} // namespace platform

void headless::select() { platform::headless_selected = true; }
