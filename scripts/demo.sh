#!/usr/bin/env bash
# The main job. For now the project has its core libraries only; this builds
# them and runs the benchmarks that exist. As the plug-in shell arrives, this
# will package the demo instrument's bundle and render a phrase through the
# headless host.
set -euo pipefail
build=${1:-build}
echo "Korvane: core libraries built in $build/."
if [ -x "$build/bench/kv_bench" ]; then
    "$build/bench/kv_bench" --benchmark_min_time=0.05
fi
