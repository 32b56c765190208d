// The pixel routines: the vector forms against the scalar rule on random sprites
// (any nonzero word drawn, save-under included), and blocks at the screen's far
// corner. The whole games show every routine at work through the fastest form.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "tests/harness.h"
#include "unit/unit.h"

using test::box;
using test::pixel;

namespace {

constexpr size_t kFrame = kScreenBytes;

class UnitTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (KeyedPath p : kKeyedPaths)
            if (keyed_path_available(p)) paths.push_back(p);
    }
    void TearDown() override {
        EXPECT_TRUE(buffers.guards_intact()) << "a routine wrote outside its buffer";
        keyed_path_use(best);
    }
    test::Buffers buffers;
    KeyedPath best = keyed_path_in_use();
    std::vector<KeyedPath> paths; // the scalar rule first
};

// The fastest form the CPU has draws; asking for one it lacks gives the scalar
// rule, not an illegal instruction.
TEST_F(UnitTest, TheFastestFormIsInUseAndAMissingOneFallsBackToTheScalarRule) {
    EXPECT_EQ(best, paths.back());
    for (KeyedPath p : kKeyedPaths) {
        keyed_path_use(p);
        EXPECT_EQ(keyed_path_in_use(), keyed_path_available(p) ? p : KeyedPath::Scalar) << int(p);
    }
}

// Fills an image in runs, transparent or not, of 1 or 2 words or of up to 20, so
// that the vector forms meet whole vectors of either kind as well as mixed ones.
// Drawn words include black with a fourth byte and colours without one.
void random_image(uint32_t* image, int words, uint64_t& seed) {
    for (int i = 0; i < words;) {
        uint32_t r = test::next_random(seed);
        for (int n = 1 + int(r >> 2) % (r & 2 ? 20 : 2); n > 0 && i < words; n--) {
            uint32_t v = test::next_random(seed) | 0x10;
            image[i++] = !(r & 1) ? 0 : v % 5 == 0 ? v & 0xFF000000u : v % 5 == 1 ? v & 0xFFFFFF : v;
        }
    }
}

TEST_F(UnitTest, VectorPathsMatchTheScalarRule) {
    // Random sprites over random frames, at every x alignment a vector could care about.
    uint64_t seed = 20261206;
    for (int trial = 0; trial < 128; trial++) {
        SCOPED_TRACE(::testing::Message() << "seed 20261206, trial " << trial);
        std::vector<uint32_t> sprite(1024), frame(640 * 480);
        random_image(sprite.data(), 1024, seed);
        random_image(reinterpret_cast<uint32_t*>(_SOURIS), 256, seed);
        for (uint32_t& p : frame) p = test::next_random(seed);
        std::vector<uint32_t> scalar;
        for (KeyedPath path : paths) {
            keyed_path_use(path);
            std::memcpy(_ECRAN, frame.data(), kFrame);
            _PUTSPRITE(trial % 16 + 592 * (trial / 16 % 2), (trial * 37) % 449, reinterpret_cast<char*>(sprite.data()));
            _DRAWSOURIS(trial % 16 + 608 * (trial / 16 % 2), (trial * 41) % 465);
            std::vector<uint32_t> r = box(_ECRAN, 0, 0, 640, 480), saved = box(_SSOURIS, 0, 0, 16, 16, 16);
            r.insert(r.end(), saved.begin(), saved.end());
            if (path == KeyedPath::Scalar) scalar = r;
            size_t at = size_t(std::mismatch(r.begin(), r.end(), scalar.begin()).first - r.begin());
            ASSERT_EQ(at, r.size()) << "path " << int(path) << " differs from the scalar rule at (" << at % 640 << ", "
                                    << at / 640 << ") (row 480 and on: the saved cursor)";
        }
    }
}

TEST_F(UnitTest, BlocksAtTheLargestPlacesReachTheLastPixelAndStayInside) {
    // The guards round _ECRAN, checked in TearDown, catch any overrun.
    std::vector<uint32_t> opaque(1024, 0xFF0000FFu);
    _PUTSPRITE(608, 448, reinterpret_cast<char*>(opaque.data()));
    EXPECT_EQ(pixel(_ECRAN, 639, 479), 0xFF0000FFu);
    EXPECT_NE(pixel(_ECRAN, 607, 447), 0xFF0000FFu);
    _EFFSPRITE(608, 448);
    EXPECT_EQ(pixel(_ECRAN, 639, 479), pixel(_FOND, 639, 479));
    _AFFNOMBRE(613, 447, 6);
    EXPECT_EQ(pixel(_ECRAN, 639, 479), pixel(_NB + 6 * kGlyphBytes, 26, 32, 27));
    std::fill_n(reinterpret_cast<uint32_t*>(_SOURIS), 256, 0xFF00FF00u);
    _DRAWSOURIS(624, 464);
    EXPECT_EQ(pixel(_ECRAN, 639, 479), 0xFF00FF00u);
    _EFFSOURIS(624, 464);
    EXPECT_EQ(pixel(_ECRAN, 639, 479), pixel(_NB + 6 * kGlyphBytes, 26, 32, 27));
}

} // namespace
