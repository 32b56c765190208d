// The install: `cmake --install` into a fresh prefix puts every file in its place,
// and the installed launcher starts the game among its pictures from wherever it
// is called, however the script is named, as the game in the build tree runs.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/harness.h"

namespace fs = std::filesystem;

namespace {

const fs::path kBuild = GLOBOID_BUILD_DIR;

TEST(Install, PutsEveryFileInItsPlaceAndTheLauncherRunsTheGameFromAnyDirectory) {
    const fs::path prefix = test::scratch("install/prefix");
    ASSERT_EQ(test::run({CMAKE_COMMAND, "--install", kBuild.string(), "--prefix", prefix.string()}, {}, 60000), 0);
    size_t sprites = 0;
    for (const auto& entry : fs::directory_iterator(kBuild / "Sprites")) {
        fs::path installed = prefix / "share/globoid/Sprites" / entry.path().filename();
        sprites += entry.path().extension() == ".tga";
        EXPECT_EQ(test::slurp(installed), test::slurp(entry.path())) << installed;
    }
    EXPECT_EQ(sprites, 23u);
    for (std::string size : {"16", "32"}) {
        std::string icon = test::slurp(prefix / "share/icons/hicolor" / (size + "x" + size) / "apps/globoid.png");
        EXPECT_TRUE(!icon.empty() && icon == test::slurp(kBuild / "icons" / ("globoid-" + size + ".png"))) << size;
    }
    // The entry starts the launcher by name and shows the icon by theme name.
    std::string entry = test::slurp(prefix / "share/applications/globoid.desktop");
    EXPECT_EQ(entry.rfind("[Desktop Entry]\n", 0), 0u) << entry;
    for (const char* line :
         {"\nType=Application\n", "\nExec=globoid\n", "\nIcon=globoid\n", "\nActions=computer;\n",
          "\n[Desktop Action computer]\nName=Play against the computer\nExec=globoid --computer 2\n"})
        EXPECT_NE(entry.find(line), std::string::npos) << line << "\n" << entry;

    // The launcher, from anywhere, starts the game among its pictures.
    const fs::path shots = test::scratch("install/shots"), elsewhere = test::scratch("install/elsewhere");
    // The same steps, shooting into a directory of the run's own; the script's
    // path is relative to where the game is called from.
    auto script = [&](const std::string& name) {
        fs::create_directory(shots / name);
        std::ofstream(elsewhere / (name + ".txt"))
            << "shot " << (shots / name / "title.png").string() << "\ntap space\nclick 269 109\ntap kp3\nshot "
            << (shots / name / "board.png").string() << "\nquit\n";
        return name + ".txt";
    };
    auto run_in = [](const fs::path& dir, const std::vector<std::string>& argv, const std::vector<std::string>& env) {
        test::Child child(test::in_dir(dir.string(), argv), env);
        EXPECT_EQ(child.wait(30000), 0);
        EXPECT_EQ(child.output(), "sound move\n"); // the one move's, and nothing else
    };

    // The game in the build tree, started beside its pictures, is the reference.
    run_in(kBuild, {(kBuild / "globoid").string(), "--script", (elsewhere / script("reference")).string()}, {});
    test::Picture title = test::read_png(shots / "reference/title.png");
    test::Picture board = test::read_png(shots / "reference/board.png");
    ASSERT_FALSE(title.rgb.empty() || board.rgb.empty());
    ASSERT_NE(test::differs(title, board), "");
    ASSERT_NE(std::count(title.rgb.begin(), title.rgb.end(), title.rgb[0]), 640 * 480) << "a blank title";

    const std::string launcher = (prefix / "bin/globoid").string();
    fs::create_symlink(launcher, elsewhere / "linked");
    struct Way {
        const char* name;
        std::vector<std::string> argv, env;
    } ways[] = {
        {"argument", {launcher, "--script", script("argument")}, {}},
        {"joined", {launcher, "--script=" + script("joined")}, {}},
        {"environment", {launcher}, {"GLOBOID_SCRIPT=" + script("environment")}},
        {"symlink", {"./linked", "--script", script("symlink")}, {}},
        {"record", {launcher, "--script", script("record"), "--record=record.txt"}, {}},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        run_in(elsewhere, way.argv, way.env);
        EXPECT_EQ(test::differs(test::read_png(shots / way.name / "title.png"), title), "") << "title";
        EXPECT_EQ(test::differs(test::read_png(shots / way.name / "board.png"), board), "") << "board";
    }
    // A record named where the player stands is written there.
    EXPECT_NE(test::slurp(elsewhere / "record.txt").find("\n1. G5:SE *\n"), std::string::npos);
}

} // namespace
