#!/usr/bin/env bash
# Runs every benchmark program of the project and prints one table: each side of the launcher
# beside the program or floor it is measured against, with the ratio and the peak memory.
#
#   scripts/bench.sh [--quick]
#
#   decoder          bench_vcdiff, bench_patch   beside xdelta3 -d
#   zip reader       bench_zip                   beside unzip
#   pack scan        bench_scan                  beside reading the sampled ranges with pread
#   HTTP download    bench_http                  beside curl -o
#   whole update     bench_update                beside the sum of its floors (swarm, unzip, xdelta3)
#   launcher window  (when the window is built)  start to first visible window, idle CPU at status 9
#
# --quick takes fewer rounds and smaller downloads; the generated data (2 GiB game, 1 GiB pack,
# 200 MiB archive) is kept in $BENCH_WORK (default /tmp/varnholt-bench) for the next run, so the
# first run takes longest. Builds into build-bench/. Tests that need ports (the whole update, the
# window) run inside scripts/netns-run.sh. Set BENCH_GUI=OFF to skip the window.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
quick=0
[ "${1:-}" = "--quick" ] && quick=1
build=${BENCH_BUILD_DIR:-build-bench}
work=${BENCH_WORK:-/tmp/varnholt-bench}
gui=${BENCH_GUI:-ON}
mkdir -p "$work/logs"

if ! cmake -S . -B "$build" -DVARNHOLT_BENCHMARKS=ON -DVARNHOLT_GUI="$gui" >"$work/logs/cmake" 2>&1; then
    gui=OFF
    cmake -S . -B "$build" -DVARNHOLT_BENCHMARKS=ON -DVARNHOLT_GUI=OFF >"$work/logs/cmake" 2>&1
fi
targets="bench_vcdiff bench_patch bench_zip bench_scan bench_http bench_update update_server"
[ "$gui" = "ON" ] && targets="$targets VarnholtLauncher"
# shellcheck disable=SC2086
cmake --build "$build" -j"${BENCH_BUILD_JOBS:-4}" --target $targets >"$work/logs/build" 2>&1 ||
    { tail -n 30 "$work/logs/build" >&2; exit 1; }
bin() { find "$build" -type f -name "$1" -perm -u+x | head -n 1; }

if [ "$quick" -eq 1 ]; then
    rounds=1; http_mib=64; http_rounds=2
else
    rounds=3; http_mib=256; http_rounds=5
fi

# run NAME COMMAND...: the output to logs/NAME, the peak RSS of the whole run to logs/NAME.rss.
run() {
    local name=$1
    shift
    echo "bench.sh: $name ..." >&2
    local start=$SECONDS
    if ! /usr/bin/time -f '%M' -o "$work/logs/$name.rss" "$@" >"$work/logs/$name" 2>&1; then
        echo "bench.sh: $name FAILED; its output ends:" >&2
        tail -n 20 "$work/logs/$name" >&2
    fi
    echo "bench.sh: $name took $((SECONDS - start)) s" >&2
}

run vcdiff "$(bin bench_vcdiff)"
run patch "$(bin bench_patch)" "$work/patch" "$rounds"
run zip "$(bin bench_zip)" "$work/zip" "$rounds"
run scan "$(bin bench_scan)" "$work/scan"
run http "$(bin bench_http)" "$http_mib" "$http_rounds"
run update scripts/netns-run.sh "$(bin bench_update)" "$work/update"
launcher=$(bin VarnholtLauncher.exe || true)
if [ -n "$launcher" ] && command -v Xvfb >/dev/null && command -v xdotool >/dev/null; then
    # Measured from outside, as a player's desktop sees it: a launcher whose client is current,
    # against the update server on loopback, under Xvfb.
    cat >"$work/window.py" <<'PY'
import os, shutil, signal, socket, subprocess, sys, time, zipfile
launcher, server, folder = sys.argv[1:4]
shutil.rmtree(folder, ignore_errors=True)
client, release = os.path.join(folder, "client"), os.path.join(folder, "release")
os.makedirs(os.path.join(client, "packs"))
os.makedirs(os.path.join(release, "patch"))
shutil.copy(launcher, os.path.join(client, "VarnholtLauncher.exe"))
names = ["local", "scripts", "vhGUI", "res_pack", "resources", "spaces", "spaces1", "speedtree",
         "characters", "models", "models1", "tex_buildings", "tex_buildings2", "tex_landscape",
         "tex_materials", "tex_materials2", "tex_misc", "tex_pack", "tex_characters",
         "tex_unwraps", "sys"]
for name in names:
    path = os.path.join(client, "packs", name + ".vh")
    if name == "resources":
        with zipfile.ZipFile(path, "w") as z:
            z.writestr("readme.txt", "resources\n")
    else:
        with open(path, "wb") as f:
            f.write(os.urandom(1 << 20))
with open(os.path.join(release, "replies.txt"), "w") as f:
    f.write("launcher\t1\npack-unknown\tACTUAL!\n")
with open(os.path.join(release, "news.html"), "w") as f:
    f.write("<html><body style='background:#1c6ea4'>news</body></html>")
started = []
def start(args, **kw):
    p = subprocess.Popen(args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **kw)
    started.append(p)
    return p
def wait_port(port):
    for _ in range(500):
        try:
            socket.create_connection(("127.0.0.1", port), 0.1).close()
            return
        except OSError:
            time.sleep(0.02)
def ticks(root):
    # CPU ticks of the launcher and every process below it (the browser's helpers).
    parents, cpu = {}, {}
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            fields = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
        except OSError:
            continue
        parents[int(pid)] = int(fields[1])
        cpu[int(pid)] = int(fields[11]) + int(fields[12])
    tree, grew = {root}, True
    while grew:
        grew = False
        for pid, parent in parents.items():
            if parent in tree and pid not in tree:
                tree.add(pid)
                grew = True
    return sum(cpu.get(pid, 0) for pid in tree)
try:
    start([server, release])
    wait_port(8080)
    display = ":97"
    start(["Xvfb", display, "-screen", "0", "1280x800x24", "-nolisten", "tcp"])
    for _ in range(500):
        if os.path.exists("/tmp/.X11-unix/X97"):
            break
        time.sleep(0.02)
    env = dict(os.environ, DISPLAY=display, QTWEBENGINE_DISABLE_SANDBOX="1", LC_ALL="C.UTF-8")
    begin = time.monotonic()
    app = start([os.path.join(client, "VarnholtLauncher.exe")], cwd=client, env=env)
    subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", "^Varnholt$"],
                   env=env, stdout=subprocess.DEVNULL, timeout=120)
    shown = time.monotonic() - begin
    time.sleep(5)  # the scan of 21 MiB and the news page are done by then: status 9
    hz = os.sysconf("SC_CLK_TCK")
    before = ticks(app.pid)
    time.sleep(10)
    idle = (ticks(app.pid) - before) / hz / 10 * 100
    print(f"first window after {shown:.2f} s; idle CPU {idle:.1f} % over 10 s at status 9")
finally:
    for p in reversed(started):
        p.send_signal(signal.SIGTERM)
        try:
            p.wait(10)
        except subprocess.TimeoutExpired:
            p.kill()
PY
    run window scripts/netns-run.sh python3 "$work/window.py" "$launcher" "$(bin update_server)" \
        "$work/window"
fi

python3 - "$work/logs" "$quick" <<'PY'
import os, re, sys
logs, quick = sys.argv[1], sys.argv[2] == "1"

def read(name):
    path = os.path.join(logs, name)
    return open(path, errors="replace").read() if os.path.exists(path) else ""

def rss(name):
    text = read(name + ".rss").strip().splitlines()
    return f"{int(text[-1]) // 1024} MiB" if text and text[-1].isdigit() else "-"

rows = []
def ratio(ours, peer):
    return f"{float(ours) / float(peer):.2f}"
for line in read("vcdiff").splitlines():
    m = re.match(r"(.+?)\s+([\d.]+)\s+([\d.]+)\s+([\d.]+)\s+([\d.]+)\s+([\d.]+)\s+([\d.]+)\s+([\d.]+)\s+([\d.]+)\s+([\d.]+)\s+(.*)$", line)
    if m and not line.startswith("case"):
        rows.append(("decoder: " + m.group(1), f"{float(m.group(4)):.0f} ms", "xdelta3 -d",
                     f"{float(m.group(6)):.0f} ms", ratio(m.group(4), m.group(6)), f"{m.group(9)} MiB"))
m = re.search(r"best: PatchFile ([\d.]+) s, xdelta3 -d ([\d.]+) s, ratio xdelta3/PatchFile ([\d.]+).*peak (\d+) MiB", read("patch"))
if m:
    rows.append(("PatchFile, 1 GiB pack", m.group(1) + " s", "xdelta3 -d", m.group(2) + " s",
                 ratio(m.group(1), m.group(2)), m.group(4) + " MiB"))
m = re.search(r"reader ([\d.]+) s, unzip ([\d.]+) s, ratio unzip/reader ([\d.]+)", read("zip"))
peak = re.search(r"reader peak RSS (\d+) KiB", read("zip"))
if m:
    rows.append(("zip reader, 200 MiB archive", m.group(1) + " s", "unzip", m.group(2) + " s",
                 ratio(m.group(1), m.group(2)), f"{int(peak.group(1)) // 1024} MiB" if peak else "-"))
scan = read("scan")
m = re.search(r"warm: scan ([\d.]+) s, pread floor ([\d.]+) s \(ratio ([\d.]+)\)", scan)
if m:
    rows.append(("pack scan, 2 GiB, warm cache", m.group(1) + " s", "pread of sampled ranges",
                 m.group(2) + " s", ratio(m.group(1), m.group(2)), rss("scan") + " (program)"))
m = re.search(r"warm: scan ([\d.]+) s, .*pread\+adler32 ([\d.]+) s", scan)
if m:
    rows.append(("pack scan, 2 GiB, warm cache", m.group(1) + " s", "pread + adler32 of the ranges",
                 m.group(2) + " s", ratio(m.group(1), m.group(2)), rss("scan") + " (program)"))
m = re.search(r"cold: scan ([\d.]+) s, pread floor ([\d.]+) s \(ratio ([\d.]+)\)", scan)
if m:
    rows.append(("pack scan, 2 GiB, cold cache", m.group(1) + " s", "pread of sampled ranges",
                 m.group(2) + " s", ratio(m.group(1), m.group(2)), rss("scan") + " (program)"))
m = re.search(r"(\d+) MiB in \d+-byte chunks: client ([\d.]+) s .*curl -o ([\d.]+) s .*ratio ([\d.]+)", read("http"))
if m:
    rows.append((f"HTTP download, {m.group(1)} MiB", m.group(2) + " s", "curl -o", m.group(3) + " s",
                 ratio(m.group(2), m.group(3)), rss("http") + " (with server)"))
update = read("update")
f = re.search(r"floors: download ([\d.]+) s, unzip ([\d.]+) s, xdelta3 -d ([\d.]+) s; sum ([\d.]+) s", update)
m = re.search(r"status 9: ([\d.]+) s, ([\d.]+) times", update)
if f and m:
    rows.append(("whole update, 2 GiB client", m.group(1) + " s",
                 f"swarm {f.group(1)} + unzip {f.group(2)} + xdelta3 {f.group(3)} s", f.group(4) + " s",
                 ratio(m.group(1), f.group(4)), rss("update") + " (whole benchmark)"))
window = read("window")
m = re.search(r"first window after ([\d.]+) s; idle CPU ([\d.]+) %", window)
if m:
    rows.append(("launcher window: start to first window", m.group(1) + " s", "-", "-", "-",
                 rss("window") + " (largest process)"))
    rows.append(("launcher window: idle CPU at status 9", m.group(2) + " %", "-", "-", "-", "-"))

header = ("benchmark", "ours", "peer", "peer time", "ours/peer", "peak memory")
widths = [max(len(str(r[i])) for r in rows + [header]) for i in range(len(header))]
def line(r):
    return "| " + " | ".join(str(c).ljust(w) for c, w in zip(r, widths)) + " |"
print(line(header))
print("|" + "|".join("-" * (w + 2) for w in widths) + "|")
for r in rows:
    print(line(r))
missing = [n for n in ("vcdiff", "patch", "zip", "scan", "http", "update") if not read(n)]
if missing:
    print("no result from: " + ", ".join(missing))
print(("quick run; " if quick else "") + "ours/peer below 1.00: faster than the peer")
PY
