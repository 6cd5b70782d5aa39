#!/usr/bin/env bash
# Runs a command in a network namespace of its own that has only the loopback interface, so that a
# test's servers, tracker and BitTorrent sessions talk over loopback only and its ports (8080,
# 6969, 48130-48140) are private to it. Root (CI) makes it directly. Any other user makes it in a
# user namespace that maps the user to itself and keeps the namespace's capabilities, so loopback
# can be brought up: the command runs as the user, opentracker has no root to drop (it changes to
# the user nobody only when started as root), and whatever it writes stays the user's. Where no
# such namespace can be made it says so in one line and exits 77, which CTest reports as skipped
# when the test sets SKIP_RETURN_CODE 77.
set -euo pipefail
if [ $# -eq 0 ]; then
  echo "usage: netns-run.sh COMMAND [ARG...]" >&2
  exit 2
fi
bring_up_loopback=(bash -c 'ip link set lo up && exec "$@"' netns-run)
if [ "$(id -u)" -eq 0 ]; then
  exec unshare --net -- "${bring_up_loopback[@]}" "$@"
fi
as_user=(unshare --user --map-current-user --keep-caps --net --)
if "${as_user[@]}" ip link set lo up 2>/dev/null; then
  exec "${as_user[@]}" "${bring_up_loopback[@]}" "$@"
fi
echo "netns-run.sh: skipped: this system lets $(id -un) make no user namespace for a" \
  "loopback-only network (run as root, or allow unprivileged user namespaces)" >&2
exit 77
