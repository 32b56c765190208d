// The generated pictures: the form the loaders rely on, and the properties the
// game's keyed drawing needs from the art.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <tuple>
#include <vector>

#include "draw/geometry.h"
#include "tests/harness.h"

namespace {

using test::Picture;

// Every picture file, its width and height.
const std::tuple<const char*, int, int> kForms[17] = {
    {"souris", 16, 16},    {"vrkan", 32, 32},     {"pion1", 32, 32}, {"pion2", 32, 32},  {"vrk0", 27, 33},
    {"vrk1", 27, 33},      {"vrk2", 27, 33},      {"vrk3", 27, 33},  {"vrk4", 27, 33},   {"vrk5", 27, 33},
    {"vrk6", 27, 33},      {"presentation", 640, 480}, {"vorkane", 640, 480}, {"vrkscore", 146, 39},
    {"vrkj1", 199, 43},    {"vrkj2", 199, 43},    {"victoire", 640, 480},
};

std::string file(const std::string& dir, const std::string& name) { return dir + "/Sprites/" + name + ".tga"; }
Picture load(const std::string& name) { return test::read_tga(file(GLOBOID_BUILD_DIR, name)); }
double luma(uint32_t p) { return 0.299 * (p >> 16 & 255) + 0.587 * (p >> 8 & 255) + 0.114 * (p & 255); }

TEST(ArtTest, EveryFileHasItsSizeAndHeaderAndOpaqueOrZeroPixels) {
    for (auto [name, w, h] : kForms) {
        SCOPED_TRACE(name);
        std::string bytes = test::slurp(file(GLOBOID_BUILD_DIR, name));
        ASSERT_EQ(bytes.size(), 18 + size_t(w) * h * 4);
        // No image ID, no colour map, uncompressed true colour; the size; 32 bits,
        // eight of them alpha, bottom-left origin.
        const char header[18] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                 char(w), char(w >> 8), char(h), char(h >> 8), 32, 8};
        EXPECT_EQ(bytes.substr(0, 18), std::string(header, 18));
        Picture img = load(name);
        size_t clear = std::count(img.rgb.begin(), img.rgb.end(), 0u);
        for (uint32_t p : img.rgb) ASSERT_TRUE(p == 0 || p >> 24 == 255) << std::hex << p;
        // The cursor and the 32x32 sprites have holes; everything else is opaque everywhere.
        EXPECT_TRUE(w == 16 || w == 32 ? clear > 0 && clear < img.rgb.size() : clear == 0) << clear << " clear";
    }
}

TEST(ArtTest, MarblesShareOneMaskTheRingShowsTheirMiddleAndTheCursorPointsFromItsCorner) {
    Picture light = load("pion1"), dark = load("pion2"), ring = load("vrkan"), cursor = load("souris");
    ASSERT_EQ(light.rgb.size(), 1024u);
    int marble = 0, differ = 0, covered = 0;
    for (int i = 0; i < 1024; i++) {
        ASSERT_EQ(light.rgb[i] == 0, dark.rgb[i] == 0) << "mask differs at " << i % 32 << "," << i / 32;
        marble += light.rgb[i] != 0;
        differ += light.rgb[i] != dark.rgb[i];
        covered += ring.rgb[i] != 0 && light.rgb[i] != 0;
    }
    EXPECT_GT(marble, 500);
    EXPECT_GT(differ, marble / 2) << "the two marbles must look different";
    EXPECT_GT(covered, 50) << "the ring covers the marble's edge";
    EXPECT_EQ(ring.at(15, 15) | ring.at(16, 16), 0u) << "and leaves its middle visible";
    // The lit side of a marble is at the top of the screen, where row 0 is drawn.
    EXPECT_GT(luma(light.at(11, 10)), luma(light.at(20, 22)));
    // The tip, the point the game draws the cursor from, is its top-left pixel.
    EXPECT_NE(cursor.at(0, 0), 0u);
    EXPECT_EQ(cursor.at(15, 0) | cursor.at(15, 15), 0u);
}

TEST(ArtTest, EveryHoleSitsUnderItsBoxAndLooksTheSame) {
    Picture fond = load("vorkane"), marble = load("pion1"), ring = load("vrkan");
    ASSERT_EQ(fond.rgb.size(), 640u * 480u);
    auto at = [&](int x, int y, int c, int r) { return fond.at(cell_left(x) + c, cell_top(y) + r); };
    std::vector<uint32_t> first;
    int cells = 0;
    for (int y = 2; y <= 10; y++)
        for (int x = std::abs(y - 6) + 2; x <= 18 - std::abs(y - 6); x += 2, cells++) {
            SCOPED_TRACE("cell " + std::to_string(x) + "," + std::to_string(y));
            // What the marbles and the ring were blended with lies under them, everywhere.
            std::vector<uint32_t> under;
            for (int r = 0; r < 32; r++)
                for (int c = 0; c < 32; c++)
                    if (marble.at(c, r) || ring.at(c, r)) under.push_back(at(x, y, c, r));
            if (first.empty()) first = under;
            EXPECT_EQ(under, first);
        }
    EXPECT_EQ(cells, 61);
    // The hole is there and centred in its box: the pixels that stand out from the
    // board round it balance about the box's middle. As all look the same, one will do.
    std::vector<double> round;
    auto dist = [](int c, int r) { return std::hypot(c + 0.5 - 16, r + 0.5 - 16); };
    for (int r = -4; r < 36; r++)
        for (int c = -4; c < 36; c++)
            if (dist(c, r) > 18 && dist(c, r) < 19.5) round.push_back(luma(at(10, 6, c, r)));
    std::nth_element(round.begin(), round.begin() + round.size() / 2, round.end());
    double board = round[round.size() / 2], sx = 0, sy = 0, n = 0;
    for (int r = -4; r < 36; r++)
        for (int c = -4; c < 36; c++)
            if (dist(c, r) < 18 && std::fabs(luma(at(10, 6, c, r)) - board) > 20) sx += c + 0.5, sy += r + 0.5, n++;
    EXPECT_NEAR(sx / n, 16, 0.5);
    EXPECT_NEAR(sy / n, 16, 0.5);
}

TEST(ArtTest, DigitsDifferAndBlendIntoTheirWellsAtBothScorePlaces) {
    Picture fond = load("vorkane"), previous;
    for (int n = 0; n <= 6; n++) {
        Picture digit = load("vrk" + std::to_string(n));
        ASSERT_EQ(digit.rgb.size(), 27u * 33u);
        // The glyph's outermost pixels are the well's, so no seam shows round it.
        for (int top : {370, 424})
            for (int y = 0; y < 33; y++)
                for (int x = 0; x < 27; x += (y == 0 || y == 32) ? 1 : 26)
                    ASSERT_EQ(digit.at(x, y), fond.at(410 + x, top + y)) << "digit " << n << " at " << x << "," << y;
        EXPECT_NE(digit.rgb, previous.rgb) << n;
        previous = digit;
    }
}

TEST(ArtTest, EachPlayerPanelShowsThatPlayersMarble) {
    // The marble's fully covered middle, as the sprite has it, must appear on the panel.
    auto shows = [](const Picture& panel, const Picture& marble) {
        for (int py = 0; py + 16 <= panel.h; py++)
            for (int px = 0; px + 16 <= panel.w; px++) {
                bool same = true;
                for (int r = 0; r < 16 && same; r++)
                    for (int c = 0; c < 16 && same; c++) same = panel.at(px + c, py + r) == marble.at(8 + c, 8 + r);
                if (same) return true;
            }
        return false;
    };
    Picture j1 = load("vrkj1"), j2 = load("vrkj2"), light = load("pion1"), dark = load("pion2");
    EXPECT_TRUE(shows(j1, light) && shows(j2, dark));
    EXPECT_FALSE(shows(j1, dark) || shows(j2, light));
}

// The same bytes on every run, the icons among them: pictures of their size with
// transparent corners.
TEST(ArtTest, TheGeneratorDrawsTheSameBytesEveryTime) {
    const std::string dir = test::scratch("mkart_again"), build = GLOBOID_BUILD_DIR;
    ASSERT_EQ(test::run({MKART, dir}, {}, 60000), 0);
    for (auto [name, w, h] : kForms)
        EXPECT_EQ(test::slurp(file(dir, name)), test::slurp(file(build, name))) << name << ", " << w << "x" << h;
    for (int size : {32, 16}) {
        const std::string icon = "/icons/globoid-" + std::to_string(size) + ".png";
        EXPECT_EQ(test::slurp(dir + icon), test::slurp(build + icon)) << icon;
        Picture p = test::read_png(build + icon);
        ASSERT_EQ(p.rgb.size(), size_t(size * size)) << icon;
        EXPECT_EQ(p.w, size);
        EXPECT_EQ(p.at(0, 0) >> 24, 0u) << "top-left corner";
        EXPECT_EQ(p.at(size / 2, size / 2) >> 24, 255u) << "middle";
    }
}

} // namespace
