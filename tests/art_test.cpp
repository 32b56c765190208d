// The generated pictures: the form the loaders rely on, and the properties the
// game's keyed drawing needs from the art.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/canvas.h"

namespace {

namespace fs = std::filesystem;

struct Form {
    const char* name;
    int w, h;
};
const Form kForms[17] = {
    {"souris", 16, 16},       {"vrkan", 32, 32},    {"pion1", 32, 32},    {"pion2", 32, 32},
    {"vrk0", 27, 33},         {"vrk1", 27, 33},     {"vrk2", 27, 33},     {"vrk3", 27, 33},
    {"vrk4", 27, 33},         {"vrk5", 27, 33},     {"vrk6", 27, 33},     {"presentation", 640, 480},
    {"vorkane", 640, 480},    {"vrkscore", 146, 39}, {"vrkj1", 199, 43},  {"vrkj2", 199, 43},
    {"victoire", 640, 480},
};

std::vector<uint8_t> read_bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// A picture as the game holds it: 32-bit words, top row first. The 32x32 sprites
// are kept as stored; everything else is stored bottom row first.
struct Image {
    int w = 0, h = 0;
    std::vector<uint32_t> px;
    uint32_t at(int x, int y) const { return px[size_t(y) * w + x]; }
};
Image load(const std::string& name) {
    const Form* form = nullptr;
    for (const Form& f : kForms)
        if (name == f.name) form = &f;
    Image img;
    std::vector<uint8_t> bytes = read_bytes(fs::path(GLOBOID_BUILD_DIR) / "Sprites" / (name + ".tga"));
    if (!form || bytes.size() < 18 + size_t(form->w) * form->h * 4) return img;
    img.w = form->w;
    img.h = form->h;
    img.px.resize(size_t(img.w) * img.h);
    bool as_stored = img.w == 32 && img.h == 32;
    for (int r = 0; r < img.h; r++)
        std::memcpy(&img.px[size_t(as_stored ? r : img.h - 1 - r) * img.w], &bytes[18 + size_t(r) * img.w * 4], size_t(img.w) * 4);
    return img;
}

double luma(uint32_t p) { return 0.299 * (p >> 16 & 255) + 0.587 * (p >> 8 & 255) + 0.114 * (p & 255); }

TEST(ArtTest, EveryFileHasItsSizeAndHeader) {
    for (const Form& f : kForms) {
        SCOPED_TRACE(f.name);
        std::vector<uint8_t> b = read_bytes(fs::path(GLOBOID_BUILD_DIR) / "Sprites" / (std::string(f.name) + ".tga"));
        ASSERT_EQ(b.size(), 18 + size_t(f.w) * f.h * 4);
        EXPECT_EQ(b[0], 0) << "no image ID";
        EXPECT_EQ(b[1], 0) << "no colour map";
        EXPECT_EQ(b[2], 2) << "uncompressed true colour";
        for (int i = 3; i < 12; i++) EXPECT_EQ(b[i], 0) << "colour map and origin, byte " << i;
        EXPECT_EQ(b[12] | b[13] << 8, f.w);
        EXPECT_EQ(b[14] | b[15] << 8, f.h);
        EXPECT_EQ(b[16], 32);
        EXPECT_EQ(b[17], 0x08) << "eight alpha bits, bottom-left origin";
    }
}

TEST(ArtTest, PixelsAreOpaqueOrTheZeroWordAndOnlySpritesHaveHoles) {
    for (const Form& f : kForms) {
        SCOPED_TRACE(f.name);
        Image img = load(f.name);
        ASSERT_EQ(img.px.size(), size_t(f.w) * f.h);
        size_t clear = 0;
        for (uint32_t p : img.px) {
            if (p == 0) {
                clear++;
                continue;
            }
            ASSERT_EQ(p >> 24, 255u);
        }
        bool keyed = std::string(f.name) == "souris" || (f.w == 32 && f.h == 32);
        if (keyed) {
            EXPECT_GT(clear, 0u);
            EXPECT_LT(clear, img.px.size());
        } else {
            EXPECT_EQ(clear, 0u) << "must be opaque everywhere";
        }
    }
}

TEST(ArtTest, MarblesShareOneMaskAndTheRingShowsTheirMiddle) {
    Image light = load("pion1"), dark = load("pion2"), ring = load("vrkan");
    ASSERT_EQ(light.px.size(), 1024u);
    int marble = 0, differ = 0;
    for (int i = 0; i < 1024; i++) {
        ASSERT_EQ(light.px[i] == 0, dark.px[i] == 0) << "mask differs at " << i % 32 << "," << i / 32;
        marble += light.px[i] != 0;
        differ += light.px[i] != dark.px[i];
    }
    EXPECT_GT(marble, 500);
    EXPECT_GT(differ, marble / 2) << "the two marbles must look different";
    // The ring covers the marble's edge and leaves its middle visible.
    EXPECT_EQ(ring.at(15, 15), 0u);
    EXPECT_EQ(ring.at(16, 16), 0u);
    int covers_edge = 0;
    for (int i = 0; i < 1024; i++) covers_edge += ring.px[i] != 0 && light.px[i] != 0;
    EXPECT_GT(covers_edge, 50);
    // The lit side of a marble is at the top of the screen, where row 0 is drawn.
    EXPECT_GT(luma(light.at(11, 10)), luma(light.at(20, 22)));
}

TEST(ArtTest, EveryHoleSitsUnderItsBoxAndLooksTheSame) {
    Image fond = load("vorkane"), marble = load("pion1"), ring = load("vrkan");
    ASSERT_EQ(fond.px.size(), 640u * 480u);
    int cells = 0;
    std::vector<uint32_t> first;
    for (int y = 2; y <= 10; y++) {
        int d = std::abs(y - 6);
        for (int x = d + 2; x <= 18 - d; x += 2) {
            SCOPED_TRACE("cell " + std::to_string(x) + "," + std::to_string(y));
            const int bx = 25 * x + 53, by = 38 * y - 59;
            // What the marbles and the ring were blended with is what lies under
            // them, everywhere.
            std::vector<uint32_t> under;
            for (int r = 0; r < 32; r++)
                for (int c = 0; c < 32; c++)
                    if (marble.at(c, r) || ring.at(c, r)) under.push_back(fond.at(bx + c, by + r));
            if (first.empty()) first = under;
            EXPECT_EQ(under, first);
            // The dark hole fills the box: darker in the middle than just outside
            // the box on every side.
            double middle = luma(fond.at(bx + 16, by + 16));
            for (auto [ox, oy] : {std::pair{-3, 16}, {34, 16}, {16, -3}, {16, 34}})
                EXPECT_LT(middle + 40, luma(fond.at(bx + ox, by + oy))) << "outside at " << ox << "," << oy;
            // And is centred in it: inside a circle round the box's middle a little
            // wider than the hole, the pixels that stand out from the board round
            // it balance about that middle.
            std::vector<double> ring;
            for (int r = -4; r < 36; r++)
                for (int c = -4; c < 36; c++) {
                    double dist = std::hypot(c + 0.5 - 16, r + 0.5 - 16);
                    if (dist > 18 && dist < 19.5) ring.push_back(luma(fond.at(bx + c, by + r)));
                }
            std::nth_element(ring.begin(), ring.begin() + ring.size() / 2, ring.end());
            double board = ring[ring.size() / 2], sx = 0, sy = 0, n = 0;
            for (int r = -4; r < 36; r++)
                for (int c = -4; c < 36; c++)
                    if (std::hypot(c + 0.5 - 16, r + 0.5 - 16) < 18 && std::fabs(luma(fond.at(bx + c, by + r)) - board) > 20) {
                        sx += c + 0.5;
                        sy += r + 0.5;
                        n++;
                    }
            EXPECT_NEAR(sx / n, 16, 0.5);
            EXPECT_NEAR(sy / n, 16, 0.5);
            cells++;
        }
    }
    EXPECT_EQ(cells, 61);
}

TEST(ArtTest, DigitsBlendIntoTheirWellsAtBothScorePlaces) {
    Image fond = load("vorkane");
    for (int n = 0; n <= 6; n++) {
        Image digit = load("vrk" + std::to_string(n));
        // The glyph's outermost pixels are the well's, so no seam shows round it.
        for (int place_y : {370, 424})
            for (int y = 0; y < 33; y++)
                for (int x = 0; x < 27; x++) {
                    if (x > 0 && y > 0 && x < 26 && y < 32) continue;
                    ASSERT_EQ(digit.at(x, y), fond.at(410 + x, place_y + y)) << "digit " << n << " at " << x << "," << y;
                }
        if (n > 0) {
            EXPECT_NE(digit.px, load("vrk" + std::to_string(n - 1)).px);
        }
    }
}

TEST(ArtTest, EachPlayerPanelShowsThatPlayersMarble) {
    // The marble's fully covered middle, as the sprite has it, must appear on the panel.
    auto shows = [](const Image& panel, const Image& marble) {
        for (int py = 0; py + 16 <= panel.h; py++)
            for (int px = 0; px + 16 <= panel.w; px++) {
                bool same = true;
                for (int r = 0; r < 16 && same; r++)
                    for (int c = 0; c < 16 && same; c++) same = panel.at(px + c, py + r) == marble.at(8 + c, 8 + r);
                if (same) return true;
            }
        return false;
    };
    Image j1 = load("vrkj1"), j2 = load("vrkj2"), light = load("pion1"), dark = load("pion2");
    EXPECT_TRUE(shows(j1, light));
    EXPECT_TRUE(shows(j2, dark));
    EXPECT_FALSE(shows(j1, dark));
    EXPECT_FALSE(shows(j2, light));
}

TEST(ArtTest, CursorTipIsItsTopLeftPixel) {
    Image cursor = load("souris");
    EXPECT_NE(cursor.at(0, 0), 0u);
    EXPECT_EQ(cursor.at(15, 0), 0u);
    EXPECT_EQ(cursor.at(15, 15), 0u);
}

TEST(ArtTest, IconsArePicturesOfTheirSizeWithTransparentCorners) {
    for (int size : {32, 16}) {
        int w = 0, h = 0;
        std::vector<uint8_t> rgba;
        std::string path = std::string(GLOBOID_BUILD_DIR) + "/icons/globoid-" + std::to_string(size) + ".png";
        ASSERT_TRUE(read_png(path, w, h, rgba)) << path;
        EXPECT_EQ(w, size);
        EXPECT_EQ(h, size);
        EXPECT_EQ(rgba[3], 0) << "top-left corner";
        EXPECT_EQ(rgba[size_t(size / 2 * size + size / 2) * 4 + 3], 255) << "middle";
    }
}

TEST(ArtTest, TheGeneratorDrawsTheSameBytesEveryTime) {
    fs::path dir = fs::path(::testing::TempDir()) / "mkart_again";
    fs::remove_all(dir);
    ASSERT_EQ(std::system((std::string(MKART) + " " + dir.string()).c_str()), 0);
    for (const Form& f : kForms) {
        std::string name = std::string(f.name) + ".tga";
        EXPECT_EQ(read_bytes(dir / "Sprites" / name), read_bytes(fs::path(GLOBOID_BUILD_DIR) / "Sprites" / name)) << name;
    }
    for (const char* icon : {"globoid-32.png", "globoid-16.png"})
        EXPECT_EQ(read_bytes(dir / "icons" / icon), read_bytes(fs::path(GLOBOID_BUILD_DIR) / "icons" / icon)) << icon;
    fs::remove_all(dir);
}

} // namespace
