// Material first; then the middle of the board, where no marble can be pushed off;
// lines of marbles that hold together; marbles at the edge in reach of a push-off.
#include "engine/evaluate.h"

#include "engine/cpu.h"
#include "engine/movegen.h"

namespace engine {

namespace {

struct Rings {
    Bits ring[5] = {};
};

constexpr Rings make_rings() {
    Rings r;
    for (int c = 0; c < kCells; c++) r.ring[geo::kT.ring[c]] |= Bits(1) << c;
    return r;
}

constexpr Rings kRings = make_rings();

[[gnu::always_inline]] inline int side_score(Bits own, const Weights& w) {
    int s = 0;
    for (int k = 0; k < 4; k++) s += w.centre[k] * __builtin_popcountll(own & kRings.ring[k]);
    Bits pair0 = own & shift<0>(own), pair1 = own & shift<1>(own), pair2 = own & shift<2>(own);
    int pairs = __builtin_popcountll(pair0) + __builtin_popcountll(pair1) + __builtin_popcountll(pair2);
    int lines = __builtin_popcountll(pair0 & shift<0>(pair0)) + __builtin_popcountll(pair1 & shift<1>(pair1)) +
                __builtin_popcountll(pair2 & shift<2>(pair2));
    return s + w.cohesion * pairs + w.lines * lines;
}

Bits neighbours(Bits b) { return shift<0>(b) | shift<1>(b) | shift<2>(b) | shift<3>(b) | shift<4>(b) | shift<5>(b); }

[[gnu::always_inline]] inline int contact_body(Bits own, Bits theirs) {
    return __builtin_popcountll(own & neighbours(theirs));
}

[[gnu::always_inline]] inline int evaluate_body(const Position& p, const Weights& w) {
    int us = p.side(), them = us ^ 1;
    int lead = p.score(us) - p.score(them);
    int s = w.marble * lead + side_score(p.mine(), w) - side_score(p.theirs(), w);
    s += w.attacking * threatened(p, them) - w.in_danger * threatened(p, us);
    // The side ahead seeks contact, more so the further ahead, so that the game moves on.
    if (lead != 0) {
        s += (lead > 0 ? 1 : -1) * w.contact * contact_body(p.mine(), p.theirs()) * (lead > 0 ? lead : -lead);
    }
    return s;
}

} // namespace

int contact(Bits own, Bits theirs) { return isa::dispatch<contact_body>(own, theirs); }

int evaluate(const Position& p, const Weights& w) { return isa::dispatch<evaluate_body>(p, w); }

} // namespace engine
