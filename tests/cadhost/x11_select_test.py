#!/usr/bin/env python3
"""Selecting with a real mouse on a real X server (Xvfb), through xdotool.

Usage: x11_select_test.py TESSIK_CAD

Starts a private Xvfb and a tessik-cad on a private socket, draws three lines
through the socket, learns where the drawing lies on the screen from two
clicks answering GetPoint, then clicks one line, boxes another (left to
right), crosses the third (right to left), pressing Delete after each, and
undoes the last erase with Ctrl+Z. What got erased is read back through the
socket.
"""
import json
import os
import socket
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from x11_session import XSession, wait_for  # noqa: E402

TESSIK_CAD = sys.argv[1]
ERASED = -2145386420


class Client:
    def __init__(self, path):
        self.sock = socket.socket(socket.AF_UNIX)
        self.sock.connect(path)
        self.stream = self.sock.makefile("rwb")
        self.next_id = 0

    def send(self, method, target, member, **params):
        self.next_id += 1
        params.update(target=target, member=member)
        self.stream.write(json.dumps({"jsonrpc": "2.0", "id": self.next_id, "method": method,
                                      "params": params}).encode() + b"\n")
        self.stream.flush()

    def reply(self):
        return json.loads(self.stream.readline())

    def rpc(self, method, target, member, **params):
        self.send(method, target, member, **params)
        return self.reply()


def main():
    with XSession() as x:
        x.start([TESSIK_CAD, "--automation"])
        x.wait_for_socket()
        run(x.env, x.socket_path)


def shown_window(env, sock_path):
    """A client of tessik-cad, its window shown, and xdotool on its display."""
    def xdotool(*args):
        return subprocess.run(["xdotool", *args], env=env, capture_output=True, text=True, check=True).stdout

    c = Client(sock_path)
    c.rpc("set", 0, "Visible", value=True)
    assert wait_for(lambda: subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "Tessik CAD"],
                                           env=env, capture_output=True).returncode == 0, 10), "no window"
    return c, xdotool


def run(env, sock_path):
    c, xdotool = shown_window(env, sock_path)
    time.sleep(0.5)
    doc = c.rpc("get", 0, "ActiveDocument")["result"]["handle"]
    model = c.rpc("get", doc, "ModelSpace")["result"]["handle"]
    util = c.rpc("get", doc, "Utility")["result"]["handle"]
    lines = [c.rpc("call", model, "AddLine", args=[[0, y, 0], [100, y, 0]])["result"]["handle"] for y in (0, 50, 100)]
    c.rpc("call", 0, "ZoomExtents", args=[])
    time.sleep(0.5)

    # Where world points are on the screen: two picks by real clicks.
    window = xdotool("search", "--onlyvisible", "--name", "Tessik CAD").split()[0]
    geometry = dict(line.strip().split(": ", 1) for line in xdotool("getwindowgeometry", window).splitlines()[1:])
    wx, wy = (int(v) for v in geometry["Position"].split(" ")[0].split(","))
    ww, wh = (int(v) for v in geometry["Geometry"].split("x"))
    picks = []
    for sx, sy in ((wx + ww // 2 - 100, wy + wh // 2 - 80), (wx + ww // 2 + 100, wy + wh // 2 + 80)):
        c.send("call", util, "GetPoint", args=[None, "校准"])
        time.sleep(0.2)
        xdotool("mousemove", str(sx), str(sy), "click", "1")
        picked = c.reply()
        assert "result" in picked, picked
        picks.append(((sx, sy), picked["result"]))
    (s0, p0), (s1, p1) = picks
    kx = (s1[0] - s0[0]) / (p1[0] - p0[0])
    ky = (s1[1] - s0[1]) / (p1[1] - p0[1])
    assert kx > 0 and ky < 0, "world y should point up"

    def screen(x, y):
        return str(round(s0[0] + (x - p0[0]) * kx)), str(round(s0[1] + (y - p0[1]) * ky))

    def erased(handle):
        return c.rpc("get", handle, "StartPoint").get("error", {}).get("code") == ERASED

    def count():
        return c.rpc("get", model, "Count")["result"]

    def box(frm, to):
        xdotool("mousemove", *screen(*frm), "mousedown", "1")
        mid = ((frm[0] + to[0]) / 2, (frm[1] + to[1]) / 2)
        xdotool("mousemove", *screen(*mid))
        xdotool("mousemove", *screen(*to))
        xdotool("mouseup", "1")

    # A click 3 pixels off the first line.
    x, y = screen(50, 0)
    xdotool("mousemove", x, str(int(y) + 3), "click", "1")
    xdotool("key", "Delete")
    assert wait_for(lambda: erased(lines[0]), 3), "the clicked line was not erased"
    assert not erased(lines[1]) and not erased(lines[2])

    box((-5, 45), (105, 55))  # a window round the second line
    xdotool("key", "Delete")
    assert wait_for(lambda: erased(lines[1]), 3), "the boxed line was not erased"
    assert not erased(lines[2])

    box((40, 90), (-5, 105))  # leftwards: a crossing over the third line's left part
    xdotool("key", "Delete")
    assert wait_for(lambda: erased(lines[2]), 3), "the crossed line was not erased"
    assert count() == 0

    xdotool("key", "ctrl+z")
    assert wait_for(lambda: not erased(lines[2]), 3), "Ctrl+Z did not restore the last erase"
    assert count() == 1 and erased(lines[1])
    print("ok: click, window, crossing, Delete and Ctrl+Z with a real mouse")


if __name__ == "__main__":
    main()
