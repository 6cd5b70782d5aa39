"""Drives the demo's launcher window as a player would and checks what the player would see.

The window shows its state only as pixels, so the status line is read from screenshots with
tesseract, and the play button's colour tells whether it is enabled. Everything else is checked
on disk.
"""
import filecmp
import os
import subprocess
import tempfile
import time

# Places in the window, from its top left corner.
PLAY = (494, 436)
PLAY_CENTRE = (PLAY[0] + 60, PLAY[1] + 19)
VIEW = (6, 96, 628, 330)  # the news view: left, top, width, height
STATUS_LINE = (30, 440, 300, 24)  # the text on the progress bar
STRINGS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "res",
                       "strings_en.txt")
UPDATE_TIMEOUT = 90  # an update takes 10 to 30 s, also beside a parallel build
MAX_PROGRESS_SHOTS = 8


def xdotool(*args):
    result = subprocess.run(["xdotool", *args], capture_output=True, text=True)
    return result.stdout.strip() if result.returncode == 0 else ""


class Screen:
    """One screenshot of the whole display, kept as a file when it has a name."""

    def __init__(self, folder, name=None):
        self.temporary = not name
        if name:
            self.png = os.path.join(folder, name + ".png")
        else:
            handle, self.png = tempfile.mkstemp(suffix=".png")
            os.close(handle)
        subprocess.run(["import", "-window", "root", self.png], check=True)
        ppm = subprocess.run(["convert", self.png, "-depth", "8", "ppm:-"], check=True,
                             capture_output=True).stdout
        parts = ppm.split(maxsplit=4)
        self.width = int(parts[1])
        self.pixels = parts[4]

    def __del__(self):
        if self.temporary and os.path.exists(self.png):
            os.unlink(self.png)

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.pixels[i:i + 3])

    def status_line(self, origin):
        """The status line's text as tesseract reads it, "" when there is none."""
        x, y, width, height = STATUS_LINE
        # The text is white on a dark or orange bar: its blue channel alone, enlarged and made
        # black on white, reads cleanly.
        crop = subprocess.run(
            ["convert", self.png, "-crop", "%dx%d+%d+%d" % (width, height, origin[0] + x,
                                                          origin[1] + y),
             "+repage", "-channel", "B", "-separate", "-resize", "400%", "-threshold", "50%",
             "-negate", "png:-"], check=True, capture_output=True).stdout
        text = subprocess.run(["tesseract", "-", "-", "--psm", "7"], input=crop,
                              capture_output=True).stdout.decode(errors="replace")
        text = " ".join(text.replace("|", " ").split())
        # An empty bar still gives a letter or two of noise.
        return text if len(text) > 3 else ""

    def count(self, left, top, width, height, test):
        return sum(1 for y in range(top, top + height, 2) for x in range(left, left + width, 2)
                   if test(self.pixel(x, y)))


def find_window(title="^Varnholt$"):
    found = xdotool("search", "--onlyvisible", "--name", title).split()
    return found[0] if found else None


def error_box():
    # The launcher's message boxes carry the application title; during an update only the
    # failure box can show.
    return find_window("^Varnholt Launcher$")


def window_origin(window):
    fields = dict(line.split("=", 1) for line in
                  xdotool("getwindowgeometry", "--shell", window).splitlines() if "=" in line)
    return int(fields.get("X", 0)), int(fields.get("Y", 0))


def play_enabled(screen, origin):
    # The enabled button's frame and letters are gold, the disabled one's grey: of the quarter
    # of its pixels sampled, about 650 are gold when enabled, about 30 when not.
    gold = screen.count(origin[0] + PLAY[0], origin[1] + PLAY[1], 124, 40,
                        lambda p: p[0] - p[2] > 50)
    return gold > 250


def news_shown(screen, origin):
    # The demo release's news page has gold headings; the view's own waiting and failure pages
    # have grey and red text on black.
    gold = screen.count(origin[0] + VIEW[0], origin[1] + VIEW[1], VIEW[2], VIEW[3],
                        lambda p: p[0] > 200 and p[1] > 150 and p[2] < 120)
    return gold > 100


def same_packs(new_packs, client_packs):
    names = sorted(os.listdir(new_packs))
    if sorted(os.listdir(client_packs)) != names:
        return False
    return all(filecmp.cmp(os.path.join(new_packs, name), os.path.join(client_packs, name),
                           shallow=False) for name in names)


def ready_text():
    with open(STRINGS, encoding="utf-8") as table:
        for line in table:
            if line.startswith("2108 "):
                return line[5:].strip()
    raise RuntimeError("no text 2108 in " + STRINGS)


def wait_until_ready(demo, origin, say):
    """Follows the status line as the update runs, with screenshots of the first steps.
    Returns the seconds until the status line showed the ready text, or None."""
    expected = ready_text()
    began = time.monotonic()
    shots = 0
    shown = None
    while time.monotonic() - began < UPDATE_TIMEOUT and demo.launcher.poll() is None:
        name = None
        if shots < MAX_PROGRESS_SHOTS:
            shots += 1
            name = "2-updating-%d" % shots
        text = Screen(demo.shots, name).status_line(origin)
        if text != shown:
            say("%5.1f s  status line: %s" % (time.monotonic() - began, text or "(empty)"))
            shown = text
        if text == expected:
            return time.monotonic() - began
        if error_box():
            return None
        time.sleep(1)
    return None


def drive(demo, check, wait_for, say):
    window = wait_for(find_window, 60)
    if not check(bool(window), "the launcher's window appears"):
        return
    origin = window_origin(window)
    Screen(demo.shots, "1-start")
    check(wait_for(lambda: news_shown(Screen(demo.shots), origin), 40, step=1),
          "the view shows the news page of the demo server")
    took = wait_until_ready(demo, origin, say)
    ready = Screen(demo.shots, "3-ready" if took is not None else "3-not-ready")
    if not check(took is not None, "the status line shows \"%s\"" % ready_text()):
        return
    say("the update took %.1f s after the window appeared" % took)
    check(play_enabled(ready, origin) or wait_for(
        lambda: play_enabled(Screen(demo.shots), origin), 5), "the play button is enabled")

    check(same_packs(os.path.join(demo.work, "packs-2"), os.path.join(demo.client, "packs")),
          "the client's 21 packs are byte for byte the new version")
    ini = os.path.join(demo.client, "config", "game.ini")
    check(os.path.exists(ini) and "resources=2" in open(ini).read(),
          "the new resources pack is extracted into the client folder")

    game_log = os.path.join(demo.client, "game", "Varnholt.log")
    xdotool("mousemove", str(origin[0] + PLAY_CENTRE[0]), str(origin[1] + PLAY_CENTRE[1]),
            "click", "1")
    started = wait_for(lambda: os.path.exists(game_log), 15)
    if check(started, "play starts the game (it writes game/Varnholt.log)"):
        line = open(game_log).read().strip()
        say("the game wrote: " + line)
        check("folder " + os.path.join(demo.client, "game") in line and "21 packs" in line,
              "the game runs in its folder with the 21 packs beside it")
        demo.started["Varnholt.exe"] = int(line.split("pid ")[1].split(",")[0])
    Screen(demo.shots, "4-playing")
    check(not find_window(), "the launcher's window is hidden while the game runs")
    try:
        code = demo.launcher.wait(timeout=30)
    except subprocess.TimeoutExpired:
        code = None
    check(code == 0, "the launcher ends with the game (exit code %s)" % code)
    check(not os.path.exists(os.path.join(demo.client, "temp")),
          "the launcher removed its temp folder at exit")
