#include "tests/picture.h"

#include <algorithm>
#include <fstream>
#include <png.h>

#include "tests/process.h"

namespace test {

Picture read_png(const std::string& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    Picture p{0, 0, {}};
    if (!png_image_begin_read_from_file(&image, path.c_str())) return p;
    image.format = PNG_FORMAT_BGRA; // in memory, the words of a little-endian machine
    p.w = int(image.width);
    p.h = int(image.height);
    p.rgb.resize(size_t(p.w) * p.h);
    if (!png_image_finish_read(&image, nullptr, p.rgb.data(), 0, nullptr)) p = Picture{0, 0, {}};
    png_image_free(&image);
    return p;
}

// A big-endian header, a colour map, then rows of 32-bit pixels whose byte order
// and channel masks the header gives.
Picture read_xwd(const std::string& path) {
    std::string x = slurp(path);
    Picture p;
    if (x.size() < 100) return p;
    auto be32 = [&x](size_t at) {
        const uint8_t* q = reinterpret_cast<const uint8_t*>(&x[at]);
        return uint32_t(q[0]) << 24 | uint32_t(q[1]) << 16 | uint32_t(q[2]) << 8 | q[3];
    };
    uint32_t header = be32(0), width = be32(16), height = be32(20), byte_order = be32(28);
    uint32_t bits = be32(44), row = be32(48), red = be32(56), green = be32(60), blue = be32(64);
    size_t start = header + be32(76) * 12;
    if (width != 640 || height != 480 || bits != 32 || !red || !green || !blue || x.size() < start + size_t(row) * 480)
        return p;
    auto channel = [](uint32_t v, uint32_t mask) {
        while (!(mask & 1)) mask >>= 1, v >>= 1;
        return v & mask;
    };
    for (uint32_t y = 0; y < 480; y++)
        for (uint32_t c = 0; c < 640; c++) {
            const uint8_t* q = reinterpret_cast<const uint8_t*>(&x[start + y * row + c * 4]);
            uint32_t v = byte_order == 0 ? uint32_t(q[0]) | q[1] << 8 | q[2] << 16 | uint32_t(q[3]) << 24
                                         : uint32_t(q[3]) | q[2] << 8 | q[1] << 16 | uint32_t(q[0]) << 24;
            p.rgb.push_back(channel(v, red) << 16 | channel(v, green) << 8 | channel(v, blue));
        }
    return p;
}

Picture read_tga(const std::string& path) {
    std::string bytes = slurp(path);
    Picture p{0, 0, {}};
    if (bytes.size() < 18) return p;
    p.w = uint8_t(bytes[12]) | uint8_t(bytes[13]) << 8;
    p.h = uint8_t(bytes[14]) | uint8_t(bytes[15]) << 8;
    if (bytes.size() < 18 + size_t(p.w) * p.h * 4) return Picture{0, 0, {}};
    p.rgb.resize(size_t(p.w) * p.h);
    bool as_stored = p.w == 32 && p.h == 32;
    for (int r = 0; r < p.h; r++)
        bytes.copy(reinterpret_cast<char*>(&p.rgb[size_t(as_stored ? r : p.h - 1 - r) * p.w]), size_t(p.w) * 4,
                   18 + size_t(r) * p.w * 4);
    return p;
}

void write_ppm(const std::string& path, const Picture& p) {
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << p.w << " " << p.h << "\n255\n";
    for (uint32_t v : p.rgb) out << char(v >> 16) << char(v >> 8) << char(v);
}

Difference compare(const Picture& a, const Picture& b) {
    Difference d;
    if (a.w != b.w || a.rgb.size() != b.rgb.size()) {
        d.count = std::max(a.rgb.size(), b.rgb.size());
        return d;
    }
    for (size_t i = 0; i < a.rgb.size(); i++)
        if ((a.rgb[i] ^ b.rgb[i]) & 0xFFFFFF && d.count++ == 0) {
            d.x = int(i % a.w);
            d.y = int(i / a.w);
        }
    return d;
}

std::string differs(const Picture& actual, const Picture& expected) {
    Difference d = compare(actual, expected);
    return d.count ? std::to_string(d.count) + " pixels differ, the first at (" + std::to_string(d.x) + ", " +
                         std::to_string(d.y) + ")"
                   : "";
}

} // namespace test
