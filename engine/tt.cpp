#include "engine/tt.h"

namespace engine {

namespace {

uint64_t pack(const TTEntry& e) {
    return uint64_t(uint16_t(e.score)) | uint64_t(e.move) << 16 | uint64_t(uint8_t(e.depth)) << 32 |
           uint64_t(e.bound) << 40;
}

TTEntry unpack(uint64_t d) {
    return {int16_t(uint16_t(d)), uint16_t(d >> 16), int8_t(uint8_t(d >> 32)), TTEntry::Bound(d >> 40 & 3)};
}

} // namespace

TT::TT(int megabytes) {
    size_t n = 1;
    while (n * 2 * sizeof(Slot) <= size_t(megabytes) << 20) n *= 2;
    slots_.reset(new Slot[n]);
    mask_ = n - 1;
}

bool TT::probe(uint64_t key, TTEntry* out) const {
    const Slot& s = slots_[key & mask_];
    uint64_t data = s.data.load(std::memory_order_relaxed);
    if ((s.check.load(std::memory_order_relaxed) ^ data) != key) return false;
    *out = unpack(data);
    return out->bound != TTEntry::None;
}

void TT::store(uint64_t key, int score, uint16_t move, int depth, TTEntry::Bound bound) {
    Slot& s = slots_[key & mask_];
    TTEntry old;
    if (probe(key, &old)) {
        if (depth < old.depth && bound != TTEntry::Exact) return;
        if (!move) move = old.move;
    }
    uint64_t data = pack({int16_t(score), move, int8_t(depth), bound});
    s.data.store(data, std::memory_order_relaxed);
    s.check.store(key ^ data, std::memory_order_relaxed);
}

void TT::clear() {
    for (uint64_t i = 0; i <= mask_; i++) {
        slots_[i].check.store(0, std::memory_order_relaxed);
        slots_[i].data.store(0, std::memory_order_relaxed);
    }
}

} // namespace engine
