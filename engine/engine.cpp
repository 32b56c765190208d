// The game's positions and moves turned into the engine's, and the search thread.
#include "engine/engine.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <random>
#include <thread>

#include "engine/levels.h"

namespace engine {

namespace {

Position to_position(const GamePosition& g) {
    Bits side[2] = {0, 0};
    for (int c = 0; c < kCells; c++) {
        char v = g.grid[cell_y(c)][cell_x(c)];
        if (v == 1 || v == 2) side[v - 1] |= Bits(1) << c;
    }
    return Position::from_cells(side[0], side[1], g.tour == 2, g.score[1], g.score[2]);
}

GameMove to_game(const Move& m) {
    GameMove g;
    g.n = m.n;
    g.sens = m.dir;
    for (int i = 0, c = m.base; i < m.n; i++, c = neighbour(c, m.axis)) {
        g.x[i] = cell_x(c);
        g.y[i] = cell_y(c);
    }
    return g;
}

// The same marbles, in any order, and the same direction.
bool same(const GameMove& a, const GameMove& b) {
    if (a.n != b.n || a.sens != b.sens) return false;
    for (int i = 0; i < a.n; i++) {
        bool found = false;
        for (int j = 0; j < b.n; j++) found |= a.x[i] == b.x[j] && a.y[i] == b.y[j];
        if (!found) return false;
    }
    return true;
}

} // namespace

bool GameMove::operator==(const GameMove& o) const {
    if (n != o.n || sens != o.sens) return false;
    for (int i = 0; i < n; i++)
        if (x[i] != o.x[i] || y[i] != o.y[i]) return false;
    return true;
}

GamePosition opening() {
    GamePosition g;
    // The border as the game lays it: rows 1 and 11, and two columns beyond each
    // end of rows 2 to 10.
    for (int k = 0; k <= 8; k++) g.grid[1][2 * k + 1] = g.grid[11][2 * k + 1] = 3;
    for (int y = 2; y <= 10; y++) {
        int d = y < 6 ? 6 - y : y - 6;
        g.grid[y][d] = g.grid[y][20 - d] = 3;
    }
    Position p = Position::opening();
    for (int c = 0; c < kCells; c++)
        g.grid[cell_y(c)][cell_x(c)] = char(p.marbles(0) >> c & 1 ? 1 : p.marbles(1) >> c & 1 ? 2 : 0);
    return g;
}

uint64_t hash(const GamePosition& p) { return to_position(p).hash(); }

std::vector<GameMove> legal_moves(const GamePosition& p) {
    std::vector<GameMove> out;
    Position pos = to_position(p);
    if (pos.over()) return out; // the game has ended
    MoveList list;
    generate(pos, list);
    for (const Move& m : list) out.push_back(to_game(m));
    return out;
}

bool apply(GamePosition& g, const GameMove& gm) {
    Position p = to_position(g);
    MoveList list;
    generate(p, list);
    const Move* m = std::find_if(list.begin(), list.end(), [&](const Move& m) { return same(to_game(m), gm); });
    if (p.over() || m == list.end()) return false;
    p.make(*m);
    for (int c = 0; c < kCells; c++)
        g.grid[cell_y(c)][cell_x(c)] = char(p.marbles(0) >> c & 1 ? 1 : p.marbles(1) >> c & 1 ? 2 : 0);
    g.score[1] = char(p.score(0));
    g.score[2] = char(p.score(1));
    // The game keeps the turn with the winner: it ends there.
    if (!p.over()) g.tour = char(3 - g.tour);
    return true;
}

// One job at a time on the worker; each job has its own stop flag, so that a
// cancel reaches the search it meant and no later one.
struct Searcher::Impl {
    struct Job {
        Position position;
        int level;
        std::vector<uint64_t> history;
        uint64_t seed;
        uint64_t id;
        std::shared_ptr<std::atomic<bool>> stop;
    };

    mutable std::mutex mutex;
    std::condition_variable wake;
    std::optional<Job> pending;
    std::shared_ptr<std::atomic<bool>> running_stop;
    uint64_t latest = 0;    // id of the last job started
    uint64_t finished = 0;  // id of the last job whose result is in
    bool cancelled = false; // the latest job was cancelled
    std::optional<GameMove> move;
    double time_scale = 1;
    bool quit = false;
    Search search;
    std::thread worker;

    Impl() : worker([this] { run(); }) {}

    void run() {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            wake.wait(lock, [&] { return quit || pending; });
            if (quit) return;
            Job job = std::move(*pending);
            pending.reset();
            running_stop = job.stop;
            double scale = time_scale;
            lock.unlock();
            Result r = choose(search, job.position, job.level, job.history, job.stop.get(), job.seed, scale);
            lock.lock();
            running_stop.reset();
            if (job.id == latest && !job.stop->load()) {
                finished = job.id;
                move = r.has_move ? std::optional<GameMove>(to_game(r.move)) : std::nullopt;
            }
        }
    }

    void stop_all() {
        if (running_stop) running_stop->store(true);
        if (pending) pending->stop->store(true);
        pending.reset();
    }
};

Searcher::Searcher() : impl_(new Impl) {}

Searcher::~Searcher() {
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        impl_->stop_all();
        impl_->quit = true;
    }
    impl_->wake.notify_one();
    impl_->worker.join();
}

void Searcher::start(const GamePosition& p, int level, std::vector<uint64_t> history, uint64_t seed) {
    if (!seed) seed = std::random_device()();
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        impl_->stop_all();
        impl_->move.reset();
        impl_->cancelled = false;
        impl_->pending = Impl::Job{to_position(p), level,           std::move(history),
                                   seed,           ++impl_->latest, std::make_shared<std::atomic<bool>>(false)};
    }
    impl_->wake.notify_one();
}

void Searcher::cancel() {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->stop_all();
    impl_->cancelled = true;
    impl_->move.reset();
}

bool Searcher::busy() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return !impl_->cancelled && impl_->finished != impl_->latest;
}

std::optional<GameMove> Searcher::result() {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    std::optional<GameMove> m;
    std::swap(m, impl_->move);
    return m;
}

void Searcher::set_time_scale(double scale) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->time_scale = scale;
}

} // namespace engine
