#pragma once
// Pictures for the tests: the game's Targa files, PNG shots and icons, X screen
// dumps, compared pixel for pixel and written out for a look.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace test {

// Words 0xAARRGGBB, top row first. A screen unless said otherwise; 0x0 when a
// picture file could not be read. Screen dumps carry no fourth byte.
struct Picture {
    int w = 640, h = 480;
    std::vector<uint32_t> rgb;
    uint32_t at(int x, int y) const { return rgb[size_t(y) * w + x]; }
};

// A PNG of any size, the alpha as the fourth byte.
Picture read_png(const std::string& path);
// A 640x480 dump as `xwd` writes it, in whatever byte order and channel masks it declares.
Picture read_xwd(const std::string& path);
// A picture file of the game, its size from the header, placed as the game places
// it: rows turned over, except in the 32x32 sprites, which stay as stored.
Picture read_tga(const std::string& path);
// A binary PPM, which any viewer opens.
void write_ppm(const std::string& path, const Picture& p);

// How many pixels differ in colour (the fourth byte aside), and where the first
// lies; pictures of different sizes differ in all of their pixels.
struct Difference {
    size_t count = 0;
    int x = 0, y = 0;
};
Difference compare(const Picture& a, const Picture& b);
// "" when the colours agree, else what differs, for a failure message.
std::string differs(const Picture& actual, const Picture& expected);

} // namespace test
