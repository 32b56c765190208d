// The pixel routines: the colour key, block limits, the cursor's save-under, and
// the vector forms against the scalar rule.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tests/support.h"
#include "unit/unit.h"

using test::box;
using test::pixel;
using test::set_pixel;

namespace {

class UnitTest : public ::testing::Test {
protected:
    void TearDown() override {
        EXPECT_TRUE(buffers.guards_intact()) << "a routine wrote outside its buffer";
        keyed_path_use(best);
    }
    test::Buffers buffers;
    KeyedPath best = keyed_path_in_use();
};

std::vector<KeyedPath> available_paths() {
    std::vector<KeyedPath> out;
    for (KeyedPath p : {KeyedPath::Scalar, KeyedPath::SSE2, KeyedPath::AVX2})
        if (keyed_path_available(p)) out.push_back(p);
    return out;
}

TEST_F(UnitTest, KeyTestsTheWholeWordOnEveryPath) {
    for (KeyedPath path : available_paths()) {
        keyed_path_use(path);
        std::vector<uint32_t> sprite(1024, 0);
        sprite[0] = 0xFF000000u;  // black, opaque by its fourth byte
        sprite[1] = 0x01000000u;  // any non-zero fourth byte will do
        sprite[2] = 0x00000001u;  // a nearly black colour with a zero fourth byte
        sprite[33] = 0x00FFFFFFu; // white with a zero fourth byte is drawn too
        std::vector<uint32_t> before = box(_ECRAN, 100, 50);
        _PUTSPRITE(100, 50, reinterpret_cast<char*>(sprite.data()));
        std::vector<uint32_t> after = box(_ECRAN, 100, 50);
        for (int i = 0; i < 1024; i++)
            EXPECT_EQ(after[i], sprite[i] ? sprite[i] : before[i]) << "pixel " << i;
    }
}

TEST_F(UnitTest, PutSpriteNeverErases) {
    // A ring over a marble leaves the marble showing through the ring's middle,
    // and one marble over the other keeps the first wherever the second is clear.
    _PUTSPRITE(200, 100, _BOULE1);
    _PUTSPRITE(200, 100, _ANNEAU);
    EXPECT_EQ(pixel(_ECRAN, 216, 116), pixel(_BOULE1, 16, 16, 32));
    EXPECT_EQ(pixel(_ECRAN, 202, 116), pixel(_ANNEAU, 2, 16, 32));
    ASSERT_NE(pixel(_ANNEAU, 2, 16, 32), 0u);

    std::vector<uint32_t> half(1024, 0);
    for (int i = 0; i < 512; i++) half[i] = 0xFF123456u;
    _PUTSPRITE(300, 100, _BOULE2);
    _PUTSPRITE(300, 100, reinterpret_cast<char*>(half.data()));
    EXPECT_EQ(pixel(_ECRAN, 316, 100), 0xFF123456u);
    EXPECT_EQ(pixel(_ECRAN, 316, 124), pixel(_BOULE2, 16, 24, 32));
}

TEST_F(UnitTest, UnkeyedBlocksReplaceWhatWasThere) {
    _PUTSPRITE(40, 40, _BOULE1);
    _EFFSPRITE(40, 40);
    EXPECT_EQ(box(_ECRAN, 40, 40), box(_FOND, 40, 40));

    _AFFNOMBRE(410, 370, 2);
    _AFFNOMBRE(410, 370, 3);
    std::vector<uint32_t> shown = box(_ECRAN, 410, 370, 27, 33);
    std::vector<uint32_t> glyph(27 * 33);
    std::memcpy(glyph.data(), _NB + 3 * 3564, 3564);
    EXPECT_EQ(shown, glyph);
}

// Fills an image word by word, with plenty of zero words and zero-colour words, or
// in runs of 1 to 20 transparent or opaque words, so that the vector forms meet
// whole vectors of either kind as well as mixed ones.
void random_image(uint32_t* image, int words, bool runs, uint64_t& seed) {
    for (int i = 0; i < words;) {
        uint32_t r = test::next_random(seed);
        if (!runs) {
            image[i++] = r % 3 == 0 ? 0 : r % 7 == 0 ? (r & 0xFF000000u) : r;
            continue;
        }
        bool opaque = r & 1;
        for (int n = 1 + int(r >> 1) % 20; n > 0 && i < words; n--)
            image[i++] = opaque ? test::next_random(seed) | 0x01000000u : 0;
    }
}

TEST_F(UnitTest, VectorPathsMatchTheScalarRule) {
    // Random sprites over random frames, at every x alignment a vector could care about.
    uint64_t seed = 20261206;
    std::vector<KeyedPath> paths = available_paths();
    for (int trial = 0; trial < 128; trial++) {
        SCOPED_TRACE(::testing::Message() << "seed 20261206, trial " << trial);
        std::vector<uint32_t> sprite(1024), frame(640 * 480);
        random_image(sprite.data(), 1024, trial >= 64, seed);
        random_image(reinterpret_cast<uint32_t*>(_SOURIS), 256, trial >= 64, seed);
        for (uint32_t& p : frame) p = test::next_random(seed);
        int x = trial % 16 + 592 * (trial / 16 % 2), y = (trial * 37) % 449;
        int cx = trial % 16 + 608 * (trial / 16 % 2), cy = (trial * 41) % 465;

        std::vector<std::vector<uint32_t>> results;
        for (KeyedPath path : paths) {
            keyed_path_use(path);
            std::memcpy(_ECRAN, frame.data(), 640 * 480 * 4);
            _PUTSPRITE(x, y, reinterpret_cast<char*>(sprite.data()));
            _DRAWSOURIS(cx, cy);
            std::vector<uint32_t> r(reinterpret_cast<uint32_t*>(_ECRAN), reinterpret_cast<uint32_t*>(_ECRAN) + 640 * 480);
            r.insert(r.end(), reinterpret_cast<uint32_t*>(_SSOURIS), reinterpret_cast<uint32_t*>(_SSOURIS) + 256);
            results.push_back(r);
        }
        for (size_t p = 1; p < results.size(); p++)
            ASSERT_TRUE(results[p] == results[0]) << "path " << int(paths[p]) << " differs from the scalar rule";
    }
}

TEST_F(UnitTest, BlocksAtTheLargestPlacesStayInside) {
    // The guards around _ECRAN, checked in TearDown, catch any overrun; here we
    // check that the last row and column are reached.
    std::vector<uint32_t> opaque(1024, 0xFF0000FFu);
    _PUTSPRITE(608, 448, reinterpret_cast<char*>(opaque.data()));
    EXPECT_EQ(pixel(_ECRAN, 639, 479), 0xFF0000FFu);
    EXPECT_NE(pixel(_ECRAN, 607, 447), 0xFF0000FFu);

    _EFFSPRITE(608, 448);
    EXPECT_EQ(pixel(_ECRAN, 639, 479), pixel(_FOND, 639, 479));

    _AFFNOMBRE(613, 447, 6);
    EXPECT_EQ(pixel(_ECRAN, 639, 479), pixel(_NB + 6 * 3564, 26, 32, 27));

    for (int i = 0; i < 256; i++) reinterpret_cast<uint32_t*>(_SOURIS)[i] = 0xFF00FF00u;
    _DRAWSOURIS(624, 464);
    EXPECT_EQ(pixel(_ECRAN, 639, 479), 0xFF00FF00u);
    _EFFSOURIS(624, 464);
    EXPECT_EQ(pixel(_ECRAN, 639, 479), pixel(_NB + 6 * 3564, 26, 32, 27));
}

TEST_F(UnitTest, CursorSaveUnder) {
    std::vector<uint32_t> before = box(_ECRAN, 300, 200, 16, 16);

    // Restored bit for bit, transparent places of the shape included.
    _DRAWSOURIS(300, 200);
    EXPECT_NE(box(_ECRAN, 300, 200, 16, 16), before);
    EXPECT_EQ(std::vector<uint32_t>(reinterpret_cast<uint32_t*>(_SSOURIS), reinterpret_cast<uint32_t*>(_SSOURIS) + 256), before);
    _EFFSOURIS(300, 200);
    EXPECT_EQ(box(_ECRAN, 300, 200, 16, 16), before);

    // Drawn twice: the second save holds the cursor, which the erase leaves behind.
    _DRAWSOURIS(300, 200);
    std::vector<uint32_t> with_cursor = box(_ECRAN, 300, 200, 16, 16);
    _DRAWSOURIS(300, 200);
    _EFFSOURIS(300, 200);
    EXPECT_EQ(box(_ECRAN, 300, 200, 16, 16), with_cursor);
    std::memcpy(_ECRAN, _FOND, 640 * 480 * 4);

    // Drawing under the cursor, then erasing it, brings back what was there first.
    _DRAWSOURIS(300, 200);
    _PUTSPRITE(290, 190, _BOULE2);
    _EFFSOURIS(300, 200);
    EXPECT_EQ(box(_ECRAN, 300, 200, 16, 16), before);
}

TEST_F(UnitTest, UpdateCopiesTheWholeFrameInsideItsHooks) {
    static std::vector<std::string>* calls;
    std::vector<std::string> log;
    calls = &log;
    static char* video;
    video = _VIDEO;
    update_hooks = {[] { calls->push_back(pixel(video, 639, 479) == pixel(_ECRAN, 639, 479) ? "begin, copied" : "begin"); },
                    [] { calls->push_back(std::memcmp(video, _ECRAN, 640 * 480 * 4) == 0 ? "end, copied" : "end"); }};
    _UPDATE();
    update_hooks = {nullptr, nullptr};
    EXPECT_EQ(log, (std::vector<std::string>{"begin", "end, copied"}));

    set_pixel(_ECRAN, 0, 0, 0xFF000001u);
    EXPECT_NE(pixel(_VIDEO, 0, 0), 0xFF000001u) << "nothing reaches the frame buffer before _UPDATE";
    _UPDATE();
    EXPECT_EQ(std::memcmp(_VIDEO, _ECRAN, 640 * 480 * 4), 0);
}

} // namespace
