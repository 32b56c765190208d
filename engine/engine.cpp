// Board positions and moves turned into the engine's, and the search thread.
#include "engine/engine.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <random>
#include <thread>

#include "engine/levels.h"

namespace engine {

Position to_engine(const board::Position& g) {
    Bits side[2] = {0, 0};
    for (int c = 0; c < kCells; c++)
        if (g.cell[c] == board::kLight || g.cell[c] == board::kDark) side[g.cell[c] - 1] |= Bits(1) << c;
    return Position::from_cells(side[0], side[1], g.to_move == board::kDark, g.score[board::kLight],
                                g.score[board::kDark]);
}

board::Move to_board(const Move& m) {
    board::Move b;
    b.n = m.n;
    b.dir = board::Dir(m.dir);
    for (int i = 0, c = m.base; i < m.n; i++, c = neighbour(c, m.axis)) b.cells[i] = uint8_t(c);
    return b.normalised();
}

std::optional<Move> from_board(const Position& p, const board::Move& m) {
    MoveList list;
    if (p.over()) return std::nullopt;
    generate(p, list);
    for (const Move& e : list)
        if (to_board(e) == m) return e;
    return std::nullopt;
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
    std::optional<board::Move> move;
    double time_scale = 1;
    std::function<void()> done;
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
                move = r.has_move ? std::optional<board::Move>(to_board(r.move)) : std::nullopt;
                // Told outside the lock, so that the caller may take the result at once.
                if (std::function<void()> tell = done) {
                    lock.unlock();
                    tell();
                    lock.lock();
                }
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

void Searcher::start(const board::Position& p, int level, std::vector<uint64_t> history, uint64_t seed) {
    if (!seed) seed = std::random_device()();
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        impl_->stop_all();
        impl_->move.reset();
        impl_->cancelled = false;
        impl_->pending = Impl::Job{to_engine(p), level,           std::move(history),
                                   seed,         ++impl_->latest, std::make_shared<std::atomic<bool>>(false)};
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

std::optional<board::Move> Searcher::result() {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    std::optional<board::Move> m;
    std::swap(m, impl_->move);
    return m;
}

void Searcher::on_done(std::function<void()> done) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->done = std::move(done);
}

void Searcher::set_time_scale(double scale) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->time_scale = scale;
}

} // namespace engine
