// Loading pictures: where every stored row lands, what stays untouched, and that
// missing, short, long, mis-sized and random files stay inside their places.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/stat.h>
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

constexpr size_t kFrame = 640 * 480 * 4;

// A pixel value that says which file, stored row and column it came from.
uint32_t tag(size_t file, int row, int x) { return 0xFF000000u | uint32_t(file << 20 | row << 10 | x); }

// A picture the loaders read, and its place: the top-left byte, the place's row
// length in pixels. The 32x32 sprites keep their rows as stored; every other
// picture is turned over, its first stored row landing at the bottom.
struct File {
    std::string name;
    int w, h;
    char* place;
    int stride;
    size_t size() const { return 18 + size_t(w) * h * 4; }
    char* at(int row, int x) const { return place + (size_t(w == 32 ? row : h - 1 - row) * stride + x) * 4; }
};

// The places the loaders write, as they are named in messages, and their widths.
struct Place {
    const char* name;
    char* at;
    size_t size;
    int width;
};

class AssetsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(chdir(test::scratch("assets").c_str()), 0);
        mkdir("Sprites", 0755);
        std::memset(forme.data(), 0x5A, 1024);
        souris.Forme = reinterpret_cast<uint32*>(forme.data());
    }
    void TearDown() override {
        EXPECT_TRUE(buffers.guards_intact()) << "a loader wrote outside its buffer";
        EXPECT_TRUE(forme.intact()) << "the cursor loader wrote outside Forme";
    }

    // In the order they load; the panels over the screen.
    std::vector<File> files() {
        std::vector<File> out = {{"souris", 16, 16, forme.data(), 16},  {"vrkan", 32, 32, _ANNEAU, 32},
                                 {"pion1", 32, 32, _BOULE1, 32},        {"pion2", 32, 32, _BOULE2, 32},
                                 {"vorkane", 640, 480, _FOND, 640},     {"vrkscore", 146, 39, _FOND + 377 * 2560, 640},
                                 {"vrkj1", 199, 43, _FOND + 373 * 2560 + 800, 640},
                                 {"vrkj2", 199, 43, _FOND + 428 * 2560 + 800, 640}};
        for (int k = 0; k < 7; k++) out.push_back({"vrk" + std::to_string(k), 27, 33, _NB + k * 3564, 27});
        return out;
    }
    std::vector<Place> places() {
        return {{"_FOND", _FOND, kFrame, 640}, {"_ANNEAU", _ANNEAU, 4096, 32}, {"_BOULE1", _BOULE1, 4096, 32},
                {"_BOULE2", _BOULE2, 4096, 32}, {"_NB", _NB, 24948, 27},     {"Forme", forme.data(), 1024, 16}};
    }
    std::string contents() {
        std::string all;
        for (const Place& p : places()) all.append(p.at, p.size);
        return all;
    }
    void restore(const std::string& contents) {
        size_t from = 0;
        for (const Place& p : places()) from += contents.copy(p.at, p.size, from);
    }
    // "" when two contents agree, else the first pixel that differs.
    std::string differs(const std::string& actual, const std::string& want) {
        size_t i = size_t(std::mismatch(actual.begin(), actual.end(), want.begin()).first - actual.begin()) / 4;
        for (const Place& p : places()) {
            if (i < p.size / 4)
                return std::string(p.name) + " at " + std::to_string(i % p.width) + "," + std::to_string(i / p.width);
            i -= p.size / 4;
        }
        return "";
    }

    void load_all() {
        std::memset(_ECRAN, 0x33, kFrame);
        souris.Load("Sprites/souris.tga");
        LoadBoules();
        LoadFond();
        EXPECT_EQ(std::memcmp(_ECRAN, _FOND, kFrame), 0) << "_ECRAN ends as a copy of _FOND";
    }

    // Writes every picture with tag pixels and a header of 0xEE bytes, cut to
    // kept[i] bytes (none: no file; more than its size: a footer), and loads them
    // all. Every pixel a read reached must hold its tag, every other byte of every
    // place what it held before; but a cut file's header may stay in the first
    // bytes of its place.
    void load_and_check(const std::vector<size_t>& kept) {
        std::vector<File> all = files();
        for (size_t i = 0; i < all.size(); i++) {
            const File& f = all[i];
            std::string path = "Sprites/" + f.name + ".tga";
            std::remove(path.c_str());
            if (kept[i])
                test::write_tga(path, f.w, f.h, [i](int row, int x) { return tag(i, row, x); }, char(0xEE),
                                kept[i] > f.size() ? kept[i] - f.size() : 0, kept[i]);
        }
        std::string before = contents();
        load_all();
        std::string actual = contents();
        std::vector<std::string> headers;
        for (const File& f : all) headers.emplace_back(f.place, 18);
        restore(before);
        for (size_t i = 0; i < all.size(); i++) {
            const File& f = all[i];
            if (kept[i] && kept[i] < f.size()) headers[i].copy(f.place, 18);
            for (int row = 0; row < f.h; row++)
                for (int x = 0; x < f.w; x++)
                    if (18 + (size_t(row) * f.w + x + 1) * 4 <= kept[i])
                        test::set_pixel(f.at(row, x), 0, 0, tag(i, row, x));
        }
        EXPECT_EQ(differs(actual, contents()), "");
    }

    test::Buffers buffers;
    test::Guarded forme{1024};
    SourisType souris;
};

// Rows turned over: the first stored row of the screen lands in row 479, of a
// 32x32 sprite in row 0, of the cursor in row 15. Digit 6 ends at the last byte of
// _NB, where the guards begin. Every pixel keeps its four bytes as stored, so black
// with a fourth byte of 255 stays the opaque word the keyed routines draw.
TEST_F(AssetsTest, EveryPictureLandsInItsPlaceAndItsHeaderNowhere) {
    std::vector<size_t> kept;
    for (const File& f : files()) kept.push_back(f.size());
    load_and_check(kept);
}

TEST_F(AssetsTest, MissingShortAndLongFilesFillWhatTheirReadsReachAndNoMore) {
    std::vector<File> all = files();
    std::vector<size_t> none(all.size(), 0), cut, footer;
    for (size_t i = 0; i < all.size(); i++) {
        cut.push_back(18 + 4 * (size_t(all[i].w) * all[i].h * (i + 1) / (all.size() + 1)));
        footer.push_back(all[i].size() + 26 + 4096);
    }
    for (auto [what, kept] : {std::pair{"missing", none}, {"short", cut}, {"with a footer", footer}}) {
        SCOPED_TRACE(what);
        load_and_check(kept);
    }
}

TEST_F(AssetsTest, FilesOfAnotherSizeStayInsideTheirPlaces) {
    for (int scale : {2, 3}) {
        SCOPED_TRACE("scale " + std::to_string(scale));
        // Twice or a third as wide and high as they should be; no background.
        std::vector<File> all = files();
        for (const File& f : all)
            if (f.name != "vorkane")
                test::write_tga("Sprites/" + f.name + ".tga", scale == 2 ? 2 * f.w : f.w / 3,
                                scale == 2 ? 2 * f.h : f.h / 3, [](int row, int x) { return tag(1, row, x); });
        std::string fond(_FOND, kFrame);
        load_all();
        // Outside the panels (files 5 to 7), the background is as it was.
        for (size_t i = 5; i < 8; i++)
            for (int row = 0; row < all[i].h; row++)
                std::copy_n(all[i].at(row, 0), all[i].w * 4, &fond[size_t(all[i].at(row, 0) - _FOND)]);
        size_t at = size_t(std::mismatch(fond.begin(), fond.end(), _FOND).first - fond.begin()) / 4;
        EXPECT_EQ(at, 640u * 480u) << "first change at " << at % 640 << "," << at / 640;
    }
}

TEST_F(AssetsTest, RandomFilesNeitherCrashNorWriteOutside) {
    const uint64_t seed = 0x5EED0A55E75ull;
    uint64_t state = seed;
    for (int round = 0; round < 8; round++) {
        SCOPED_TRACE("seed " + std::to_string(seed) + ", round " + std::to_string(round));
        for (const File& f : files()) {
            std::string bytes(test::next_random(state) % (2 * f.size()), '\0');
            for (char& c : bytes) c = char(test::next_random(state));
            std::ofstream("Sprites/" + f.name + ".tga", std::ios::binary) << bytes;
        }
        load_all();
        ASSERT_TRUE(buffers.guards_intact());
        ASSERT_TRUE(forme.intact());
    }
}

} // namespace
