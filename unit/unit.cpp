// The six pixel routines. Each finds its first destination pixel at
// buffer + y * 2560 + x * 4 (in 32-bit arithmetic), works through the rows from the
// top, and steps on by the screen stride. Only the keyed routines decide per pixel.
#include "unit/unit.h"

#include <cstring>
#include <iterator>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#elif defined(__aarch64__)
#include <arm_neon.h>
#endif

#include "platform/frame.h"

char* _ECRAN;
char* _FOND;
char* _VIDEO;
char* _BOULE1;
char* _BOULE2;
char* _ANNEAU;
char* _NB;
char* _SOURIS;
char* _SSOURIS;

namespace {

constexpr int32 kStride = kScreenRow;
constexpr int32 kFrame = kScreenBytes;
constexpr int32 kGlyph = kGlyphBytes;

char* at(char* buffer, int32 x, int32 y) { return buffer + (y * kStride + x * 4); }

// ---- Keyed blocks: the scalar rule and its vector forms. ------------------------
//
// Each draws Rows rows of W pixels, read as one unbroken run from src, into the
// screen at dst, keeping the screen pixel wherever the source word is 0. With a
// save buffer, each screen row is first copied there (the cursor's save-under).
// The vector forms are built only for the architecture they belong to. On x86,
// vector code cannot be inlined into a caller built without its instruction set,
// so each form is a whole block under its own target and its rows unroll.

template <int W, int Rows>
void key_block_scalar(char* dst, const char* src, char* save) {
    const uint32* s = reinterpret_cast<const uint32*>(src);
    for (int row = 0; row < Rows; row++) {
        if (save) {
            std::memcpy(save, dst, W * 4);
            save += W * 4;
        }
        uint32* d = reinterpret_cast<uint32*>(dst);
        for (int i = 0; i < W; i++)
            if (s[i] != 0) d[i] = s[i];
        s += W;
        dst += kStride;
    }
}

void put_sprite_scalar(int32 x, int32 y, char* sprite) { key_block_scalar<32, 32>(at(_ECRAN, x, y), sprite, nullptr); }
void draw_souris_scalar(int32 x, int32 y) { key_block_scalar<16, 16>(at(_ECRAN, x, y), _SOURIS, _SSOURIS); }

struct KeyedRoutines {
    void (*put_sprite)(int32, int32, char*);
    void (*draw_souris)(int32, int32);
};

// A form of the keyed routines and whether this CPU can run it.
struct KeyedForm {
    KeyedPath path;
    KeyedRoutines routines;
    bool (*present)();
};

bool always() { return true; }

#if defined(__x86_64__) || defined(__i386__)

// Where the source word is 0 its bits are all clear, so s | (d & (s == 0)) keeps
// d there and gives s elsewhere, one operation fewer than a full select.
template <int W, int Rows>
__attribute__((target("sse2"), always_inline)) inline void key_block_sse2(char* dst, const char* src, char* save) {
    const __m128i zero = _mm_setzero_si128();
    for (int row = 0; row < Rows; row++) {
        if (save) {
            std::memcpy(save, dst, W * 4);
            save += W * 4;
        }
#pragma GCC unroll 8
        for (int i = 0; i < W * 4; i += 16) {
            __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
            __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + i));
            d = _mm_or_si128(s, _mm_and_si128(_mm_cmpeq_epi32(s, zero), d));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), d);
        }
        src += W * 4;
        dst += kStride;
    }
}

// Runs of 8 words that are all opaque are stored without reading the screen, and
// runs that are all transparent are skipped: sprites are mostly such runs, and at
// a place not in the cache the screen read is what the drawing waits on.
template <int W, int Rows>
__attribute__((target("avx2"), always_inline)) inline void key_block_avx2(char* dst, const char* src, char* save) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i all = _mm256_set1_epi32(-1);
    for (int row = 0; row < Rows; row++) {
        if (save) {
            std::memcpy(save, dst, W * 4);
            save += W * 4;
        }
#pragma GCC unroll 4
        for (int i = 0; i < W * 4; i += 32) {
            __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i));
            __m256i clear = _mm256_cmpeq_epi32(s, zero);
            if (_mm256_testz_si256(clear, clear)) {
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), s);
            } else if (!_mm256_testc_si256(clear, all)) {
                __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(dst + i));
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i),
                                    _mm256_or_si256(s, _mm256_and_si256(clear, d)));
            }
        }
        src += W * 4;
        dst += kStride;
    }
}

__attribute__((target("sse2"))) void put_sprite_sse2(int32 x, int32 y, char* sprite) {
    key_block_sse2<32, 32>(at(_ECRAN, x, y), sprite, nullptr);
}
__attribute__((target("sse2"))) void draw_souris_sse2(int32 x, int32 y) {
    key_block_sse2<16, 16>(at(_ECRAN, x, y), _SOURIS, _SSOURIS);
}

__attribute__((target("avx2"))) void put_sprite_avx2(int32 x, int32 y, char* sprite) {
    key_block_avx2<32, 32>(at(_ECRAN, x, y), sprite, nullptr);
}
__attribute__((target("avx2"))) void draw_souris_avx2(int32 x, int32 y) {
    key_block_avx2<16, 16>(at(_ECRAN, x, y), _SOURIS, _SSOURIS);
}

bool has_sse2() {
    __builtin_cpu_init(); // may run before the runtime's own constructors
    return __builtin_cpu_supports("sse2");
}
bool has_avx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

// The fastest first; the scalar rule last, on every architecture.
constexpr KeyedForm kForms[] = {
    {KeyedPath::AVX2, {put_sprite_avx2, draw_souris_avx2}, has_avx2},
    {KeyedPath::SSE2, {put_sprite_sse2, draw_souris_sse2}, has_sse2},
    {KeyedPath::Scalar, {put_sprite_scalar, draw_souris_scalar}, always},
};

#elif defined(__aarch64__)

// NEON is part of every arm64 CPU. The same select as the SSE2 form, in one
// bit-select: d where the source word is 0, s elsewhere.
template <int W, int Rows>
inline void key_block_neon(char* dst, const char* src, char* save) {
    for (int row = 0; row < Rows; row++) {
        if (save) {
            std::memcpy(save, dst, W * 4);
            save += W * 4;
        }
#pragma GCC unroll 8
        for (int i = 0; i < W; i += 4) {
            uint32_t* d = reinterpret_cast<uint32_t*>(dst) + i;
            uint32x4_t s = vld1q_u32(reinterpret_cast<const uint32_t*>(src) + i);
            vst1q_u32(d, vbslq_u32(vceqzq_u32(s), vld1q_u32(d), s));
        }
        src += W * 4;
        dst += kStride;
    }
}

void put_sprite_neon(int32 x, int32 y, char* sprite) { key_block_neon<32, 32>(at(_ECRAN, x, y), sprite, nullptr); }
void draw_souris_neon(int32 x, int32 y) { key_block_neon<16, 16>(at(_ECRAN, x, y), _SOURIS, _SSOURIS); }

constexpr KeyedForm kForms[] = {
    {KeyedPath::NEON, {put_sprite_neon, draw_souris_neon}, always},
    {KeyedPath::Scalar, {put_sprite_scalar, draw_souris_scalar}, always},
};

#else

constexpr KeyedForm kForms[] = {
    {KeyedPath::Scalar, {put_sprite_scalar, draw_souris_scalar}, always},
};

#endif

// The form for `path`; the scalar rule for one this build or CPU lacks.
const KeyedForm& form(KeyedPath path) {
    for (const KeyedForm& f : kForms)
        if (f.path == path && f.present()) return f;
    return kForms[std::size(kForms) - 1];
}

KeyedPath best_path() {
    for (const KeyedForm& f : kForms)
        if (f.present()) return f.path;
    return KeyedPath::Scalar;
}

KeyedPath path_in_use = best_path();
KeyedRoutines keyed = form(path_in_use).routines;

} // namespace

bool keyed_path_available(KeyedPath path) { return form(path).path == path; }

void keyed_path_use(KeyedPath path) {
    path_in_use = form(path).path;
    keyed = form(path).routines;
}

KeyedPath keyed_path_in_use() { return path_in_use; }

// ---- The routines. -------------------------------------------------------------

// One forward copy of the whole image; the frame buffer's rows are taken to be
// 2560 bytes apart.
void _UPDATE() {
    if (update_hooks.begin) update_hooks.begin();
    std::memcpy(_VIDEO, _ECRAN, kFrame);
    if (update_hooks.end) update_hooks.end();
}

void _PUTSPRITE(int32 x, int32 y, char* sprite) { keyed.put_sprite(x, y, sprite); }

void _EFFSPRITE(int32 x, int32 y) {
    char* dst = at(_ECRAN, x, y);
    const char* src = at(_FOND, x, y);
    for (int row = 0; row < 32; row++) {
        std::memcpy(dst, src, 128);
        src += kStride;
        dst += kStride;
    }
}

void _AFFNOMBRE(int32 x, int32 y, int32 n) {
    char* dst = at(_ECRAN, x, y);
    const char* src = _NB + n * kGlyph;
    for (int row = 0; row < 33; row++) {
        std::memcpy(dst, src, 108);
        src += 108;
        dst += kStride;
    }
}

void _DRAWSOURIS(int32 x, int32 y) { keyed.draw_souris(x, y); }

void _EFFSOURIS(int32 x, int32 y) {
    char* dst = at(_ECRAN, x, y);
    const char* src = _SSOURIS;
    for (int row = 0; row < 16; row++) {
        std::memcpy(dst, src, 64);
        src += 64;
        dst += kStride;
    }
}
