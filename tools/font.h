#pragma once
// Our own stroke font: capitals, digits and a little punctuation, each a few
// lines and arcs on a grid six units high. Strokes have round ends, so any size
// and weight come out smooth when drawn by distance.
#include <string>
#include <vector>

class Text {
public:
    // Lays out `s` with its capitals `height` pixels high, the top-left of the first
    // capital at (x, y); `tracking` is the gap between letters, in grid units.
    Text(const std::string& s, double x, double y, double height, double tracking = 1.6);
    // The width from the first stroke centre to the last, in pixels.
    double width() const { return width_; }
    // Distance from (px, py) to the nearest stroke centre line; the nearest point
    // goes to (*nx, *ny) when asked for.
    double distance(double px, double py, double* nx = nullptr, double* ny = nullptr) const;
    // The box holding every stroke centre line.
    double left, top, right, bottom;

private:
    struct Segment {
        double x0, y0, x1, y1;
    };
    std::vector<Segment> segments_;
    double width_;
};

// The width of `s` laid out as above, to centre a line.
double text_width(const std::string& s, double height, double tracking = 1.6);
