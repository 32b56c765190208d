#!/bin/sh
# Builds every libFuzzer target of tests/fuzz with Debian's clang, under
# AddressSanitizer and UndefinedBehaviorSanitizer, and runs each for SECONDS
# (default 30). A target is the file NAME_fuzz.cpp there, built as NAME_fuzz; the
# libFuzzer flags in NAME_fuzz.flags beside it, when there is one, are added to
# its run. A fault ends the run with the fuzzer's report and a failing status; the
# input that caused it is left in $GLOBOID_FUZZ_DIR/artifacts/ (default build-fuzz).
#
#   scripts/fuzz.sh [SECONDS]
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-30}
scripts/deps.sh fuzz
dir="${GLOBOID_FUZZ_DIR:-build-fuzz}"
cmake -S . -B "$dir" -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 -DGLOBOID_FUZZ=ON \
    -DGLOBOID_SANITIZE=address,undefined -DGLOBOID_BENCH=OFF >/dev/null
targets=$(cd tests/fuzz && ls ./*_fuzz.cpp | sed 's|^\./||; s|\.cpp$||')
# shellcheck disable=SC2086
cmake --build "$dir" -j "$(nproc)" --target $targets
mkdir -p "$dir/artifacts"
for target in $targets; do
    flags=""
    [ -f "tests/fuzz/$target.flags" ] && flags=$(grep -v '^#' "tests/fuzz/$target.flags")
    corpus="$dir/corpus/$target" log="$dir/$target.log"
    mkdir -p "$corpus"
    echo "$target: $seconds s"
    # shellcheck disable=SC2086
    if ! "$dir/tests/fuzz/$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
        -artifact_prefix="$dir/artifacts/$target-" $flags "$corpus" >"$log" 2>&1; then
        tail -n 80 "$log"
        echo "$target found a fault; its input is in $dir/artifacts/, the whole run in $log" >&2
        exit 1
    fi
    grep -E '^(INFO: Seed|stat::number_of_executed_units|stat::new_units_added)' "$log" | sed 's/^/    /'
done
