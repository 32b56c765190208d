// Loading pictures: where every stored row lands, what stays untouched, and that
// missing, short, long, mis-sized and random files stay inside their places.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "assets/assets.h"
#include "souris/souris.h"
#include "tests/process.h"
#include "tests/support.h"
#include "unit/unit.h"

// The game's constructor also starts the mouse thread; loading needs only the object.
__attribute__((weak)) SourisType::SourisType()
    : Thread(0), Bouton1(false), Bouton2(false), Bouton3(false), x(0), y(0), oldx(0), oldy(0),
      Forme(nullptr), Fond(nullptr), Visible(false) {}

namespace {

using test::pixel;

constexpr uint32_t kRed = 0xFFFF0000u, kBlue = 0xFF0000FFu;
constexpr size_t kFrame = 640 * 480 * 4;

// A pixel value that says which file, stored row and column it came from.
uint32_t tag(int file, int row, int x) { return 0xFF000000u | uint32_t(file << 20 | row << 10 | x); }

// Every picture the loaders read, with the rectangle it lands in (panels only).
struct File {
    std::string name;
    int w, h;
    int left = 0, bottom = 0;
};
const File kCursor = {"souris", 16, 16}, kScreen = {"vorkane", 640, 480};
const File kSprites[3] = {{"vrkan", 32, 32}, {"pion1", 32, 32}, {"pion2", 32, 32}};
const File kPanels[3] = {{"vrkscore", 146, 39, 0, 415}, {"vrkj1", 199, 43, 200, 415}, {"vrkj2", 199, 43, 200, 470}};
File digit(int k) { return {"vrk" + std::to_string(k), 27, 33}; }
std::vector<File> all_files() {
    std::vector<File> out = {kCursor, kScreen, kSprites[0], kSprites[1], kSprites[2], kPanels[0], kPanels[1], kPanels[2]};
    for (int k = 0; k < 7; k++) out.push_back(digit(k));
    return out;
}

// The panel that covers (x, y) of _FOND, or none.
const File* panel_at(int x, int y) {
    for (const File& p : kPanels)
        if (x >= p.left && x < p.left + p.w && y > p.bottom - p.h && y <= p.bottom) return &p;
    return nullptr;
}

class AssetsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(chdir(test::scratch("assets").c_str()), 0);
        mkdir("Sprites", 0755);
        souris.Forme = reinterpret_cast<uint32*>(forme.data());
        std::memset(forme.data(), 0x5A, 1024);
    }
    void TearDown() override {
        EXPECT_TRUE(buffers.guards_intact()) << "a loader wrote outside its buffer";
        EXPECT_TRUE(forme.intact()) << "the cursor loader wrote outside Forme";
    }

    // Writes Sprites/<name>.tga, stored row `row` of file `file` made of tag(file, row, x).
    static void write(const File& f, int file, char header = 0x11, size_t trailing = 0, size_t keep = SIZE_MAX) {
        test::write_tga("Sprites/" + f.name + ".tga", f.w, f.h, [file](int row, int x) { return tag(file, row, x); },
                        header, trailing, keep);
    }
    static void write_all(size_t trailing) {
        std::vector<File> files = all_files();
        for (size_t i = 0; i < files.size(); i++) write(files[i], int(1 + i), 0x11, trailing);
    }
    void load_all() {
        souris.Load("Sprites/souris.tga");
        LoadBoules();
        LoadFond();
        EXPECT_EQ(std::memcmp(_ECRAN, _FOND, kFrame), 0) << "_ECRAN ends as a copy of _FOND";
    }
    // Every place but _ECRAN, to compare before and after.
    std::string places() {
        std::string all(_FOND, kFrame);
        for (const char* p : {_BOULE1, _BOULE2, _ANNEAU}) all.append(p, 4096);
        return all.append(_NB, 24948).append(forme.data(), 1024);
    }

    test::Buffers buffers;
    test::Guarded forme{1024};
    SourisType souris;
};

TEST_F(AssetsTest, TheScreenTurnsOverAndPanelsLandInTheirRectanglesTheirHeadersNowhere) {
    test::write_tga("Sprites/vorkane.tga", 640, 480,
                    [](int row, int x) { return row == 0 ? kRed : row == 479 ? kBlue : tag(1, row, x); });
    for (int i = 0; i < 3; i++) write(kPanels[i], 2 + i, char(0xEE));
    LoadFond();
    EXPECT_EQ(pixel(_FOND, 0, 479), kRed);
    EXPECT_EQ(pixel(_FOND, 639, 0), kBlue);
    for (int y = 1; y < 479; y++)
        for (int x = 0; x < 640; x++) {
            const File* p = panel_at(x, y);
            uint32_t want = p ? tag(2 + int(p - kPanels), p->bottom - y, x - p->left) : tag(1, 479 - y, x);
            ASSERT_EQ(pixel(_FOND, x, y), want) << x << "," << y;
        }
    EXPECT_EQ(std::memcmp(_ECRAN, _FOND, kFrame), 0);
}

TEST_F(AssetsTest, SpritesKeepTheirRowsAsStoredDigitsAndTheCursorTurnOver) {
    for (int i = 0; i < 3; i++)
        test::write_tga("Sprites/" + kSprites[i].name + ".tga", 32, 32,
                        [i](int row, int x) { return row == 0 ? kRed : tag(1 + i, row, x); });
    for (int k = 0; k < 7; k++) write(digit(k), 4 + k);
    write(kCursor, 11);
    std::memset(_NB, 0, 24948);
    LoadBoules();
    souris.Load("Sprites/souris.tga");

    char* sprites[3] = {_ANNEAU, _BOULE1, _BOULE2};
    for (int i = 0; i < 3; i++)
        for (int y = 0; y < 32; y++)
            for (int x = 0; x < 32; x++)
                ASSERT_EQ(pixel(sprites[i], x, y, 32), y == 0 ? kRed : tag(1 + i, y, x)) << i << ": " << x << "," << y;
    for (int k = 0; k < 7; k++)
        for (int y = 0; y < 33; y++)
            for (int x = 0; x < 27; x++)
                ASSERT_EQ(pixel(_NB + k * 3564, x, y, 27), tag(4 + k, 32 - y, x)) << "digit " << k << ": " << x << "," << y;
    // Digit 6 ends exactly at the last byte of _NB (the guards see any byte beyond).
    EXPECT_EQ(uint8_t(_NB[24947]), 0xFF);
    for (int y = 0; y < 16; y++)
        for (int x = 0; x < 16; x++) ASSERT_EQ(souris.Forme[y * 16 + x], tag(11, 15 - y, x)) << "cursor " << x << "," << y;
}

TEST_F(AssetsTest, BlackWithAFourthByteIsDrawnAndTheZeroWordIsNot) {
    test::write_tga("Sprites/pion1.tga", 32, 32, [](int row, int x) { return (row + x) % 2 ? 0xFF000000u : 0u; });
    LoadBoules();
    _PUTSPRITE(100, 100, _BOULE1);
    for (int y = 0; y < 32; y++)
        for (int x = 0; x < 32; x++)
            ASSERT_EQ(pixel(_ECRAN, 100 + x, 100 + y), (x + y) % 2 ? 0xFF000000u : pixel(_FOND, 100 + x, 100 + y));
}

TEST_F(AssetsTest, ShortFilesFillWhatTheyReachAndNoMore) {
    // 100 whole rows of the background, 10.5 rows of a panel, 25 pixels of a marble,
    // 5 rows of a digit and 12 of the cursor.
    write(kScreen, 1, 0x11, 0, 18 + 100 * 2560);
    write(kPanels[1], 2, char(0xEE), 0, 18 + 796 * 10 + 400);
    write(kSprites[2], 3, 0x11, 0, 18 + 100);
    write(digit(3), 4, 0x11, 0, 18 + 108 * 5);
    write(kCursor, 5, 0x11, 0, 18 + 64 * 12);
    std::string fond(_FOND, kFrame), boule2(_BOULE2, 4096), nb(_NB, 24948);
    load_all();

    for (int y = 0; y < 480; y++)
        for (int x = 0; x < 640; x++) {
            uint32_t want = pixel(fond.data(), x, y);
            if (x >= 200 && x < 399 && y <= 415 && y > 405)
                want = tag(2, 415 - y, x - 200);
            else if (x >= 200 && x < 300 && y == 405)
                want = tag(2, 10, x - 200);
            else if (y >= 380)
                want = tag(1, 479 - y, x);
            else if (y == 0 && x < 5)
                continue; // row 0 took the background's header in its first bytes, then no pixel
            ASSERT_EQ(pixel(_FOND, x, y), want) << x << "," << y;
        }
    EXPECT_EQ(std::memcmp(_BOULE2 + 100, boule2.data() + 100, 4096 - 100), 0);
    // The digit's header went to the block's first bytes; no pixel reached its top rows.
    EXPECT_EQ(std::memcmp(_NB + 3 * 3564 + 18, nb.data() + 3 * 3564 + 18, 28 * 108 - 18), 0);
    for (int y = 28; y < 33; y++)
        for (int x = 0; x < 27; x++) ASSERT_EQ(pixel(_NB + 3 * 3564, x, y, 27), tag(4, 32 - y, x));
    for (int y = 4; y < 16; y++)
        for (int x = 0; x < 16; x++) ASSERT_EQ(souris.Forme[y * 16 + x], tag(5, 15 - y, x));
}

TEST_F(AssetsTest, MissingFilesLeaveEveryPlaceAsItWasAndTrailingBytesChangeNothing) {
    std::memset(_ECRAN, 0x33, kFrame);
    std::string before = places();
    load_all();
    EXPECT_TRUE(places() == before) << "with no files";
    write_all(0);
    load_all();
    std::string plain = places();
    std::memset(_FOND, 0, kFrame);
    write_all(26 + 4096);
    load_all();
    EXPECT_TRUE(places() == plain) << "with a footer";
}

TEST_F(AssetsTest, FilesOfAnotherSizeStayInsideTheirPlaces) {
    for (int scale : {2, 3}) {
        // Twice or a third as wide and high as they should be; no background.
        for (File f : all_files()) {
            f.w = scale == 2 ? 2 * f.w : f.w / 3;
            f.h = scale == 2 ? 2 * f.h : f.h / 3;
            if (f.name != kScreen.name) write(f, 1);
        }
        std::string fond(_FOND, kFrame);
        load_all();
        for (int y = 0; y < 480; y++)
            for (int x = 0; x < 640; x++)
                if (!panel_at(x, y)) {
                    ASSERT_EQ(pixel(_FOND, x, y), pixel(fond.data(), x, y)) << x << "," << y << ", scale " << scale;
                }
        ASSERT_TRUE(buffers.guards_intact()) << "scale " << scale;
    }
}

TEST_F(AssetsTest, RandomFilesNeitherCrashNorWriteOutside) {
    const uint64_t seed = 0x5EED0A55E75ull;
    uint64_t state = seed;
    for (int round = 0; round < 8; round++) {
        SCOPED_TRACE("seed " + std::to_string(seed) + ", round " + std::to_string(round));
        for (const File& f : all_files()) {
            std::string bytes(test::next_random(state) % (2 * (18 + size_t(f.w) * f.h * 4)), '\0');
            for (char& c : bytes) c = char(test::next_random(state));
            std::ofstream("Sprites/" + f.name + ".tga", std::ios::binary) << bytes;
        }
        load_all();
        ASSERT_TRUE(buffers.guards_intact());
        ASSERT_TRUE(forme.intact());
    }
}

} // namespace
