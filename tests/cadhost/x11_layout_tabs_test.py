#!/usr/bin/env python3
"""The model and layout tabs clicked with a real mouse on a real X server
(Xvfb, bare and under openbox), through xdotool.

Usage: x11_layout_tabs_test.py TESSIK_CAD

tessik-cad on a private socket gets a horizontal line in model space and a
vertical one in paper space. The tabs are found on a screen capture: the
glyphs of their names, just under the drawing area. A click on the second
tab shows the vertical line alone; a model-space line added then changes
nothing on the screen, a paper-space one appears; a click on the first tab
brings the model back, and Ctrl+PgDn and Ctrl+PgUp switch as the tabs do.
On the layout a click selects its vertical line, Delete erases it and
Ctrl+Z brings it back.
"""
import os
import re
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from x11_session import XSession, wait_for  # noqa: E402
from x11_select_test import shown_window  # noqa: E402

TESSIK_CAD = sys.argv[1]
BACKGROUND = bytes((33, 40, 48))  # the drawing area's
INK = (235, 235, 235)  # entities
LINE = 100  # pixels of ink in one row or column that make a line


class Screen:
    def __init__(self, env):
        ppm = subprocess.run(["import", "-window", "root", "-depth", "8", "ppm:-"], env=env, capture_output=True, check=True).stdout
        m = re.match(rb"P6\s+(\d+)\s+(\d+)\s+255\s", ppm)
        assert m, "the capture is not a PPM image"
        self.width, self.height = int(m.group(1)), int(m.group(2))
        self.data = ppm[m.end():]

    def pixel(self, x, y):
        i = 3 * (y * self.width + x)
        return tuple(self.data[i:i + 3])

    def row(self, y):
        return self.data[3 * y * self.width:3 * (y + 1) * self.width]

    def view(self):
        """left, top, right, bottom of the drawing area (its background colour)."""
        rows = [y for y in range(self.height) if BACKGROUND in self.row(y)]
        assert rows, "no drawing area on the screen"
        middle = self.row((rows[0] + rows[-1]) // 2)
        xs = [x for x in range(self.width) if middle[3 * x:3 * x + 3] == BACKGROUND]
        return xs[0], rows[0], xs[-1], rows[-1]

    def lines(self, view):
        """Whether the drawing area shows a horizontal and a vertical line."""
        left, top, right, bottom = view
        inked = [[self.pixel(x, y) == INK for x in range(left, right + 1)] for y in range(top, bottom + 1)]
        horizontal = any(sum(r) > LINE for r in inked)
        vertical = any(sum(column) > LINE for column in zip(*inked))
        return horizontal, vertical

    def vertical_point(self, view):
        """A point a quarter down the vertical line's ink."""
        left, top, right, bottom = view
        for x in range(left, right + 1):
            ys = [y for y in range(top, bottom + 1) if self.pixel(x, y) == INK]
            if len(ys) > LINE:
                return x, ys[len(ys) // 4]
        raise AssertionError("no vertical line on the screen")

    def region(self, view):
        left, top, right, bottom = view
        return [self.row(y)[3 * left:3 * (right + 1)] for y in range(top, bottom + 1)]

    def tabs(self, view):
        """Centres of the tab names: dark glyphs in the strip under the view."""
        left, _, _, bottom = view
        dark = [(x, y) for y in range(bottom + 1, min(bottom + 22, self.height))
                for x in range(left, min(left + 400, self.width)) if sum(self.pixel(x, y)) < 300]
        clusters = []
        for x in sorted({x for x, _ in dark}):
            if clusters and x - clusters[-1][-1] <= 10:
                clusters[-1].append(x)
            else:
                clusters.append([x])
        y = round(sum(y for _, y in dark) / max(1, len(dark)))
        return [((c[0] + c[-1]) // 2, y) for c in clusters]


def run(env, sock_path):
    c, xdotool = shown_window(env, sock_path)
    doc = c.rpc("get", 0, "ActiveDocument")["result"]["handle"]
    model = c.rpc("get", doc, "ModelSpace")["result"]["handle"]
    paper = c.rpc("get", doc, "PaperSpace")["result"]["handle"]
    c.rpc("call", model, "AddLine", args=[[0, 0, 0], [100, 0, 0]])
    c.rpc("call", paper, "AddLine", args=[[0, 0, 0], [0, 100, 0]])
    time.sleep(1)
    screen = Screen(env)
    view = screen.view()
    assert screen.lines(view) == (True, False), "the model tab should show the model's line only"
    tabs = screen.tabs(view)
    assert len(tabs) == 2, f"two tab names under the drawing area, found {len(tabs)}"

    xdotool("mousemove", *map(str, tabs[1]), "click", "1")
    assert wait_for(lambda: Screen(env).lines(view) == (False, True), 3), "the layout tab did not show paper space"
    before = Screen(env).region(view)
    c.rpc("call", model, "AddLine", args=[[-1000, 300, 0], [1000, 300, 0]])
    time.sleep(0.5)
    assert Screen(env).region(view) == before, "a model-space line changed the layout's picture"
    c.rpc("call", paper, "AddLine", args=[[-50, 50, 0], [50, 50, 0]])
    assert wait_for(lambda: Screen(env).lines(view) == (True, True), 3), "a paper-space line did not appear"

    # A click on the layout's vertical line selects it there; Delete erases
    # it from paper space, Ctrl+Z brings it back.
    count = lambda: c.rpc("get", paper, "Count")["result"]
    x, y = Screen(env).vertical_point(view)
    xdotool("mousemove", str(x), str(y), "click", "1")
    time.sleep(0.3)
    xdotool("key", "Delete")
    assert wait_for(lambda: count() == 1, 3), "a click and Delete on the layout did not erase its line"
    assert wait_for(lambda: Screen(env).lines(view) == (True, False), 3), "the erased line is still shown"
    xdotool("key", "ctrl+z")
    assert wait_for(lambda: count() == 2, 3), "Ctrl+Z did not bring the layout's line back"

    xdotool("mousemove", *map(str, tabs[0]), "click", "1")
    assert wait_for(lambda: Screen(env).lines(view)[0], 3), "the model tab did not bring the model back"

    # The keys do what the tabs do.
    xdotool("key", "ctrl+Next")
    assert wait_for(lambda: Screen(env).lines(view) == (True, True), 3), "Ctrl+PgDn did not show the layout"
    xdotool("key", "ctrl+Prior")
    assert wait_for(lambda: Screen(env).lines(view) == (True, False), 3), "Ctrl+PgUp did not show the model"


def session(window_manager):
    # The drawing left unsaved at the end is autosaved into the session's folder.
    with XSession(window_manager=window_manager) as x:
        x.start([TESSIK_CAD, "--automation"])
        x.wait_for_socket()
        run(x.env, x.socket_path)


def main():
    modes = {"on a bare X server": False}
    if shutil.which("openbox"):
        modes["with a window manager"] = True
    else:
        print("SKIP the run under a window manager: openbox is not installed")
    failed = 0
    for name, window_manager in modes.items():
        try:
            session(window_manager)
            print("PASS model and layout tabs,", name)
        except AssertionError as e:
            failed += 1
            print("FAIL model and layout tabs,", name, "-", e)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
