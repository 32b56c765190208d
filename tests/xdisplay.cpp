#include "tests/xdisplay.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <memory>
#include <unistd.h>

#include "tests/process.h"

namespace test {

namespace {

std::string display;
std::unique_ptr<Child> xvfb;

// -displayfd makes Xvfb pick a free display and tell its number, so parallel runs
// never clash. Without -noreset the server resets, pointer and all, whenever its
// last client leaves, as each xdotool run does.
class VirtualDisplay : public ::testing::Environment {
public:
    void SetUp() override {
        xvfb = std::make_unique<Child>(std::vector<std::string>{"/usr/bin/Xvfb", "-displayfd", "1", "-screen", "0",
                                                                "640x480x24", "-nolisten", "tcp", "-noreset"});
        std::string number;
        ASSERT_TRUE(xvfb->line(&number)) << "Xvfb did not start (scripts/deps.sh installs it)\n" << xvfb->errors();
        display = ":" + number;
    }
    void TearDown() override {
        xvfb->signal(SIGTERM);
        xvfb->wait();
    }
};
const auto* virtual_display = ::testing::AddGlobalTestEnvironment(new VirtualDisplay);

std::string with_option(const char* name, const std::string& option) {
    const char* options = std::getenv(name);
    return std::string(name) + "=" + (options ? std::string(options) + ":" : "") + option;
}

} // namespace

const std::string& x_display() { return display; }

// Under the sanitizers, the display's own libraries are not ours to judge: D-Bus
// and the GL driver keep a few allocations to the end of the process, and the GL
// driver's threads work among themselves. Our code's leaks are looked for in the
// headless runs, which share all of it but the SDL device.
std::vector<std::string> x_env() {
    return {"DISPLAY=" + display, "WAYLAND_DISPLAY", "SDL_VIDEODRIVER", "GLOBOID_WINDOWED", "GLOBOID_DEVICE",
            "GLOBOID_SCRIPT", with_option("ASAN_OPTIONS", "detect_leaks=0"),
            with_option("TSAN_OPTIONS", "suppressions=" DISPLAY_SUPPRESSIONS)};
}

void xdotool(std::vector<std::string> args) {
    args.insert(args.begin(), "/usr/bin/xdotool");
    ASSERT_EQ(run(args, {"DISPLAY=" + display}), 0) << "xdotool " << args[1];
}

Picture screenshot() {
    std::string path = ::testing::TempDir() + "globoid-root-" + std::to_string(getpid()) + ".xwd";
    if (run({"/usr/bin/xwd", "-root", "-silent", "-out", path}, {"DISPLAY=" + display}) != 0) return {};
    return read_xwd(path);
}

} // namespace test
