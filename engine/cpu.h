#pragma once
// Counting bits is the inner loop of move counting and of the evaluation. Every
// x86-64 processor made since 2008 does it in one instruction, but the
// architecture's baseline does not promise it, so the few functions that count are
// compiled twice, with the instruction and without, and the processor's own answer
// at start-up picks one. Elsewhere there is one form.
#include <cstdint>
#include <utility>

namespace engine {

// True when the counting functions use the instruction.
bool popcount_instruction();
// Turns the instruction off, or back on where the processor has it; before any
// search starts. For the benchmark, which times the baseline beside it.
void set_popcount_instruction(bool on);

// The bits set in b. Written out, not as the builtin, which without the instruction
// is a call into the compiler's library: the compiler turns this very pattern into
// the instruction where the function is built for it.
inline int popcount(uint64_t b) {
    b = b - ((b >> 1) & 0x5555555555555555ull);
    b = (b & 0x3333333333333333ull) + ((b >> 2) & 0x3333333333333333ull);
    b = (b + (b >> 4)) & 0x0F0F0F0F0F0F0F0Full;
    return int((b * 0x0101010101010101ull) >> 56);
}

namespace isa {

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
extern bool use_popcnt;

// F is inlined here, so its counts become the instruction.
template <auto F, class... A>
__attribute__((target("popcnt"))) auto with_popcnt(A&&... a) {
    return F(std::forward<A>(a)...);
}

// Calls F, an always-inline body, in the form the processor runs best.
template <auto F, class... A>
inline auto dispatch(A&&... a) {
    return use_popcnt ? with_popcnt<F>(std::forward<A>(a)...) : F(std::forward<A>(a)...);
}
#else
template <auto F, class... A>
inline auto dispatch(A&&... a) {
    return F(std::forward<A>(a)...);
}
#endif

} // namespace isa
} // namespace engine
