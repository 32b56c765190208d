// The glyphs and their layout. A glyph is a path on a grid: x from 0 to its width,
// y from 0 (top of the capitals) to 6 (the baseline). Path commands:
//   M x y            start a new stroke at (x, y)
//   L x y            a line on to (x, y)
//   A cx cy rx ry a b an elliptic arc from angle a to angle b, in degrees, y down;
//                    it goes on from the pen, or starts a stroke when there is none
//   |                lift the pen
#include "tools/font.h"

#include <cmath>
#include <sstream>

namespace {

struct Glyph {
    char c;
    double width;
    const char* path;
};

const Glyph kGlyphs[] = {
    {'A', 4.4, "M0 6 L2.2 0 L4.4 6 M0.75 4 L3.65 4"},
    {'B', 4.0, "M0 6 L0 0 L2.2 0 A2.2 1.5 1.6 1.5 -90 90 L0 3 M2.2 3 L2.4 3 A2.4 4.5 1.6 1.5 -90 90 L0 6"},
    {'C', 4.2, "A2.3 3 2.3 3 -42 -318"},
    {'D', 4.2, "M0 0 L0 6 L1.4 6 A1.4 3 2.8 3 90 -90 L0 0"},
    {'E', 3.6, "M3.6 0 L0 0 L0 6 L3.6 6 M0 3 L3 3"},
    {'F', 3.5, "M3.5 0 L0 0 L0 6 M0 3 L3 3"},
    {'G', 4.5, "A2.3 3 2.3 3 -42 -360 L2.5 3"},
    {'H', 4.0, "M0 0 L0 6 M4 0 L4 6 M0 3 L4 3"},
    {'I', 0.0, "M0 0 L0 6"},
    {'J', 3.4, "M3.4 0 L3.4 4.3 A1.7 4.3 1.7 1.7 0 180"},
    {'K', 4.0, "M0 0 L0 6 M4 0 L0 3.8 M1.5 2.85 L4 6"},
    {'L', 3.5, "M0 0 L0 6 L3.5 6"},
    {'M', 5.0, "M0 6 L0 0 L2.5 4.2 L5 0 L5 6"},
    {'N', 4.0, "M0 6 L0 0 L4 6 L4 0"},
    {'O', 4.6, "A2.3 3 2.3 3 0 360"},
    {'P', 4.0, "M0 6 L0 0 L2.3 0 A2.3 1.65 1.7 1.65 -90 90 L0 3.3"},
    {'Q', 4.6, "A2.3 3 2.3 3 0 360 | M2.8 4.3 L4.6 6.2"},
    {'R', 4.0, "M0 6 L0 0 L2.3 0 A2.3 1.65 1.7 1.65 -90 90 L0 3.3 M2.2 3.3 L4 6"},
    {'S', 4.0, "A2 1.5 1.9 1.5 -20 -270 A2 4.5 2 1.5 -90 160"},
    {'T', 4.4, "M0 0 L4.4 0 M2.2 0 L2.2 6"},
    {'U', 4.0, "M0 0 L0 4 A2 4 2 2 180 0 L4 0"},
    {'V', 4.4, "M0 0 L2.2 6 L4.4 0"},
    {'W', 5.6, "M0 0 L1.4 6 L2.8 1.6 L4.2 6 L5.6 0"},
    {'X', 4.0, "M0 0 L4 6 M4 0 L0 6"},
    {'Y', 4.4, "M0 0 L2.2 3.2 L4.4 0 M2.2 3.2 L2.2 6"},
    {'Z', 4.0, "M0 0 L4 0 L0 6 L4 6"},
    {'0', 4.0, "A2 3 2 3 0 360"},
    {'1', 4.0, "M0.9 1.4 L2.5 0 L2.5 6"},
    {'2', 4.0, "A2 1.9 2 1.9 -165 25 L0 6 L4 6"},
    {'3', 4.0, "A1.9 1.5 1.9 1.5 -160 90 M1.3 3 L2 3 A2 4.5 2 1.5 -90 160"},
    {'4', 4.2, "M3.1 6 L3.1 0 L0 4.3 L4.2 4.3"},
    {'5', 4.0, "M3.7 0 L0.5 0 L0.25 2.9 A2 4.1 2 1.9 -122 160"},
    {'6', 4.0, "A2 3 2 3 -50 -180 L0 4.1 | A2 4.1 2 1.9 0 360"},
    {'7', 4.0, "M0 0 L4 0 L1.4 6"},
    {'8', 4.0, "A2 1.45 1.75 1.45 0 360 | A2 4.45 2 1.55 0 360"},
    {'9', 4.0, "A2 1.9 2 1.9 0 360 | M4 1.9 L4 3 A2 3 2 3 0 130"},
    {'!', 0.0, "M0 0 L0 3.9 | M0 6 L0 6"},
    {'.', 0.0, "M0 6 L0 6"},
    {',', 0.6, "M0.6 5.7 L0 7"},
    {':', 0.0, "M0 2 L0 2 | M0 6 L0 6"},
    {'-', 2.6, "M0 3.3 L2.6 3.3"},
    {'\'', 0.0, "M0 0 L0 1.6"},
    {'/', 3.5, "M3.5 0 L0 6"},
    {' ', 1.6, ""},
};

const Glyph* find(char c) {
    for (const Glyph& g : kGlyphs)
        if (g.c == c) return &g;
    return find(' ');
}

} // namespace

Text::Text(const std::string& s, double x, double y, double height, double tracking)
    : left(1e30), top(1e30), right(-1e30), bottom(-1e30) {
    const double k = height / 6;
    double pen = 0;
    auto add = [&](double x0, double y0, double x1, double y1) {
        segments_.push_back({x + (pen + x0) * k, y + y0 * k, x + (pen + x1) * k, y + y1 * k});
        const Segment& q = segments_.back();
        left = std::fmin(left, std::fmin(q.x0, q.x1));
        right = std::fmax(right, std::fmax(q.x0, q.x1));
        top = std::fmin(top, std::fmin(q.y0, q.y1));
        bottom = std::fmax(bottom, std::fmax(q.y0, q.y1));
    };
    for (size_t i = 0; i < s.size(); i++) {
        const Glyph* g = find(s[i]);
        std::istringstream in(g->path);
        char op;
        bool down = false;
        double cx = 0, cy = 0;
        while (in >> op) {
            if (op == 'M') {
                in >> cx >> cy;
                down = true;
            } else if (op == 'L') {
                double nx, ny;
                in >> nx >> ny;
                add(cx, cy, nx, ny);
                cx = nx;
                cy = ny;
            } else if (op == 'A') {
                double ax, ay, rx, ry, a0, a1;
                in >> ax >> ay >> rx >> ry >> a0 >> a1;
                int steps = int(std::ceil(std::fabs(a1 - a0) / 3)); // fine enough that big tubes show no facets
                for (int j = 0; j <= steps; j++) {
                    double a = (a0 + (a1 - a0) * j / steps) * M_PI / 180;
                    double nx = ax + rx * std::cos(a), ny = ay + ry * std::sin(a);
                    if (down) add(cx, cy, nx, ny);
                    cx = nx;
                    cy = ny;
                    down = true;
                }
            } else if (op == '|') {
                down = false;
            }
        }
        pen += g->width + (i + 1 < s.size() ? tracking : 0);
    }
    width_ = pen * k;
}

double Text::distance(double px, double py, double* nx, double* ny) const {
    double best = 1e30, bx = px, by = py;
    for (const Segment& q : segments_) {
        double ex = q.x1 - q.x0, ey = q.y1 - q.y0;
        double len2 = ex * ex + ey * ey;
        double t = len2 > 0 ? ((px - q.x0) * ex + (py - q.y0) * ey) / len2 : 0;
        t = t < 0 ? 0 : t > 1 ? 1 : t;
        double qx = q.x0 + ex * t, qy = q.y0 + ey * t;
        double d = std::hypot(px - qx, py - qy);
        if (d < best) {
            best = d;
            bx = qx;
            by = qy;
        }
    }
    if (nx) *nx = bx;
    if (ny) *ny = by;
    return best;
}

double text_width(const std::string& s, double height, double tracking) {
    return Text(s, 0, 0, height, tracking).width();
}
