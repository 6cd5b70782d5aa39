#!/usr/bin/env python3
"""The whole launcher under Xvfb against the test update server on loopback.

Usage: window_test.py LAUNCHER NEXT_LAUNCHER SERVER SHOT_FOLDER CURRENT NEXT
LAUNCHER is this build's launcher (file version CURRENT); NEXT_LAUNCHER the same program at the
higher version NEXT, handed out as the launcher update. Screenshots of the main states go to
SHOT_FOLDER. The first run has no window manager, the others run under openbox, as on a desktop.
Needs a display (xvfb-run), port 8080 on loopback (netns-run.sh), xdotool, ImageMagick and
openbox.
"""
import os
import shutil
import stat
import struct
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse
import zipfile

LAUNCHER, NEXT_LAUNCHER, SERVER, SHOTS, CURRENT, NEXT = sys.argv[1:7]
PACKS = ["local", "scripts", "vhGUI", "res_pack", "resources", "spaces", "spaces1", "speedtree",
         "characters", "models", "models1", "tex_buildings", "tex_buildings2", "tex_landscape",
         "tex_materials", "tex_materials2", "tex_misc", "tex_pack", "tex_characters",
         "tex_unwraps", "sys"]
NEWS_COLOUR = (0x1c, 0x6e, 0xa4)
# Two views high: the headline fills the first, the first link the second. The page reports its
# scroll position and focused element to the server four times a second.
NEWS = """<html><head><meta charset="utf-8"><script>
var n = 0;
function report() {
  var e = document.activeElement;
  new Image().src = "/report?n=" + n++ + "&y=" + Math.round(window.scrollY) +
      "&focus=" + (e && e !== document.body ? e.tagName : "none");
}
addEventListener("load", function () { report(); setInterval(report, 250); });
</script></head>
<body style="margin:0;background:#1c6ea4;color:#ffd75e;font:bold 28px sans-serif">
<div style="height:330px;padding:16px;box-sizing:border-box">Varnholt news: the autumn update is
out</div>
<a href="http://example.invalid/forum" style="display:block;height:330px;color:#ffd75e">forum</a>
</body></html>"""
NEWS_SCROLL_RANGE = 330
failures = []


def check(condition, what):
    print(("ok    " if condition else "FAIL  ") + what, flush=True)
    if not condition:
        failures.append(what)
    return condition


def wait_for(predicate, timeout, step=0.25):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        value = predicate()
        if value:
            return value
        time.sleep(step)
    return predicate()


def xdotool(*args):
    result = subprocess.run(["xdotool", *args], capture_output=True, text=True)
    return result.stdout.strip() if result.returncode == 0 else ""


def launcher_windows():
    return [w for w in xdotool("search", "--onlyvisible", "--name", "^Varnholt$").split() if w]


def window_origin(window):
    fields = dict(line.split("=", 1) for line in
                  xdotool("getwindowgeometry", "--shell", window).splitlines() if "=" in line)
    return int(fields.get("X", 0)), int(fields.get("Y", 0))


class Screen:
    """One screenshot of the whole display, with its pixels."""

    def __init__(self, name=None):
        png = os.path.join(SHOTS, name + ".png") if name else tempfile.mktemp(suffix=".png")
        subprocess.run(["import", "-window", "root", png], check=True)
        ppm = subprocess.run(["convert", png, "-depth", "8", "ppm:-"], check=True,
                             capture_output=True).stdout
        if not name:
            os.unlink(png)
        parts = ppm.split(maxsplit=4)
        self.width, self.height = int(parts[1]), int(parts[2])
        self.pixels = parts[4]

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.pixels[i:i + 3])

    def count(self, left, top, width, height, test):
        return sum(1 for y in range(top, top + height, 2) for x in range(left, left + width, 2)
                   if test(self.pixel(x, y)))


def near(colour, expected, tolerance=12):
    return all(abs(a - b) <= tolerance for a, b in zip(colour, expected))


def view_shows_news(origin):
    x, y = origin
    return near(Screen().pixel(x + 6 + 314, y + 96 + 300), NEWS_COLOUR)


def news_window(server, language):
    """Waits for the window and its news page, and checks that the page keeps its headline in
    view with nothing on it focused: the window, not the page, gets the keyboard when the
    window manager activates it. Returns the window's origin, or None without a window."""
    windows = wait_for(launcher_windows, 30)
    if not check(bool(windows), language + ": the window appears"):
        return None
    origin = window_origin(windows[0])
    check(wait_for(lambda: view_shows_news(origin), 30), language + ": the news page renders")
    wait_for(lambda: len(server.news_reports()) >= 8, 15)
    reports = server.news_reports()
    moved = [r for r in reports if r.get("y") != "0" or r.get("focus") != "none"]
    check(len(reports) >= 8 and not moved,
          "%s: the news page stays at its top with nothing focused (%d reports; first off: %s)"
          % (language, len(reports), moved[0] if moved else "none"))
    return origin


def play_enabled(screen, origin):
    # The enabled picture is warm brown, the disabled one grey.
    r, g, b = screen.pixel(origin[0] + 494 + 8, origin[1] + 436 + 12)
    return r - b > 25


def click(origin, x, y):
    xdotool("mousemove", str(origin[0] + x), str(origin[1] + y), "click", "1")


def make_folder(root, launcher):
    os.makedirs(os.path.join(root, "packs"))
    os.makedirs(os.path.join(root, "game"))
    shutil.copy2(launcher, os.path.join(root, "VarnholtLauncher.exe"))
    for name in PACKS:
        path = os.path.join(root, "packs", name + ".vh")
        if name == "resources":
            with zipfile.ZipFile(path, "w") as archive:
                archive.writestr("ui/", "")
                archive.writestr("ui/readme.txt", "resources of the test release\n")
        else:
            with open(path, "wb") as pack:
                pack.write((name + " pack\n").encode() * 100)
    game = os.path.join(root, "game", "Varnholt.exe")
    with open(game, "w") as script:
        script.write("#!/bin/sh\npwd > ../game-ran.txt\nsleep 2\n")
    os.chmod(game, 0o755)


class Server:
    """The test update server; collects the requests it answers."""

    def __init__(self, work, current, update=None):
        patch = os.path.join(work, "patch")
        os.makedirs(patch, exist_ok=True)
        if update:
            shutil.copy2(update, os.path.join(patch, "VarnholtUpdate.exe"))
        news = os.path.join(work, "news.html")
        with open(news, "w") as page:
            page.write(NEWS)
        self.process = subprocess.Popen([SERVER, news, patch, current], stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, text=True)
        if self.process.stdout.readline().strip() != "ready":
            raise RuntimeError("test server did not start")
        self.requests = []
        self.reader = threading.Thread(target=self.collect, daemon=True)
        self.reader.start()

    def collect(self):
        for line in self.process.stdout:
            self.requests.append(line.split()[2])

    def news_reports(self):
        """What the news page reported so far, oldest first."""
        return [dict(urllib.parse.parse_qsl(target.split("?", 1)[1]))
                for target in list(self.requests) if target.startswith("/report?")]

    def stop(self):
        self.process.stdin.close()
        self.process.wait(timeout=10)
        self.reader.join(timeout=10)


def environment(work, language="C.UTF-8"):
    runtime = os.path.join(work, "run")
    os.makedirs(runtime, mode=0o700, exist_ok=True)
    browser = os.path.join(work, "browser.sh")
    with open(browser, "w") as script:
        script.write('#!/bin/sh\necho "$1" >> "%s"\n' % os.path.join(work, "browser.txt"))
    os.chmod(browser, 0o755)
    env = dict(os.environ, XDG_RUNTIME_DIR=runtime, BROWSER=browser, LANG=language,
               LC_ALL=language)
    env.pop("QT_QPA_PLATFORM", None)
    return env


def ended(process, timeout):
    """True when the process ends with exit code 0 within timeout seconds."""
    try:
        return process.wait(timeout=timeout) == 0
    except subprocess.TimeoutExpired:
        return False


def start(folder, env):
    return subprocess.Popen([os.path.join(folder, "VarnholtLauncher.exe")], cwd=folder, env=env)


def write_resume_record(folder, stage):
    """An interrupted update of this launcher version at the given stage."""
    a, b, c, d = (int(part) for part in CURRENT.split("."))
    os.makedirs(os.path.join(folder, "temp"), exist_ok=True)
    with open(os.path.join(folder, "temp", "resume.data"), "wb") as record:
        record.write(struct.pack("<4I", c << 16 | d, a << 16 | b, stage, 0))


def server_down(work):
    folder = os.path.join(work, "down")
    make_folder(folder, LAUNCHER)
    write_resume_record(folder, 6)
    # In Russian: the texts, the pages and the play button's picture follow the language.
    launcher = start(folder, environment(work, "ru_RU.UTF-8"))
    question = wait_for(lambda: xdotool("search", "--onlyvisible", "--name",
                                        "^Varnholt Launcher$"), 30)
    if check(bool(question) and not launcher_windows(),
             "an interrupted update is offered before the window shows"):
        Screen("question-resume")
        xdotool("windowfocus", "--sync", question.split()[0])
        xdotool("key", "Return")
    windows = wait_for(launcher_windows, 30)
    if not check(bool(windows), "the window appears without a server"):
        launcher.kill()
        return
    origin = window_origin(windows[0])
    red = lambda: Screen().count(origin[0] + 6, origin[1] + 96, 628, 330,
                                 lambda p: p[0] > 150 and p[1] < 80 and p[2] < 80)
    check(wait_for(lambda: red() > 20, 30), "server down: the view shows the failure page")
    box = wait_for(lambda: xdotool("search", "--onlyvisible", "--name", "^Varnholt Launcher$"), 20)
    Screen("window-server-down")
    check(bool(box), "server down: the failure box shows")
    if box:
        xdotool("windowfocus", "--sync", box.split()[0])
        xdotool("key", "Return")
    # After a failure the close button ends the launcher at once.
    click(origin, 619, 20)
    if not check(ended(launcher, 20), "server down: the close button ends the launcher"):
        launcher.kill()


def normal_run(work):
    folder = os.path.join(work, "normal")
    make_folder(folder, LAUNCHER)
    env = environment(work)
    server = Server(os.path.join(work, "server-normal"), CURRENT)
    monitor = None
    if env.get("DBUS_SESSION_BUS_ADDRESS"):
        monitor = subprocess.Popen(
            ["dbus-monitor", "type='signal',interface='com.canonical.Unity.LauncherEntry'"],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    launcher = start(folder, env)
    try:
        origin = news_window(server, "English")
        if not origin:
            return
        Screen("window-news")

        # The first link lies a view below the headline: the wheel brings it in.
        xdotool("mousemove", str(origin[0] + 6 + 314), str(origin[1] + 96 + 200),
                "click", "--repeat", "10", "--delay", "30", "5")
        check(wait_for(lambda: server.news_reports()[-1].get("y") == str(NEWS_SCROLL_RANGE), 10),
              "the wheel scrolls the news page down to its link")
        click(origin, 6 + 314, 96 + 200)
        opened = os.path.join(work, "browser.txt")
        check(wait_for(lambda: os.path.exists(opened), 10), "a link goes to the default browser")
        if os.path.exists(opened):
            check(open(opened).read().strip() == "http://example.invalid/forum",
                  "the browser gets the link's address")
        time.sleep(1)
        check(view_shows_news(origin), "the view stays on the news page")

        began = time.monotonic()
        second = start(folder, env)
        second_ended = ended(second, 15)
        took = time.monotonic() - began
        check(second_ended and 1.4 <= took < 3.5,
              "a second launcher ends within about 1.5 s (%.2f s)" % took)
        check(len(launcher_windows()) == 1, "the second launcher shows no window")

        ready = wait_for(lambda: play_enabled(Screen(), origin), 60, step=0.5)
        Screen("window-ready")
        check(ready, "the update reaches the ready state and enables play")
        marker = os.path.join(folder, "game-ran.txt")
        click(origin, 494 + 60, 436 + 19)
        check(wait_for(lambda: os.path.exists(marker), 10), "play starts the game")
        if os.path.exists(marker):
            check(open(marker).read().strip() == os.path.join(folder, "game"),
                  "the game runs in its own folder")
        check(not launcher_windows(), "the window is hidden while the game runs")
        check(ended(launcher, 20), "the launcher ends when the game has ended")
    finally:
        if launcher.poll() is None:
            launcher.kill()
        server.stop()
        if monitor:
            monitor.terminate()
            signals = monitor.communicate(timeout=5)[0]
            check("progress" in signals and "double 1" in signals,
                  "the taskbar progress reaches full over D-Bus")


def russian_news(work):
    """The news page, the status line and the play button in Russian."""
    folder = os.path.join(work, "russian")
    make_folder(folder, LAUNCHER)
    server = Server(os.path.join(work, "server-russian"), CURRENT)
    launcher = start(folder, environment(work, "ru_RU.UTF-8"))
    try:
        origin = news_window(server, "Russian")
        if not origin:
            return
        check(wait_for(lambda: play_enabled(Screen(), origin), 60, step=0.5),
              "Russian: the update reaches the ready state")
        Screen("window-news-ru")
        click(origin, 619, 20)
        check(ended(launcher, 20), "Russian: the close button ends the launcher when ready")
    finally:
        if launcher.poll() is None:
            launcher.kill()
        server.stop()


def start_window_manager(work):
    """openbox on the display, as a player's desktop has a window manager."""
    marker = os.path.join(work, "openbox-ready")
    env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(work, "config"),
               XDG_CACHE_HOME=os.path.join(work, "cache"))
    manager = subprocess.Popen(["openbox", "--startup", "touch " + marker], env=env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if not check(wait_for(lambda: os.path.exists(marker), 20), "openbox starts"):
        manager.kill()
        raise RuntimeError("no window manager")
    return manager


def update_copy_running(folder):
    """True while a process runs the downloaded launcher copy of this folder."""
    copy = os.path.join(folder, "VarnholtUpdate.exe").encode()
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/cmdline" % pid, "rb") as cmdline:
                if cmdline.read().split(b"\0")[0] == copy:
                    return True
        except OSError:
            pass
    return False


def hand_over(work):
    folder = os.path.join(work, "handover")
    make_folder(folder, LAUNCHER)
    env = environment(work)
    server = Server(os.path.join(work, "server-handover"), NEXT, update=NEXT_LAUNCHER)
    old = start(folder, env)
    target = os.path.join(folder, "VarnholtLauncher.exe")
    expected = open(NEXT_LAUNCHER, "rb").read()
    try:
        # The copy waits at most 1.5 s for the outgoing launcher's lock before it replaces it.
        copy_started = wait_for(lambda: update_copy_running(folder) and time.monotonic(), 60,
                                step=0.01)
        replaced = wait_for(lambda: open(target, "rb").read() == expected, 30, step=0.01)
        if not check(replaced, "the -update copy puts the newer launcher in place"):
            # Tells a copy that never started from one that gave up waiting for the lock.
            print("      copy seen running: %s; outdated launcher's exit code: %s"
                  % (bool(copy_started), old.poll()), flush=True)
        if copy_started and replaced:
            took = time.monotonic() - copy_started
            check(took < 2.0, "the hand-over takes %.2f s from the copy's start" % took)
        check(ended(old, 30), "the outdated launcher ends after starting its update")
        check(os.stat(target).st_mode & stat.S_IXUSR, "the replaced launcher stays executable")
        windows = wait_for(launcher_windows, 30)
        check(bool(windows), "the newer launcher starts with its window")
        if windows:
            pid = xdotool("getwindowpid", windows[0])
            origin = window_origin(windows[0])
            wait_for(lambda: play_enabled(Screen(), origin), 60, step=0.5)
            Screen("window-after-handover")
            click(origin, 619, 20)
            if pid and not wait_for(lambda: not os.path.exists("/proc/" + pid), 20):
                os.kill(int(pid), 9)
                check(False, "the newer launcher closes at its ready state")
    finally:
        if old.poll() is None:
            old.kill()
        server.stop()


def main():
    os.makedirs(SHOTS, exist_ok=True)
    work = tempfile.mkdtemp(prefix="varnholt-window-")
    try:
        server_down(work)
        manager = start_window_manager(work)
        try:
            normal_run(work)
            russian_news(work)
            hand_over(work)
        finally:
            manager.terminate()
            manager.wait(timeout=10)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("%d failure(s)" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
