// Loading pictures: where every stored row lands, what stays untouched, and that
// missing, short, long, mis-sized and random files stay inside their places.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

#include "assets/assets.h"
#include "souris/souris.h"
#include "tests/support.h"
#include "unit/unit.h"

// The game's constructor also starts the mouse thread; loading needs only the object.
__attribute__((weak)) SourisType::SourisType()
    : Thread(0), Bouton1(false), Bouton2(false), Bouton3(false), x(0), y(0), oldx(0), oldy(0),
      Forme(nullptr), Fond(nullptr), Visible(false) {}

namespace {

namespace fs = std::filesystem;
using test::pixel;

constexpr uint32_t kRed = 0xFFFF0000u, kBlue = 0xFF0000FFu;
constexpr size_t kFrame = 640 * 480 * 4;

// A pixel value that says which file, stored row and column it came from.
uint32_t tag(int file, int row, int x) { return 0xFF000000u | uint32_t(file << 20 | row << 10 | x); }

// Every picture the loaders read, with the rectangle it lands in (panels only).
struct Picture {
    const char* name;
    int w, h;
    int left = 0, bottom = 0; // for the panels pasted into _FOND
};
const Picture kCursor = {"souris.tga", 16, 16};
const Picture kSprites[3] = {{"vrkan.tga", 32, 32}, {"pion1.tga", 32, 32}, {"pion2.tga", 32, 32}};
const Picture kScreen = {"vorkane.tga", 640, 480};
const Picture kPanels[3] = {{"vrkscore.tga", 146, 39, 0, 415},
                            {"vrkj1.tga", 199, 43, 200, 415},
                            {"vrkj2.tga", 199, 43, 200, 470}};
std::string digit_name(int k) { return "vrk" + std::to_string(k) + ".tga"; }

bool in_panel(int x, int y) {
    for (const Picture& p : kPanels)
        if (x >= p.left && x < p.left + p.w && y > p.bottom - p.h && y <= p.bottom) return true;
    return false;
}

class AssetsTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string dir = ::testing::TempDir() + "assets_XXXXXX";
        ASSERT_NE(mkdtemp(dir.data()), nullptr);
        root = dir;
        fs::create_directory(root / "Sprites");
        here = fs::current_path();
        fs::current_path(root);
        souris.Forme = reinterpret_cast<uint32*>(forme.data());
        std::memset(forme.data(), 0x5A, 1024);
    }
    void TearDown() override {
        fs::current_path(here);
        fs::remove_all(root);
        EXPECT_TRUE(buffers.guards_intact()) << "a loader wrote outside its buffer";
        EXPECT_TRUE(forme.intact()) << "the cursor loader wrote outside Forme";
    }

    // Writes Sprites/<name>: 18 header bytes of `header`, then w x h pixels, the
    // stored rows in file order, then `trailing` extra bytes; cut to `keep` bytes.
    void write(const std::string& name, int w, int h, const std::function<uint32_t(int, int)>& px,
               char header = 0x11, size_t trailing = 0, size_t keep = SIZE_MAX) {
        std::string bytes(18, header);
        for (int row = 0; row < h; row++)
            for (int x = 0; x < w; x++) {
                uint32_t v = px(row, x);
                bytes.append(reinterpret_cast<const char*>(&v), 4);
            }
        for (size_t i = 0; i < trailing; i++) bytes += char(0x80 | i);
        if (keep < bytes.size()) bytes.resize(keep);
        std::ofstream(root / "Sprites" / name, std::ios::binary) << bytes;
    }
    void write(const Picture& p, int file, char header = 0x11, size_t trailing = 0) {
        write(p.name, p.w, p.h, [file](int row, int x) { return tag(file, row, x); }, header, trailing);
    }
    void write_all(size_t trailing) {
        write(kCursor, 1, 0x11, trailing);
        for (int i = 0; i < 3; i++) write(kSprites[i], 2 + i, 0x11, trailing);
        for (int k = 0; k < 7; k++) write({digit_name(k).c_str(), 27, 33}, 5 + k, 0x11, trailing);
        write(kScreen, 12, 0x11, trailing);
        for (int i = 0; i < 3; i++) write(kPanels[i], 13 + i, 0x22, trailing);
    }
    void load_all() {
        souris.Load("Sprites/souris.tga");
        LoadBoules();
        LoadFond();
    }

    // Copies of every place, to compare before and after.
    struct Places {
        std::vector<char> fond, ecran, boule1, boule2, anneau, nb, forme;
        bool operator==(const Places& o) const {
            return fond == o.fond && ecran == o.ecran && boule1 == o.boule1 && boule2 == o.boule2 &&
                   anneau == o.anneau && nb == o.nb && forme == o.forme;
        }
    };
    Places places() {
        auto copy = [](const char* p, size_t n) { return std::vector<char>(p, p + n); };
        return {copy(_FOND, kFrame), copy(_ECRAN, kFrame), copy(_BOULE1, 4096), copy(_BOULE2, 4096),
                copy(_ANNEAU, 4096), copy(_NB, 24948), copy(forme.data(), 1024)};
    }

    test::Buffers buffers;
    test::Guarded forme{1024};
    SourisType souris;
    fs::path root, here;
};

TEST_F(AssetsTest, FullScreenRowsAreTurnedOverAndMissingPanelsLeaveTheBackground) {
    write(kScreen.name, 640, 480, [](int row, int x) {
        return row == 0 ? kRed : row == 479 ? kBlue : tag(1, row, x);
    });
    LoadFond();
    int wrong = 0;
    for (int y = 0; y < 480; y++)
        for (int x = 0; x < 640; x++) {
            int row = 479 - y;
            uint32_t want = row == 0 ? kRed : row == 479 ? kBlue : tag(1, row, x);
            if (pixel(_FOND, x, y) != want && wrong++ == 0) ADD_FAILURE() << "first wrong pixel at " << x << "," << y;
        }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(pixel(_FOND, 0, 479), kRed);
    EXPECT_EQ(pixel(_FOND, 639, 0), kBlue);
    EXPECT_EQ(std::memcmp(_ECRAN, _FOND, kFrame), 0);
}

TEST_F(AssetsTest, PanelsLandInTheirRectanglesAndTheirHeadersNowhere) {
    write(kScreen, 1);
    for (int i = 0; i < 3; i++) write(kPanels[i], 2 + i, char(0xEE));
    LoadFond();

    std::vector<uint32_t> want(640 * 480);
    for (int y = 0; y < 480; y++)
        for (int x = 0; x < 640; x++) want[y * 640 + x] = tag(1, 479 - y, x);
    for (int i = 0; i < 3; i++) {
        const Picture& p = kPanels[i];
        for (int row = 0; row < p.h; row++)
            for (int x = 0; x < p.w; x++) want[(p.bottom - row) * 640 + p.left + x] = tag(2 + i, row, x);
    }
    int wrong = 0;
    for (int y = 0; y < 480; y++)
        for (int x = 0; x < 640; x++)
            if (pixel(_FOND, x, y) != want[y * 640 + x] && wrong++ == 0)
                ADD_FAILURE() << "first wrong pixel at " << x << "," << y;
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(std::memcmp(_ECRAN, _FOND, kFrame), 0);
}

TEST_F(AssetsTest, SpritesKeepTheirRowsAsStoredAndTheCursorTurnsOver) {
    for (int i = 0; i < 3; i++)
        write(kSprites[i].name, 32, 32, [i](int row, int x) { return row == 0 ? kRed : tag(1 + i, row, x); });
    write(kCursor, 4);
    LoadBoules();
    souris.Load("Sprites/souris.tga");

    char* sprites[3] = {_ANNEAU, _BOULE1, _BOULE2};
    for (int i = 0; i < 3; i++)
        for (int y = 0; y < 32; y++)
            for (int x = 0; x < 32; x++)
                ASSERT_EQ(pixel(sprites[i], x, y, 32), y == 0 ? kRed : tag(1 + i, y, x))
                    << kSprites[i].name << " at " << x << "," << y;
    for (int y = 0; y < 16; y++)
        for (int x = 0; x < 16; x++)
            ASSERT_EQ(souris.Forme[y * 16 + x], tag(4, 15 - y, x)) << "cursor at " << x << "," << y;
}

TEST_F(AssetsTest, DigitsFillTheirBlocksTurnedOverAndEndAtTheLastByte) {
    for (int k = 0; k < 7; k++) write({digit_name(k).c_str(), 27, 33}, 1 + k);
    std::memset(_NB, 0, 24948);
    LoadBoules();
    for (int k = 0; k < 7; k++)
        for (int y = 0; y < 33; y++)
            for (int x = 0; x < 27; x++)
                ASSERT_EQ(pixel(_NB + k * 3564, x, y, 27), tag(1 + k, 32 - y, x)) << "digit " << k << " at " << x << "," << y;
    // Digit 6's bottom-right pixel is its file's first stored row, last column.
    EXPECT_EQ(uint8_t(_NB[24947]), 0xFF);
    EXPECT_EQ(pixel(_NB + 6 * 3564, 26, 32, 27), tag(7, 0, 26));
}

TEST_F(AssetsTest, BlackWithAFourthByteIsDrawnAndTheZeroWordIsNot) {
    write("pion1.tga", 32, 32, [](int row, int x) { return (row + x) % 2 ? 0xFF000000u : 0u; });
    LoadBoules();
    _PUTSPRITE(100, 100, _BOULE1);
    for (int y = 0; y < 32; y++)
        for (int x = 0; x < 32; x++)
            ASSERT_EQ(pixel(_ECRAN, 100 + x, 100 + y), (x + y) % 2 ? 0xFF000000u : pixel(_FOND, 100 + x, 100 + y));
}

TEST_F(AssetsTest, MissingFilesLeaveEveryPlaceAsItWas) {
    std::memset(_ECRAN, 0x33, kFrame);
    Places before = places();
    load_all();
    Places after = places();
    EXPECT_EQ(after.ecran, before.fond) << "_ECRAN must still end as a copy of _FOND";
    after.ecran = before.ecran;
    EXPECT_TRUE(after == before);
}

TEST_F(AssetsTest, ShortFilesFillWhatTheyReachAndNoMore) {
    // 100 whole rows of the background and 10.5 rows of a panel.
    write(kScreen.name, 640, 480, [](int row, int x) { return tag(1, row, x); }, 0x11, 0, 18 + 100 * 2560);
    write(kPanels[1].name, 199, 43, [](int row, int x) { return tag(2, row, x); }, char(0xEE), 0, 18 + 796 * 10 + 400);
    write("pion2.tga", 32, 32, [](int row, int x) { return tag(3, row, x); }, 0x11, 0, 18 + 100);
    write("vrk3.tga", 27, 33, [](int row, int x) { return tag(4, row, x); }, 0x11, 0, 18 + 108 * 5);
    write("souris.tga", 16, 16, [](int row, int x) { return tag(5, row, x); }, 0x11, 0, 18 + 64 * 12);
    Places before = places();
    load_all();

    for (int y = 0; y < 480; y++)
        for (int x = 0; x < 640; x++) {
            uint32_t got = pixel(_FOND, x, y), old = pixel(before.fond.data(), x, y);
            uint32_t want = old;
            if (x >= 200 && x < 399 && y <= 415 && y > 405)
                want = tag(2, 415 - y, x - 200);
            else if (x >= 200 && x < 300 && y == 405)
                want = tag(2, 10, x - 200);
            else if (y >= 380)
                want = tag(1, 479 - y, x);
            else if (y == 0 && x < 5)
                continue; // row 0 took the background's header in its first bytes, then no pixel
            ASSERT_EQ(got, want) << x << "," << y;
        }
    EXPECT_EQ(std::memcmp(_BOULE2 + 100, before.boule2.data() + 100, 4096 - 100), 0);
    // The digit's header went to the block's first bytes; no pixel reached its top rows.
    EXPECT_EQ(std::memcmp(_NB + 3 * 3564 + 18, before.nb.data() + 3 * 3564 + 18, 28 * 108 - 18), 0);
    for (int y = 28; y < 33; y++)
        for (int x = 0; x < 27; x++) ASSERT_EQ(pixel(_NB + 3 * 3564, x, y, 27), tag(4, 32 - y, x));
    for (int y = 4; y < 16; y++)
        for (int x = 0; x < 16; x++) ASSERT_EQ(souris.Forme[y * 16 + x], tag(5, 15 - y, x));
    EXPECT_EQ(std::memcmp(_ECRAN, _FOND, kFrame), 0);
}

TEST_F(AssetsTest, TrailingBytesChangeNothing) {
    write_all(0);
    load_all();
    Places plain = places();
    std::memset(_FOND, 0, kFrame);
    write_all(26 + 4096);
    load_all();
    EXPECT_TRUE(places() == plain);
}

TEST_F(AssetsTest, FilesOfAnotherSizeStayInsideTheirPlaces) {
    for (int scale : {2, 3}) {
        // Twice or a third as wide and high as they should be; no background.
        auto size = [scale](int n) { return scale == 2 ? 2 * n : n / 3; };
        write(kCursor.name, size(16), size(16), [](int r, int x) { return tag(1, r, x); });
        for (const Picture& p : kSprites) write(p.name, size(32), size(32), [](int r, int x) { return tag(2, r, x); });
        for (int k = 0; k < 7; k++) write(digit_name(k), size(27), size(33), [](int r, int x) { return tag(3, r, x); });
        for (const Picture& p : kPanels) write(p.name, size(p.w), size(p.h), [](int r, int x) { return tag(4, r, x); });
        std::vector<char> fond(_FOND, _FOND + kFrame);
        load_all();
        for (int y = 0; y < 480; y++)
            for (int x = 0; x < 640; x++)
                if (!in_panel(x, y)) {
                    ASSERT_EQ(pixel(_FOND, x, y), pixel(fond.data(), x, y)) << x << "," << y;
                }
        ASSERT_TRUE(buffers.guards_intact()) << "scale " << scale;
    }
}

TEST_F(AssetsTest, RandomFilesNeitherCrashNorWriteOutside) {
    const uint64_t seed = 0x5EED0A55E75ull;
    uint64_t state = seed;
    std::vector<std::pair<std::string, size_t>> files = {{kCursor.name, 1024}, {kScreen.name, kFrame}};
    for (const Picture& p : kSprites) files.emplace_back(p.name, 4096);
    for (const Picture& p : kPanels) files.emplace_back(p.name, size_t(p.w) * p.h * 4);
    for (int k = 0; k < 7; k++) files.emplace_back(digit_name(k), 3564);
    for (int round = 0; round < 8; round++) {
        SCOPED_TRACE("seed " + std::to_string(seed) + ", round " + std::to_string(round));
        for (auto& [name, pixels] : files) {
            size_t length = test::next_random(state) % (2 * (18 + pixels));
            std::string bytes(length, '\0');
            for (char& c : bytes) c = char(test::next_random(state));
            std::ofstream(root / "Sprites" / name, std::ios::binary) << bytes;
        }
        load_all();
        ASSERT_TRUE(buffers.guards_intact());
        ASSERT_TRUE(forme.intact());
        ASSERT_EQ(std::memcmp(_ECRAN, _FOND, kFrame), 0);
    }
}

} // namespace
