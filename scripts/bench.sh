#!/usr/bin/env bash
# Builds what the benchmarks need and prints their table; about 10 minutes,
# most of it spent on the idle window, the soak and the watch. Options go to
# the benchmark program: --runs N, --ctl-runs N, --idle-seconds N,
# --soak-updates N, --watch-rounds N,
# --only startup,reply,network,ctl,idle,soak,watch.
# Builds into build/ unless VALMORA_BUILD_DIR names another folder.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
build_dir="${VALMORA_BUILD_DIR:-build}"
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVALMORA_BUILD_BENCHMARKS=ON >/dev/null
cmake --build "$build_dir" --parallel "$(nproc)" --target valmora-bench >/dev/null
QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" exec "$build_dir/bench/valmora-bench" "$@"
