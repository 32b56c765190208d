// Fuzzer bytes become a stream from the other side, fed to the frame decoder in
// pieces of varying size: every frame it accepts must encode back to exactly the
// bytes it came from, and a fault must stop it for good.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "net/protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    net::Decoder decoder;
    size_t at = 0, start = 0, piece = 1;
    while (at < size) {
        size_t used = decoder.feed(data + at, std::min(piece, size - at));
        at += used;
        piece = piece % 7 + 1;
        if (decoder.fault() != net::Reason::None) {
            if (decoder.feed(data, size) != 0 || decoder.ready()) {
                std::fprintf(stderr, "the decoder went on after a fault\n");
                std::abort();
            }
            break;
        }
        if (!decoder.ready()) continue;
        std::vector<uint8_t> again = net::encode(decoder.message());
        if (again.size() != at - start || std::memcmp(again.data(), data + start, again.size()) != 0) {
            std::fprintf(stderr, "a frame of %zu bytes at %zu does not encode back\n", at - start, start);
            std::abort();
        }
        if (decoder.message().type == net::Type::Move && !net::well_formed(decoder.message().move)) {
            std::fprintf(stderr, "a move off the board was accepted at %zu\n", start);
            std::abort();
        }
        start = at;
    }
    return 0;
}
