#pragma once
// Counting bits is the inner loop of move counting and of the evaluation. Every
// x86-64 processor made since 2008 does it in one instruction, but the
// architecture's baseline does not promise it, so the few functions that count are
// compiled twice, with the instruction and without, and the processor's own answer
// at start-up picks one. Elsewhere there is one form.
#include <utility>

namespace engine {

// True when the counting functions use the instruction.
bool popcount_instruction();
// Turns the instruction off, or back on where the processor has it; before any
// search starts. For the benchmark, which times the baseline beside it.
void set_popcount_instruction(bool on);

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
