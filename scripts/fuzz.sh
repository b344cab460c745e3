#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer into build-fuzz/ and runs each one for a bounded
# time (FUZZ_SECONDS, default 60) on a copy of its seed corpus in fuzz/corpus.
# Exits non-zero if any target finds a crash, a leak, undefined behaviour or
# a hang; the input that did it is left in build-fuzz/findings/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

build=build-fuzz
seconds=${FUZZ_SECONDS:-60}

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_CXX_FLAGS="-O1" -DVALMORA_FUZZ=ON
cmake --build "$build" --parallel "$(nproc)" --target fuzz_decipher fuzz_reply

export ASAN_OPTIONS="detect_leaks=1"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

# Target name and the longest input worth trying: stored key records are
# short, API replies somewhat longer.
targets=("decipher 4096" "reply 8192")

failed=()
for entry in "${targets[@]}"; do
    read -r name max_len <<<"$entry"
    corpus="$build/corpus/$name"
    findings="$build/findings/$name"
    mkdir -p "$corpus" "$findings"
    cp fuzz/corpus/"$name"/* "$corpus"/
    echo "== fuzz_$name for ${seconds} s"
    if ! "$build/fuzz/fuzz_$name" "$corpus" \
            -max_total_time="$seconds" -max_len="$max_len" \
            -rss_limit_mb=2048 -timeout=60 \
            -artifact_prefix="$findings/" -print_final_stats=1; then
        failed+=("fuzz_$name")
    fi
done

if [ ${#failed[@]} -gt 0 ]; then
    echo "Findings from: ${failed[*]} (inputs in $build/findings/)" >&2
    exit 1
fi
echo "Fuzzing found nothing."
