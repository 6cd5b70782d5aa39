#!/usr/bin/env bash
# The demo: installs what is missing, builds the launcher with its window, makes a demo game and
# its update, starts the demo update server with its tracker and seeder on loopback, and starts
# the launcher, which updates the game in front of you; press play when it is ready.
#
#   scripts/demo.sh [--auto] [--small] [--no-install] [--no-build] [--build DIR] [--isolated]
#
#   --auto        drive the window itself: wait for the ready state, press play, check the
#                 update and the game, and exit non-zero when a check fails (no display: implied)
#   --small       a smaller game (about 60 MiB instead of about 280 MiB)
#   --no-install  skip scripts/install-deps.sh
#   --no-build    use the build as it stands
#   --build DIR   the build folder (default: build, as scripts/test.sh)
#   --isolated    exit with 77 (skipped), not 1, when no loopback-only namespace can be made
# Everything runs as the caller in a network namespace of its own with only loopback
# (scripts/netns-run.sh), so nothing in the build folder ends up owned by another user.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build
install=1
isolated=0
compile=1
run_args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --auto | --small) run_args+=("$1") ;;
    --no-install) install=0 ;;
    --no-build) compile=0 ;;
    --isolated) isolated=1 ;;
    --build)
      [ $# -ge 2 ] || { echo "demo.sh: --build needs a folder" >&2; exit 2; }
      build=$2
      shift
      ;;
    *) sed -n '2,16p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2 ;;
  esac
  shift
done

if [ "$install" = 1 ]; then scripts/install-deps.sh; fi
if [ "$compile" = 1 ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARNHOLT_GUI=ON
  cmake --build "$build" -j"${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}" \
    --target VarnholtLauncher make_release demo_server demo_game
fi

run=(python3 -B tools/demo_server/demo_run.py "$build" "${run_args[@]}")
# The browser engine of the news view waits on a session bus that is not there; a bus of the
# demo's own also carries the taskbar progress.
if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ] && command -v dbus-run-session > /dev/null; then
  run=(dbus-run-session -- "${run[@]}")
fi
# Server, tracker, seeder, launcher and Xvfb all in one loopback-only namespace; a display of the
# caller's is still reached through its socket file.
status=0
scripts/netns-run.sh "${run[@]}" || status=$?
if [ "$status" -eq 77 ] && [ "$isolated" = 0 ]; then
  echo "demo.sh: the demo needs a loopback-only network namespace (see above)" >&2
  exit 1
fi
exit "$status"
