#pragma once
// The transposition table, shared by the search's threads without locks: each slot
// is two words, the entry and the key XORed with it, so that a slot torn by two
// threads writing at once reads as another position and is ignored. One entry per
// slot, replaced when the new search is at least as deep or the slot holds another
// position.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace engine {

struct TTEntry {
    enum Bound : uint8_t { None, Upper, Lower, Exact };
    int16_t score = 0;
    uint16_t move = 0; // Move::code(), 0 for none
    int8_t depth = 0;
    Bound bound = None;
};

class TT {
public:
    explicit TT(int megabytes = 16);
    // The entry for key into *out; false if there is none.
    bool probe(uint64_t key, TTEntry* out) const;
    void store(uint64_t key, int score, uint16_t move, int depth, TTEntry::Bound bound);
    // Not while a search runs.
    void clear();

private:
    struct Slot {
        std::atomic<uint64_t> check{0}, data{0}; // check is the key XOR data
    };
    std::unique_ptr<Slot[]> slots_;
    uint64_t mask_;
};

} // namespace engine
