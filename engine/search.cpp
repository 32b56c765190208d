// The search proper. Scores are for the side to move; a win found n plies ahead
// scores kMate - n, so that the quickest win and the slowest loss are preferred.
#include "engine/search.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <system_error>
#include <thread>

namespace engine {

namespace {

constexpr int kInfinity = kMate + 1;
constexpr int kMateBound = kMate - 2 * kMaxPly;

int to_tt(int s, int ply) { return s > kMateBound ? s + ply : s < -kMateBound ? s - ply : s; }
int from_tt(int s, int ply) { return s > kMateBound ? s - ply : s < -kMateBound ? s + ply : s; }

// Picks the best-keyed remaining move into place i.
void pick(MoveList& list, int* keys, int i) {
    int best = i;
    for (int j = i + 1; j < list.size; j++)
        if (keys[j] > keys[best]) best = j;
    std::swap(list.moves[i], list.moves[best]);
    std::swap(keys[i], keys[best]);
}

double clock_seconds(bool thread_clock) {
    timespec t;
    clock_gettime(thread_clock ? CLOCK_THREAD_CPUTIME_ID : CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

} // namespace

struct Search::Worker {
    Search& s;
    int id; // 0 for the calling thread
    Move killers[kMaxPly][2];
    int history[2][0x2000];
    uint64_t path[kMaxPly + 8];
    uint64_t nodes = 0, node_limit = 0;
    bool stopped = false;
    bool timed = false;
    double deadline = 0; // seconds on the clock below
    bool thread_clock = false;
    const std::atomic<bool>* stop = nullptr;

    Worker(Search& s, int id) : s(s), id(id) { clear(); }

    void clear() {
        std::memset(history, 0, sizeof history);
        for (auto& k : killers) k[0] = k[1] = Move();
    }

    double now() const { return clock_seconds(thread_clock); }
    int history_index(const Move& m) const { return m.code() & 0x1FFF; }

    bool should_stop() {
        if (stopped) return true;
        if ((stop && stop->load(std::memory_order_relaxed)) || (id && s.done_.load(std::memory_order_relaxed)) ||
            (node_limit && nodes >= node_limit) || (timed && (nodes & 255) == 0 && now() >= deadline))
            stopped = true;
        return stopped;
    }

    bool repeated(uint64_t key, int ply) const {
        for (int i = ply - 2; i >= 0; i -= 2)
            if (path[i] == key) return true;
        return s.in_game(key);
    }

    void order(const Position& p, MoveList& list, int* keys, uint16_t hash_move, int ply) const {
        for (int i = 0; i < list.size; i++) {
            const Move& m = list.moves[i];
            int k;
            if (hash_move && m.code() == hash_move)
                k = 1 << 30;
            else if (m.kind == Move::PushOff)
                k = (1 << 28) + m.n;
            else if (m.kind == Move::Push)
                k = (1 << 26) + m.n;
            else if (m == killers[ply][0])
                k = (1 << 25) + 1;
            else if (m == killers[ply][1])
                k = 1 << 25;
            else
                k = history[p.side()][history_index(m)];
            keys[i] = k;
        }
    }

    int quiesce(Position& p, int alpha, int beta, int ply) {
        nodes++;
        if (p.score(p.side() ^ 1) >= kWinScore) return -(kMate - ply);
        if (should_stop()) return 0;
        int stand = evaluate(p, s.weights);
        if (stand >= beta || ply >= kMaxPly) return stand;
        alpha = std::max(alpha, stand);
        MoveList list;
        generate_push_offs(p, list);
        for (const Move& m : list) {
            Position::Undo u = p.make(m);
            int v = -quiesce(p, -beta, -alpha, ply + 1);
            p.unmake(u);
            if (stopped) return 0;
            if (v >= beta) return v;
            alpha = std::max(alpha, v);
        }
        return alpha;
    }

    int negamax(Position& p, int depth, int alpha, int beta, int ply, bool null_ok) {
        const Options& options = s.options;
        if (p.score(p.side() ^ 1) >= kWinScore) return -(kMate - ply);
        path[ply] = p.hash();
        if (repeated(p.hash(), ply)) return p.side() == s.root_side_ ? -options.contempt : options.contempt;
        if (depth <= 0 || ply >= kMaxPly) return quiesce(p, alpha, beta, ply);
        nodes++;
        if (should_stop()) return 0;

        bool pv = beta - alpha > 1;
        TTEntry e;
        bool hit = s.tt_.probe(p.hash(), &e);
        uint16_t hash_move = hit ? e.move : 0;
        if (hit && !pv && e.depth >= depth) {
            int v = from_tt(e.score, ply);
            if (e.bound == TTEntry::Exact || (e.bound == TTEntry::Lower && v >= beta) ||
                (e.bound == TTEntry::Upper && v <= alpha))
                return v;
        }

        if (options.null_move && null_ok && !pv && depth >= 3 && std::abs(beta) < kMateBound &&
            evaluate(p, s.weights) >= beta) {
            Position::Undo u = p.make_null();
            int v = -negamax(p, depth - 3 - depth / 6, -beta, -beta + 1, ply + 1, false);
            p.unmake(u);
            if (stopped) return 0;
            if (v >= beta) return v >= kMateBound ? beta : v;
        }

        MoveList list;
        generate(p, list);
        if (list.size == 0) return evaluate(p, s.weights); // every marble blocked: nothing to do but wait
        int keys[512];
        order(p, list, keys, hash_move, ply);

        int best = -kInfinity, old_alpha = alpha;
        Move best_move;
        for (int i = 0; i < list.size; i++) {
            pick(list, keys, i);
            const Move& m = list.moves[i];
            bool quiet = m.kind == Move::Plain && keys[i] < (1 << 25);
            Position::Undo u = p.make(m);
            int v;
            if (i == 0) {
                v = -negamax(p, depth - 1, -beta, -alpha, ply + 1, true);
            } else {
                int r = options.reductions && quiet && depth >= 3 && i >= 3 ? 1 + (depth >= 6 && i >= 12) : 0;
                v = -negamax(p, depth - 1 - r, -alpha - 1, -alpha, ply + 1, true);
                if (v > alpha && (r || v < beta)) v = -negamax(p, depth - 1, -beta, -alpha, ply + 1, true);
            }
            p.unmake(u);
            if (stopped) return 0;
            if (v > best) {
                best = v;
                best_move = m;
            }
            if (v > alpha) alpha = v;
            if (alpha >= beta) {
                if (m.kind == Move::Plain) {
                    if (killers[ply][0] != m) {
                        killers[ply][1] = killers[ply][0];
                        killers[ply][0] = m;
                    }
                    int& h = history[p.side()][history_index(m)];
                    h = std::min(h + depth * depth, 1 << 24);
                }
                break;
            }
        }
        TTEntry::Bound bound = best >= beta ? TTEntry::Lower : best > old_alpha ? TTEntry::Exact : TTEntry::Upper;
        s.tt_.store(p.hash(), to_tt(best, ply), best_move.code(), depth, bound);
        return best;
    }

    // Iterative deepening from the root's moves; a helper starts every other depth
    // one deeper.
    void deepen(Position p, MoveList list, const Limits& limits, double start, Result& result) {
        for (auto& h : history)
            for (int& v : h) v /= 8;
        int score = 0;
        for (int depth = 1 + (id & 1); depth <= limits.depth; depth++) {
            int window = s.options.aspiration && depth >= 4 ? 120 : kInfinity;
            int alpha = std::max(score - window, -kInfinity), beta = std::min(score + window, kInfinity);
            for (;;) {
                int best = -kInfinity, a = alpha;
                int best_index = -1;
                for (int i = 0; i < list.size; i++) {
                    Position::Undo u = p.make(list.moves[i]);
                    int v;
                    if (i == 0) {
                        v = -negamax(p, depth - 1, -beta, -a, 1, true);
                    } else {
                        v = -negamax(p, depth - 1, -a - 1, -a, 1, true);
                        if (v > a && v < beta) v = -negamax(p, depth - 1, -beta, -a, 1, true);
                    }
                    p.unmake(u);
                    if (stopped) break;
                    if (v > best) {
                        best = v;
                        best_index = i;
                    }
                    if (v > a) a = v;
                    if (a >= beta) break;
                }
                // A move that beat the last finished depth's choice outright is taken even
                // from an unfinished search.
                if (best_index >= 0 && best > alpha && (!stopped || best > score)) {
                    std::rotate(list.moves, list.moves + best_index, list.moves + best_index + 1);
                    result.move = list.moves[0];
                }
                if (stopped) break;
                if (best <= alpha && alpha > -kInfinity) {
                    alpha = -kInfinity;
                } else if (best >= beta && beta < kInfinity) {
                    beta = kInfinity;
                } else {
                    score = best;
                    break;
                }
            }
            if (stopped) break;
            result.score = score;
            result.depth = depth;
            if (std::abs(score) > kMateBound) break;
            if (timed && (now() - start) * 1000 > limits.time_ms * limits.new_depth_until) break;
        }
    }
};

Search::Search(int tt_megabytes) : tt_(tt_megabytes) { workers_.emplace_back(new Worker(*this, 0)); }

Search::~Search() = default;

void Search::clear() {
    tt_.clear();
    for (auto& w : workers_) w->clear();
}

bool Search::in_game(uint64_t key) const {
    if (!(game_filter_[key >> 6 & 63] >> (key & 63) & 1)) return false;
    return std::binary_search(game_.begin(), game_.end(), key);
}

Result Search::run(const Position& root, const Limits& limits, const std::vector<uint64_t>& history,
                   const std::atomic<bool>* stop) {
    double start = clock_seconds(limits.thread_clock);
    Result result;
    root_side_ = root.side();
    game_ = history;
    std::sort(game_.begin(), game_.end());
    std::memset(game_filter_, 0, sizeof game_filter_);
    for (uint64_t k : game_) game_filter_[k >> 6 & 63] |= uint64_t(1) << (k & 63);

    Position p = root;
    MoveList list;
    generate(p, list);
    if (root.over() || list.size == 0) return result;
    result.move = list.moves[0];
    result.has_move = true;

    int keys[512];
    TTEntry e;
    workers_[0]->order(p, list, keys, tt_.probe(p.hash(), &e) ? e.move : 0, 0);
    for (int i = 0; i < list.size; i++) pick(list, keys, i);

    int threads = std::max(1, limits.threads);
    while (int(workers_.size()) < threads) workers_.emplace_back(new Worker(*this, int(workers_.size())));
    for (int i = 0; i < threads; i++) {
        Worker& w = *workers_[size_t(i)];
        w.stop = stop;
        w.stopped = false;
        w.nodes = 0;
        w.node_limit = limits.nodes;
        w.thread_clock = limits.thread_clock;
        w.timed = i == 0 && limits.time_ms > 0; // the helpers stop with the calling thread
        w.deadline = start + limits.time_ms / 1000.0;
        w.path[0] = p.hash();
    }
    done_.store(false);
    std::vector<Result> found(size_t(threads), result);
    std::vector<std::thread> helpers;
    for (int i = 1; i < threads; i++) {
        try {
            helpers.emplace_back([&, i] { workers_[size_t(i)]->deepen(p, list, limits, start, found[size_t(i)]); });
        } catch (const std::system_error&) {
            break; // no thread to be had: search with those there are
        }
    }
    workers_[0]->deepen(p, list, limits, start, result);
    done_.store(true);
    for (std::thread& t : helpers) t.join();
    // A helper that finished a deeper search than the calling thread's knows better.
    for (const Result& r : found)
        if (r.depth > result.depth) result = r;
    for (int i = 0; i < threads; i++) result.nodes += workers_[size_t(i)]->nodes;
    result.seconds = clock_seconds(limits.thread_clock) - start;
    return result;
}

std::vector<Move> Search::line(const Position& root, const Move& first, int max) const {
    std::vector<Move> out;
    std::vector<uint64_t> seen{root.hash()};
    Position p = root;
    for (uint16_t code = first.code(); code && int(out.size()) < max && !p.over();) {
        MoveList list;
        generate(p, list);
        const Move* m = std::find_if(list.begin(), list.end(), [&](const Move& m) { return m.code() == code; });
        if (m == list.end()) break; // another position's entry
        out.push_back(*m);
        p.make(*m);
        if (std::find(seen.begin(), seen.end(), p.hash()) != seen.end()) break;
        seen.push_back(p.hash());
        TTEntry e;
        code = tt_.probe(p.hash(), &e) ? e.move : 0;
    }
    return out;
}

} // namespace engine
