#pragma once
// Whole-screen pictures for the end-to-end tests: read from the game's PNG shots or
// from an X screen dump, compared pixel for pixel, and written out for a look.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace test {

// 640x480 pixels 0xRRGGBB, top row first; empty when the file could not be read.
struct Picture {
    std::vector<uint32_t> rgb;
};

// A shot as the headless device writes it.
Picture read_png(const std::string& path);
// A 640x480 dump as `xwd` writes it, in whatever byte order and channel masks it declares.
Picture read_xwd(const std::string& path);
// A binary PPM, which any viewer opens.
void write_ppm(const std::string& path, const Picture& p);

// How many pixels differ, and where the first one lies.
struct Difference {
    size_t count = 0;
    int x = 0, y = 0;
};
Difference compare(const Picture& a, const Picture& b);

} // namespace test
