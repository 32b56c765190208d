// Times the six pixel routines beside their anchors in one run: memcpy of the same
// bytes, and SDL's colour-keyed blit of the same sprite for the keyed routines.
// Prints the medians of repeated runs and a table of ratios against the targets.
// Exits 1 when a target is missed, 2 when nothing can be measured (bad arguments,
// or SDL's blits not giving the routines' pixels).
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

#include "draw/geometry.h"
#include "unit/unit.h"

namespace {

constexpr int kFrameBytes = kScreenBytes;
constexpr int kStride = kScreenRow;

// Defaults that command-line flags given after them override.
const char* const kDefaultFlags[] = {
    "--benchmark_repetitions=15",
    "--benchmark_min_time=0.06",                   // many short runs: a median that shrugs off bursts of load
    "--benchmark_enable_random_interleaving=true", // spreads drift over all runs
    "--benchmark_display_aggregates_only=true",
};

struct Place {
    int32 x, y, n;
};

// The boxes of the 61 board cells, row by row, where the game draws its sprites.
std::vector<Place> board_places() {
    std::vector<Place> out;
    for (int32 y = 2; y <= 10; y++) {
        int32 d = y < 6 ? 6 - y : y - 6;
        for (int32 x = d + 2; x <= 18 - d; x += 2) out.push_back({cell_left(x), cell_top(y), int32(out.size() % 3)});
    }
    return out;
}

// Blocks spread over the allowed places at every x alignment, so that no run
// keeps one box in the cache.
std::vector<Place> spread_places(int32 max_x, int32 max_y, int32 count_n, uint64_t seed) {
    std::vector<Place> out;
    for (int i = 0; i < 64; i++) {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        uint32 r = uint32(seed >> 32);
        out.push_back({int32(r % (max_x + 1)), int32((r >> 10) % (max_y + 1)), int32((r >> 20) % count_n)});
    }
    return out;
}

char* at(char* buffer, int32 x, int32 y) { return buffer + y * kStride + x * 4; }

void put(char* image, int width, int x, int y, uint32 value) { std::memcpy(image + (y * width + x) * 4, &value, 4); }

bool in_disc(int x, int y, int r2) {
    int dx = 2 * x - 31, dy = 2 * y - 31;
    return dx * dx + dy * dy <= r2;
}

// The game's buffers with pictures of the same kind: two marbles and a ring, each
// transparent around its shape, and an arrow for the cursor. No drawn pixel has
// zero colour bytes, as SDL's key tests only those.
struct Images {
    std::vector<char> ecran, fond, video, boule1, boule2, anneau, nb, souris, ssouris;

    Images()
        : ecran(kFrameBytes), fond(kFrameBytes), video(kFrameBytes), boule1(kSpriteBytes), boule2(kSpriteBytes),
          anneau(kSpriteBytes), nb(kDigitsBytes), souris(kCursorBytes), ssouris(kCursorBytes) {
        _ECRAN = ecran.data();
        _FOND = fond.data();
        _VIDEO = video.data();
        _BOULE1 = boule1.data();
        _BOULE2 = boule2.data();
        _ANNEAU = anneau.data();
        _NB = nb.data();
        _SOURIS = souris.data();
        _SSOURIS = ssouris.data();
        for (int y = 0; y < 480; y++)
            for (int x = 0; x < 640; x++) put(_FOND, 640, x, y, 0xFF000000u | uint32(y << 10 | x));
        std::memcpy(_ECRAN, _FOND, kFrameBytes);
        for (int y = 0; y < 32; y++)
            for (int x = 0; x < 32; x++) {
                bool disc = in_disc(x, y, 30 * 30);
                bool ring = in_disc(x, y, 31 * 31) && !in_disc(x, y, 24 * 24);
                put(_BOULE1, 32, x, y, disc ? 0xFF4060E0u - uint32(y) : 0);
                put(_BOULE2, 32, x, y, disc ? 0xFFE06040u + uint32(x) : 0);
                put(_ANNEAU, 32, x, y, ring ? 0xFFFFD000u + uint32(x + y) : 0);
            }
        for (int i = 0; i < 7 * 27 * 33; i++) put(_NB, 27, i % 27, i / 27, 0xFF101010u + uint32(i));
        for (int y = 0; y < 16; y++)
            for (int x = 0; x < 16; x++) put(_SOURIS, 16, x, y, x <= y && x + y < 24 ? 0xFFFFFFF0u - uint32(x) : 0);
    }

    char* sprite(int32 n) { return n % 3 == 0 ? _BOULE1 : n % 3 == 1 ? _BOULE2 : _ANNEAU; }
};

// SDL surfaces over the same memory, so the blits read and write the very bytes
// that the routines do.
struct Surfaces {
    SDL_Surface* ecran = nullptr;
    SDL_Surface* sprites[3] = {};
    SDL_Surface* souris = nullptr;
    SDL_Surface* ssouris = nullptr;

    bool make() {
        ecran = wrap(_ECRAN, 640, 480, false);
        sprites[0] = wrap(_BOULE1, 32, 32, true);
        sprites[1] = wrap(_BOULE2, 32, 32, true);
        sprites[2] = wrap(_ANNEAU, 32, 32, true);
        souris = wrap(_SOURIS, 16, 16, true);
        ssouris = wrap(_SSOURIS, 16, 16, false);
        return ecran && sprites[0] && sprites[1] && sprites[2] && souris && ssouris;
    }

    static SDL_Surface* wrap(char* pixels, int w, int h, bool keyed) {
        SDL_Surface* s = SDL_CreateRGBSurfaceWithFormatFrom(pixels, w, h, 32, w * 4, SDL_PIXELFORMAT_ARGB8888);
        if (!s) return nullptr;
        SDL_SetSurfaceBlendMode(s, SDL_BLENDMODE_NONE);
        if (keyed) SDL_SetColorKey(s, SDL_TRUE, 0);
        return s;
    }

    void blit_sprite(const Place& p) {
        SDL_Rect to = {p.x, p.y, 32, 32};
        SDL_BlitSurface(sprites[p.n % 3], nullptr, ecran, &to);
    }

    // What a game on SDL would do for the cursor: save the box, then blit keyed.
    void blit_cursor(const Place& p) {
        SDL_Rect box = {p.x, p.y, 16, 16};
        SDL_BlitSurface(ecran, &box, ssouris, nullptr);
        SDL_Rect to = {p.x, p.y, 16, 16};
        SDL_BlitSurface(souris, nullptr, ecran, &to);
    }
};

// Row-wise memcpy anchors, kept out of line like the routines they stand beside.
template <int RowBytes, int Rows, int SrcStride>
__attribute__((noinline)) void copy_rows(char* dst, const char* src) {
    for (int row = 0; row < Rows; row++) {
        std::memcpy(dst, src, RowBytes);
        src += SrcStride;
        dst += kStride;
    }
}

template <int RowBytes, int Rows>
__attribute__((noinline)) void save_rows(char* dst, const char* src) {
    for (int row = 0; row < Rows; row++) {
        std::memcpy(dst, src, RowBytes);
        src += kStride;
        dst += RowBytes;
    }
}

__attribute__((noinline)) void copy_frame() { std::memcpy(_VIDEO, _ECRAN, kFrameBytes); }

const char* path_name(KeyedPath path) {
    switch (path) {
    case KeyedPath::AVX2: return "avx2";
    case KeyedPath::SSE2: return "sse2";
    case KeyedPath::NEON: return "neon";
    default: return "scalar";
    }
}

std::vector<KeyedPath> available_paths() {
    std::vector<KeyedPath> out;
    for (KeyedPath p : kKeyedPaths)
        if (keyed_path_available(p)) out.push_back(p);
    return out;
}

// Each timed iteration draws at the next place of the list; a routine and its
// anchors walk the same list.
template <class Body>
void add(const std::string& name, const std::vector<Place>* where, KeyedPath path, Body body) {
    benchmark::RegisterBenchmark(name.c_str(), [where, path, body](benchmark::State& state) {
        keyed_path_use(path);
        size_t i = 0;
        for (auto _ : state) {
            body((*where)[i]);
            if (++i == where->size()) i = 0;
            benchmark::ClobberMemory();
        }
    })->Unit(benchmark::kNanosecond);
}

// The SDL anchors stand for the same work only if they give the same pixels.
bool sdl_agrees(Images& images, Surfaces& sdl, const std::vector<Place>& sprites, const std::vector<Place>& cursors) {
    std::vector<char> ours(kFrameBytes), ours_saved(kCursorBytes);
    for (KeyedPath path : available_paths()) {
        keyed_path_use(path);
        std::memcpy(_ECRAN, _FOND, kFrameBytes);
        for (const Place& p : sprites) _PUTSPRITE(p.x, p.y, images.sprite(p.n));
        for (const Place& p : cursors) _DRAWSOURIS(p.x, p.y);
        std::memcpy(ours.data(), _ECRAN, kFrameBytes);
        std::memcpy(ours_saved.data(), _SSOURIS, kCursorBytes);

        std::memcpy(_ECRAN, _FOND, kFrameBytes);
        for (const Place& p : sprites) sdl.blit_sprite(p);
        for (const Place& p : cursors) sdl.blit_cursor(p);
        if (std::memcmp(ours.data(), _ECRAN, kFrameBytes) != 0 ||
            std::memcmp(ours_saved.data(), _SSOURIS, kCursorBytes) != 0) {
            std::fprintf(stderr, "SDL's blits and the %s path give different pixels\n", path_name(path));
            return false;
        }
    }
    std::memcpy(_ECRAN, _FOND, kFrameBytes);
    return true;
}

// Keeps the console output and collects each benchmark's median CPU time in ns.
class MedianReporter : public benchmark::ConsoleReporter {
public:
    using ConsoleReporter::ConsoleReporter;
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median" && !run.error_occurred)
                medians[run.run_name.function_name] = run.GetAdjustedCPUTime();
    }
    std::map<std::string, double> medians;
};

enum class Goal {
    TimeAtMost,    // routine / anchor <= target
    FasterAtLeast, // anchor / routine >= target
    TimeInfo,
    FasterInfo,
};

struct Line {
    std::string routine, anchor, anchor_label;
    Goal goal;
    double target;
};

std::string duration(double ns) {
    char text[32];
    if (ns >= 10000)
        std::snprintf(text, sizeof text, "%.2f us", ns / 1000);
    else
        std::snprintf(text, sizeof text, "%.2f ns", ns);
    return text;
}

// Prints the table; returns false when a target is missed.
bool print_table(const std::vector<Line>& lines, const std::map<std::string, double>& medians) {
    bool all_met = true;
    std::printf("\nMedian CPU time per call, routine against anchor\n");
    std::printf("%-20s %11s  %-34s %11s  %-18s %-20s %s\n", "routine", "median", "anchor", "median", "ratio", "target",
                "result");
    for (const Line& line : lines) {
        auto r = medians.find(line.routine), a = medians.find(line.anchor);
        if (r == medians.end() || a == medians.end()) {
            std::printf("%-20s %11s  %-34s %11s  not run\n", line.routine.c_str(), "", line.anchor_label.c_str(), "");
            continue;
        }
        bool faster = line.goal == Goal::FasterAtLeast || line.goal == Goal::FasterInfo;
        double ratio = faster ? a->second / r->second : r->second / a->second;
        char shown[32], target[32];
        std::snprintf(shown, sizeof shown, "%.2fx %s", ratio, faster ? "faster" : "the time");
        const char* result = "info";
        if (line.goal == Goal::TimeAtMost || line.goal == Goal::FasterAtLeast) {
            bool met = line.goal == Goal::TimeAtMost ? ratio <= line.target : ratio >= line.target;
            std::snprintf(target, sizeof target, "%s %.2fx %s",
                          line.goal == Goal::TimeAtMost ? "<=" : ">=", line.target, faster ? "faster" : "the time");
            result = met ? "PASS" : "FAIL";
            all_met = all_met && met;
        } else {
            target[0] = '\0';
        }
        std::printf("%-20s %11s  %-34s %11s  %-18s %-20s %s\n", line.routine.c_str(), duration(r->second).c_str(),
                    line.anchor_label.c_str(), duration(a->second).c_str(), shown, target, result);
    }
    return all_met;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<char*> args = {argv[0]};
    for (const char* flag : kDefaultFlags) args.push_back(const_cast<char*>(flag));
    for (int i = 1; i < argc; i++) args.push_back(argv[i]);
    int count = int(args.size());
    args.push_back(nullptr);
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 2;
#ifndef __OPTIMIZE__
    std::printf("Built without optimisation: the figures below mean little.\n");
#endif

    const KeyedPath best = keyed_path_in_use();
    Images images;
    Surfaces sdl;
    if (!sdl.make()) {
        std::fprintf(stderr, "SDL could not make its surfaces: %s\n", SDL_GetError());
        return 2;
    }
    static const std::vector<Place> sprite_places = board_places();
    static const std::vector<Place> digit_places = spread_places(613, 447, 7, 2);
    static const std::vector<Place> cursor_places = spread_places(624, 464, 1, 3);
    static const std::vector<Place> whole_frame(1, Place{0, 0, 0});
    if (!sdl_agrees(images, sdl, sprite_places, cursor_places)) return 2;

    Images* im = &images;
    Surfaces* s = &sdl;
    std::vector<Line> lines;

    add("_UPDATE", &whole_frame, best, [](const Place&) { _UPDATE(); });
    add("memcpy_frame", &whole_frame, best, [](const Place&) { copy_frame(); });
    lines.push_back({"_UPDATE", "memcpy_frame", "memcpy of 1228800 B in one call", Goal::TimeAtMost, 1.1});

    add("SDL_blit_sprite", &sprite_places, best, [s](const Place& p) { s->blit_sprite(p); });
    add("memcpy_rows_sprite", &sprite_places, best,
        [im](const Place& p) { copy_rows<128, 32, 128>(at(_ECRAN, p.x, p.y), im->sprite(p.n)); });
    for (KeyedPath path : available_paths()) {
        std::string name = std::string("_PUTSPRITE_") + path_name(path);
        add(name, &sprite_places, path, [im](const Place& p) { _PUTSPRITE(p.x, p.y, im->sprite(p.n)); });
        Goal goal = path == KeyedPath::Scalar ? Goal::FasterInfo : Goal::FasterAtLeast;
        lines.push_back(
            {name, "SDL_blit_sprite", "SDL_BlitSurface 32x32, keyed", goal, path == KeyedPath::AVX2 ? 4.0 : 2.5});
        lines.push_back({name, "memcpy_rows_sprite", "memcpy of 32 rows of 128 B", Goal::TimeInfo, 0});
    }

    add("_EFFSPRITE", &sprite_places, best, [](const Place& p) { _EFFSPRITE(p.x, p.y); });
    add("memcpy_rows_box", &sprite_places, best,
        [](const Place& p) { copy_rows<128, 32, kStride>(at(_ECRAN, p.x, p.y), at(_FOND, p.x, p.y)); });
    lines.push_back({"_EFFSPRITE", "memcpy_rows_box", "memcpy of 32 rows of 128 B", Goal::TimeAtMost, 1.1});

    add("_AFFNOMBRE", &digit_places, best, [](const Place& p) { _AFFNOMBRE(p.x, p.y, p.n); });
    add("memcpy_rows_digit", &digit_places, best,
        [](const Place& p) { copy_rows<kGlyphRow, 33, kGlyphRow>(at(_ECRAN, p.x, p.y), _NB + p.n * kGlyphBytes); });
    lines.push_back({"_AFFNOMBRE", "memcpy_rows_digit", "memcpy of 33 rows of 108 B", Goal::TimeAtMost, 1.1});

    add("SDL_blit_cursor", &cursor_places, best, [s](const Place& p) { s->blit_cursor(p); });
    add("memcpy_rows_cursor", &cursor_places, best, [](const Place& p) {
        save_rows<64, 16>(_SSOURIS, at(_ECRAN, p.x, p.y));
        copy_rows<64, 16, 64>(at(_ECRAN, p.x, p.y), _SOURIS);
    });
    for (KeyedPath path : available_paths()) {
        std::string name = std::string("_DRAWSOURIS_") + path_name(path);
        add(name, &cursor_places, path, [](const Place& p) { _DRAWSOURIS(p.x, p.y); });
        lines.push_back({name, "SDL_blit_cursor", "SDL_BlitSurface 16x16 save + keyed", Goal::FasterInfo, 0});
        lines.push_back({name, "memcpy_rows_cursor", "memcpy of 2 x 16 rows of 64 B", Goal::TimeInfo, 0});
    }

    add("_EFFSOURIS", &cursor_places, best, [](const Place& p) { _EFFSOURIS(p.x, p.y); });
    add("memcpy_rows_cursor_back", &cursor_places, best,
        [](const Place& p) { copy_rows<64, 16, 64>(at(_ECRAN, p.x, p.y), _SSOURIS); });
    lines.push_back({"_EFFSOURIS", "memcpy_rows_cursor_back", "memcpy of 16 rows of 64 B", Goal::TimeAtMost, 1.1});

    std::printf("Keyed path chosen for this CPU: %s\n", path_name(best));
    MedianReporter reporter(isatty(STDOUT_FILENO) ? benchmark::ConsoleReporter::OO_ColorTabular
                                                  : benchmark::ConsoleReporter::OO_Tabular);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    bool met = print_table(lines, reporter.medians);
    keyed_path_use(best);
    return met ? 0 : 1;
}
