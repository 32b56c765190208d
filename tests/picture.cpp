#include "tests/picture.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <png.h>

namespace test {

namespace {

uint32_t be32(const std::string& s, size_t at) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(&s[at]);
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

} // namespace

Picture read_png(const std::string& path) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    Picture p;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return p;
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
    bool ok = image.width == 640 && image.height == 480 && png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr);
    png_image_free(&image);
    if (!ok) return p;
    for (size_t i = 0; i < rgb.size(); i += 3) p.rgb.push_back(uint32_t(rgb[i]) << 16 | rgb[i + 1] << 8 | rgb[i + 2]);
    return p;
}

// A big-endian header, a colour map, then rows of 32-bit pixels whose byte order
// and channel masks the header gives.
Picture read_xwd(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string x((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Picture p;
    if (x.size() < 100) return p;
    uint32_t header = be32(x, 0), width = be32(x, 16), height = be32(x, 20), byte_order = be32(x, 28);
    uint32_t bits = be32(x, 44), row = be32(x, 48), red = be32(x, 56), green = be32(x, 60), blue = be32(x, 64);
    uint32_t colours = be32(x, 76);
    size_t start = header + colours * 12;
    if (width != 640 || height != 480 || bits != 32 || !red || !green || !blue ||
        x.size() < start + size_t(row) * 480)
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

void write_ppm(const std::string& path, const Picture& p) {
    std::ofstream out(path, std::ios::binary);
    out << "P6\n640 480\n255\n";
    for (uint32_t v : p.rgb) out << char(v >> 16) << char(v >> 8) << char(v);
}

Difference compare(const Picture& a, const Picture& b) {
    Difference d;
    if (a.rgb.size() != b.rgb.size()) {
        d.count = std::max(a.rgb.size(), b.rgb.size());
        return d;
    }
    for (size_t i = 0; i < a.rgb.size(); i++)
        if (a.rgb[i] != b.rgb[i] && d.count++ == 0) {
            d.x = int(i % 640);
            d.y = int(i / 640);
        }
    return d;
}

} // namespace test
