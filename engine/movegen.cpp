// Move generation on whole bitboards, one direction at a time. A line is found by
// its front marble (in-line moves) or by its base, the end with the lower index
// along its axis (sideways moves), for every cell at once.
#include "engine/movegen.h"

#include "engine/cpu.h"

namespace engine {

namespace {

// Front marbles of the lines that can move along themselves in direction D.
struct InLine {
    Bits advance2, advance3;     // into an empty cell
    Bits push21, push31, push32; // a row of pushed marbles stays on the board
    Bits off21, off31, off32;    // the last pushed marble leaves it
};

template <int D>
InLine in_line(Bits own, Bits opp, Bits empty) {
    constexpr int B = opposite(D);
    Bits b1 = own & shift<D>(own);   // the marble behind is own
    Bits b2 = b1 & shift<D>(b1);     // and the one behind that
    Bits to_empty = shift<B>(empty); // the cell ahead is empty
    Bits run1 = opp & to_empty, off1 = opp & edge(D);
    Bits run2 = opp & shift<B>(run1), off2 = opp & shift<B>(off1);
    Bits r1 = shift<B>(run1), r2 = shift<B>(run2), o1 = shift<B>(off1), o2 = shift<B>(off2);
    return {b1 & to_empty, b2 & to_empty, b1 & r1, b2 & r1, b2 & r2, b1 & o1, b2 & o1, b2 & o2};
}

// The base of a line of n whose front is f, moving in direction d.
template <int D>
Bits base_of(Bits fronts, int n) {
    if (D >= 3) return fronts;
    for (int k = 1; k < n; k++) fronts = shift<opposite(D)>(fronts);
    return fronts;
}

template <class Sink>
struct Gen {
    Sink& sink;
    Bits own, opp, empty;

    void emit(Bits bases, int n, int axis, int dir, Move::Kind kind) { sink(bases, n, axis, dir, kind); }

    template <int D>
    void direction(bool push_offs_only) {
        constexpr int A = D % 3;
        InLine l = in_line<D>(own, opp, empty);
        emit(base_of<D>(l.off21, 2), 2, A, D, Move::PushOff);
        emit(base_of<D>(l.off31, 3), 3, A, D, Move::PushOff);
        emit(base_of<D>(l.off32, 3), 3, A, D, Move::PushOff);
        if (push_offs_only) return;
        emit(base_of<D>(l.push21, 2), 2, A, D, Move::Push);
        emit(base_of<D>(l.push31, 3), 3, A, D, Move::Push);
        emit(base_of<D>(l.push32, 3), 3, A, D, Move::Push);
        emit(base_of<D>(l.advance2, 2), 2, A, D, Move::Plain);
        emit(base_of<D>(l.advance3, 3), 3, A, D, Move::Plain);

        Bits free = own & shift<opposite(D)>(empty); // the cell in direction D is empty
        emit(free, 1, 0, D, Move::Plain);
        sideways<D, (A + 1) % 3>(free);
        sideways<D, (A + 2) % 3>(free);
    }

    // Lines along axis A stepping sideways in D: every marble's target empty.
    template <int D, int A>
    void sideways(Bits free) {
        constexpr int Back = opposite(A);
        Bits pair = free & shift<Back>(free); // base and the next one along A
        emit(pair, 2, A, D, Move::Plain);
        emit(pair & shift<Back>(pair), 3, A, D, Move::Plain);
    }

    void all(bool push_offs_only) {
        direction<0>(push_offs_only);
        direction<1>(push_offs_only);
        direction<2>(push_offs_only);
        direction<3>(push_offs_only);
        direction<4>(push_offs_only);
        direction<5>(push_offs_only);
    }
};

struct ListSink {
    MoveList& out;
    void operator()(Bits bases, int n, int axis, int dir, Move::Kind kind) {
        for (; bases; bases &= bases - 1)
            out.add({uint8_t(__builtin_ctzll(bases)), uint8_t(n), uint8_t(axis), uint8_t(dir), kind});
    }
};

// The opposing marbles that a push-off in direction D would remove: each stands on
// the edge with two pushers behind it, or with one more opposing marble and three
// pushers.
template <int D>
[[gnu::always_inline]] inline Bits lost(Bits own, Bits opp) {
    Bits b1 = own & shift<D>(own), b2 = b1 & shift<D>(b1);
    return opp & edge(D) & (shift<D>(b1) | shift<D>(opp & shift<D>(b2)));
}

} // namespace

void generate(const Position& p, MoveList& out) {
    out.size = 0;
    ListSink sink{out};
    Gen<ListSink>{sink, p.mine(), p.theirs(), p.empty()}.all(false);
}

void generate_push_offs(const Position& p, MoveList& out) {
    out.size = 0;
    ListSink sink{out};
    Gen<ListSink>{sink, p.mine(), p.theirs(), p.empty()}.all(true);
}

namespace {

// As Gen, but only the sizes: pushes and push-offs together, lines by their fronts.
template <int D>
[[gnu::always_inline]] inline int count_direction(Bits own, Bits opp, Bits empty) {
    constexpr int B = opposite(D), A = D % 3;
    Bits b1 = own & shift<D>(own);
    Bits b2 = b1 & shift<D>(b1);
    Bits to_empty = shift<B>(empty);
    Bits s1 = shift<B>(opp & (to_empty | edge(D)));
    Bits s2 = shift<B>(opp & s1);
    Bits free = own & to_empty;
    Bits pa = free & shift<opposite((A + 1) % 3)>(free), pb = free & shift<opposite((A + 2) % 3)>(free);
    Bits ta = pa & shift<opposite((A + 1) % 3)>(pa), tb = pb & shift<opposite((A + 2) % 3)>(pb);
    return popcount(b1 & (to_empty | s1)) + popcount(b2 & (to_empty | s1 | s2)) + popcount(free) + popcount(pa) +
           popcount(pb) + popcount(ta) + popcount(tb);
}

[[gnu::always_inline]] inline int count_moves_body(const Position& p) {
    Bits own = p.mine(), opp = p.theirs(), empty = p.empty();
    return count_direction<0>(own, opp, empty) + count_direction<1>(own, opp, empty) +
           count_direction<2>(own, opp, empty) + count_direction<3>(own, opp, empty) +
           count_direction<4>(own, opp, empty) + count_direction<5>(own, opp, empty);
}

[[gnu::always_inline]] inline int threatened_body(const Position& p, int side) {
    Bits own = p.marbles(side ^ 1), opp = p.marbles(side);
    return popcount(lost<0>(own, opp) | lost<1>(own, opp) | lost<2>(own, opp) | lost<3>(own, opp) | lost<4>(own, opp) |
                    lost<5>(own, opp));
}

} // namespace

int count_moves(const Position& p) { return isa::dispatch<count_moves_body>(p); }

int threatened(const Position& p, int side) { return isa::dispatch<threatened_body>(p, side); }

uint64_t perft(Position& p, int depth) {
    if (p.over()) return 0;
    if (depth <= 1) return depth == 1 ? uint64_t(count_moves(p)) : 1;
    MoveList list;
    generate(p, list);
    uint64_t total = 0;
    for (const Move& m : list) {
        Position::Undo u = p.make(m);
        total += perft(p, depth - 1);
        p.unmake(u);
    }
    return total;
}

} // namespace engine
