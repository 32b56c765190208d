#pragma once
// globoid-engine's text protocol, in the conventions of the Go Text Protocol: one
// command a line, an optional numeric id before it, and each answered by
// "=[id] result" or "?[id] error" and a blank line. Moves are written in the
// board's notation. No line, however malformed, does more than earn an error.
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace protocol {

// Longer lines are answered with an error and otherwise ignored.
constexpr size_t kMaxLine = 4096;

class Session {
public:
    Session();
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // The answer to one line, its blank line included; nothing for an empty line
    // or a comment, which the protocol leaves unanswered.
    std::string answer(std::string_view line);
    // `quit` has been answered.
    bool done() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Reads commands from in and answers on out, flushed after each, until `quit` or
// the end of the input.
void serve(std::FILE* in, std::FILE* out);

} // namespace protocol
