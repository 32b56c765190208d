// Fuzzer bytes become a game of clicks and moves, every step checked as in the
// random games of rules_test.
#include <cstdio>
#include <cstdlib>

#include "tests/play.h"
#include "tests/harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static test::Buffers* buffers = new test::Buffers;
    play::Stats stats;
    std::string fault = play::game(data, size, stats);
    if (fault.empty() && !buffers->guards_intact()) fault = "a pixel routine wrote outside its buffer";
    if (!fault.empty()) {
        std::fprintf(stderr, "fault at %s\n", fault.c_str());
        std::abort();
    }
    return 0;
}
