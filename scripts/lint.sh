#!/usr/bin/env bash
# Static checks over our own C++ sources: clang-format must have nothing to
# change and clang-tidy (.clang-tidy) must find nothing. Fails on a finding.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

mapfile -t sources < <(git ls-files '*.cpp' '*.h')
echo "== clang-format (${#sources[@]} files)"
clang-format --dry-run --Werror "${sources[@]}"

# clang-tidy reads the compile commands of the normal build; the fuzz
# targets are only built with clang, so their files are formatted but not
# analysed here.
# The benchmarks too, which are built only when asked for.
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVALMORA_BUILD_BENCHMARKS=ON >/dev/null
cmake --build build --parallel "$(nproc)" >/dev/null
mapfile -t units < <(git ls-files '*.cpp' | grep -v '^fuzz/' | sed "s|^|$PWD/|")
echo "== clang-tidy (${#units[@]} files)"
run-clang-tidy -p build -quiet -j "$(nproc)" "${units[@]}" >build/clang-tidy.log 2>&1 || {
    grep -E 'error:|warning:' build/clang-tidy.log | grep -v 'warnings generated' >&2 || cat build/clang-tidy.log >&2
    echo "clang-tidy found problems (full log: build/clang-tidy.log)" >&2
    exit 1
}
echo "Static checks found nothing."
