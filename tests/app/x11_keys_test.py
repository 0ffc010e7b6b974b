#!/usr/bin/env python3
"""Real key presses on a real X server (Xvfb), with and without a window manager.

Usage: x11_keys_test.py TESSIK TESSIK_CAD DATA_DIR

Starts a private Xvfb, optionally openbox, a hidden tessik-cad on a private
socket (so that tessik finds it and asks nothing) or none (so that tessik
starts one) and tessik in the data folder, then types with xdotool. With
TESSIK_X11_SHOTS set to a folder, screenshots of the About dialog land there.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from x11_session import XSession, wait_for  # noqa: E402

TESSIK, TESSIK_CAD, DATA = sys.argv[1:4]
# Where a failing run leaves its screenshots; none when unset.
SHOTS = os.environ.get("TESSIK_X11_SHOTS")


class Desktop(XSession):
    """The session with tessik in the data folder; tessik-cad either already
    running hidden (so that tessik asks nothing) or left for tessik to start."""

    def __init__(self, window_manager, cad_running=True, path_first=None, pipes=False):
        super().__init__(window_manager)
        if cad_running:
            self.start([TESSIK_CAD, "--automation"], QT_QPA_PLATFORM="offscreen")
            self.wait_for_socket()
        env = dict(self.env)
        # tessik starts the tessik-cad of this build and finds the stand-ins first.
        env["PATH"] = os.pathsep.join(filter(None, [path_first, os.path.dirname(TESSIK_CAD), env["PATH"]]))
        out = subprocess.PIPE if pipes else subprocess.DEVNULL
        self.tessik = subprocess.Popen([TESSIK], cwd=DATA, env=env, stdout=out, stderr=out)
        self.processes.append(self.tessik)
        if cad_running:
            assert wait_for(lambda: self.main_window() is not None, 30), "the main window did not appear"

    def main_window(self):
        return self.window("^Tessik$")

    def focus(self, window):
        self.xdotool("windowfocus", "--sync", window)
        time.sleep(0.5)

    def grab(self, x, y, width, height):
        """The screen's pixels in a rectangle, as raw RGB bytes."""
        return subprocess.run(["import", "-display", self.display, "-window", "root", "-crop",
                               f"{width}x{height}+{x}+{y}", "rgb:-"], capture_output=True, check=True).stdout

    def shot(self, name):
        if SHOTS:
            self.screenshot(os.path.join(SHOTS, name + ".png"))


def esc_with_a_list_open(window_manager):
    d = Desktop(window_manager)
    try:
        d.focus(d.main_window())
        # The diameter list has the focus at start-up: open it, then Esc.
        d.xdotool("key", "alt+Down")
        time.sleep(0.7)
        d.xdotool("key", "Escape")
        time.sleep(1.0)
        assert d.tessik.poll() is None, "Esc with the list open ended the program"
        assert d.main_window() is not None, "the main window vanished"
        # With no list open, Esc is the cancel button: the program ends.
        d.xdotool("key", "Escape")
        assert wait_for(lambda: d.tessik.poll() is not None, 5), "Esc without a list did not end the program"
    finally:
        d.close()


def corner(d, window):
    """The window's upper-left corner on the screen, inside any frame."""
    info = subprocess.run(["xwininfo", "-id", window], env=d.env, capture_output=True, text=True).stdout
    at = {k.strip(): int(v) for k, v in (line.split(":") for line in info.splitlines() if "Absolute" in line)}
    return at["Absolute upper-left X"], at["Absolute upper-left Y"]


ABOUT = "^关于 Tessik$"


def sysinfo_button(d):
    """Where 系统信息 lies on the screen: its place in the dialog's twips
    (4200, 3600, 1485 x 345) at 15 twips to the pixel."""
    x, y = corner(d, d.window(ABOUT))
    return x + 280, y + 240, 99, 23


def about_enter_and_tab(window_manager):
    """Enter presses the focused button of the About dialog, OK otherwise."""
    tools = tempfile.TemporaryDirectory()
    ran = os.path.join(tools.name, "ran")
    stand_in = os.path.join(tools.name, "hardinfo")
    with open(stand_in, "w") as f:
        f.write(f"#!/bin/sh\necho ran >> '{ran}'\n")
    os.chmod(stand_in, 0o755)
    d = Desktop(window_manager, path_first=tools.name)
    try:
        def open_about():
            d.focus(d.main_window())
            d.xdotool("key", "alt+a")
            assert wait_for(lambda: d.window(ABOUT) is not None, 10), "the About dialog did not open"
            d.focus(d.window(ABOUT))

        open_about()
        d.xdotool("key", "Return")  # OK has the focus when the dialog opens
        assert wait_for(lambda: d.window(ABOUT) is None, 5), "Enter on a fresh dialog did not press OK"
        assert wait_for(lambda: d.main_window() is not None, 5), "the main window did not come back"

        open_about()
        button = sysinfo_button(d)
        unfocused = d.grab(*button)
        d.xdotool("key", "Tab")
        time.sleep(0.5)
        assert d.grab(*button) != unfocused, "Tab to 系统信息 shows no focus mark on it"
        d.shot("about-sysinfo-focused-" + ("wm" if window_manager else "bare"))
        d.xdotool("key", "Return")
        assert wait_for(lambda: os.path.exists(ran), 5), "Enter on the focused 系统信息 button did not run it"
        time.sleep(0.5)
        assert d.window(ABOUT) is not None, "Enter on the focused 系统信息 button closed the dialog"
        d.xdotool("key", "Tab")  # back on OK
        time.sleep(0.3)
        d.xdotool("key", "Return")
        assert wait_for(lambda: d.window(ABOUT) is None, 5), "Enter on OK after a Tab round did not close the dialog"
        with open(ran) as f:
            assert f.read().count("ran") == 1, "the system information ran more than once"
    finally:
        d.close()
        tools.cleanup()


def keyboard_after_the_start_up_question(window_manager):
    """Declining the launch leaves the keyboard in the main window: typed
    digits land in the diameter list, which has the focus at start-up."""
    d = Desktop(window_manager, cad_running=False)
    try:
        assert wait_for(lambda: d.window("AutoCAD") is not None, 30), "tessik did not offer to start the CAD program"
        d.focus(d.window("AutoCAD"))
        d.xdotool("key", "Escape")
        assert wait_for(lambda: d.window("AutoCAD") is None, 5), "Esc did not close the question"
        main = d.main_window()
        assert main is not None, "the main window vanished"
        assert wait_for(lambda: d.xdotool("getwindowfocus").strip() == main, 5), \
            "the main window has no keyboard focus after the question closed"
        # The diameter list: 960, 240 twips in the input frame at 120, 120,
        # below the menu bar; 1215 x 300 twips.
        x, y = corner(d, main)
        field = (x + 72, y + 45, 81, 20)
        before = d.grab(*field)
        d.xdotool("type", "--delay", "50", "219")
        time.sleep(0.5)
        d.shot("after-question-" + ("wm" if window_manager else "bare"))
        assert d.grab(*field) != before, "the typed digits did not reach the diameter list"
        # A box asked over the main window gives the keyboard back as well.
        d.xdotool("key", "alt+d")
        assert wait_for(lambda: d.xdotool("getwindowfocus").strip() not in ("", main), 5), "Alt+D showed no box"
        d.xdotool("key", "Return")
        assert wait_for(lambda: d.xdotool("getwindowfocus").strip() == main, 5), \
            "the main window has no keyboard focus after a box it asked closed"
    finally:
        d.close()


def read_to_end(stream, ends, key):
    stream.read()
    ends[key] = time.monotonic()


def quit_after_starting_the_cad(window_manager):
    """Quit ends the program at once, its output included, while the
    tessik-cad it started keeps running; read as a script reads it, by pipes."""
    d = Desktop(window_manager, cad_running=False, pipes=True)
    cad_pid = None
    try:
        ends = {}
        readers = [threading.Thread(target=read_to_end, args=(stream, ends, name), daemon=True)
                   for name, stream in (("stdout", d.tessik.stdout), ("stderr", d.tessik.stderr))]
        for r in readers:
            r.start()
        assert wait_for(lambda: d.window("AutoCAD") is not None, 30), "tessik did not offer to start the CAD program"
        d.focus(d.window("AutoCAD"))
        d.xdotool("key", "Return")
        assert wait_for(lambda: d.window("Tessik CAD") is not None, 30), "tessik-cad did not come up"
        with open(d.socket_path + ".lock") as f:
            cad_pid = int(f.readline())
        d.focus(d.main_window())
        quit_at = time.monotonic()
        d.xdotool("key", "alt+q")
        assert wait_for(lambda: d.tessik.poll() is not None, 5, 0.005), "Quit did not end the program"
        lived = time.monotonic() - quit_at
        for r in readers:
            r.join(5)
        assert lived < 1.0, f"the process lived {lived:.2f} s after Quit"
        assert len(ends) == 2, "the program's output stayed open after it ended (held by tessik-cad)"
        closed = max(ends.values()) - quit_at
        assert closed < 1.0, f"the program's output closed {closed:.2f} s after Quit"
        os.kill(cad_pid, 0)  # tessik-cad runs on
        print(f"  Quit to exit {lived:.3f} s, to the end of its output {closed:.3f} s")
    finally:
        if cad_pid:
            try:
                os.kill(cad_pid, 9)
            except ProcessLookupError:
                pass
        d.close()


def main():
    failures = []
    modes = [False] + ([True] if shutil.which("openbox") else [])
    scenarios = [("esc with a list open", esc_with_a_list_open),
                 ("Enter and Tab in the About dialog", about_enter_and_tab),
                 ("quit after starting the CAD program", quit_after_starting_the_cad),
                 ("keyboard after the start-up question", keyboard_after_the_start_up_question)]
    for window_manager in modes:
        name = "with a window manager" if window_manager else "on a bare X server"
        for title, scenario in scenarios:
            try:
                scenario(window_manager)
                print(f"PASS {title}, {name}")
            except AssertionError as e:
                failures.append(f"{title}, {name}: {e}")
                print(f"FAIL {title}, {name} - {e}")
    if not shutil.which("openbox"):
        print("SKIP the run under a window manager: openbox is not installed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
