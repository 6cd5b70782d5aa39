#!/usr/bin/env bash
# The release tool end to end: a small game in two versions becomes a release, with its progress
# shown, and bad input is refused with a clear message and exit status 2.
set -euo pipefail
tool=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

"$tool" --game 1 --largest-pack 65536 "$work/v1" >/dev/null
"$tool" --game 2 --largest-pack 65536 "$work/v2" >/dev/null
out=$("$tool" "$work/v1" "$work/v2" "$work/release")
grep -q '^\[ *1/ *42\] checksum ' <<<"$out" || fail "no checksum progress in: $out"
grep -q '\] replies and news$' <<<"$out" || fail "no final step in: $out"
[ "$(ls "$work/release/patch" | grep -c '\.torrent$')" -eq 39 ] || fail "not 39 torrents"
[ -s "$work/release/news.html" ] && [ -s "$work/release/replies.txt" ] || fail "no replies or news"

refused() {  # refused EXPECTED-MESSAGE ARGS...
    local expected=$1 status=0 err
    shift
    err=$("$tool" "$@" 2>&1 >/dev/null) || status=$?
    [ "$status" -eq 2 ] || fail "exit status $status, not 2, for: $*"
    grep -qF "$expected" <<<"$err" || fail "no \"$expected\" in: $err"
}
refused "no folder of packs at $work/none" "$work/none" "$work/v2" "$work/r1"
cp -r "$work/v2" "$work/v3"
echo "not a pack" >"$work/v3/maps.vh"
refused '"maps" is not a pack of the pack table' "$work/v1" "$work/v3" "$work/r2"
refused "is not empty" "$work/v1" "$work/v2" "$work/release"
refused "unknown option --fast" --fast "$work/v1" "$work/v2" "$work/r3"
echo "make_release: all checks passed"
