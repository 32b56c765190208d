// Fuzzer bytes as a record's text: the reader must refuse it with a line inside the
// text, or read moves the rules allow, which the writer puts back in a form that
// reads the same again. Each move token is also read on its own.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "records/record.h"

namespace {
[[noreturn]] void fault(const char* what, const std::string& text) {
    std::fprintf(stderr, "%s\n--- text ---\n%s\n", what, text.c_str());
    std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    board::Move m;
    if (board::parse_move(text, &m)) {
        board::Move again;
        if (!board::parse_move(board::to_text(m), &again) || again != m) fault("a move does not read back", text);
    }
    records::Record r;
    records::Fault f;
    if (!records::parse(text, &r, &f)) {
        int lines = 1;
        for (char c : text) lines += c == '\n';
        if (f.line < 1 || f.line > lines || f.what.empty()) fault("a refusal without its line", text);
        return 0;
    }
    board::Position p = board::opening(r.opening());
    for (const board::Move& move : r.moves)
        if (!board::play(p, move)) fault("an illegal move was read", text);
    const std::string written = records::write(r);
    records::Record back;
    if (!records::parse(written, &back, &f)) fault(("the written record is refused: " + f.what).c_str(), written);
    if (records::write(back) != written) fault("the written record does not read back the same", written);
    return 0;
}
