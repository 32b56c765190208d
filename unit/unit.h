#pragma once
// The frame buffers and the six pixel routines.
//
// A pixel is 4 bytes: blue, green, red, then the picture's fourth byte, carried
// along and never shown. Images are stored row by row from the top with no gap;
// a full-screen row is 2560 bytes. Coordinates give the block's top-left pixel.
// No routine checks or clips: callers keep every block inside the 640x480 image.
// In keyed drawing a source word of 0 is transparent; any other word is drawn.
#include "platform/types.h"

extern char* _ECRAN;   // 640x480, the frame being composed
extern char* _FOND;    // 640x480, the background the game screen starts from
extern char* _VIDEO;   // 640x480, the display's frame buffer
extern char* _BOULE1;  // 32x32, player 1's marble
extern char* _BOULE2;  // 32x32, player 2's marble
extern char* _ANNEAU;  // 32x32, the selection ring
extern char* _NB;      // seven 27x33 digit glyphs, 0 to 6, one after another
extern char* _SOURIS;  // 16x16, the cursor's shape
extern char* _SSOURIS; // 16x16, the pixels under the drawn cursor

// The buffers' sizes in bytes.
constexpr int32 kScreenRow = 640 * 4;            // 2560, a full-screen row
constexpr int32 kScreenBytes = 480 * kScreenRow; // 1228800: _ECRAN, _FOND, _VIDEO
constexpr int32 kSpriteBytes = 32 * 32 * 4;      // 4096: _BOULE1, _BOULE2, _ANNEAU
constexpr int32 kGlyphRow = 27 * 4;              // 108, a row of one digit
constexpr int32 kGlyphBytes = 33 * kGlyphRow;    // 3564, one digit
constexpr int32 kDigitsBytes = 7 * kGlyphBytes;  // 24948: _NB
constexpr int32 kCursorBytes = 16 * 16 * 4;      // 1024: _SOURIS, _SSOURIS

// Copies the whole of _ECRAN to _VIDEO.
void _UPDATE();
// Draws a 32x32 sprite into _ECRAN, keyed.
void _PUTSPRITE(int32 x, int32 y, char* sprite);
// Puts a 32x32 box of _FOND back into _ECRAN.
void _EFFSPRITE(int32 x, int32 y);
// Draws digit n (0 to 6) from _NB into _ECRAN, unkeyed.
void _AFFNOMBRE(int32 x, int32 y, int32 n);
// Saves the 16x16 box of _ECRAN into _SSOURIS, then draws _SOURIS over it, keyed.
void _DRAWSOURIS(int32 x, int32 y);
// Puts _SSOURIS back into _ECRAN.
void _EFFSOURIS(int32 x, int32 y);

// The keyed routines exist in several forms that must give the same pixels: the
// scalar rule, SSE2 and AVX2 forms on x86, and a NEON form on arm64. The public
// routines use the fastest the CPU has; tests and benchmarks pick one here. A form
// this build or CPU lacks is replaced by the scalar rule.
enum class KeyedPath { Scalar, SSE2, AVX2, NEON };
// Slowest first: the last one available is the one in use.
constexpr KeyedPath kKeyedPaths[] = {KeyedPath::Scalar, KeyedPath::SSE2, KeyedPath::AVX2, KeyedPath::NEON};
bool keyed_path_available(KeyedPath path);
void keyed_path_use(KeyedPath path);
KeyedPath keyed_path_in_use();
