#include "tests/xdisplay.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/process.h"

extern char** environ;

namespace test {

namespace {

std::string display;
pid_t xvfb = -1;

// -displayfd makes Xvfb pick a free display and tell its number, so parallel runs never clash.
class VirtualDisplay : public ::testing::Environment {
public:
    void SetUp() override {
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        const char* argv[] = {"Xvfb", "-displayfd", "3", "-screen", "0", "640x480x24", "-nolisten", "tcp",
                              // Otherwise the server resets, pointer and all, whenever its
                              // last client leaves, as each xdotool run does.
                              "-noreset", nullptr};
        int failed = posix_spawnp(&xvfb, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        ASSERT_EQ(failed, 0) << "Xvfb is missing: scripts/deps.sh installs it";
        std::string number;
        char c;
        while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        close(fds[0]);
        ASSERT_FALSE(number.empty()) << "Xvfb did not start";
        display = ":" + number;
    }
    void TearDown() override {
        if (xvfb > 0) {
            kill(xvfb, SIGTERM);
            waitpid(xvfb, nullptr, 0);
        }
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
