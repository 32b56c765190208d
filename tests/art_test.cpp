// The generated pictures: the form the loaders rely on, pixels the keyed drawing
// reads right, and the same bytes on every run. (How they look on the board, the
// whole games compare pixel for pixel.)
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "tests/harness.h"

namespace {

using test::Picture;

// Every picture file, its width and height.
const std::tuple<const char*, int, int> kForms[23] = {
    {"souris", 16, 16}, {"vrkan", 32, 32},          {"pion1", 32, 32},     {"pion2", 32, 32},     {"vrk0", 27, 33},
    {"vrk1", 27, 33},   {"vrk2", 27, 33},           {"vrk3", 27, 33},      {"vrk4", 27, 33},      {"vrk5", 27, 33},
    {"vrk6", 27, 33},   {"presentation", 640, 480}, {"vorkane", 640, 480}, {"vrkscore", 146, 39}, {"vrkj1", 199, 43},
    {"vrkj2", 199, 43}, {"victoire", 640, 480},     {"attente", 640, 480}, {"parti", 640, 480},   {"rompu", 640, 480},
    {"tour", 32, 128},  {"titre", 170, 370},        {"revue", 150, 130},
};

std::string file(const std::string& dir, const std::string& name) { return dir + "/Sprites/" + name + ".tga"; }
Picture load(const std::string& name) { return test::read_tga(file(GLOBOID_BUILD_DIR, name)); }

TEST(ArtTest, EveryFileHasItsSizeAndHeaderAndOpaqueOrZeroPixels) {
    for (auto [name, w, h] : kForms) {
        SCOPED_TRACE(name);
        std::string bytes = test::slurp(file(GLOBOID_BUILD_DIR, name));
        ASSERT_EQ(bytes.size(), 18 + size_t(w) * h * 4);
        // No image ID, no colour map, uncompressed true colour; the size; 32 bits,
        // eight of them alpha, bottom-left origin.
        const char header[18] = {0,  0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, char(w), char(w >> 8), char(h), char(h >> 8),
                                 32, 8};
        EXPECT_EQ(bytes.substr(0, 18), std::string(header, 18));
        Picture img = load(name);
        size_t clear = std::count(img.rgb.begin(), img.rgb.end(), 0u);
        for (uint32_t p : img.rgb) ASSERT_TRUE(p == 0 || p >> 24 == 255) << std::hex << p;
        // The cursor and the 32x32 sprites have holes; everything else is opaque everywhere.
        EXPECT_TRUE(w == 16 || (w == 32 && h == 32) ? clear > 0 && clear < img.rgb.size() : clear == 0)
            << clear << " clear";
    }
}

// The same bytes on every run, the icons among them: pictures of their size with
// transparent corners.
TEST(ArtTest, TheGeneratorDrawsTheSameBytesEveryTime) {
    const std::string dir = test::scratch("mkart_again"), build = GLOBOID_BUILD_DIR;
    ASSERT_EQ(test::run({MKART, dir}, {}, 240000), 0); // a loaded machine, under a sanitizer
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
