// Loading pictures from files that are missing, short, long or random: every
// loader stays inside its place. (What a whole picture looks like once loaded, the
// whole-game runs compare pixel for pixel.)
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "assets/assets.h"
#include "souris/souris.h"
#include "tests/harness.h"
#include "unit/unit.h"

// The game's constructor also starts the mouse thread; loading needs only the object.
__attribute__((weak)) SourisType::SourisType()
    : Thread(0), Bouton1(false), Bouton2(false), Bouton3(false), x(0), y(0), oldx(0), oldy(0), Forme(nullptr),
      Fond(nullptr), Visible(false) {}

namespace {

TEST(AssetsTest, MissingShortLongAndRandomFilesStayInsideTheirPlaces) {
    ASSERT_EQ(chdir(test::scratch("assets").c_str()), 0);
    mkdir("Sprites", 0755);
    test::Buffers buffers;
    test::Guarded forme(kCursorBytes);
    SourisType souris;
    souris.Forme = reinterpret_cast<uint32*>(forme.data());
    // Every picture the loaders read, and the size of its file.
    std::vector<std::pair<std::string, size_t>> files = {
        {"souris", 16 * 16},    {"vrkan", 32 * 32},     {"pion1", 32 * 32},  {"pion2", 32 * 32},
        {"vorkane", 640 * 480}, {"vrkscore", 146 * 39}, {"vrkj1", 199 * 43}, {"vrkj2", 199 * 43}};
    for (int k = 0; k < 7; k++) files.push_back({"vrk" + std::to_string(k), 27 * 33});
    const uint64_t seed = 0x5EED0A55E75ull;
    uint64_t state = seed;
    // Round 0: no files; round 1: a footer after each; then random sizes and bytes.
    for (int round = 0; round < 10; round++) {
        SCOPED_TRACE("seed " + std::to_string(seed) + ", round " + std::to_string(round));
        for (auto& [name, pixels] : files) {
            std::string path = "Sprites/" + name + ".tga";
            size_t full = 18 + 4 * pixels;
            std::string bytes(round == 1 ? full + 4096 : test::next_random(state) % (2 * full), '\0');
            for (char& c : bytes) c = char(test::next_random(state));
            if (round == 0)
                std::remove(path.c_str());
            else
                std::ofstream(path, std::ios::binary) << bytes;
        }
        souris.Load("Sprites/souris.tga");
        LoadBoules();
        LoadFond();
        ASSERT_TRUE(buffers.guards_intact());
        ASSERT_TRUE(forme.intact());
        EXPECT_EQ(test::box(_ECRAN, 0, 0, 640, 480), test::box(_FOND, 0, 0, 640, 480)) << "_ECRAN is _FOND's copy";
    }
}

} // namespace
