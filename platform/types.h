#pragma once
// Fixed-size integers, status codes and the small geometry types the game passes around.
#include <cstddef>
#include <cstdint>

typedef int8_t int8;
typedef uint8_t uint8;
typedef int16_t int16;
typedef uint16_t uint16;
typedef int32_t int32;
typedef uint32_t uint32;
typedef int64_t int64;

typedef int32 status_t;  // B_OK or a negative error code
typedef int32 thread_id; // positive for a live thread

enum : status_t {
    B_OK = 0,
    B_ERROR = -1,
    B_BAD_THREAD_ID = -2, // no such thread, or it has already been killed
    B_NO_INIT = -3,       // the object could not be set up (no file, no screen)
};

struct BPoint {
    float x = 0, y = 0;
    BPoint() = default;
    BPoint(float px, float py) : x(px), y(py) {}
};

// Edges are inclusive, as pixel indices: (0, 0, 639, 479) is the whole screen.
struct BRect {
    float left = 0, top = 0, right = -1, bottom = -1;
    BRect() = default;
    BRect(float l, float t, float r, float b) : left(l), top(t), right(r), bottom(b) {}
};
