// Fuzzer bytes become games: each step takes its action, cell, pixel and direction
// from the next bytes, and every step is checked as in the random games. A win
// starts a new game with the bytes left.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "tests/play.h"
#include "tests/support.h"

namespace {

class Bytes : public play::Source {
public:
    Bytes(const uint8_t* data, size_t size) : data_(data), left_(size) {}
    bool next(uint32_t n, uint32_t& out) override {
        int need = n <= 256 ? 1 : 2;
        if (left_ < size_t(need)) return false;
        out = need == 1 ? data_[0] : uint32_t(data_[0] | data_[1] << 8);
        out %= n;
        data_ += need;
        left_ -= need;
        return true;
    }

private:
    const uint8_t* data_;
    size_t left_;
};

play::Session* session;

void report() {
    const play::Stats& s = session->stats;
    std::fprintf(stderr, "%ld steps clean: %ld clicks, %ld moves (%ld refused), %ld pushes, %ld push-offs, %ld wins\n",
                 s.steps, s.clicks, s.moves, s.refused, s.pushes, s.push_offs, s.wins);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static test::Buffers* buffers = new test::Buffers;
    if (!session) {
        session = new play::Session;
        std::atexit(report);
    }
    Bytes source(data, size);
    session->new_game();
    for (;;) {
        if (session->step(source)) continue;
        if (!session->fault().empty()) {
            std::fprintf(stderr, "fault at %s\n", session->fault().c_str());
            std::abort();
        }
        if (!session->won()) break;
        session->new_game();
    }
    if (!buffers->guards_intact()) {
        std::fprintf(stderr, "a pixel routine wrote outside its buffer\n");
        std::abort();
    }
    return 0;
}
