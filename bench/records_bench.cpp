// What keeping a game costs the game thread: one move into the record, written to a
// new file, flushed and renamed over the old, for records of 10 to 300 moves; and
// reading a long record back. Writes in the working directory, where games would go
// when it is the same disk: run it from there.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <random>
#include <string>

#include "records/keep.h"
#include "records/record.h"

namespace {

records::Record game(int plies) {
    records::Record r = records::new_record(board::Opening::Standard, "person", "computer 3");
    std::mt19937 rng(7);
    board::Position p = board::opening();
    while (int(r.moves.size()) < plies && !p.over()) {
        const std::vector<board::Move> moves = board::legal_moves(p);
        const board::Move m = moves[rng() % moves.size()];
        board::play(p, m);
        r.moves.push_back(m);
    }
    return r;
}

// One move kept and taken back again: two writes of a record of that length.
void KeepAMove(benchmark::State& state) {
    records::Record r = game(int(state.range(0)) + 1);
    const board::Move last = r.moves.back();
    r.moves.pop_back();
    const std::string path = "records_bench." + std::to_string(getpid()) + ".txt";
    records::Keeper keeper(path, r);
    for (auto _ : state) {
        keeper.moved(last);
        keeper.taken_back(1);
    }
    state.SetItemsProcessed(2 * state.iterations());
    unlink(path.c_str());
}
BENCHMARK(KeepAMove)->Arg(10)->Arg(60)->Arg(300)->Unit(benchmark::kMillisecond)->UseRealTime();

void ReadARecord(benchmark::State& state) {
    const std::string text = records::write(game(int(state.range(0))));
    for (auto _ : state) {
        records::Record r;
        records::Fault fault;
        benchmark::DoNotOptimize(records::parse(text, &r, &fault));
    }
}
BENCHMARK(ReadARecord)->Arg(300)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
