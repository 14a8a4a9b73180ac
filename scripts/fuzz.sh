#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build-fuzz/) and runs each for SECONDS (default 60)
# from a seed corpus made with ffmpeg, after replaying the committed regression inputs.
# Fails on the first finding (a crash, a sanitizer report, a leak, a timeout, too much memory);
# libFuzzer then writes the input as build-fuzz/findings/<target>/crash-... .
#   scripts/fuzz.sh [SECONDS]   explores for SECONDS per target, from where the last run got to
#   scripts/fuzz.sh --fixed     a fixed number of inputs per target from a fixed seed and a fresh
#                               corpus (what CI runs): the same mutations on every machine, bounded
#                               by count rather than by the machine's speed
set -euo pipefail
cd "$(dirname "$0")/.."
folder=build-fuzz
declare -A budget=([image]="-max_total_time=${1:-60}" [gif]="-max_total_time=${1:-60}"
    [video]="-max_total_time=${1:-60}")
if [[ ${1:-} == --fixed ]]; then
    # about a minute each on the 2-core CI machine
    budget=([image]="-runs=600000 -seed=1" [gif]="-runs=120000 -seed=1" [video]="-runs=4000 -seed=1")
    rm -rf "$folder/corpus"
fi
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
CC=clang-14 CXX=clang++-14 cmake -S . -B "$folder" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DSTILLPRESS_FUZZ=ON -DSTILLPRESS_TESTS=OFF "${launcher[@]}" >/dev/null
cmake --build "$folder" -j"$(nproc)" --target fuzz_image fuzz_gif fuzz_video
seeds=$folder/seeds
[[ -d $seeds/video ]] || scripts/fuzz-seeds.sh "$seeds"
export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp
for target in image gif video; do
    corpus=$folder/corpus/$target findings=$folder/findings/$target
    mkdir -p "$corpus" "$findings"
    regressions=(tests/fuzz/regressions/$target/*)
    if [[ -e ${regressions[0]} ]]; then
        "$folder/tests/fuzz/fuzz_$target" -rss_limit_mb=2560 "${regressions[@]}" 2>"$findings/replay.log" ||
            { tail -40 "$findings/replay.log"; exit 1; }
    fi
    echo "fuzz_$target: ${budget[$target]}"
    # shellcheck disable=SC2086 # the budget is two options or one
    "$folder/tests/fuzz/fuzz_$target" ${budget[$target]} -rss_limit_mb=2560 -timeout=30 \
        -max_len=65536 -artifact_prefix="$findings/" -print_final_stats=1 \
        "$corpus" "$seeds/$target" 2>"$findings/run.log" ||
        { tail -60 "$findings/run.log"; exit 1; }
    grep -E "^stat::number_of_executed_units|^Done" "$findings/run.log" || true
done
