// Fuzzer bytes as lines for globoid-engine: every answer is one well-formed answer,
// or none for a line without a command. Commands that search or count for long
// (analyse, perft, time_per_move, and level, which would let genmove think) are
// left out; genmove plays at level 1.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "protocol/protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    protocol::Session session;
    session.answer("level 1");
    std::string all(reinterpret_cast<const char*>(data), size);
    for (size_t start = 0; start <= all.size() && !session.done();) {
        size_t end = all.find('\n', start);
        if (end == std::string::npos) end = all.size();
        const std::string line = all.substr(start, end - start);
        start = end + 1;
        std::string visible; // as the session will read it, and tighter
        for (char c : line)
            if (c > ' ' && c < 127) visible += c;
        bool slow = false;
        for (const char* word : {"analyse", "perft", "time_per_move", "level"})
            slow |= visible.find(word) != std::string::npos;
        if (slow) continue;
        const std::string a = session.answer(line);
        if (a.empty()) continue;
        bool ok = a.size() >= 3 && (a[0] == '=' || a[0] == '?') && a.compare(a.size() - 2, 2, "\n\n") == 0 &&
                  a.find("\n\n") == a.size() - 2;
        if (!ok) {
            std::fprintf(stderr, "a malformed answer: %s\n", a.c_str());
            std::abort();
        }
    }
    return 0;
}
