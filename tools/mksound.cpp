// Makes the game's sounds: mksound <source.cpp> writes a source that hands the
// samples to the platform before main. Everything is computed, the same bytes on
// every run: a move knocks a marble into its hole, a push adds the click of marble
// on marble, a marble off the board falls and lands, and the victory rings out.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/aside.h"

namespace {

const double kRate = 22050, kPi = 3.14159265358979;

using Wave = std::vector<double>;

// Adds a decaying tone at `at` seconds: frequency f, starting level a, falling to
// a third every `decay` seconds.
void tone(Wave& w, double at, double f, double a, double decay) {
    size_t start = size_t(at * kRate);
    for (size_t i = start; i < w.size(); i++) {
        double t = double(i - start) / kRate;
        w[i] += a * std::sin(2 * kPi * f * t) * std::exp(-t / decay);
    }
}

// Adds a short burst of noise at `at`, the scrape at the start of a knock.
void burst(Wave& w, double at, double a, double decay, uint32_t seed) {
    size_t start = size_t(at * kRate);
    for (size_t i = start; i < w.size() && i < start + size_t(kRate * decay * 6); i++) {
        seed = seed * 1664525u + 1013904223u;
        double t = double(i - start) / kRate;
        w[i] += a * (double(seed >> 8) / double(1 << 24) * 2 - 1) * std::exp(-t / decay);
    }
}

// A marble dropping into a wooden hole.
void knock(Wave& w, double at) {
    tone(w, at, 520, 0.5, 0.018);
    tone(w, at, 1250, 0.25, 0.008);
    burst(w, at, 0.15, 0.002, 7);
}

// Marble striking marble: hard and bright.
void click(Wave& w, double at) {
    tone(w, at, 2350, 0.4, 0.012);
    tone(w, at, 3710, 0.25, 0.007);
    burst(w, at, 0.2, 0.0015, 11);
}

Wave move() {
    Wave w(size_t(kRate * 0.12));
    knock(w, 0);
    return w;
}

Wave push() {
    Wave w(size_t(kRate * 0.18));
    click(w, 0);
    knock(w, 0.045);
    return w;
}

// Pushed over the edge: the click, a fall that drops in pitch, and a dull landing.
Wave off() {
    Wave w(size_t(kRate * 0.5));
    click(w, 0);
    const double from = 0.03, length = 0.3;
    double phase = 0;
    for (size_t i = size_t(from * kRate); i < size_t((from + length) * kRate); i++) {
        double u = (double(i) / kRate - from) / length;
        phase += 2 * kPi * (900 - 720 * u) / kRate;
        w[i] += 0.22 * std::sin(phase) * std::sin(kPi * u);
    }
    tone(w, from + length, 110, 0.6, 0.05);
    tone(w, from + length, 260, 0.2, 0.02);
    return w;
}

// Four bell notes rising to the octave, the last held longest.
Wave victory() {
    Wave w(size_t(kRate * 1.3));
    const double notes[4] = {523.25, 659.25, 783.99, 1046.5};
    for (int n = 0; n < 4; n++) {
        double at = n * 0.13, decay = n == 3 ? 0.45 : 0.2;
        tone(w, at, notes[n], 0.3, decay);
        tone(w, at, notes[n] * 2, 0.1, decay / 2);
        tone(w, at, notes[n] * 3.01, 0.05, decay / 3);
    }
    return w;
}

// Brought to a common peak, with the first and last milliseconds faded so that
// no sound starts or stops with a click.
std::vector<int16_t> finish(Wave w) {
    double peak = 0;
    for (double v : w) peak = std::fmax(peak, std::fabs(v));
    std::vector<int16_t> out;
    size_t fade = size_t(kRate * 0.002);
    for (size_t i = 0; i < w.size(); i++) {
        double edge = std::fmin(1, std::fmin(double(i) / fade, double(w.size() - 1 - i) / (fade * 4)));
        out.push_back(int16_t(std::lround(w[i] / peak * 0.6 * 32767 * edge)));
    }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: mksound <source.cpp>\n");
        return 2;
    }
    const std::string out = argv[1];
    FILE* f = tools::open_aside("mksound", out);
    if (!f) return 1;
    const struct {
        const char* name;
        Wave wave;
    } sounds[] = {{"Move", move()}, {"Push", push()}, {"Off", off()}, {"Victory", victory()}};
    std::fprintf(f, "// Made by mksound: the game's sounds, mono, %d samples a second.\n", int(kRate));
    std::fprintf(f, "#include \"platform/resources.h\"\n\nnamespace {\n\n");
    for (const auto& s : sounds) {
        std::vector<int16_t> samples = finish(s.wave);
        std::fprintf(f, "const int16 k%s[%zu] = {", s.name, samples.size());
        for (size_t i = 0; i < samples.size(); i++) std::fprintf(f, "%s%d,", i % 16 ? " " : "\n    ", samples[i]);
        std::fprintf(f, "\n};\n\n");
    }
    std::fprintf(f, "[[maybe_unused]] const bool kRegistered =");
    for (const auto& s : sounds)
        std::fprintf(f, "\n    platform::register_sound(Sound::%s, k%s, sizeof k%s / sizeof *k%s)%s", s.name, s.name,
                     s.name, s.name, &s == &sounds[3] ? ";" : " &&");
    std::fprintf(f, "\n\n} // namespace\n");
    return tools::finish_aside("mksound", f, out) ? 0 : 1;
}
