// Fuzzer bytes become a stream from the other side, fed to the frame decoder in
// pieces of varying size: every frame it accepts must encode back to exactly the
// bytes it came from, and a fault must stop it for good.
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>

#include "net/protocol.h"

namespace {
[[noreturn]] void fault(const char* what, size_t at) {
    std::fprintf(stderr, "%s, at byte %zu\n", what, at);
    std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    net::Decoder decoder;
    for (size_t at = 0, start = 0, piece = 1; at < size; piece = piece % 7 + 1) {
        at += decoder.feed(data + at, std::min(piece, size - at));
        if (decoder.fault() != net::Reason::None) {
            if (decoder.feed(data, size) != 0 || decoder.ready()) fault("the decoder went on after a fault", at);
            break;
        }
        if (!decoder.ready()) continue;
        std::vector<uint8_t> again = net::encode(decoder.message());
        if (again.size() != at - start || std::memcmp(again.data(), data + start, again.size()) != 0)
            fault("a frame does not encode back to its bytes", start);
        const net::Move& m = decoder.message().move;
        if (decoder.message().type == net::Type::Move &&
            (m.n < 1 || m.n > 3 || m.dir > board::SW || *std::max_element(m.cells, m.cells + m.n) >= board::kCells))
            fault("a move off the board was accepted", start);
        start = at;
    }
    return 0;
}
