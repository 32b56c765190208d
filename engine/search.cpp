// The search proper. Scores are for the side to move; a win found n plies ahead
// scores kMate - n, so that the quickest win and the slowest loss are preferred.
#include "engine/search.h"

#include <algorithm>
#include <cstring>
#include <ctime>

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

} // namespace

Search::Search(int tt_megabytes) : tt_(tt_megabytes) { clear(); }

void Search::clear() {
    tt_.clear();
    std::memset(history_, 0, sizeof history_);
    for (auto& k : killers_) k[0] = k[1] = Move();
}

double Search::now() const {
    timespec t;
    clock_gettime(thread_clock_ ? CLOCK_THREAD_CPUTIME_ID : CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

bool Search::should_stop() {
    if (stopped_) return true;
    if ((stop_ && stop_->load(std::memory_order_relaxed)) || (node_limit_ && nodes_ >= node_limit_) ||
        (timed_ && (nodes_ & 255) == 0 && now() >= deadline_))
        stopped_ = true;
    return stopped_;
}

bool Search::repeated(uint64_t key, int ply) const {
    for (int i = ply - 2; i >= 0; i -= 2)
        if (path_[i] == key) return true;
    if (!(game_filter_[key >> 6 & 63] >> (key & 63) & 1)) return false;
    return std::binary_search(game_.begin(), game_.end(), key);
}

void Search::order(const Position& p, MoveList& list, int* keys, uint16_t hash_move, int ply) const {
    for (int i = 0; i < list.size; i++) {
        const Move& m = list.moves[i];
        int k;
        if (hash_move && m.code() == hash_move)
            k = 1 << 30;
        else if (m.kind == Move::PushOff)
            k = (1 << 28) + m.n;
        else if (m.kind == Move::Push)
            k = (1 << 26) + m.n;
        else if (m == killers_[ply][0])
            k = (1 << 25) + 1;
        else if (m == killers_[ply][1])
            k = 1 << 25;
        else
            k = history_[p.side()][history_index(m)];
        keys[i] = k;
    }
}

int Search::quiesce(Position& p, int alpha, int beta, int ply) {
    nodes_++;
    if (p.score(p.side() ^ 1) >= kWinScore) return -(kMate - ply);
    if (should_stop()) return 0;
    int stand = evaluate(p, weights);
    if (stand >= beta || ply >= kMaxPly) return stand;
    alpha = std::max(alpha, stand);
    MoveList list;
    generate_push_offs(p, list);
    for (const Move& m : list) {
        Position::Undo u = p.make(m);
        int s = -quiesce(p, -beta, -alpha, ply + 1);
        p.unmake(u);
        if (stopped_) return 0;
        if (s >= beta) return s;
        alpha = std::max(alpha, s);
    }
    return alpha;
}

int Search::negamax(Position& p, int depth, int alpha, int beta, int ply, bool null_ok) {
    if (p.score(p.side() ^ 1) >= kWinScore) return -(kMate - ply);
    path_[ply] = p.hash();
    if (repeated(p.hash(), ply)) return p.side() == root_side_ ? -options.contempt : options.contempt;
    if (depth <= 0 || ply >= kMaxPly) return quiesce(p, alpha, beta, ply);
    nodes_++;
    if (should_stop()) return 0;

    bool pv = beta - alpha > 1;
    const TTEntry* e = tt_.probe(p.hash());
    uint16_t hash_move = e ? e->move : 0;
    if (e && !pv && e->depth >= depth) {
        int s = from_tt(e->score, ply);
        if (e->bound == TTEntry::Exact || (e->bound == TTEntry::Lower && s >= beta) ||
            (e->bound == TTEntry::Upper && s <= alpha))
            return s;
    }

    if (options.null_move && null_ok && !pv && depth >= 3 && std::abs(beta) < kMateBound &&
        evaluate(p, weights) >= beta) {
        Position::Undo u = p.make_null();
        int s = -negamax(p, depth - 3 - depth / 6, -beta, -beta + 1, ply + 1, false);
        p.unmake(u);
        if (stopped_) return 0;
        if (s >= beta) return s >= kMateBound ? beta : s;
    }

    MoveList list;
    generate(p, list);
    if (list.size == 0) return evaluate(p, weights); // every marble blocked: nothing to do but wait
    int keys[512];
    order(p, list, keys, hash_move, ply);

    int best = -kInfinity, old_alpha = alpha;
    Move best_move;
    for (int i = 0; i < list.size; i++) {
        pick(list, keys, i);
        const Move& m = list.moves[i];
        bool quiet = m.kind == Move::Plain && keys[i] < (1 << 25);
        Position::Undo u = p.make(m);
        int s;
        if (i == 0) {
            s = -negamax(p, depth - 1, -beta, -alpha, ply + 1, true);
        } else {
            int r = options.reductions && quiet && depth >= 3 && i >= 3 ? 1 + (depth >= 6 && i >= 12) : 0;
            s = -negamax(p, depth - 1 - r, -alpha - 1, -alpha, ply + 1, true);
            if (s > alpha && (r || s < beta)) s = -negamax(p, depth - 1, -beta, -alpha, ply + 1, true);
        }
        p.unmake(u);
        if (stopped_) return 0;
        if (s > best) {
            best = s;
            best_move = m;
        }
        if (s > alpha) alpha = s;
        if (alpha >= beta) {
            if (m.kind == Move::Plain) {
                if (killers_[ply][0] != m) {
                    killers_[ply][1] = killers_[ply][0];
                    killers_[ply][0] = m;
                }
                int& h = history_[p.side()][history_index(m)];
                h = std::min(h + depth * depth, 1 << 24);
            }
            break;
        }
    }
    TTEntry::Bound bound = best >= beta ? TTEntry::Lower : best > old_alpha ? TTEntry::Exact : TTEntry::Upper;
    tt_.store(p.hash(), to_tt(best, ply), best_move.code(), depth, bound);
    return best;
}

Result Search::run(const Position& root, const Limits& limits, const std::vector<uint64_t>& history,
                   const std::atomic<bool>* stop) {
    thread_clock_ = limits.thread_clock;
    double start = now();
    Result result;
    stop_ = stop;
    stopped_ = false;
    nodes_ = 0;
    node_limit_ = limits.nodes;
    timed_ = limits.time_ms > 0;
    deadline_ = start + limits.time_ms / 1000.0;
    root_side_ = root.side();
    game_ = history;
    std::sort(game_.begin(), game_.end());
    std::memset(game_filter_, 0, sizeof game_filter_);
    for (uint64_t k : game_) game_filter_[k >> 6 & 63] |= uint64_t(1) << (k & 63);
    for (auto& h : history_)
        for (int& v : h) v /= 8;

    Position p = root;
    MoveList list;
    generate(p, list);
    if (root.over() || list.size == 0) return result;
    result.move = list.moves[0];
    result.has_move = true;
    path_[0] = p.hash();

    int keys[512];
    const TTEntry* e = tt_.probe(p.hash());
    order(p, list, keys, e ? e->move : 0, 0);
    for (int i = 0; i < list.size; i++) pick(list, keys, i);

    int score = 0;
    for (int depth = 1; depth <= limits.depth; depth++) {
        int window = options.aspiration && depth >= 4 ? 120 : kInfinity;
        int alpha = std::max(score - window, -kInfinity), beta = std::min(score + window, kInfinity);
        for (;;) {
            int best = -kInfinity, a = alpha;
            int best_index = -1;
            for (int i = 0; i < list.size; i++) {
                Position::Undo u = p.make(list.moves[i]);
                int s;
                if (i == 0) {
                    s = -negamax(p, depth - 1, -beta, -a, 1, true);
                } else {
                    s = -negamax(p, depth - 1, -a - 1, -a, 1, true);
                    if (s > a && s < beta) s = -negamax(p, depth - 1, -beta, -a, 1, true);
                }
                p.unmake(u);
                if (stopped_) break;
                if (s > best) {
                    best = s;
                    best_index = i;
                }
                if (s > a) a = s;
                if (a >= beta) break;
            }
            // A move that beat the last finished depth's choice outright is taken even
            // from an unfinished search.
            if (best_index >= 0 && best > alpha && (!stopped_ || best > score)) {
                std::rotate(list.moves, list.moves + best_index, list.moves + best_index + 1);
                result.move = list.moves[0];
            }
            if (stopped_) break;
            if (best <= alpha && alpha > -kInfinity) {
                alpha = -kInfinity;
            } else if (best >= beta && beta < kInfinity) {
                beta = kInfinity;
            } else {
                score = best;
                break;
            }
        }
        if (stopped_) break;
        result.score = score;
        result.depth = depth;
        if (std::abs(score) > kMateBound) break;
        if (timed_ && (now() - start) * 1000 > limits.time_ms * limits.new_depth_until) break;
    }
    result.nodes = nodes_;
    result.seconds = now() - start;
    return result;
}

} // namespace engine
