#!/usr/bin/env python3
"""Real key presses on a real X server (Xvfb), with and without a window manager.

Usage: x11_keys_test.py TESSIK TESSIK_CAD DATA_DIR

Starts a private Xvfb, optionally openbox, a hidden tessik-cad on a private
socket (so that tessik finds it and asks nothing) and tessik in the data folder,
then types with xdotool.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

TESSIK, TESSIK_CAD, DATA = sys.argv[1:4]


def wait_for(predicate, seconds):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if predicate():
            return True
        time.sleep(0.1)
    return predicate()


class Desktop:
    def __init__(self, window_manager):
        self.tmp = tempfile.TemporaryDirectory()
        read, write = os.pipe()
        self.xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x1024x24",
                                      "-nolisten", "tcp"], pass_fds=[write], stderr=subprocess.DEVNULL)
        os.close(write)
        with os.fdopen(read) as f:
            self.display = ":" + f.readline().strip()
        self.env = dict(os.environ, DISPLAY=self.display, LC_ALL="C.UTF-8", LANG="C.UTF-8",
                        TESSIK_CAD_SOCKET=os.path.join(self.tmp.name, "cad.sock"))
        self.env.pop("QT_QPA_PLATFORM", None)
        self.processes = []
        if window_manager:
            self.start(["openbox"])
            time.sleep(1)
        self.start([TESSIK_CAD, "--automation"], QT_QPA_PLATFORM="offscreen")
        assert wait_for(lambda: os.path.exists(self.env["TESSIK_CAD_SOCKET"]), 10), "tessik-cad did not come up"
        self.tessik = self.start([TESSIK], cwd=DATA)
        assert wait_for(lambda: self.window() is not None, 15), "the main window did not appear"

    def start(self, command, cwd=None, **extra):
        p = subprocess.Popen(command, cwd=cwd, env=dict(self.env, **extra),
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.processes.append(p)
        return p

    def xdotool(self, *args):
        return subprocess.run(["xdotool", *args], env=self.env, capture_output=True, text=True).stdout.split()

    def window(self):
        found = self.xdotool("search", "--onlyvisible", "--name", "^Tessik$")
        return found[0] if found else None

    def mapped_windows(self):
        out = subprocess.run(["xwininfo", "-root", "-children"], env=self.env, capture_output=True, text=True).stdout
        return out

    def close(self):
        for p in reversed(self.processes):
            if p.poll() is None:
                p.kill()
            p.wait()
        self.xvfb.kill()
        self.xvfb.wait()
        self.tmp.cleanup()


def esc_with_a_list_open(window_manager):
    d = Desktop(window_manager)
    try:
        d.xdotool("windowfocus", "--sync", d.window())
        time.sleep(0.5)
        # The diameter list has the focus at start-up: open it, then Esc.
        d.xdotool("key", "alt+Down")
        time.sleep(0.7)
        d.xdotool("key", "Escape")
        time.sleep(1.0)
        assert d.tessik.poll() is None, "Esc with the list open ended the program"
        assert d.window() is not None, "the main window vanished"
        # With no list open, Esc is the cancel button: the program ends.
        d.xdotool("key", "Escape")
        assert wait_for(lambda: d.tessik.poll() is not None, 5), "Esc without a list did not end the program"
    finally:
        d.close()


def main():
    failures = []
    modes = [False] + ([True] if shutil.which("openbox") else [])
    for window_manager in modes:
        name = "with a window manager" if window_manager else "on a bare X server"
        try:
            esc_with_a_list_open(window_manager)
            print("PASS esc with a list open,", name)
        except AssertionError as e:
            failures.append(f"{name}: {e}")
            print("FAIL esc with a list open,", name, "-", e)
    if not shutil.which("openbox"):
        print("SKIP the run under a window manager: openbox is not installed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
