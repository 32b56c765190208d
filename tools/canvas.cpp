// Pictures, noise, shapes and the picture file writers of the art tools.
#include "tools/canvas.h"

#include <cstdio>
#include <png.h>

Picture::Picture(int width, int height, Colour fill, double a)
    : w(width), h(height), colour(size_t(width) * height, fill), alpha(size_t(width) * height, a) {}

void Picture::blend(int x, int y, Colour c, double k) {
    if (x < 0 || y < 0 || x >= w || y >= h || k <= 0) return;
    size_t i = size_t(y) * w + x;
    double a0 = alpha[i], a = k + a0 * (1 - k);
    if (a > 0) colour[i] = (c * k + colour[i] * (a0 * (1 - k))) * (1 / a);
    alpha[i] = a;
}

Picture Picture::crop(int x, int y, int width, int height) const {
    Picture out(width, height);
    for (int r = 0; r < height; r++)
        for (int c = 0; c < width; c++) {
            out.colour[size_t(r) * width + c] = colour[size_t(y + r) * w + x + c];
            out.alpha[size_t(r) * width + c] = alpha[size_t(y + r) * w + x + c];
        }
    return out;
}

namespace {

uint8_t byte(double v) { return uint8_t(std::lround(clamp01(v) * 255)); }

bool write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

uint32_t hash(int x, int y, uint32_t seed) {
    uint32_t h = uint32_t(x) * 0x8DA6B343u ^ uint32_t(y) * 0xD8163841u ^ seed * 0xCB1AB31Fu;
    h ^= h >> 13;
    h *= 0x5BD1E995u;
    h ^= h >> 15;
    return h;
}

double lerp(double a, double b, double t) { return a + (b - a) * t; }

} // namespace

bool write_tga(const std::string& path, const Picture& p, bool top_row_first) {
    std::vector<uint8_t> bytes(18, 0);
    bytes[2] = 2; // uncompressed true colour
    bytes[12] = uint8_t(p.w);
    bytes[13] = uint8_t(p.w >> 8);
    bytes[14] = uint8_t(p.h);
    bytes[15] = uint8_t(p.h >> 8);
    bytes[16] = 32;   // bits per pixel
    bytes[17] = 0x08; // eight alpha bits, origin bottom left
    for (int r = 0; r < p.h; r++) {
        int y = top_row_first ? r : p.h - 1 - r;
        for (int x = 0; x < p.w; x++) {
            size_t i = size_t(y) * p.w + x;
            if (p.alpha[i] < 0.5) {
                bytes.insert(bytes.end(), 4, 0);
                continue;
            }
            Colour c = p.colour[i];
            bytes.push_back(byte(c.b));
            bytes.push_back(byte(c.g));
            bytes.push_back(byte(c.r));
            bytes.push_back(255);
        }
    }
    return write_file(path, bytes);
}

bool write_png(const std::string& path, const Picture& p) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(p.w);
    image.height = png_uint_32(p.h);
    image.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> rgba;
    rgba.reserve(size_t(p.w) * p.h * 4);
    for (size_t i = 0; i < p.colour.size(); i++) {
        rgba.push_back(byte(p.colour[i].r));
        rgba.push_back(byte(p.colour[i].g));
        rgba.push_back(byte(p.colour[i].b));
        rgba.push_back(byte(p.alpha[i]));
    }
    return png_image_write_to_file(&image, path.c_str(), 0, rgba.data(), 0, nullptr) != 0;
}

bool read_png(const std::string& path, int& w, int& h, std::vector<uint8_t>& rgba) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = PNG_FORMAT_RGBA;
    rgba.assign(PNG_IMAGE_SIZE(image), 0);
    if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) {
        png_image_free(&image);
        return false;
    }
    w = int(image.width);
    h = int(image.height);
    return true;
}

double noise(double x, double y, uint32_t seed) {
    double fx = std::floor(x), fy = std::floor(y);
    int ix = int(fx), iy = int(fy);
    double tx = x - fx, ty = y - fy;
    tx = tx * tx * (3 - 2 * tx);
    ty = ty * ty * (3 - 2 * ty);
    auto v = [&](int dx, int dy) { return hash(ix + dx, iy + dy, seed) / 4294967296.0; };
    return lerp(lerp(v(0, 0), v(1, 0), tx), lerp(v(0, 1), v(1, 1), tx), ty);
}

double fbm(double x, double y, uint32_t seed, int octaves) {
    double sum = 0, weight = 0, amp = 1;
    for (int i = 0; i < octaves; i++) {
        sum += noise(x, y, seed + uint32_t(i)) * amp;
        weight += amp;
        x *= 2.03;
        y *= 2.03;
        amp *= 0.5;
    }
    return sum / weight;
}

double sd_round_rect(double x, double y, double x0, double y0, double x1, double y1, double r) {
    double cx = (x0 + x1) / 2, cy = (y0 + y1) / 2;
    double qx = std::fabs(x - cx) - ((x1 - x0) / 2 - r), qy = std::fabs(y - cy) - ((y1 - y0) / 2 - r);
    double ox = std::fmax(qx, 0), oy = std::fmax(qy, 0);
    return std::hypot(ox, oy) + std::fmin(std::fmax(qx, qy), 0.0) - r;
}

double sd_polygon(double x, double y, const std::vector<double>& xs, const std::vector<double>& ys) {
    size_t n = xs.size();
    double best = 1e30;
    bool inside = true;
    for (size_t i = 0; i < n; i++) {
        size_t j = (i + 1) % n;
        double ex = xs[j] - xs[i], ey = ys[j] - ys[i];
        double px = x - xs[i], py = y - ys[i];
        double t = clamp01((px * ex + py * ey) / (ex * ex + ey * ey));
        best = std::fmin(best, std::hypot(px - ex * t, py - ey * t));
        if (ex * py - ey * px < 0) inside = false;
    }
    return inside ? -best : best;
}
