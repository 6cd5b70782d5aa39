#!/usr/bin/env bash
# Configures BUILD for the libFuzzer targets (clang, AddressSanitizer, UndefinedBehaviorSanitizer),
# builds every fuzz_* target in it with JOBS jobs (default: all cores), and prints their names,
# one a line, on standard output; the build's own output goes to standard error. Shared by
# fuzz.sh and fuzz-campaign.sh, so that both fuzz the same build.
#
#   scripts/fuzz-build.sh BUILD [JOBS]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:?usage: scripts/fuzz-build.sh BUILD [JOBS]}
jobs=${2:-$(nproc)}

cmake -S . -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARNHOLT_FUZZ=ON -DVARNHOLT_GUI=OFF \
    -DVARNHOLT_BENCHMARKS=OFF >/dev/null
targets=$(cmake --build "$build" --target help | grep -o 'fuzz_[A-Za-z0-9_]*' | sort -u || true)
if [ -z "$targets" ]; then
    echo "fuzz-build.sh: no fuzz_* target in the build" >&2
    exit 1
fi
# shellcheck disable=SC2086
cmake --build "$build" -j"$jobs" --target $targets >&2
echo "$targets"
