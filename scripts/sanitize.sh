#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer
# into build-asan/ and runs every test there, with leak checks on.
# Any sanitizer report fails the test that triggered it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

build=build-asan
sanitizers="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined"

# -O1 keeps the instrumented build and its tests reasonably quick while the
# reports still point at the right lines.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DVALMORA_BUILD_BENCHMARKS=ON \
    -DCMAKE_CXX_FLAGS="-O1 $sanitizers" \
    -DCMAKE_EXE_LINKER_FLAGS="$sanitizers" \
    -DCMAKE_SHARED_LINKER_FLAGS="$sanitizers"
cmake --build "$build" --parallel "$(nproc)"

export ASAN_OPTIONS="detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1"
# Some tests run programs as an unprivileged user, who must be able to read
# the suppressions wherever this clone lives.
suppressions=$(mktemp)
trap 'rm -f "$suppressions"' EXIT
cp scripts/lsan.supp "$suppressions"
chmod 644 "$suppressions"
export LSAN_OPTIONS="suppressions=$suppressions:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export QT_QPA_PLATFORM=offscreen
cd "$build"
ctest --output-on-failure
