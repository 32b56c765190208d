#include "engine/tt.h"

namespace engine {

TT::TT(int megabytes) {
    size_t n = 1;
    while (n * 2 * sizeof(TTEntry) <= size_t(megabytes) << 20) n *= 2;
    slots_.resize(n);
    mask_ = n - 1;
}

const TTEntry* TT::probe(uint64_t key) const {
    const TTEntry& e = slots_[key & mask_];
    return e.bound != TTEntry::None && e.key == key ? &e : nullptr;
}

void TT::store(uint64_t key, int score, uint16_t move, int depth, TTEntry::Bound bound) {
    TTEntry& e = slots_[key & mask_];
    if (e.key == key && depth < e.depth && bound != TTEntry::Exact) return;
    if (e.key == key && !move) move = e.move;
    e = {key, int16_t(score), move, int8_t(depth), bound};
}

void TT::clear() { slots_.assign(slots_.size(), TTEntry()); }

} // namespace engine
