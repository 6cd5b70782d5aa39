#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test; then the platform layer, the
# engine, the decoder and the zip reader once more under AddressSanitizer and UBSan, and a short
# fuzzing run of the parsers.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j"$(nproc)"
# Where no loopback-only namespace can be made, CTest reports the tests that need one as skipped
# without their output; netns-run.sh says why once, here.
netns=0
scripts/netns-run.sh true || netns=$?
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" --timeout 900

sanitized=${build}-asan
cmake -S . -B "$sanitized" -DVARNHOLT_GUI=OFF -DVARNHOLT_SANITIZE=ON -DVARNHOLT_BENCHMARKS=OFF
cmake --build "$sanitized" -j"$(nproc)" --target platform_tests update_core_tests vcdiff_tests \
  zip_tests engine_tests engine_driver engine_driver_next
for suite in platform/platform_tests update_core/update_core_tests vcdiff/vcdiff_tests \
  zip/zip_tests; do
  "$sanitized/tests/$suite" --gtest_brief=1
done
if [ "$netns" -eq 77 ]; then
  echo "test.sh: engine tests under the sanitizers skipped (no network namespace, see above)"
else
  scripts/netns-run.sh "$sanitized/tests/engine/engine_tests" --gtest_brief=1
fi

scripts/fuzz.sh 60
