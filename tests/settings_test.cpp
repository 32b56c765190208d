// The settings file, through the real program: sound turned off with M is still
// off after a restart, a damaged file gives what it still holds with one line on
// stderr, and a scripted run that names no file leaves the player's alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "tests/harness.h"

namespace {

const std::string kBuild = GLOBOID_BUILD_DIR;

// One scripted run: M on the title if asked, then a move, whose sound shows on
// stdout while sound is on. Its output, stdout and stderr.
std::string play(const std::string& dir, bool press_m, std::vector<std::string> options,
                 const std::vector<std::string>& env = {}) {
    std::ofstream(dir + "/steps.txt") << (press_m ? "tap 0x52\n" : "") << "tap space\nclick 269 109\ntap kp3\n";
    options.insert(options.begin(), {kBuild + "/globoid", "--script", dir + "/steps.txt"});
    test::Child run(test::in_dir(kBuild, options), env);
    EXPECT_EQ(run.wait(30000), 0) << run.output();
    return run.output();
}

bool holds(const std::string& file, const std::string& line) {
    return ("\n" + test::slurp(file)).find("\n" + line + "\n") != std::string::npos;
}

TEST(Settings, SurviveARestart) {
    const std::string dir = test::scratch("settings/restart"), file = dir + "/made/globoid/settings";
    EXPECT_EQ(play(dir, true, {"--settings", file, "--level", "4", "--opening", "rosettes"}), ""); // M: sound off
    EXPECT_TRUE(holds(file, "sound = off") && holds(file, "level = 4") && holds(file, "opening = rosettes"))
        << test::slurp(file);
    EXPECT_EQ(play(dir, false, {"--settings", file}), ""); // still off
    EXPECT_EQ(play(dir, true, {"--settings", file, "--opening", "standard"}), "sound move\n");
    EXPECT_TRUE(holds(file, "sound = on") && holds(file, "level = 4") && holds(file, "opening = standard"))
        << test::slurp(file);
}

TEST(Settings, ADamagedFileGivesWhatItHoldsWithOneLineOnStderr) {
    const std::string dir = test::scratch("settings/damaged"), file = dir + "/settings";
    static const char kBinary[] = "\x01\xff garbage\nsound = off\n = \n\0level\n";
    for (const std::string& damaged :
         {std::string("volume = 11\nsound = off\n"), std::string("level = 9\nsound=off"),
          std::string(kBinary, sizeof kBinary - 1), "sound = off\n" + std::string(100000, '=')}) {
        SCOPED_TRACE(damaged.substr(0, 20));
        std::ofstream(file, std::ios::binary | std::ios::trunc) << damaged;
        const std::string out = play(dir, false, {"--settings", file});
        EXPECT_EQ(out.rfind("globoid: " + file + ": line ", 0), 0u) << out;
        EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out; // and no sound: it is off
        EXPECT_EQ(play(dir, true, {"--settings", file}).substr(out.size()), "sound move\n");
        EXPECT_EQ(test::slurp(file).find("sound = on\n"), test::slurp(file).find('\n') + 1) << test::slurp(file);
    }
}

TEST(Settings, AScriptedRunNamingNoFileNeitherReadsNorWritesThePlayers) {
    const std::string dir = test::scratch("settings/player"), file = dir + "/globoid/settings";
    std::filesystem::create_directory(dir + "/globoid");
    std::ofstream(file) << "sound = off\n";
    // Read, the file would turn sound off and M on again.
    EXPECT_EQ(play(dir, true, {}, {"XDG_CONFIG_HOME=" + dir}), "");
    EXPECT_EQ(test::slurp(file), "sound = off\n");
}

} // namespace
