#!/usr/bin/env bash
# A long fuzzing campaign: builds every libFuzzer target (fuzz_*) as scripts/fuzz.sh does (clang,
# AddressSanitizer, UndefinedBehaviorSanitizer) and runs each in turn for MINUTES minutes (default
# 30) on a corpus that persists between campaigns, then prints per target the executions, the
# corpus size and the inputs that crashed, leaked or tripped a sanitizer.
#
#   scripts/fuzz-campaign.sh [MINUTES] [JOBS]
#
# JOBS (default 1) runs that many fuzzing processes per target in parallel. The corpus lives in
# build-fuzz-campaign/campaign/NAME/corpus (seeded from tests/NAME/corpus/), findings in .../findings;
# copy a finding into tests/NAME/corpus/ once its fault is fixed, so the short run keeps it.
# CI runs only the short scripts/fuzz.sh; this script is for a machine left alone for hours.
# Exits non-zero when any target has a finding.
set -euo pipefail
cd "$(dirname "$0")/.."
minutes=${1:-30}
jobs=${2:-1}
build=${FUZZ_BUILD_DIR:-build-fuzz-campaign}

targets=$(scripts/fuzz-build.sh "$build")

# Absolute paths: a target may change its current folder while it runs (the zip target does).
build_abs=$(cd "$build" && pwd)
seconds=$((minutes * 60))
summary=()
failed=0
for target in $targets; do
    binary=$(find "$build" -type f -name "$target" -perm -u+x | head -n 1)
    name=${target#fuzz_}
    work="$build_abs/campaign/$name"
    mkdir -p "$work/corpus" "$work/findings" "$work/logs"
    if [ -d "tests/$name/corpus" ]; then
        cp -rn "tests/$name/corpus/." "$work/corpus/"
    fi
    before=$(find "$work/findings" -type f | wc -l)
    echo "fuzz-campaign.sh: $target for $minutes min with $jobs job(s)"
    binary=$(cd "$(dirname "$binary")" && pwd)/$(basename "$binary")
    rm -f "$work/logs/"*.log
    status=0
    # Run from the log folder: with -jobs libFuzzer writes each job's fuzz-N.log there.
    (cd "$work/logs" &&
        ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
        UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
        "$binary" -max_total_time="$seconds" -print_final_stats=1 -rss_limit_mb=2048 \
            -timeout=25 -jobs="$jobs" -workers="$jobs" -artifact_prefix="$work/findings/" \
            "$work/corpus" >"$work/logs/run.log" 2>&1) || status=$?
    executions=$(cat "$work/logs/"*.log | awk '/^stat::number_of_executed_units/ { sum += $2 }
        END { print sum + 0 }')
    corpus=$(find "$work/corpus" -type f | wc -l)
    findings=$(($(find "$work/findings" -type f | wc -l) - before))
    if [ "$status" -ne 0 ] || [ "$findings" -gt 0 ]; then
        failed=1
        echo "fuzz-campaign.sh: $target: FINDINGS (exit $status); the log ends:" >&2
        tail -n 40 "$work/logs/run.log" >&2
        ls -1 "$work/findings" >&2
    fi
    summary+=("$(printf '%-14s %14s executions  %6s corpus inputs  %3s findings' \
        "$target" "$executions" "$corpus" "$findings")")
done
echo
echo "fuzz-campaign.sh: $minutes min per target"
printf '%s\n' "${summary[@]}"
exit "$failed"
