#pragma once
// Pictures in the making for the art tools: colours as doubles, a picture with a
// coverage per pixel, soft-edged shapes by signed distance, value noise, and the
// Targa and PNG writers.
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

struct Colour {
    double r = 0, g = 0, b = 0;
};
inline Colour rgb(int r, int g, int b) { return {r / 255.0, g / 255.0, b / 255.0}; }
inline Colour operator+(Colour a, Colour b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
inline Colour operator*(Colour a, double k) { return {a.r * k, a.g * k, a.b * k}; }
inline Colour operator*(Colour a, Colour b) { return {a.r * b.r, a.g * b.g, a.b * b.b}; }
inline Colour mix(Colour a, Colour b, double t) { return a * (1 - t) + b * t; }
inline double clamp01(double v) { return v < 0 ? 0 : v > 1 ? 1 : v; }
inline double smoothstep(double e0, double e1, double v) {
    double t = clamp01((v - e0) / (e1 - e0));
    return t * t * (3 - 2 * t);
}
// How much of a pixel a shape covers, from the signed distance of the pixel's
// centre to the shape's edge (negative inside), in pixels.
inline double cover(double d) { return clamp01(0.5 - d); }

// A picture, top row first. Coverage 0 is transparent, 1 opaque.
struct Picture {
    int w, h;
    std::vector<Colour> colour;
    std::vector<double> alpha;
    Picture(int width, int height, Colour fill = {}, double a = 1);
    Colour& at(int x, int y) { return colour[size_t(y) * w + x]; }
    Colour at(int x, int y) const { return colour[size_t(y) * w + x]; }
    double& alpha_at(int x, int y) { return alpha[size_t(y) * w + x]; }
    // Lays `c` over the pixel with coverage `k`.
    void blend(int x, int y, Colour c, double k);
    // Copies the w x h block at (x, y) of this picture.
    Picture crop(int x, int y, int width, int height) const;
};

// Writes a 32-bit uncompressed Targa file: an 18-byte header declaring a
// bottom-left origin, then the pixels as blue, green, red, 255 (0,0,0,0 where the
// coverage is below one half). Rows go bottom first, or top first when
// `top_row_first`: the game keeps the rows of its 32x32 sprites as stored.
bool write_tga(const std::string& path, const Picture& p, bool top_row_first = false);
// Writes an 8-bit RGBA PNG with the coverage as alpha.
bool write_png(const std::string& path, const Picture& p);
// Reads an 8-bit RGBA PNG into rgba, row by row from the top; false on any fault.
bool read_png(const std::string& path, int& w, int& h, std::vector<uint8_t>& rgba);

// Smooth value noise in [0, 1], the same on every run.
double noise(double x, double y, uint32_t seed);
// A few octaves of noise, in [0, 1].
double fbm(double x, double y, uint32_t seed, int octaves = 4);

// Signed distances, negative inside.
double sd_round_rect(double x, double y, double x0, double y0, double x1, double y1, double r);
// A convex polygon given by its corners, clockwise on the screen (y down).
double sd_polygon(double x, double y, const std::vector<double>& xs, const std::vector<double>& ys);
