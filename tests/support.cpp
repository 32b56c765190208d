#include "tests/support.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>
#include <fstream>

#include "unit/unit.h"

namespace test {

bool Guarded::intact() const {
    auto fill = [](char c) { return uint8_t(c) == kFill; };
    return std::all_of(bytes_.begin(), bytes_.begin() + kGuard, fill) &&
           std::all_of(bytes_.end() - kGuard, bytes_.end(), fill);
}

uint32_t pixel(const char* image, int x, int y, int width) { return box(image, x, y, 1, 1, width)[0]; }

void set_pixel(char* image, int x, int y, uint32_t value, int width) {
    std::memcpy(image + (size_t(y) * width + x) * 4, &value, 4);
}

std::vector<uint32_t> box(const char* image, int x, int y, int w, int h, int width) {
    std::vector<uint32_t> out(size_t(w) * h);
    for (int r = 0; r < h; r++)
        std::memcpy(&out[size_t(r) * w], image + (size_t(y + r) * width + x) * 4, size_t(w) * 4);
    return out;
}

bool eventually(const std::function<bool()>& cond) {
    auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!cond())
        if (std::chrono::steady_clock::now() > limit) return false;
        else std::this_thread::yield();
    return true;
}

uint32_t next_random(uint64_t& state) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return uint32_t(state >> 32);
}

void write_tga(const std::string& path, int w, int h, const std::function<uint32_t(int row, int x)>& stored,
               char header, size_t trailing, size_t keep) {
    std::string bytes(18, header);
    for (int row = 0; row < h; row++)
        for (int x = 0; x < w; x++) {
            uint32_t v = stored(row, x);
            bytes.append(reinterpret_cast<const char*>(&v), 4);
        }
    for (size_t i = 0; i < trailing; i++) bytes += char(0x80 | i);
    std::ofstream(path, std::ios::binary) << bytes.substr(0, keep);
}

namespace {

char** const kGlobals[9] = {&_ECRAN, &_FOND, &_VIDEO, &_BOULE1, &_BOULE2, &_ANNEAU, &_NB, &_SOURIS, &_SSOURIS};

bool in_disc(int x, int y, int r2) {
    int dx = 2 * x - 31, dy = 2 * y - 31; // centre of the 32x32 box, doubled
    return dx * dx + dy * dy <= r2;
}

} // namespace

Buffers::Buffers() {
    const size_t frame = 640 * 480 * 4, sizes[9] = {frame, frame, frame, 4096, 4096, 4096, 7 * 3564, 1024, 1024};
    for (int i = 0; i < 9; i++) {
        saved_[i] = *kGlobals[i];
        *kGlobals[i] = all_.emplace_back(sizes[i]).data();
        std::memset(*kGlobals[i], 0, sizes[i]);
    }
    for (int y = 0; y < 480; y++)
        for (int x = 0; x < 640; x++) set_pixel(_FOND, x, y, 0xFF000000u | uint32_t(y << 10 | x));
    std::memcpy(_ECRAN, _FOND, 640 * 480 * 4);
    for (int y = 0; y < 32; y++)
        for (int x = 0; x < 32; x++) {
            bool disc = in_disc(x, y, 28 * 28);
            set_pixel(_BOULE1, x, y, disc ? 0xFFE0E0E0u - uint32_t(y) : 0, 32);
            set_pixel(_BOULE2, x, y, disc ? 0xFF202020u + uint32_t(x) : 0, 32);
            bool ring = in_disc(x, y, 31 * 31) && !in_disc(x, y, 22 * 22);
            set_pixel(_ANNEAU, x, y, ring ? 0xFFFF0000u + uint32_t(x + y) : 0, 32);
        }
    for (int i = 0; i < 7 * 891; i++) set_pixel(_NB, i, 0, 0xFF000000u | uint32_t(i / 891 << 16 | i % 891));
    for (int y = 0; y < 16; y++)
        for (int x = 0; x < 16; x++)
            set_pixel(_SOURIS, x, y, x <= y && (x + y) % 5 ? 0xFFFFFF00u + uint32_t(x) : 0, 16);
}

Buffers::~Buffers() {
    for (int i = 0; i < 9; i++) *kGlobals[i] = saved_[i];
}

bool Buffers::guards_intact() const {
    return std::all_of(all_.begin(), all_.end(), [](const Guarded& g) { return g.intact(); });
}

} // namespace test
