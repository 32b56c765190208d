#pragma once
// Test buffers for the pixel routines and the board: every global image gets its
// own allocation with guard bytes on both sides, and the sprites get test art. And
// picture files for the loaders.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace test {

// One guarded allocation: `size` usable bytes between two guard zones.
class Guarded {
public:
    explicit Guarded(size_t size) : bytes_(size + 2 * kGuard, char(kFill)) {}
    char* data() { return bytes_.data() + kGuard; }
    bool intact() const;

private:
    static constexpr size_t kGuard = 4096;
    static constexpr uint8_t kFill = 0xA5;
    std::vector<char> bytes_;
};

// Points every image global at a fresh guarded buffer, with _VIDEO too, and gives
// them recognisable contents:
//  - _FOND: a distinct opaque value per pixel; _ECRAN starts as a copy of it;
//  - _BOULE1, _BOULE2: discs of one shared mask, in two colours;
//  - _ANNEAU: a ring that leaves the middle of the disc transparent;
//  - _NB: digit n filled with a pattern of its own, no zero words;
//  - _SOURIS: an arrow-like shape with transparent holes; _SSOURIS cleared.
// Restores the previous globals on destruction.
class Buffers {
public:
    Buffers();
    ~Buffers();
    // True when no routine has written outside any buffer.
    bool guards_intact() const;

private:
    std::vector<Guarded> all_; // moving one keeps its bytes where they are
    char* saved_[9];
};

uint32_t pixel(const char* image, int x, int y, int width = 640);
void set_pixel(char* image, int x, int y, uint32_t value, int width = 640);
// The w x h box at (x, y) of an image `width` pixels wide, row by row.
std::vector<uint32_t> box(const char* image, int x, int y, int w = 32, int h = 32, int width = 640);
// Yields until cond holds; false after ten seconds. For waits on other threads,
// whose pace no test may assume.
bool eventually(const std::function<bool()>& cond);
// A small seeded generator shared by the randomised tests.
uint32_t next_random(uint64_t& state);
// Writes a picture file: 18 bytes of `header`, then w x h pixels stored(row, x) in
// file order, then `trailing` extra bytes; cut to `keep` bytes.
void write_tga(const std::string& path, int w, int h, const std::function<uint32_t(int row, int x)>& stored,
               char header = 0, size_t trailing = 0, size_t keep = SIZE_MAX);

} // namespace test
