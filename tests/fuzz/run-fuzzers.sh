#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Builds the fuzzers and runs each for FUZZ_SECONDS (default 600), two at a time. Seeds come
# from the samples and the test data; what a fuzzer finds lands in $build/findings/<target>/,
# to be kept as a regression input under tests/data/fuzz-regressions/.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build-fuzz}
seconds=${FUZZ_SECONDS:-600}
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTREL_FUZZ=ON \
    -DVANTREL_TESTS=OFF >/dev/null
# FUZZ_TARGETS picks some of them; two run at a time, one per core.
targets=(${FUZZ_TARGETS:-fuzz_wmf fuzz_emf fuzz_raster fuzz_exif fuzz_folder fuzz_heif fuzz_jpegxl fuzz_tiff fuzz_png})
cmake --build "$build" --target "${targets[@]}"
seeds() { # target, extensions...
    local dir="$build/corpus/$1"
    mkdir -p "$dir"
    shift
    for ext in "$@"; do
        find "$root/src/resources/samples" "$root/tests/data" -name "*.$ext" -exec cp -n {} "$dir/" \; 2>/dev/null || true
    done
}
seeds fuzz_raster jpg jpeg bmp gif png webp
seeds fuzz_png png
seeds fuzz_exif jpg jpeg png webp jxl
seeds fuzz_heif heic heif avif
seeds fuzz_jpegxl jxl
seeds fuzz_tiff tif tiff
seeds fuzz_wmf wmf
# Today's formats have no files in the tree: the encoders make a few seeds from a sample.
sample=$(find "$root/src/resources/samples" -name '*.jpg' | head -1)
if [ -n "$sample" ]; then
    convert "$sample" -resize 64x64 "$build/corpus/seed.png" 2>/dev/null || true
    heif-enc -q 50 "$build/corpus/seed.png" -o "$build/corpus/fuzz_heif/seed.heic" >/dev/null 2>&1 || true
    heif-enc -A -q 50 "$build/corpus/seed.png" -o "$build/corpus/fuzz_heif/seed.avif" >/dev/null 2>&1 || true
    # The AV1 layouts the reducing dav1d decoder averages: 4:2:2 and 4:4:4.
    heif-enc -A -q 50 -p chroma=422 "$build/corpus/seed.png" -o "$build/corpus/fuzz_heif/seed422.avif" >/dev/null 2>&1 || true
    heif-enc -A -q 50 -p chroma=444 "$build/corpus/seed.png" -o "$build/corpus/fuzz_heif/seed444.avif" >/dev/null 2>&1 || true
    # The HEVC layouts our own decoder hands to libheif: 10 bits, 4:4:4, grey, and an alpha plane.
    convert "$build/corpus/seed.png" -depth 16 "$build/corpus/seed16.png" 2>/dev/null || true
    heif-enc -q 50 -b 10 "$build/corpus/seed16.png" -o "$build/corpus/fuzz_heif/seed10.heic" >/dev/null 2>&1 || true
    heif-enc -q 50 -p chroma=444 "$build/corpus/seed.png" -o "$build/corpus/fuzz_heif/seed444.heic" >/dev/null 2>&1 || true
    convert "$build/corpus/seed.png" -colorspace Gray "$build/corpus/grey.png" 2>/dev/null || true
    heif-enc -q 50 "$build/corpus/grey.png" -o "$build/corpus/fuzz_heif/grey.heic" >/dev/null 2>&1 || true
    convert "$build/corpus/seed.png" -alpha set -channel A -evaluate set 50% +channel "$build/corpus/alpha.png" 2>/dev/null || true
    heif-enc -q 50 -t 16 "$build/corpus/alpha.png" -o "$build/corpus/fuzz_heif/alpha.heic" >/dev/null 2>&1 || true
    cjxl "$build/corpus/seed.png" "$build/corpus/fuzz_jpegxl/seed.jxl" >/dev/null 2>&1 || true
    convert "$build/corpus/seed.png" "$build/corpus/fuzz_tiff/seed.tif" 2>/dev/null || true
    convert "$build/corpus/seed.png" -depth 16 -compress lzw "$build/corpus/fuzz_tiff/seed16.tif" 2>/dev/null || true
    convert "$build/corpus/seed.png" -colorspace CMYK -compress zip "$build/corpus/fuzz_tiff/cmyk.tif" 2>/dev/null || true
    convert "$build/corpus/seed.png" -alpha set -compress lzw -define tiff:predictor=2 "$build/corpus/fuzz_tiff/alpha.tif" 2>/dev/null || true
    # LZW strips that our own decoder reads: with no predictor, and with the horizontal one.
    convert "$build/corpus/seed.png" -compress lzw -define tiff:predictor=1 "$build/corpus/fuzz_tiff/lzw.tif" 2>/dev/null || true
    convert "$build/corpus/seed.png" -compress lzw -define tiff:predictor=2 "$build/corpus/fuzz_tiff/lzw2.tif" 2>/dev/null || true
    cp "$build/corpus/seed.png" "$build/corpus/fuzz_raster/" 2>/dev/null || true
    # Each kind of PNG: palette with transparency, grey and alpha, 16-bit, interlaced.
    convert "$build/corpus/seed.png" "$build/corpus/fuzz_png/rgb.png" 2>/dev/null || true
    convert "$build/corpus/seed.png" -colors 16 PNG8:"$build/corpus/fuzz_png/palette.png" 2>/dev/null || true
    convert "$build/corpus/seed.png" -alpha set -colorspace Gray -define png:color-type=4 "$build/corpus/fuzz_png/grey-alpha.png" 2>/dev/null || true
    convert "$build/corpus/seed.png" -depth 16 PNG64:"$build/corpus/fuzz_png/rgba16.png" 2>/dev/null || true
    convert "$build/corpus/seed.png" -interlace PNG PNG32:"$build/corpus/fuzz_png/adam7.png" 2>/dev/null || true
    cwebp -quiet "$build/corpus/seed.png" -o "$build/corpus/fuzz_raster/seed.webp" 2>/dev/null || true
fi
seeds fuzz_emf emf
mkdir -p "$build/corpus/fuzz_folder"
run() {
    local target=$1
    mkdir -p "$build/findings/$target"
    # Memory kept for the process's life (fonts that an input names are cached by fontconfig;
    # libemf2svg frees little) is harmless in the helper, which converts one file and exits, but
    # reads as leaks when a fork job ends. Our own converter is leak-checked by the tests.
    local leaks=1
    case "$target" in fuzz_raster | fuzz_exif | fuzz_folder | fuzz_heif | fuzz_jpegxl | fuzz_tiff | fuzz_png) ;; *) leaks=0 ;; esac
    # -fork keeps fuzzing after a finding, so one run collects them all.
    ASAN_OPTIONS="detect_leaks=$leaks" LSAN_OPTIONS="suppressions=$root/tests/fuzz/lsan.supp" "$build/bin/$target" "$build/corpus/$target" "$root/tests/data/fuzz-regressions" \
        -fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 -detect_leaks=$leaks \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=262144 \
        -artifact_prefix="$build/findings/$target/" >"$build/findings/$target.log" 2>&1 || true
    local found
    found=$(find "$build/findings/$target" -type f | wc -l)
    local runs
    # Fork mode logs "exec/s N", a single process "exec/s: N".
    runs=$(grep -o 'exec/s:\? [0-9]*' "$build/findings/$target.log" | tail -1 || true)
    if [ "$found" -eq 0 ]; then
        echo "$target: nothing found in $seconds s ($(grep -c '' "$build/corpus/$target" 2>/dev/null || true)$(ls "$build/corpus/$target" | wc -l) inputs in the corpus, $runs)"
    else
        echo "$target: FOUND $found, see $build/findings/$target/ and $target.log"
        return 1
    fi
}
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
