#!/bin/bash
# Breaks the code on purpose, one patch at a time, and checks that the tests notice.
#
# Each NN-name.patch here starts with a line "Binaries: tests_a tests_b[:GtestFilter] ...":
# the test binaries (optionally with a --gtest_filter) expected to catch it. For each patch
# the script applies it, builds those binaries, runs them, prints the failing tests (or
# NOT CAUGHT) and reverts the patch. Run from anywhere; the tree must have no change to src/.
#
#   bench/breakages/check.sh [BUILD_DIR] [PATCH...]
set -uo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="$(realpath "${1:-$root/build}")"
shift || true
patches=("$@")
[ ${#patches[@]} -eq 0 ] && patches=("$here"/*.patch)

if ! git -C "$root" diff --quiet -- src; then
    echo "src/ has changes: commit or stash them first" >&2
    exit 2
fi

applied=""
revert() { [ -n "$applied" ] && git -C "$root" apply -R "$applied" && applied=""; }
trap 'revert; exit 130' INT TERM

missed=0
for patch in "${patches[@]}"; do
    patch="$(realpath "$patch")"
    name="$(basename "$patch" .patch)"
    read -ra runs <<<"$(sed -n 's/^Binaries: //p' "$patch" | head -1)"
    git -C "$root" apply "$patch" || { echo "$name: does not apply"; missed=1; continue; }
    applied="$patch"
    targets=()
    for run in "${runs[@]}"; do targets+=("${run%%:*}"); done
    if ! cmake --build "$build" -j2 --target "${targets[@]}" >"/tmp/breakage-$name.log" 2>&1; then
        echo "$name: build failed (see /tmp/breakage-$name.log)"
        revert
        missed=1
        continue
    fi
    caught=()
    for run in "${runs[@]}"; do
        binary="${run%%:*}"
        filter="*"
        [[ "$run" == *:* ]] && filter="${run#*:}"
        failures="$(cd "$build/tests" && QT_QPA_PLATFORM=offscreen timeout 1500 \
            "./$binary" --gtest_filter="$filter" --gtest_brief=1 2>&1 |
            sed -n 's/^\[  FAILED  \] \([A-Za-z0-9_/.]*\).*/\1/p' | grep -v '^$' | sort -u)"
        for test in $failures; do caught+=("$binary:$test"); done
    done
    revert
    if [ ${#caught[@]} -eq 0 ]; then
        echo "$name: NOT CAUGHT"
        missed=1
    else
        echo "$name: caught by ${#caught[@]}: ${caught[*]}"
    fi
done
exit $missed
