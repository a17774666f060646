#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) and runs each for FUZZ_SECONDS (or until
# FUZZ_RUNS inputs, when set). New crashes are saved under tests/fuzz/crashes/<target>/, where
# `make test` replays them; the script then fails and names them.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "$(uname -s)" != Linux ]; then
    echo "make fuzz: Linux only (libFuzzer from Debian's clang-14)."
    exit 0
fi
seconds=${FUZZ_SECONDS:-180}
build=${FUZZ_BUILD_DIR:-build-fuzz}
jobs=${JOBS:-$(nproc)}
sanitize="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"

if [ ! -f "$build/CMakeCache.txt" ]; then
    CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DLANTHORN_FUZZ=ON -DLANTHORN_BUILD_BENCH=OFF \
        -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link $sanitize" \
        -DCMAKE_EXE_LINKER_FLAGS="$sanitize" >/dev/null
fi
targets=()
for src in tests/fuzz/fuzz_*.cpp; do
    name=$(basename "$src" .cpp)
    targets+=("$name")
done
[ -n "${FUZZ_TARGETS:-}" ] && read -r -a targets <<< "$FUZZ_TARGETS"
cmake --build "$build" -j "$jobs" --target "${targets[@]}"

export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
runs=()
[ -n "${FUZZ_RUNS:-}" ] && runs=(-runs="$FUZZ_RUNS")
failed=()
for target in "${targets[@]}"; do
    name=${target#fuzz_}
    work="$build/fuzz-corpus/$name"
    crashes="tests/fuzz/crashes/$name"
    mkdir -p "$work" "$crashes"
    echo "== $target for ${seconds}s"
    # New inputs go to the build tree's corpus; the seeds in the repository stay as they are.
    status=0
    "$build/tests/fuzz/$target" -max_total_time="$seconds" ${runs[@]+"${runs[@]}"} -print_final_stats=1 -rss_limit_mb=4096 \
        -timeout=10 -max_len=${FUZZ_MAX_LEN:-65536} -artifact_prefix="$crashes/" \
        "$work" "tests/fuzz/corpus/$name" > "$build/fuzz-$name.log" 2>&1 || status=$?
    grep -E 'stat::number_of_executed_units|Done|ERROR|SUMMARY|Test unit written|BINGO' "$build/fuzz-$name.log" || true
    [ "$status" -eq 0 ] || failed+=("$target (log: $build/fuzz-$name.log)")
done
if [ ${#failed[@]} -gt 0 ]; then
    printf 'Crashed: %s\n' "${failed[@]}" >&2
    exit 1
fi
