// Draws the game's pictures: mkart <output directory> writes Sprites/*.tga (the
// pictures the game loads) and icons/globoid-32.png, icons/globoid-16.png.
// Everything is computed, the same bytes on every run.
#include <cmath>
#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "board/board.h"
#include "draw/geometry.h"
#include "tools/canvas.h"
#include "tools/font.h"

namespace {

// ---- Light and palette ----------------------------------------------------------

// Light comes from the upper left and a little in front; y grows downward.
const double kLx = -0.48, kLy = -0.62, kLz = 0.62;
double lambert(double nx, double ny, double nz) { return std::fmax(0, nx * kLx + ny * kLy + nz * kLz); }
// How squarely a surface with this normal mirrors the light towards the viewer.
double specular(double nx, double ny, double nz) {
    const double hx = kLx, hy = kLy, hz = kLz + 1, hn = std::sqrt(hx * hx + hy * hy + hz * hz);
    return std::fmax(0, (nx * hx + ny * hy + nz * hz) / hn);
}

const Colour kWoodLight = rgb(222, 176, 118), kWoodDark = rgb(178, 124, 72);
const Colour kWoodFlat = rgb(204, 152, 96); // the plain collar round every hole
const Colour kHoleColour = rgb(92, 54, 30);
const Colour kFrameLight = rgb(128, 74, 40), kFrameDark = rgb(84, 44, 22);
const Colour kFeltCentre = rgb(26, 64, 70), kFeltEdge = rgb(8, 26, 32);
const Colour kIvory = rgb(246, 236, 214);
const Colour kAmber = rgb(255, 196, 92);
const Colour kGold = rgb(236, 172, 60);
const Colour kLabel = rgb(236, 200, 140);

// ---- Boards ---------------------------------------------------------------------

const double kMarbleR = 14.0;     // marble radius
const double kHoleR = 15.0;       // the dimple a marble sits in
const double kCollarR = 17.0;     // up to here every hole looks exactly the same
const double kSurfaceEdge = 19.0; // the playing surface reaches this far beyond the corner holes
const double kFrameEdge = 26.0;   // and the frame round it this far

// A hexagonal board: the centres of its corner holes, clockwise, and of all holes.
struct Board {
    std::vector<double> cx, cy;
    std::vector<double> hx, hy;
};

// Cells in doubled columns, as the game counts them: a row of the hexagon of
// radius n lies |row| from the middle and holds its cells two columns apart. Cell
// (col, row) is centred 25 pixels a column and 38 a row from (x, y).
Board hexagon(double x, double y, int n) {
    Board b;
    for (int row = -n; row <= n; row++)
        for (int col = std::abs(row) - 2 * n; col <= 2 * n - std::abs(row); col += 2) {
            b.hx.push_back(x + 25.0 * col);
            b.hy.push_back(y + 38.0 * row);
        }
    const int corners[6][2] = {{-n, -n}, {n, -n}, {2 * n, 0}, {n, n}, {-n, n}, {-2 * n, 0}};
    for (auto& c : corners) {
        b.cx.push_back(x + 25.0 * c[0]);
        b.cy.push_back(y + 38.0 * c[1]);
    }
    return b;
}

// The game's board: each hole is centred in its cell's box, about the middle cell (10, 6).
const Board kBoard = hexagon(cell_centre_x(10), cell_centre_y(6), 4);

// ---- Materials ------------------------------------------------------------------

Colour wood(double x, double y) {
    double warp = fbm(x / 90, y / 30, 11) * 9 + fbm(x / 20, y / 7, 12) * 1.5;
    double rings = std::pow(0.5 + 0.5 * std::sin((y * 0.55 + warp * 2.2) * 0.9), 3);
    double fibre = fbm(x / 3, y / 0.9, 13, 2);
    return mix(kWoodLight, kWoodDark, 0.25 + 0.55 * rings) * (0.94 + 0.1 * fibre);
}

Colour walnut(double x, double y) { return mix(kFrameDark, kFrameLight, 0.35 + 0.65 * fbm(x / 60, y / 4, 31, 3)); }

Colour felt(double x, double y) {
    double r = std::hypot((x - 320) / 420, (y - 200) / 330);
    Colour c = mix(kFeltCentre, kFeltEdge, smoothstep(0.1, 1.1, r));
    return c * (0.93 + 0.1 * fbm(x / 1.5, y / 1.5, 21, 2) + 0.06 * fbm(x / 40, y / 40, 22, 3));
}

// A hole and the plain collar round it, at offset (dx, dy) from its centre. The
// board shows exactly this out to kCollarR round every hole, which is what lets
// the marbles and the ring be blended with it in advance.
Colour hole(double dx, double dy) {
    double r = std::hypot(dx, dy);
    // The slope of the surface, rising outward: a shallow bowl, then a rounded lip.
    double slope = r < kHoleR ? 0.25 * r / kHoleR + 1.6 * smoothstep(kHoleR - 2.2, kHoleR, r)
                              : 1.85 * (1 - smoothstep(kHoleR, kHoleR + 1.6, r));
    double ux = r > 0 ? dx / r : 0, uy = r > 0 ? dy / r : 0;
    double nx = -slope * ux, ny = -slope * uy, n = std::sqrt(nx * nx + ny * ny + 1);
    double light = lambert(nx / n, ny / n, 1 / n) / kLz; // 1 on a flat surface
    double inside = 1 - smoothstep(kHoleR - 0.6, kHoleR + 0.6, r);
    Colour base = mix(kWoodFlat, kHoleColour * (0.75 + 0.25 * r / kHoleR), inside);
    return base * (0.35 + 0.65 * light);
}

// A pixel of a board on the felt: holes, surface, frame and the board's shadow.
Colour board_pixel(const Board& b, int x, int y) {
    double px = x + 0.5, py = y + 0.5;
    double d = sd_polygon(px, py, b.cx, b.cy);
    double ds = sd_polygon(px - 5, py - 7, b.cx, b.cy);
    Colour back = felt(px, py) * (1 - 0.6 * (1 - smoothstep(kFrameEdge - 6, kFrameEdge + 10, ds)));
    if (d > kFrameEdge + 1) return back;

    // The frame: a rounded rail, lit along its slope.
    const double e = 0.01;
    double gx = (sd_polygon(px + e, py, b.cx, b.cy) - d) / e, gy = (sd_polygon(px, py + e, b.cx, b.cy) - d) / e;
    double u = std::fmax(-1, std::fmin(1, (d - (kSurfaceEdge + kFrameEdge) / 2) / ((kFrameEdge - kSurfaceEdge) / 2)));
    double light = lambert(gx * u * 0.92, gy * u * 0.92, std::sqrt(1 - u * u * 0.85)) / kLz;
    Colour rail = mix(kFrameDark, kFrameLight, 0.3 + 0.7 * fbm(px / 50, py / 50, 41, 3)) * (0.45 + 0.7 * light);

    Colour surface = wood(px, py);
    double best = 1e9, bdx = 0, bdy = 0;
    for (size_t i = 0; i < b.hx.size(); i++) {
        double dx = px - b.hx[i], dy = py - b.hy[i], r = std::hypot(dx, dy);
        if (r < best) {
            best = r;
            bdx = dx;
            bdy = dy;
        }
    }
    if (best < kCollarR + 3) surface = mix(hole(bdx, bdy), surface, smoothstep(kCollarR, kCollarR + 3, best));
    // A fine dark groove where the surface meets the frame.
    double groove = 1 - 0.55 * (1 - smoothstep(0, 1.2, std::fabs(d - kSurfaceEdge)));
    return mix((d < kSurfaceEdge ? surface : rail) * groove, back, clamp01(d - kFrameEdge + 0.5));
}

// ---- Marbles and the ring -------------------------------------------------------

struct Marble {
    Colour base, sheen, sky, ground;
};
const Marble kLightMarble = {rgb(238, 228, 206), rgb(255, 255, 255), rgb(200, 214, 230), rgb(170, 120, 70)};
const Marble kDarkMarble = {rgb(30, 32, 44), rgb(235, 240, 255), rgb(90, 110, 150), rgb(110, 70, 40)};

// A marble's surface with normal (nx, ny, nz): lit, with the room mirrored at its
// rim and a sharp highlight.
Colour shade(const Marble& m, double nx, double ny, double nz) {
    double fresnel = std::pow(1 - nz, 2.5);
    Colour env = mix(m.sky, m.ground, smoothstep(-0.3, 0.6, ny));
    Colour c = mix(m.base * (0.28 + 0.8 * lambert(nx, ny, nz)), env, 0.45 * fresnel);
    double s = specular(nx, ny, nz);
    return c + m.sheen * (0.85 * std::pow(s, 90) + 0.12 * std::pow(s, 10));
}

// Lays a marble of radius r centred on (cx, cy) over the picture, 4x4 samples a
// pixel; each pixel's coverage goes to `coverage` when asked for.
void draw_marble(Picture& p, double cx, double cy, double r, const Marble& m, std::vector<double>* coverage = nullptr) {
    for (int y = int(cy - r - 1); y <= int(cy + r + 1); y++)
        for (int x = int(cx - r - 1); x <= int(cx + r + 1); x++) {
            Colour sum;
            int in = 0;
            for (int sy = 0; sy < 4; sy++)
                for (int sx = 0; sx < 4; sx++) {
                    double dx = (x + (sx + 0.5) / 4 - cx) / r, dy = (y + (sy + 0.5) / 4 - cy) / r;
                    double d2 = dx * dx + dy * dy;
                    if (d2 >= 1) continue;
                    sum = sum + shade(m, dx, dy, std::sqrt(1 - d2));
                    in++;
                }
            if (in == 0) continue;
            p.blend(x, y, sum * (1.0 / in), in / 16.0);
            if (coverage && x >= 0 && y >= 0 && x < p.w && y < p.h) (*coverage)[size_t(y) * p.w + x] = in / 16.0;
        }
}

// A 32x32 box of the board with an empty hole, as the background has it.
Picture hole_box() {
    Picture p(32, 32);
    for (int y = 0; y < 32; y++)
        for (int x = 0; x < 32; x++) p.at(x, y) = hole(x + 0.5 - 16, y + 0.5 - 16);
    return p;
}

// A marble sprite. The game draws sprites keyed, not blended, so every pixel the
// marble touches is opaque and already blended with the hole under it. Both
// marbles have the same mask, so one always covers the other whole.
Picture marble_sprite(const Marble& m) {
    Picture p = hole_box();
    std::vector<double> coverage(32 * 32, 0);
    draw_marble(p, 16, 16, kMarbleR, m, &coverage);
    for (int i = 0; i < 32 * 32; i++) p.alpha[i] = coverage[i] > 0 ? 1 : 0;
    return p;
}

// The selection ring: a polished band over the marble's edge and the hole round it,
// open in the middle so the marble shows through. Where it ends over the marble
// its edge is blended with the mean of the two marbles.
Picture ring_sprite() {
    const double inner = 10.6, outer = 15.4, mid = (inner + outer) / 2, half = (outer - inner) / 2;
    Picture light = marble_sprite(kLightMarble), dark = marble_sprite(kDarkMarble);
    Picture p(32, 32, {}, 0);
    for (int y = 0; y < 32; y++)
        for (int x = 0; x < 32; x++) {
            Colour sum;
            int in = 0;
            for (int sy = 0; sy < 4; sy++)
                for (int sx = 0; sx < 4; sx++) {
                    double dx = x + (sx + 0.5) / 4 - 16, dy = y + (sy + 0.5) / 4 - 16, r = std::hypot(dx, dy);
                    if (r < inner || r >= outer) continue;
                    // A tube round the band's middle line.
                    double u = (r - mid) / half, nz = std::sqrt(std::fmax(0, 1 - u * u));
                    double nx = u * dx / r, ny = u * dy / r;
                    sum = sum + rgb(40, 190, 235) * (0.45 + 0.75 * lambert(nx, ny, nz)) +
                          rgb(255, 255, 255) * (0.9 * std::pow(specular(nx, ny, nz), 40));
                    in++;
                }
            if (in == 0) continue;
            Colour under =
                light.alpha_at(x, y) > 0 ? mix(light.at(x, y), dark.at(x, y), 0.5) : hole(x + 0.5 - 16, y + 0.5 - 16);
            p.at(x, y) = mix(under, sum * (1.0 / in), in / 16.0);
            p.alpha_at(x, y) = 1;
        }
    return p;
}

// ---- Text -----------------------------------------------------------------------

// Text in a flat colour, strokes `weight` pixels wide.
void draw_text(Picture& p, const Text& t, double weight, Colour c) {
    for (int y = int(t.top - weight); y <= int(t.bottom + weight) + 1; y++)
        for (int x = int(t.left - weight); x <= int(t.right + weight) + 1; x++)
            p.blend(x, y, c, cover(t.distance(x + 0.5, y + 0.5) - weight / 2));
}

// A line of flat text centred on x.
void draw_centred(Picture& p, const std::string& s, double x, double y, double height, double weight, Colour c,
                  double tracking = 1.6) {
    draw_text(p, Text(s, x - text_width(s, height, tracking) / 2, y, height, tracking), weight, c);
}

// Text as rounded tubes, lit like the marbles, over a soft shadow.
void draw_tube_text(Picture& p, const Text& t, double weight, Colour c, double shadow) {
    const double half = weight / 2, margin = weight + 2 * shadow;
    const int x0 = int(t.left - margin), x1 = int(t.right + margin) + 1;
    const int y0 = int(t.top - margin), y1 = int(t.bottom + margin) + 1;
    for (int y = y0; y <= y1; y++)
        for (int x = x0; x <= x1; x++) {
            double ds = t.distance(x + 0.5 - shadow * 0.6, y + 0.5 - shadow);
            p.blend(x, y, rgb(0, 0, 0), 0.55 * (1 - smoothstep(half - shadow * 0.4, half + shadow * 1.2, ds)));
        }
    for (int y = y0; y <= y1; y++)
        for (int x = x0; x <= x1; x++) {
            double px = x + 0.5, py = y + 0.5, qx, qy;
            double d = t.distance(px, py, &qx, &qy);
            double k = cover(d - half);
            if (k <= 0) continue;
            double u = std::fmin(d / half, 1), nz = std::sqrt(1 - u * u);
            double nx = d > 0 ? (px - qx) / d * u : 0, ny = d > 0 ? (py - qy) / d * u : 0;
            Colour col = c * (0.3 + 0.85 * lambert(nx, ny, nz)) +
                         rgb(255, 250, 235) * (0.7 * std::pow(specular(nx, ny, nz), 30));
            p.blend(x, y, col, k);
        }
}

// ---- Plaques, wells and keys ----------------------------------------------------

// A raised walnut plaque with rounded corners over a soft shadow.
void draw_plaque(Picture& p, double x0, double y0, double x1, double y1, double radius) {
    for (int y = int(y0) - 4; y <= int(y1) + 8; y++)
        for (int x = int(x0) - 4; x <= int(x1) + 8; x++) {
            double ds = sd_round_rect(x + 0.5 - 2, y + 0.5 - 3, x0, y0, x1, y1, radius);
            p.blend(x, y, rgb(0, 0, 0), 0.5 * (1 - smoothstep(-2, 5, ds)));
        }
    for (int y = int(y0) - 1; y <= int(y1) + 1; y++)
        for (int x = int(x0) - 1; x <= int(x1) + 1; x++) {
            double px = x + 0.5, py = y + 0.5;
            double d = sd_round_rect(px, py, x0, y0, x1, y1, radius);
            if (cover(d) <= 0) continue;
            // A bevel three pixels wide, its normal leaning outward.
            const double e = 0.01;
            double gx = sd_round_rect(px + e, py, x0, y0, x1, y1, radius) - d;
            double gy = sd_round_rect(px, py + e, x0, y0, x1, y1, radius) - d;
            double gn = std::hypot(gx, gy), lean = smoothstep(-3, 0, d) * 0.8;
            double nx = gn > 0 ? gx / gn * lean : 0, ny = gn > 0 ? gy / gn * lean : 0;
            double light = lambert(nx, ny, std::sqrt(std::fmax(0.05, 1 - nx * nx - ny * ny))) / kLz;
            p.blend(x, y, walnut(px, py) * (0.55 + 0.5 * light), cover(d));
        }
}

// The inside of a digit well at (x, y) from its top-left: what the digits are
// drawn on, in their own pictures and in the background alike.
Colour well(int x, int y) {
    Colour c = mix(rgb(26, 18, 12), rgb(14, 10, 7), y / 32.0);
    return c * (1 - 0.45 * (1 - smoothstep(0, 3, y)) - 0.3 * (1 - smoothstep(0, 2, x)));
}

// A digit well: the glyph's 27x33 box at (x, y) in a sunken frame two pixels wide.
void draw_well(Picture& p, int x, int y) {
    for (int r = -2; r < 35; r++)
        for (int c = -2; c < 29; c++) {
            bool inside = r >= 0 && r < 33 && c >= 0 && c < 27;
            // Sunken: the top and left sides face away from the light.
            bool top_left = r < 0 || c < 0, bottom_right = r >= 33 || c >= 27;
            double t = top_left && !bottom_right ? 0.45 : !top_left && bottom_right ? 1.3 : 0.8;
            p.at(x + c, y + r) = inside ? well(c, r) : kFrameLight * t;
        }
}

// A key cap `size` pixels square, its top-left at (x, y).
void draw_key(Picture& p, double x, double y, char label, double size) {
    for (int r = int(y) - 1; r <= int(y + size) + 3; r++)
        for (int c = int(x) - 1; c <= int(x + size) + 3; c++) {
            double px = c + 0.5, py = r + 0.5;
            p.blend(c, r, rgb(0, 0, 0), 0.45 * cover(sd_round_rect(px - 1, py - 2, x, y, x + size, y + size, 4)));
            double d = sd_round_rect(px, py, x, y, x + size, y + size, 4);
            double rim = smoothstep(-2.5, 0, d) * smoothstep(-4, 4, (px - x) + (py - y) - size);
            p.blend(c, r, mix(rgb(238, 228, 205), rgb(180, 166, 140), rim), cover(d));
        }
    const double height = size * 0.56;
    draw_centred(p, std::string(1, label), x + size / 2, y + size / 2 - height / 2, height, 1.9, rgb(70, 40, 20));
}

// The six keys that move round a marble at (x, y), as they lie round its cell:
// labels right, down-right, down-left, left, up-left, up-right.
void draw_key_ring(Picture& p, double x, double y, const char* labels) {
    const double size = 14, dx[6] = {24, 12, -12, -24, -12, 12}, dy[6] = {0, 20, 20, 0, -20, -20};
    draw_marble(p, x, y, 7, kLightMarble);
    for (int i = 0; i < 6; i++) draw_key(p, x + dx[i] - size / 2, y + dy[i] - size / 2, labels[i], size);
}

// ---- The game screen ------------------------------------------------------------

// The digit places the game draws the scores at, and the three panels it pastes.
const int kDigitX = 410, kDigitY[2] = {370, 424};
const int kPanelX = 200, kPanelW = 199, kPanelH = 43, kPanelTop[2] = {373, 428};
const int kScoreX = 0, kScoreTop = 377, kScoreW = 146, kScoreH = 39;
// The marble on each player's panel: as large as the sprite and centred on a pixel
// corner like it, so it looks the same as on the board.
const int kPanelMarbleX = 222, kPanelMarbleY[2] = {388, 442};

// The background the game restores the board from, without what the panels add.
Picture background() {
    Picture p(640, 480);
    for (int y = 0; y < 480; y++)
        for (int x = 0; x < 640; x++) p.at(x, y) = board_pixel(kBoard, x, y);

    // Each player's plaque runs under the panel on to the well of the score digit.
    for (int i = 0; i < 2; i++) {
        draw_plaque(p, kPanelX, kDigitY[i] - 2.5, 448, kDigitY[i] + 35.5, 7);
        draw_well(p, kDigitX, kDigitY[i]);
    }
    // The score plaque spans both rows; the panel puts the word SCORE on it.
    draw_plaque(p, 12, 367, 140, 459, 8);
    draw_centred(p, "FIRST TO", 76, 419, 9, 1.6, kLabel, 1.5);
    draw_centred(p, "SIX WINS", 76, 434, 9, 1.6, kLabel, 1.5);

    // How to play: a click selects; the six keys round keypad 5, or the six
    // letters round S, move; H shows a hint.
    draw_plaque(p, 462, 367, 630, 459, 8);
    const double left = 546 - text_width("CLICK SELECTS  H HINT", 9, 1.5) / 2;
    draw_text(p, Text("CLICK", left, 375, 9, 1.5), 1.6, kLabel);
    draw_text(p, Text("SELECTS", left + text_width("CLICK ", 9, 1.5), 375, 9, 1.5), 1.6, kIvory);
    draw_text(p, Text("H", left + text_width("CLICK SELECTS  ", 9, 1.5), 375, 9, 1.5), 1.6, kLabel);
    draw_text(p, Text("HINT", left + text_width("CLICK SELECTS  H ", 9, 1.5), 375, 9, 1.5), 1.6, kIvory);
    draw_key_ring(p, 503, 425, "631479");
    draw_centred(p, "OR", 548, 422, 7, 1.4, kLabel, 1.5);
    draw_key_ring(p, 593, 425, "DXZAWE");
    return p;
}

// What the panels add: each player's marble and name, and the word SCORE.
void panel_contents(Picture& p) {
    for (int i = 0; i < 2; i++) {
        draw_marble(p, kPanelMarbleX, kPanelMarbleY[i], kMarbleR, i == 0 ? kLightMarble : kDarkMarble);
        draw_text(p, Text(i == 0 ? "PLAYER 1" : "PLAYER 2", kPanelMarbleX + 24, kDigitY[i] + 10, 13, 1.5), 2.2, kIvory);
    }
    draw_centred(p, "SCORE", 76, 385, 16, 2.6, kIvory);
}

// The review's plaque, in place of the score plaque: the word MOVE over a dark
// well where the game writes which move is shown ("12 / 57"), then the glyphs it
// writes with, 0 to 9 and the slash, each 11x20 on the well's colour.
const int kReviewX = 0, kReviewY = 360, kReviewW = 150, kReviewH = 110;
const int kWellX = 20, kWellY = 399, kWellW = 112, kWellH = 22, kGlyphW = 11, kGlyphH = 20;
const Colour kWellColour = rgb(20, 14, 10);

Picture review_plaque() {
    Picture p(640, 480);
    for (int y = kReviewY; y < kReviewY + kReviewH; y++)
        for (int x = kReviewX; x < kReviewX + kReviewW; x++) p.at(x, y) = board_pixel(kBoard, x, y);
    draw_plaque(p, 12, 367, 140, 459, 8);
    draw_centred(p, "MOVE", 76, 377, 13, 2.4, kIvory);
    for (int y = kWellY - 1; y < kWellY + kWellH + 1; y++)
        for (int x = kWellX - 1; x < kWellX + kWellW + 1; x++) {
            const bool edge = y < kWellY || x < kWellX || y >= kWellY + kWellH || x >= kWellX + kWellW;
            p.at(x, y) = edge ? kWellColour * 0.5 : kWellColour;
        }
    draw_centred(p, "ESC LEAVES", 76, 436, 8, 1.5, kLabel, 1.5);
    Picture out(kReviewW, kReviewH + kGlyphH, kWellColour);
    for (int y = 0; y < kReviewH; y++)
        for (int x = 0; x < kReviewW; x++) out.at(x, y) = p.at(kReviewX + x, kReviewY + y);
    const char* glyphs = "0123456789/";
    for (int i = 0; i < 11; i++) {
        Picture g(kGlyphW, kGlyphH, kWellColour);
        draw_centred(g, std::string(1, glyphs[i]), kGlyphW / 2.0, 3, 14, 2, kAmber, 1.5);
        for (int y = 0; y < kGlyphH; y++)
            for (int x = 0; x < kGlyphW; x++) out.at(i * kGlyphW + x, kReviewH + y) = g.at(x, y);
    }
    return out;
}

// The mark of the player to move: a 32x32 box on each panel between the name and
// the score's well, touching neither. It is drawn opaque, with the panel under it,
// so it goes on and off the screen with the game's own sprite routines.
const int kMarkX = 356, kMarkY[2] = {kDigitY[0] + 1, kDigitY[1] + 1};

// A lamp lit amber, like the digits: a soft glow round a shape at distance d.
void draw_lit(Picture& p, int x, int y, double d) {
    p.blend(x, y, kAmber, 0.35 * (1 - smoothstep(0, 5, d)));
    p.blend(x, y, mix(kAmber, rgb(255, 240, 200), 0.5 * (1 - smoothstep(-3, 0, d))), cover(d));
}

// The mark for player i over the panels of `full`: an arrow pointing at the name,
// or, while the computer thinks, three dots.
Picture turn_mark(const Picture& full, int i, bool thinking) {
    Picture p = full.crop(kMarkX, kMarkY[i], 32, 32);
    const double cx = 16, cy = 16.5;
    for (int y = 0; y < 32; y++)
        for (int x = 0; x < 32; x++) {
            double px = x + 0.5, py = y + 0.5, d;
            if (thinking) {
                d = 1e9;
                for (int k = -1; k <= 1; k++) d = std::fmin(d, std::hypot(px - cx - 9 * k, py - cy) - 3.2);
            } else {
                d = sd_polygon(px, py, {cx - 8, cx + 7, cx + 7}, {cy, cy - 9, cy + 9}) - 1;
            }
            draw_lit(p, x, y, d);
        }
    return p;
}

// Digit n on the well's own background, lit amber with a glow that stays clear of
// the glyph's edges.
Picture digit(int n) {
    Picture p(27, 33);
    const double height = 23, weight = 3.4;
    Text t(std::string(1, char('0' + n)), (27 - 4 * height / 6) / 2, 5, height);
    for (int y = 0; y < 33; y++)
        for (int x = 0; x < 27; x++) {
            p.at(x, y) = well(x, y);
            double d = t.distance(x + 0.5, y + 0.5);
            double glow = 0.25 * (1 - smoothstep(weight / 2, weight / 2 + 2, d));
            p.blend(x, y, kAmber, glow);
            p.blend(x, y, mix(kAmber, rgb(255, 240, 200), 0.4 * (1 - smoothstep(0, 1.6, d))), cover(d - weight / 2));
        }
    return p;
}

// The mouse pointer, pixel by pixel: '#' outline, 'o' body, '.' clear. Its tip is
// the top-left pixel, where the game puts the mouse position.
Picture cursor() {
    static const char* const rows[16] = {
        "#...............", "##..............", "#o#.............", "#oo#............",
        "#ooo#...........", "#oooo#..........", "#ooooo#.........", "#oooooo#........",
        "#ooooooo#.......", "#oooooooo#......", "#ooooo#####.....", "#oo#oo#.........",
        "#o#.#oo#........", "##..#oo#........", "#....#oo#.......", ".....####.......",
    };
    Picture p(16, 16, {}, 0);
    for (int y = 0; y < 16; y++)
        for (int x = 0; x < 16; x++) {
            char c = rows[y][x];
            if (c == '.') continue;
            p.at(x, y) = c == '#' ? rgb(0, 0, 0) : rgb(255, 255, 255);
            p.alpha_at(x, y) = 1;
        }
    return p;
}

// ---- Title and victory ----------------------------------------------------------

Picture felt_screen() {
    Picture p(640, 480);
    for (int y = 0; y < 480; y++)
        for (int x = 0; x < 640; x++) p.at(x, y) = felt(x + 0.5, y + 0.5);
    return p;
}

// A four-pointed glint centred on (cx, cy).
void draw_glint(Picture& p, double cx, double cy, double size) {
    for (int y = int(cy - size); y <= int(cy + size); y++)
        for (int x = int(cx - size); x <= int(cx + size); x++) {
            double dx = std::fabs(x + 0.5 - cx) / size, dy = std::fabs(y + 0.5 - cy) / size;
            double k = std::fmax(std::exp(-(dx * 2 + dy * 14)), std::exp(-(dy * 2 + dx * 14)));
            k = std::fmax(k, std::exp(-std::hypot(dx, dy) * 7));
            p.blend(x, y, rgb(255, 248, 225), k * (1 - smoothstep(0.7, 1, std::hypot(dx, dy))));
        }
}

// The title: the name over a small board where three dark marbles have just
// pushed two light ones, the second of which leaves the board.
Picture title() {
    Picture p = felt_screen();
    const double h = 72, tracking = 1.9;
    draw_tube_text(p, Text("GLOBOID", 320 - text_width("GLOBOID", h, tracking) / 2, 34, h, tracking), 15, kGold, 5);

    const double bx = 320, by = 263;
    Board b = hexagon(bx, by, 2);
    for (int y = 120; y < 380; y++)
        for (int x = 150; x < 490; x++) p.at(x, y) = board_pixel(b, x, y);
    // Cells as (column, row) from the middle, 1 light and 2 dark.
    const int marbles[][3] = {{-2, 0, 2},  {0, 0, 2},  {2, 0, 2},  {4, 0, 1}, {-2, -2, 1}, {2, -2, 1},
                              {-1, -1, 1}, {3, -1, 2}, {-3, 1, 2}, {1, 1, 1}, {0, 2, 2},   {-1, 1, 1}};
    for (auto& m : marbles)
        draw_marble(p, bx + 25 * m[0], by + 38 * m[1], kMarbleR, m[2] == 1 ? kLightMarble : kDarkMarble);
    // The pushed-off marble, past the frame and on its way down.
    const double ox = bx + 25 * 4 + 56, oy = by + 22;
    for (int y = int(oy) + 8; y < int(oy) + 30; y++)
        for (int x = int(ox) - 18; x < int(ox) + 22; x++)
            p.blend(x, y, rgb(0, 0, 0),
                    0.45 * (1 - smoothstep(-4, 4, std::hypot((x + 0.5 - ox - 3) / 1.6, y + 0.5 - oy - 17) - 9)));
    for (int i = 1; i <= 3; i++) {
        double sy = oy - 6 + 6 * i;
        for (int x = int(ox) - 46; x < int(ox) - 18; x++) {
            double k = smoothstep(ox - 46, ox - 18, x) * 0.5;
            for (int y = int(sy) - 1; y <= int(sy) + 1; y++)
                p.blend(x, y, kIvory, k * cover(std::fabs(y + 0.5 - sy) - 0.6));
        }
    }
    draw_marble(p, ox, oy, kMarbleR, kLightMarble);

    draw_centred(p, "PRESS SPACE TO PLAY", 320, 394, 16, 2.6, kIvory, 1.7);
    draw_centred(p, "OR C TO PLAY AGAINST THE COMPUTER", 320, 420, 11, 2, kIvory, 1.6);
    draw_centred(p, "TWO PLAYERS  -  PUSH SIX MARBLES OFF THE BOARD TO WIN", 320, 446, 9, 1.6, kLabel, 1.5);
    return p;
}

// What the game pastes on the title (control/keeping.cpp): the opening that space
// and C start, left of the board, and the note that R resumes a game, right of it.
const int kOpeningX = 10, kOpeningY = 196, kOpeningW = 170, kOpeningH = 100;
const int kResumeX = 496, kResumeY = 128, kResumeW = 140, kResumeH = 70;
const char* const kOpeningNames[3][2] = {{"STANDARD", ""}, {"ROSETTES", ""}, {"ROSETTES", "INSET"}};

void draw_opening(Picture& p, int o) {
    const double cx = kOpeningX + kOpeningW / 2.0;
    draw_centred(p, "OPENING", cx, kOpeningY + 8, 9, 1.6, kLabel, 1.5);
    draw_centred(p, kOpeningNames[o][0], cx, kOpeningY + 28, 14, 2.4, kIvory, 1.6);
    if (*kOpeningNames[o][1]) draw_centred(p, kOpeningNames[o][1], cx, kOpeningY + 50, 14, 2.4, kIvory, 1.6);
    draw_centred(p, "O CHANGES IT", cx, kOpeningY + 80, 9, 1.6, kLabel, 1.5);
}

// The title as the game first shows it: the standard opening.
Picture title_standard(const Picture& title) {
    Picture p = title;
    draw_opening(p, 0);
    return p;
}

// The pastes one above the other: the three openings, then the note.
Picture title_pastes(const Picture& title) {
    Picture out(kOpeningW, 3 * kOpeningH + kResumeH);
    for (int o = 0; o < 3; o++) {
        Picture p = title;
        draw_opening(p, o);
        for (int y = 0; y < kOpeningH; y++)
            for (int x = 0; x < kOpeningW; x++) out.at(x, o * kOpeningH + y) = p.at(kOpeningX + x, kOpeningY + y);
    }
    Picture p = title;
    const double cx = kResumeX + kResumeW / 2.0;
    draw_centred(p, "PRESS R TO", cx, kResumeY + 10, 10, 1.8, kIvory, 1.5);
    draw_centred(p, "RESUME YOUR", cx, kResumeY + 28, 10, 1.8, kIvory, 1.5);
    draw_centred(p, "LAST GAME", cx, kResumeY + 46, 10, 1.8, kIvory, 1.5);
    for (int y = 0; y < kResumeH; y++)
        for (int x = 0; x < kResumeW; x++) out.at(x, 3 * kOpeningH + y) = p.at(kResumeX + x, kResumeY + y);
    return out;
}

// Polished gold with normal (nx, ny, nz).
Colour gold(double nx, double ny, double nz) {
    double s = specular(nx, ny, nz);
    Colour c = kGold * (0.22 + 0.95 * lambert(nx, ny, nz));
    // The felt room mirrored low on the metal, the lamp high.
    c = mix(c, rgb(40, 60, 50), 0.35 * smoothstep(0.2, 0.9, ny) * (1 - nz));
    return c + rgb(255, 246, 220) * (0.9 * std::pow(s, 24));
}

// A cup on a walnut plinth, centred on x = cx, its rim at y = top.
void draw_cup(Picture& p, double cx, double top) {
    const double rim = 62, bowl = 92;   // half-width of the rim, depth of the bowl
    const double stem = top + bowl - 6; // where the stem starts
    const double foot = top + 142, base = top + 164;
    draw_plaque(p, cx - 64, base, cx + 64, base + 26, 6);
    for (int y = int(top) - 14; y <= int(base) + 1; y++)
        for (int x = int(cx - rim - 30); x <= int(cx + rim + 30); x++) {
            Colour sum;
            int in = 0;
            for (int sy = 0; sy < 4; sy++)
                for (int sx = 0; sx < 4; sx++) {
                    double px = x + (sx + 0.5) / 4, py = y + (sy + 0.5) / 4, dx = px - cx;
                    // The bowl, the stem with its knop, and the foot: each a turned
                    // shape, so its normal leans out by how far across it the point is.
                    double half = 0;
                    if (py >= top && py < top + bowl) half = rim * std::sqrt(1 - std::pow((py - top) / bowl, 2));
                    if (py >= stem && py < foot)
                        half = std::fmax(half, 8 + 9 * std::exp(-std::pow((py - stem - 26) / 7, 2)));
                    if (py >= foot && py < base)
                        half = std::fmax(half, 10 + 38 * std::pow((py - foot) / (base - foot), 1.6));
                    double ex = dx / rim, ey = (py - top) / 9;
                    bool mouth = ex * ex + ey * ey <= 1;
                    if (mouth && ey < 0) {
                        // The inside of the cup seen over the front of the rim.
                        double lip = std::sqrt(ex * ex + ey * ey);
                        sum = sum + (lip > 0.93 ? gold(0, -0.6, 0.8) : gold(-ex * 0.5, 0.6, 0.6) * 0.55);
                        in++;
                        continue;
                    }
                    if (std::fabs(dx) < half) {
                        double nx = dx / half, nz = std::sqrt(std::fmax(0, 1 - nx * nx));
                        double ny = py < top + bowl ? 0.45 * (py - top) / bowl : 0;
                        double n = std::sqrt(nx * nx + ny * ny + nz * nz);
                        sum = sum + gold(nx / n, ny / n, nz / n);
                        in++;
                        continue;
                    }
                    // The handles: half rings out to either side.
                    for (int side : {-1, 1}) {
                        double hx = px - (cx + side * (rim - 8)), hy = py - (top + 34);
                        double r = std::hypot(hx, hy);
                        if (hx * side > 0 && r > 17 && r < 25) {
                            double u = (r - 21) / 4, nz = std::sqrt(1 - u * u);
                            sum = sum + gold(u * hx / r, u * hy / r, nz);
                            in++;
                            break;
                        }
                    }
                }
            if (in) p.blend(x, y, sum * (1.0 / in), in / 16.0);
        }
}

// The victory: golden rays behind the word, a cup, and a marble of each colour.
Picture victory() {
    Picture p = felt_screen();
    const double cx = 320, cy = 250;
    for (int y = 0; y < 480; y++)
        for (int x = 0; x < 640; x++) {
            double dx = x + 0.5 - cx, dy = y + 0.5 - cy, r = std::hypot(dx, dy);
            double ray = std::pow(0.5 + 0.5 * std::cos(16 * std::atan2(dy, dx)), 3);
            double fade = std::exp(-r / 260) * smoothstep(20, 120, r);
            p.blend(x, y, kGold, (0.08 + 0.2 * ray) * fade);
        }
    const double h = 60, tracking = 1.9;
    draw_tube_text(p, Text("VICTORY!", 320 - text_width("VICTORY!", h, tracking) / 2, 34, h, tracking), 13, kGold, 5);
    draw_centred(p, "SIX MARBLES OFF THE BOARD", 320, 122, 13, 2.2, kIvory, 1.6);
    draw_cup(p, cx, 186);
    for (int side : {-1, 1}) {
        const double mx = cx + 46 * side, my = 338;
        for (int y = int(my) + 8; y < int(my) + 20; y++)
            for (int x = int(mx) - 18; x < int(mx) + 20; x++)
                p.blend(x, y, rgb(0, 0, 0),
                        0.55 * (1 - smoothstep(-1, 3, std::hypot((x + 0.5 - mx - 3) / 3.5, y + 0.5 - my - 14) - 3)));
        draw_marble(p, mx, my, kMarbleR, side < 0 ? kLightMarble : kDarkMarble);
    }
    draw_glint(p, 118, 48, 16);
    draw_glint(p, 292, 200, 10);
    draw_glint(p, 528, 104, 11);
    draw_centred(p, "PRESS SPACE TO QUIT", 320, 414, 16, 2.6, kIvory, 1.7);
    return p;
}

// ---- Games between two machines -------------------------------------------------

// The two players as a light and a dark marble on their own small boards, and the
// line between them: dotted while one waits, cut when the link failed. A player
// who left is an empty hole.
enum class Between { Waiting, Left, Failed };

Picture between(const char* headline, const char* line, Between state) {
    Picture p = felt_screen();
    const double h = 54, tracking = 1.9;
    draw_tube_text(p, Text(headline, 320 - text_width(headline, h, tracking) / 2, 40, h, tracking), 12, kGold, 5);
    draw_centred(p, line, 320, 124, 13, 2.2, kIvory, 1.6);
    const double y = 262, left = 170, right = 470;
    for (double x : {left, right}) {
        Board b = hexagon(x, y, 1);
        for (int py = int(y) - 70; py < int(y) + 70; py++)
            for (int px = int(x) - 90; px < int(x) + 90; px++) p.blend(px, py, board_pixel(b, px, py), 1);
    }
    draw_marble(p, left, y, kMarbleR, kLightMarble);
    if (state != Between::Left) draw_marble(p, right, y, kMarbleR, kDarkMarble);
    // Dots from one board to the other; a gap with a spark in the middle when cut.
    for (int i = 0; i <= 12; i++) {
        const double dx = left + 88 + i * (right - left - 176) / 12.0, dy = y - 40 * std::sin(M_PI * i / 12);
        if (state == Between::Failed && i >= 5 && i <= 7) continue;
        const double r = state == Between::Left && i > 6 ? 1.6 : 3;
        for (int py = int(dy) - 5; py <= int(dy) + 5; py++)
            for (int px = int(dx) - 5; px <= int(dx) + 5; px++)
                p.blend(px, py, kAmber, cover(std::hypot(px + 0.5 - dx, py + 0.5 - dy) - r));
    }
    if (state == Between::Failed) draw_glint(p, 320, y - 40, 14);
    if (state == Between::Waiting) {
        draw_centred(p, "THE HOST'S TERMINAL SHOWS HOW TO JOIN", 320, 400, 11, 2, kLabel, 1.6);
        draw_centred(p, "THE GAME STARTS AS SOON AS BOTH ARE HERE", 320, 426, 9, 1.6, kLabel, 1.5);
    } else {
        if (state == Between::Failed) draw_centred(p, "THE TERMINAL SAYS WHY", 320, 372, 11, 2, kLabel, 1.6);
        draw_centred(p, "PRESS SPACE TO QUIT", 320, 414, 16, 2.6, kIvory, 1.7);
    }
    return p;
}

// The program's icon: marbles on a small wooden hexagon, transparent around it.
Picture icon(int size) {
    Picture p(size, size, {}, 0);
    const double c = size / 2.0, r = size / 2.0 - 0.5;
    std::vector<double> hx, hy;
    for (int i = 0; i < 6; i++) {
        double a = (i * 60 - 120) * M_PI / 180;
        hx.push_back(c + r * std::cos(a));
        hy.push_back(c + r * 0.88 * std::sin(a));
    }
    const double rim = size / 10.0;
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++) {
            double d = sd_polygon(x + 0.5, y + 0.5, hx, hy);
            Colour col = d < -rim ? wood(x * 9.0, y * 9.0) : kFrameLight * (d < -rim / 2 ? 1.1 : 0.75);
            p.blend(x, y, col, cover(d));
        }
    const double s = size / 32.0;
    if (size >= 32) {
        draw_marble(p, 11 * s, 12.5 * s, 6.2 * s, kLightMarble);
        draw_marble(p, 21 * s, 12.5 * s, 6.2 * s, kDarkMarble);
        draw_marble(p, 16 * s, 21.5 * s, 6.2 * s, kDarkMarble);
    } else {
        draw_marble(p, 11 * s, 16 * s, 7 * s, kLightMarble);
        draw_marble(p, 21 * s, 16 * s, 7 * s, kDarkMarble);
    }
    return p;
}

// The empty board with every cell's name in its hole, for the README.
Picture cell_names() {
    Picture p = background();
    for (int c = 0; c < board::kCells; c++)
        draw_centred(p, board::cell_name(c), cell_centre_x(board::cell_x(c)), cell_centre_y(board::cell_y(c)) - 4.5, 9,
                     1.7, kIvory, 1.4);
    return p.crop(82, 0, 476, 368);
}

// ---- Files ----------------------------------------------------------------------

bool save(const std::string& dir, const std::string& name, const Picture& p, bool top_row_first = false) {
    bool ok = write_tga(dir + "/Sprites/" + name, p, top_row_first);
    if (!ok) std::fprintf(stderr, "mkart: cannot write %s/Sprites/%s\n", dir.c_str(), name.c_str());
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--cells") return write_png(argv[2], cell_names()) ? 0 : 1;
    if (argc != 2) {
        std::fprintf(stderr, "usage: mkart <output directory>, or mkart --cells FILE.png\n");
        return 2;
    }
    const std::string dir = argv[1];
    mkdir(dir.c_str(), 0755);
    mkdir((dir + "/Sprites").c_str(), 0755);
    mkdir((dir + "/icons").c_str(), 0755);

    bool ok = save(dir, "souris.tga", cursor());
    // The game keeps the rows of these three as stored: they go top row first.
    ok &= save(dir, "vrkan.tga", ring_sprite(), true);
    ok &= save(dir, "pion1.tga", marble_sprite(kLightMarble), true);
    ok &= save(dir, "pion2.tga", marble_sprite(kDarkMarble), true);
    for (int n = 0; n <= 6; n++) ok &= save(dir, "vrk" + std::to_string(n) + ".tga", digit(n));

    Picture fond = background(), full = fond;
    panel_contents(full);
    ok &= save(dir, "vorkane.tga", fond);
    ok &= save(dir, "vrkscore.tga", full.crop(kScoreX, kScoreTop, kScoreW, kScoreH));
    ok &= save(dir, "vrkj1.tga", full.crop(kPanelX, kPanelTop[0], kPanelW, kPanelH));
    ok &= save(dir, "vrkj2.tga", full.crop(kPanelX, kPanelTop[1], kPanelW, kPanelH));
    // The four turn marks, one above the other: players 1 and 2, then the same thinking.
    Picture marks(32, 128);
    for (int k = 0; k < 4; k++) {
        Picture m = turn_mark(full, k % 2, k >= 2);
        for (int y = 0; y < 32; y++)
            for (int x = 0; x < 32; x++) marks.at(x, 32 * k + y) = m.at(x, y);
    }
    ok &= save(dir, "tour.tga", marks, true);
    const Picture plain = title();
    ok &= save(dir, "presentation.tga", title_standard(plain));
    ok &= save(dir, "titre.tga", title_pastes(plain), true);
    ok &= save(dir, "revue.tga", review_plaque(), true);
    ok &= save(dir, "victoire.tga", victory());
    ok &= save(dir, "attente.tga", between("WAITING", "FOR THE OTHER PLAYER", Between::Waiting));
    ok &= save(dir, "parti.tga", between("GAME OVER", "THE OTHER PLAYER HAS LEFT", Between::Left));
    ok &= save(dir, "rompu.tga", between("LINK LOST", "THE CONNECTION TO THE OTHER PLAYER FAILED", Between::Failed));

    for (int size : {32, 16}) {
        std::string path = dir + "/icons/globoid-" + std::to_string(size) + ".png";
        if (!write_png(path, icon(size))) {
            std::fprintf(stderr, "mkart: cannot write %s\n", path.c_str());
            ok = false;
        }
    }
    return ok ? 0 : 1;
}
