#pragma once
// The transposition table: one entry per slot, replaced when the new search is at
// least as deep or the slot holds another position.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace engine {

struct TTEntry {
    enum Bound : uint8_t { None, Upper, Lower, Exact };
    uint64_t key = 0;
    int16_t score = 0;
    uint16_t move = 0; // Move::code(), 0 for none
    int8_t depth = 0;
    Bound bound = None;
};

class TT {
public:
    explicit TT(int megabytes = 16);
    // The entry for key, or nullptr.
    const TTEntry* probe(uint64_t key) const;
    void store(uint64_t key, int score, uint16_t move, int depth, TTEntry::Bound bound);
    void clear();

private:
    std::vector<TTEntry> slots_;
    uint64_t mask_;
};

} // namespace engine
