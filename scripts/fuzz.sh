#!/usr/bin/env bash
# Builds every libFuzzer target (fuzz_*) with clang, AddressSanitizer and UndefinedBehaviorSanitizer
# in a build folder of its own, and runs each for SECONDS seconds on a scratch copy of its seed
# corpus. A target fuzz_NAME takes its seeds from tests/NAME/corpus/.
# Exits non-zero on any crash, leak or sanitizer report.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:?usage: scripts/fuzz.sh SECONDS}
build=${FUZZ_BUILD_DIR:-build-fuzz}
jobs=${FUZZ_BUILD_JOBS:-$(nproc)}

targets=$(scripts/fuzz-build.sh "$build" "$jobs")

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failed=0
for target in $targets; do
    binary=$(find "$build" -type f -name "$target" -perm -u+x | head -n 1)
    name=${target#fuzz_}
    corpus="$scratch/$name/corpus"
    mkdir -p "$corpus" "$scratch/$name/artifacts"
    if [ -d "tests/$name/corpus" ]; then
        cp -r "tests/$name/corpus/." "$corpus/"
    fi
    echo "fuzz.sh: running $target for $seconds s"
    if ! ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
        "$binary" -max_total_time="$seconds" -print_final_stats=1 -rss_limit_mb=2048 \
        -artifact_prefix="$scratch/$name/artifacts/" "$corpus" >"$scratch/$name/log" 2>&1; then
        failed=1
        echo "fuzz.sh: $target FAILED; its log ends:" >&2
        tail -n 60 "$scratch/$name/log" >&2
        for artifact in "$scratch/$name/artifacts/"*; do
            [ -e "$artifact" ] || continue
            echo "fuzz.sh: input $(basename "$artifact") (base64):" >&2
            base64 "$artifact" >&2
        done
    else
        grep -E '^stat::number_of_executed_units' "$scratch/$name/log" || true
        echo "fuzz.sh: $target passed"
    fi
done
exit "$failed"
