// The install: `cmake --install` into a fresh prefix puts every file in its place,
// and the installed launcher starts the game among its pictures from wherever it
// is called, however the script is named, as the game in the build tree runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/wait.h>

#include "tests/picture.h"
#include "tests/process.h"

namespace fs = std::filesystem;

namespace {

const fs::path kBuild = GLOBOID_BUILD_DIR;

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

fs::path fresh_dir(const std::string& name) {
    std::string pattern = ::testing::TempDir() + "globoid-" + name + "-XXXXXX";
    return mkdtemp(pattern.data()) ? fs::path(pattern) : fs::path();
}

bool executable(const fs::path& path) {
    return fs::is_regular_file(path) && (fs::status(path).permissions() & fs::perms::owner_exec) != fs::perms::none;
}

// Runs argv with `dir` as its working directory; the exit status as wait() gives it.
int run_in(const fs::path& dir, const std::vector<std::string>& argv, const std::vector<std::string>& env = {}) {
    test::Child child(test::in_dir(dir.string(), argv), env);
    int status = child.wait(30000);
    EXPECT_EQ(child.errors(), "");
    return status;
}

class Install : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        prefix = fresh_dir("prefix");
        ASSERT_FALSE(prefix.empty());
        ASSERT_EQ(test::run({CMAKE_COMMAND, "--install", kBuild.string(), "--prefix", prefix.string()}, {}, 60000), 0);
    }
    static void TearDownTestSuite() { fs::remove_all(prefix); }
    static fs::path prefix;
};
fs::path Install::prefix;

TEST_F(Install, PutsEveryFileInItsPlace) {
    EXPECT_TRUE(executable(prefix / "bin/globoid"));
    EXPECT_TRUE(executable(prefix / "libexec/globoid/globoid"));

    size_t sprites = 0;
    for (const auto& entry : fs::directory_iterator(kBuild / "Sprites")) {
        if (entry.path().extension() != ".tga") continue;
        sprites++;
        fs::path installed = prefix / "share/globoid/Sprites" / entry.path().filename();
        EXPECT_EQ(slurp(installed), slurp(entry.path())) << installed;
    }
    EXPECT_EQ(sprites, 17u);

    for (const char* size : {"16", "32"}) {
        fs::path icon = prefix / "share/icons/hicolor" / (std::string(size) + "x" + size) / "apps/globoid.png";
        std::string bytes = slurp(icon);
        EXPECT_FALSE(bytes.empty()) << icon;
        EXPECT_EQ(bytes, slurp(kBuild / "icons" / ("globoid-" + std::string(size) + ".png"))) << icon;
    }

    // The entry starts the launcher by name and shows the icon by theme name.
    std::string entry = slurp(prefix / "share/applications/globoid.desktop");
    EXPECT_EQ(entry.rfind("[Desktop Entry]\n", 0), 0u) << entry;
    for (const char* line : {"\nType=Application\n", "\nExec=globoid\n", "\nIcon=globoid\n"})
        EXPECT_NE(entry.find(line), std::string::npos) << line << "\n" << entry;
}

TEST_F(Install, TheLauncherRunsTheGameAmongItsPicturesFromAnyDirectory) {
    fs::path shots = fresh_dir("shots"), elsewhere = fresh_dir("elsewhere");
    ASSERT_FALSE(shots.empty() || elsewhere.empty());
    // The same steps, shooting into a directory of the run's own.
    auto script = [&](const std::string& name) {
        fs::create_directory(shots / name);
        std::string path = name + ".txt";
        std::ofstream(elsewhere / path) << "shot " << (shots / name / "title.png").string() << "\ntap space\n"
                                        << "click 269 109\ntap kp3\nshot " << (shots / name / "board.png").string()
                                        << "\nquit\n";
        return path;
    };

    // The game in the build tree, started beside its pictures, is the reference.
    std::string steps = (elsewhere / script("reference")).string();
    ASSERT_EQ(run_in(kBuild, {(kBuild / "globoid").string(), "--script", steps}), 0);
    test::Picture title = test::read_png((shots / "reference/title.png").string());
    test::Picture board = test::read_png((shots / "reference/board.png").string());
    ASSERT_FALSE(title.rgb.empty() || board.rgb.empty());
    ASSERT_NE(std::count(title.rgb.begin(), title.rgb.end(), title.rgb[0]), 640 * 480) << "a blank title";

    fs::create_symlink(prefix / "bin/globoid", elsewhere / "linked");
    const fs::path launcher = prefix / "bin/globoid";
    struct Way {
        const char* name;
        std::vector<std::string> argv, env;
    } ways[] = {
        {"argument", {launcher.string(), "--script", script("argument")}, {}},
        {"joined", {launcher.string(), "--script=" + script("joined")}, {}},
        {"environment", {launcher.string()}, {"GLOBOID_SCRIPT=" + script("environment")}},
        {"symlink", {"./linked", "--script", script("symlink")}, {}},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        int status = run_in(elsewhere, way.argv, way.env);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        test::Difference t = test::compare(title, test::read_png((shots / way.name / "title.png").string()));
        test::Difference b = test::compare(board, test::read_png((shots / way.name / "board.png").string()));
        EXPECT_EQ(t.count, 0u) << "title: first at (" << t.x << ", " << t.y << ")";
        EXPECT_EQ(b.count, 0u) << "board: first at (" << b.x << ", " << b.y << ")";
    }
    fs::remove_all(shots);
    fs::remove_all(elsewhere);
}

} // namespace
