// The processor's answer, once, before main.
#include "engine/cpu.h"

namespace engine {

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
namespace isa {
namespace {
bool has_popcnt() {
    __builtin_cpu_init(); // before main, the library's own start-up may not have run yet
    return __builtin_cpu_supports("popcnt");
}
} // namespace
bool use_popcnt = has_popcnt();
} // namespace isa

bool popcount_instruction() { return isa::use_popcnt; }
void set_popcount_instruction(bool on) { isa::use_popcnt = on && __builtin_cpu_supports("popcnt"); }
#else
bool popcount_instruction() { return false; }
void set_popcount_instruction(bool) {}
#endif

} // namespace engine
