#!/usr/bin/env bash
# Builds the fuzzers and runs each for FUZZ_SECONDS (default 600), two at a time. Seeds come
# from the samples and the test data; what a fuzzer finds lands in $build/findings/<target>/,
# to be kept as a regression input under tests/data/fuzz-regressions/.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build-fuzz}
seconds=${FUZZ_SECONDS:-600}
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTREL_FUZZ=ON \
    -DVANTREL_TESTS=OFF >/dev/null
cmake --build "$build" --target fuzz_raster fuzz_folder fuzz_wmf fuzz_emf
seeds() { # target, extensions...
    local dir="$build/corpus/$1"
    mkdir -p "$dir"
    shift
    for ext in "$@"; do
        find "$root/src/resources/samples" "$root/tests/data" -name "*.$ext" -exec cp -n {} "$dir/" \; 2>/dev/null || true
    done
}
seeds fuzz_raster jpg jpeg bmp gif
seeds fuzz_wmf wmf
seeds fuzz_emf emf
mkdir -p "$build/corpus/fuzz_folder"
run() {
    local target=$1
    mkdir -p "$build/findings/$target"
    # Memory kept for the process's life (fonts that an input names are cached by fontconfig;
    # libemf2svg frees little) is harmless in the helper, which converts one file and exits, but
    # reads as leaks when a fork job ends. Our own converter is leak-checked by the tests.
    local leaks=1
    [ "$target" = fuzz_raster ] || [ "$target" = fuzz_folder ] || leaks=0
    # -fork keeps fuzzing after a finding, so one run collects them all.
    ASAN_OPTIONS="detect_leaks=$leaks" "$build/bin/$target" "$build/corpus/$target" "$root/tests/data/fuzz-regressions" \
        -fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 -detect_leaks=$leaks \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=262144 \
        -artifact_prefix="$build/findings/$target/" >"$build/findings/$target.log" 2>&1 || true
    local found
    found=$(find "$build/findings/$target" -type f | wc -l)
    local runs
    runs=$(grep -o 'exec/s: [0-9]*' "$build/findings/$target.log" | tail -1)
    if [ "$found" -eq 0 ]; then
        echo "$target: nothing found in $seconds s ($(grep -c '' "$build/corpus/$target" 2>/dev/null || true)$(ls "$build/corpus/$target" | wc -l) inputs in the corpus, $runs)"
    else
        echo "$target: FOUND $found, see $build/findings/$target/ and $target.log"
        return 1
    fi
}
# FUZZ_TARGETS picks some of them; two run at a time, one per core.
targets=(${FUZZ_TARGETS:-fuzz_wmf fuzz_emf fuzz_raster fuzz_folder})
status=0
while [ ${#targets[@]} -gt 0 ]; do
    pids=()
    for t in "${targets[@]:0:2}"; do
        run "$t" & pids+=($!)
    done
    for p in "${pids[@]}"; do
        wait "$p" || status=1
    done
    targets=("${targets[@]:2}")
done
exit $status
