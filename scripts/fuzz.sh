#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time.
# Usage: scripts/fuzz.sh [seconds per target, default 60] [build folder, default build-fuzz]
# Seeds come from tools/fuzz/seeds/<target>/ (and, for the graph fuzzer, the
# graph documents of the tests and the instruments); findings land in
# <build>/fuzz-findings/.
# DEBUG_INFO (default -g) is the debug information flag of the build.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
build="${2:-build-fuzz}"
debug_info="${DEBUG_INFO:--g}"

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 $debug_info -DNDEBUG" "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 $debug_info -DNDEBUG" \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DKV_FUZZ=ON -DKV_BUILD_TESTS=OFF -DKV_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target kv_fuzz_all

status=0
mkdir -p "$build/fuzz-findings"
for fuzzer in "$build"/fuzz/*; do
    [ -x "$fuzzer" ] || continue
    name="$(basename "$fuzzer")"
    corpus="$build/fuzz-corpus/$name"
    mkdir -p "$corpus"
    if [ -d "tools/fuzz/seeds/$name" ]; then
        cp -n "tools/fuzz/seeds/$name"/* "$corpus"/ 2>/dev/null || true
    fi
    # The graph fuzzer starts from every graph document of the tests and the instruments.
    if [ "$name" = fuzz_dsp_document ]; then
        for document in tests/patches/*.dsp.kv.xml instruments/*/dsp.kv.xml; do
            cp -n "$document" "$corpus/$(echo "$document" | tr / _)"
        done
    fi
    echo "fuzz: $name for ${seconds}s"
    if ! "$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
            -artifact_prefix="$build/fuzz-findings/$name-" "$corpus" 2>"$build/fuzz-findings/$name.log"; then
        echo "fuzz: $name FAILED, see $build/fuzz-findings/$name.log" >&2
        tail -n 30 "$build/fuzz-findings/$name.log" >&2
        status=1
    fi
done
exit $status
