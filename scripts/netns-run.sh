#!/usr/bin/env bash
# Runs a command in a network namespace of its own that has only the loopback interface, so that a
# test's servers, tracker and BitTorrent sessions talk over loopback only and its ports (8080,
# 6969, 48130-48140) are private to it. Needs root (CI runs as root) or unprivileged user
# namespaces; without either it says so and exits 77, which CTest reports as skipped when the test
# sets SKIP_RETURN_CODE 77.
set -euo pipefail
if [ $# -eq 0 ]; then
  echo "usage: netns-run.sh COMMAND [ARG...]" >&2
  exit 2
fi
if [ "$(id -u)" -eq 0 ]; then
  exec unshare --net -- bash -c 'ip link set lo up && exec "$@"' netns-run "$@"
fi
if unshare --user --map-root-user --net -- true 2>/dev/null; then
  exec unshare --user --map-root-user --net -- bash -c 'ip link set lo up && exec "$@"' netns-run "$@"
fi
echo "netns-run.sh: cannot make a network namespace here (needs root or user namespaces)" >&2
exit 77
