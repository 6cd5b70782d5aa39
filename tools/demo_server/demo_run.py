#!/usr/bin/env python3
"""Prepares the demo game and its update, starts the demo server and the launcher.

Usage: demo_run.py BUILD_DIR [--auto] [--small]

BUILD_DIR holds a build with the window (VarnholtLauncher.exe, make_release, demo_server,
Varnholt.exe); the demo's files go to BUILD_DIR/demo/. Without --auto the player drives the
launcher and the demo ends when the launcher does (or on Ctrl+C). With --auto, or when there is no
display (the demo then starts Xvfb and drives the window itself), it waits for the ready state,
clicks play, checks the game started, the client is byte for byte the new version and everything
it started has stopped, and exits non-zero when any check fails. Screenshots go to
BUILD_DIR/demo/screenshots/.
"""
import os
import shutil
import signal
import subprocess
import sys
import threading
import time

import demo_drive

failures = []


def say(text):
    print("demo: " + text, flush=True)


def check(condition, what):
    say(("ok    " if condition else "FAIL  ") + what)
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


def alive(pid):
    # A zombie has ended; only its parent's wait is missing.
    try:
        with open("/proc/%d/stat" % pid) as stat:
            return stat.read().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:
        return False


def children(pid):
    found = []
    for task in os.listdir("/proc/%d/task" % pid) if alive(pid) else []:
        try:
            with open("/proc/%d/task/%s/children" % (pid, task)) as listed:
                found += [int(child) for child in listed.read().split()]
        except OSError:
            pass
    return found


def processes_in(folder):
    """Processes working in folder: the launcher, its browser helpers, the game."""
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            cwd = os.readlink("/proc/%s/cwd" % pid)
        except OSError:
            continue
        if (cwd == folder or cwd.startswith(folder + os.sep)) and alive(int(pid)):
            found.append(int(pid))
    return found


class Demo:
    def __init__(self, build, auto, small):
        self.build = os.path.abspath(build)
        self.auto = auto
        self.small = small
        self.work = os.path.join(self.build, "demo")
        self.client = os.path.join(self.work, "client")
        self.shots = os.path.join(self.work, "screenshots")
        self.started = {}  # what the demo started: name -> pid, checked at the end
        self.xvfb = self.server = self.launcher = None
        self.env = dict(os.environ)

    def tool(self, *parts):
        path = os.path.join(self.build, *parts)
        if not os.access(path, os.X_OK):
            sys.exit("demo: %s is missing; build it first (scripts/demo.sh builds it)" % path)
        return path

    def run(self, *argv):
        subprocess.run(argv, check=True, cwd=self.work, stdout=subprocess.DEVNULL)

    # The demo game (version 1 on the client, version 2 on the server) and the client folder.
    def prepare(self):
        launcher = self.tool("launcher", "VarnholtLauncher.exe")
        game = self.tool("tools", "demo_game", "Varnholt.exe")
        make_release = self.tool("tools", "make_release", "make_release")
        began = time.monotonic()
        shutil.rmtree(self.work, ignore_errors=True)
        os.makedirs(self.shots)
        size = ["--largest-pack", str(8 << 20)] if self.small else []
        self.run(make_release, "--game", "1", *size, "packs-1")
        self.run(make_release, "--game", "2", *size, "packs-2")
        self.run(make_release, "packs-1", "packs-2", "release")
        self.run(self.tool("tools", "demo_server", "demo_server"), "--make-client", "packs-1",
                 self.client)
        shutil.copy2(launcher, os.path.join(self.client, "VarnholtLauncher.exe"))
        os.makedirs(os.path.join(self.client, "game"))
        shutil.copy2(game, os.path.join(self.client, "game", "Varnholt.exe"))
        total = sum(os.path.getsize(os.path.join(self.work, "packs-2", name))
                    for name in os.listdir(os.path.join(self.work, "packs-2")))
        say("prepared in %.1f s: game of %d MiB in %s, release in %s/release" %
            (time.monotonic() - began, total >> 20, self.client, self.work))

    def start_display(self):
        if self.env.get("DISPLAY") and not self.auto:
            return
        if self.env.get("DISPLAY"):
            say("driving the launcher on display " + self.env["DISPLAY"])
            return
        read, write = os.pipe()
        self.xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0",
                                      "1280x1024x24", "-nolisten", "tcp"], pass_fds=[write],
                                     stderr=subprocess.DEVNULL)
        os.close(write)
        with os.fdopen(read) as display:
            number = display.readline().strip()
        if not number:
            sys.exit("demo: Xvfb did not start")
        self.started["Xvfb"] = self.xvfb.pid
        self.env["DISPLAY"] = ":" + number
        os.environ["DISPLAY"] = self.env["DISPLAY"]  # for xdotool and import
        self.auto = True
        say("no display: the launcher runs on Xvfb :%s, screenshots go to %s" %
            (number, self.shots))

    def start_server(self):
        self.server = subprocess.Popen([self.tool("tools", "demo_server", "demo_server"),
                                        "release"], cwd=self.work, stdout=subprocess.PIPE,
                                       stderr=subprocess.STDOUT, text=True)
        self.started["demo_server"] = self.server.pid
        ready = threading.Event()
        self.server_log = threading.Thread(target=self.copy_server_log, args=(ready,))
        self.server_log.start()
        if not ready.wait(120) or self.server.poll() is not None:
            sys.exit("demo: the demo server did not start (see %s/server.log)" % self.work)
        for pid in children(self.server.pid):
            self.started["opentracker"] = pid

    def copy_server_log(self, ready):
        # Read all along, so that the server never blocks on a full pipe.
        with open(os.path.join(self.work, "server.log"), "w") as log:
            for line in self.server.stdout:
                log.write(line)
                log.flush()
                if not ready.is_set() or not self.auto:
                    print("  server: " + line.rstrip(), flush=True)
                if "ready" in line:
                    ready.set()
        ready.set()

    def start_launcher(self):
        runtime = os.path.join(self.work, "run")
        os.makedirs(runtime, mode=0o700)
        # A runtime folder of its own: the single-instance lock of another launcher on this
        # machine (a test running beside the demo) must not end this one.
        self.env["XDG_RUNTIME_DIR"] = runtime
        self.env.pop("QT_QPA_PLATFORM", None)
        if self.auto:
            # English texts, which the check reads off the screen.
            self.env.update(LANG="C.UTF-8", LC_ALL="C.UTF-8")
            self.env.pop("LC_MESSAGES", None)
        self.launcher_log = open(os.path.join(self.work, "launcher.log"), "w")
        self.launcher = subprocess.Popen([os.path.join(self.client, "VarnholtLauncher.exe")],
                                         cwd=self.client, env=self.env, stdout=self.launcher_log,
                                         stderr=subprocess.STDOUT)
        self.started["VarnholtLauncher.exe"] = self.launcher.pid
        say("launcher started from " + self.client)

    def stop(self):
        for process in (self.launcher, self.server, self.xvfb):
            if process and process.poll() is None:
                process.send_signal(signal.SIGINT if process is self.server else signal.SIGTERM)
                try:
                    process.wait(timeout=20)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
        if self.server:
            self.server_log.join()

    def interactive(self):
        say("the launcher updates the game; press play when it is ready. Ctrl+C ends the demo.")
        try:
            self.launcher.wait()
        except KeyboardInterrupt:
            say("stopping")
        game_log = os.path.join(self.client, "game", "Varnholt.log")
        if os.path.exists(game_log):
            say("the game wrote: " + open(game_log).read().strip())


def main():
    args = sys.argv[1:]
    if not args or args[0].startswith("-"):
        sys.exit(__doc__)
    demo = Demo(args[0], "--auto" in args, "--small" in args)
    demo.prepare()
    demo.start_display()
    try:
        demo.start_server()
        demo.start_launcher()
        if demo.auto:
            demo_drive.drive(demo, check, wait_for, say)
        else:
            demo.interactive()
    finally:
        demo.stop()
    if demo.auto:
        for name, pid in sorted(demo.started.items()):
            check(wait_for(lambda: not alive(pid), 10), "%s (pid %d) has stopped" % (name, pid))
        wait_for(lambda: not processes_in(demo.work), 10)
        left = processes_in(demo.work)
        check(not left, "no process runs in %s any more%s" %
              (demo.work, " (left: %s)" % left if left else ""))
        say("screenshots in " + demo.shots)
        say("%d failure(s)" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
