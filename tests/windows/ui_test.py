#!/usr/bin/env python3
"""tessik.exe under wine, driven through the X server as a person drives it.

    ui_test.py DIST FAKE_CAD WORK [--window-manager PROGRAM]

Runs in the wine prefix of the environment (WINEPREFIX, a running
wineserver, DISPLAY an X server of the caller's; the fake CAD registered
there with /regserver). Keys and typing go through xdotool as real X events
(XTEST) to whatever window has the keyboard, never to a named window, so keys
that reach the wrong window fail the test as they would fail a person. On a
bare X server the focus is PointerRoot: the pointer is moved onto the window
to type in, and wine hands the keys to its active window. Under a window
manager the manager decides who has the keyboard; where it leaves it with the
CAD (a window shown or clicked there), the test clicks as a person would and
says so in a "note" line.

Two sessions, each in a fresh folder under WORK holding tessik.exe and the
data files:
  launch: no CAD runs; the start-up question is answered OK with Enter, COM
    starts the fake CAD (FAKE_CAD, told what to do through
    TESSIK_FAKECAD_ARGS); the four fields are typed, Alt+D draws the front
    view, the pick is typed into the CAD's window, and Tessik quits because
    the quit option was left in its grayed state.
  attach: the fake CAD already runs as the running object, so no question
    comes; Alt+H clears the quit option, Alt+R picks the right view, Alt+D
    draws, and Tessik stays and takes the keyboard back: Alt+Q ends it.
What the CAD received must equal the entities tessik-elbow.exe computes for
the same design and point, and hold the counts the drawing rules give.
Screenshots of the main window are written to WORK for a person to look at.
Exit status 0 when every check holds.
"""
import argparse
import json
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import time

failures = []
DATA_FILES = ("book.ini", "gbhd.ini", "zjxl.ini")
MAIN_TITLE = "Tessik"
QUESTION_TITLE = "启动AutoCAD"
CAD_TITLE = "Tessik FakeCAD - [Drawing1.dwg]"
PROMPT = "请输入第一点"


class Failed(Exception):
    pass


def check(condition, what):
    print(("  ok   " if condition else "  FAIL ") + what, flush=True)
    if not condition:
        failures.append(what)
    return condition


def xdotool(*args, timeout=20):
    r = subprocess.run(["xdotool", *args], capture_output=True, timeout=timeout)
    return r.stdout.decode("utf-8", "replace").strip() if r.returncode == 0 else None


def windows_named(title):
    pattern = "".join("\\" + c if c in "\\^$.|?*+()[]{}" else c for c in title)
    found = xdotool("search", "--onlyvisible", "--name", "^%s$" % pattern)
    return found.split() if found else []


def wait_for(what, probe, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = probe()
        if value:
            return value
        time.sleep(0.2)
    raise Failed("%s within %d s" % (what, seconds))


def window(title, seconds=60):
    return wait_for('no window "%s"' % title, lambda: (windows_named(title) or [None])[0], seconds)


POINTER_ROOT = ("0", "1")  # XGetInputFocus's None and PointerRoot


def geometry(win):
    """x, y, width, height of the window on the screen (xwininfo is right
    under a reparenting window manager, where xdotool's position is not)."""
    r = subprocess.run(["xwininfo", "-id", str(win)], capture_output=True, timeout=10)
    values = {}
    for line in r.stdout.decode("utf-8", "replace").splitlines():
        key, _, value = line.strip().partition(":")
        values[key] = value.strip()
    try:
        return tuple(int(values[k]) for k in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"))
    except (KeyError, ValueError):
        return None


def focused_window():
    return xdotool("getwindowfocus", "-f")


def keyboard_is_in(win):
    f = focused_window()
    if f == win:
        return True
    if not f or f in POINTER_ROOT:
        return False
    # A child of the top-level window: wine's client window.
    tree = subprocess.run(["xwininfo", "-id", f, "-children"], capture_output=True, timeout=10).stdout
    return ("Parent window id: 0x%x" % int(win)).encode() in tree


def keyboard_in(win, what, click_at=None, why=""):
    """Waits until keys typed now reach `win` (`what` names it). Under a window
    manager the X focus must come to it (or a window inside it) by the
    programs' own doing; where the manager leaves it elsewhere (the CAD's
    window was shown, or a person clicked in it, and the manager refuses a
    program that takes the focus back) and `click_at` is given, a person
    clicks there, which is said in a note. On a bare X server the focus stays
    PointerRoot and keys go to the window under the pointer, so the pointer is
    moved onto the window, as a person at such a display does; wine then
    hands them to its active window."""
    def focused():
        if focused_window() in POINTER_ROOT:
            g = geometry(win)
            if not g:
                return False
            xdotool("mousemove", "--window", win, str(g[2] // 2), str(g[3] - 4))
            time.sleep(0.3)
            return True
        return keyboard_is_in(win)
    try:
        wait_for("the keyboard in %s" % what, focused, 3 if click_at else 15)
        return
    except Failed:
        if not click_at:
            raise
    print("  note the keyboard stayed out of %s %s; a person clicks it" % (what, why))
    xdotool("mousemove", "--window", win, str(click_at[0]), str(click_at[1]), "click", "1")
    wait_for("the keyboard in %s after a click" % what, focused, 15)


def status_line(win):
    g = geometry(win)
    return (g[2] // 2, g[3] - 4) if g else (200, 240)


def keys(*names):
    xdotool("key", "--delay", "120", *names)
    time.sleep(0.3)


def type_text(text):
    xdotool("type", "--delay", "80", "--", text)
    time.sleep(0.3)


def replace_field(text):
    """Replaces the text of the field that has the keyboard, as a person does."""
    keys("End", "shift+Home")
    type_text(text)


def screenshot(win, path):
    g = geometry(win)
    if not check(g is not None, "the geometry of window %s for %s" % (win, path.name)):
        return
    subprocess.run(["import", "-window", "root", "-crop", "%dx%d+%d+%d" % (g[2], g[3], g[0], g[1]), "+repage",
                    str(path)], timeout=30, check=False)
    check(path.is_file() and path.stat().st_size > 0, "screenshot %s (%dx%d pixels)" % (path, g[2], g[3]))


def read_log(path):
    try:
        return path.read_text("utf-8", "replace").splitlines()
    except FileNotFoundError:
        return []


def drawn_entities(lines):
    """The entities the CAD received, in tessik-elbow's JSON terms."""
    out = []
    for line in lines:
        w = line.split()
        if not w:
            continue
        v = [float(x) for x in w[1:]] if w[0] in ("AddLine", "AddArc", "AddEllipse", "StartAngle", "EndAngle") \
            else None
        if w[0] == "AddLine":
            out.append({"type": "line", "start": v[0:3], "end": v[3:6]})
        elif w[0] == "AddArc":
            out.append({"type": "arc", "center": v[0:3], "radius": v[3], "startAngle": v[4], "endAngle": v[5]})
        elif w[0] == "AddEllipse":
            out.append({"type": "ellipse", "center": v[0:3], "majorAxis": v[3:6], "ratio": v[6]})
        elif w[0] in ("StartAngle", "EndAngle"):
            out[int(v[0])][w[0][0].lower() + w[0][1:]] = v[1]
    return out


def expected_entities(dist, work, design, view, point):
    args = ["--angle", design["angle"], "--segments", design["segments"], "--diameter", design["diameter"],
            "--radius", design["radius"], "--view", view, "--at=" + ",".join(point)]
    with tempfile.TemporaryFile() as out:
        r = subprocess.run(["wine", str(dist / "tessik-elbow.exe"), *args], cwd=work, stdout=out,
                           stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL, timeout=120)
        out.seek(0)
        text = out.read().decode("utf-8")
    if r.returncode != 0:
        raise Failed("tessik-elbow.exe %s ended with %d" % (" ".join(args), r.returncode))
    return [{k: (list(map(float, e[k])) if isinstance(e[k], list) else e[k]) for k in e}
            for e in json.loads(text)["entities"]]


class Session:
    """One run of tessik.exe in a folder of its own, and what it started."""

    def __init__(self, name, dist, fake_cad, work):
        self.name = name
        self.dist = dist
        self.fake_cad = fake_cad
        self.folder = work / name / "设计 文件夹"
        shutil.rmtree(work / name, ignore_errors=True)
        self.folder.mkdir(parents=True)
        for f in ("tessik.exe",) + DATA_FILES:
            shutil.copy(dist / f, self.folder / f)
        self.log = work / name / "fake-cad.log"
        self.processes = []

    def windows_path(self, path):
        r = subprocess.run(["winepath", "-w", str(path)], capture_output=True, timeout=60)
        return r.stdout.decode("utf-8").strip()

    def fake_args(self):
        return "--pick-window --lifetime 240 --log \"%s\"" % self.windows_path(self.log)

    def start_fake_cad(self):
        self.processes.append(subprocess.Popen(
            ["wine", str(self.fake_cad), "--pick-window", "--lifetime", "240", "--log", self.windows_path(self.log)],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL))
        wait_for("the fake CAD ready", lambda: "ready" in read_log(self.log), 60)

    def start_tessik(self, launch_args):
        env = dict(os.environ)
        if launch_args:
            env["TESSIK_FAKECAD_ARGS"] = launch_args
        self.tessik = subprocess.Popen(["wine", "tessik.exe"], cwd=self.folder, env=env, stdout=subprocess.DEVNULL,
                                       stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
        self.processes.append(self.tessik)

    def exited(self, seconds):
        try:
            self.tessik.wait(timeout=seconds)
            return True
        except subprocess.TimeoutExpired:
            return False

    def close(self):
        # The CAD ends through its message loop, so that wine's COM forgets
        # its class; by the ids it logged, since COM may have started it.
        for line in read_log(self.log):
            w = line.split()
            if len(w) == 3 and w[0] == "start":
                subprocess.run(["wine", str(self.fake_cad), "--stop", w[1], w[2]], capture_output=True, timeout=60)
        for p in self.processes:
            if p.poll() is None:
                p.kill()
                p.wait(timeout=30)


def type_design(design):
    """The four fields, in the keyboard order from the first one."""
    replace_field(design["diameter"])  # 外径, CmbWJ: leaving it proposes a radius and segments
    keys("Tab")
    replace_field(design["angle"])     # 角度, CmbHd
    keys("Tab")
    replace_field(design["radius"])    # 曲率半径, TxtWJ
    keys("Tab")
    replace_field(design["segments"])  # 中节数, TxtZJS


def pick_in_cad(session, point):
    """Types the point at the CAD's prompt once it asks, and waits for the drawing."""
    cad = window(CAD_TITLE, 30)
    wait_for("the CAD's prompt", lambda: "pick window waiting" in read_log(session.log), 30)
    # A person picks with the mouse anyway: here in the CAD's command field.
    keyboard_in(cad, "the CAD's window", click_at=(200, 53), why="at the pick")
    type_text(",".join(point))
    keys("Return")
    wait_for("the drawing's end", lambda: "EndUndoMark" in read_log(session.log), 60)


def check_drawing(session, design, view, point):
    lines = read_log(session.log)
    drawn = drawn_entities(lines)
    expected = expected_entities(session.dist, session.folder, design, view, point)
    check(any(l == "GetPoint nobase " + PROMPT for l in lines), "the pick asked with its prompt and no base point")
    check(any(l.startswith("picked ") and [float(x) for x in l.split()[1:]] == [float(p) for p in point]
              for l in lines), "the CAD took the typed point %s" % ",".join(point))
    if not check(drawn == expected, "the CAD received the %d entities tessik-elbow computes for %s (got %d)"
                 % (len(expected), view, len(drawn))):
        for k, (a, b) in enumerate(zip(drawn, expected)):
            if a != b:
                print("    first difference at entity %d:\n      drawn    %s\n      expected %s" % (k, a, b))
                break
    n = int(design["segments"])
    kinds = [e["type"] for e in drawn]
    if view == "front":
        check(kinds.count("line") == 3 * n + 7 and kinds.count("arc") == 1 and kinds[-1] == "arc",
              "front view: 3n+7 lines and then one arc (n=%d)" % n)
    else:
        check(kinds.count("ellipse") in (n + 1, n + 2) and kinds.count("line") in (2, 3),
              "side view: n+1 or n+2 ellipses and 2 or 3 lines (n=%d)" % n)
    check(all(v == 0.0 for e in drawn for k in ("start", "end", "center") if k in e for v in e[k][2:3]),
          "every entity lies in the plane z = 0")
    check(lines.count("StartUndoMark") == 1 and lines.count("EndUndoMark") == 1, "one undo step around the elbow")


def launch_session(args, work, wm):
    """No CAD running: the question, OK, the launch, a drawing, the quit."""
    s = Session("launch" + wm, args.dist, args.fake_cad, work)
    design = {"angle": "90", "segments": "2", "diameter": "219", "radius": "350"}
    point = ["10.25", "-20.5", "25"]
    try:
        s.start_tessik(s.fake_args())
        question = window(QUESTION_TITLE)
        keyboard_in(question, "the start-up question")
        screenshot(question, work / ("question%s.png" % wm))
        keys("Return")  # OK is the default button
        wait_for("the fake CAD started through COM", lambda: "ready" in read_log(s.log), 60)
        main = window(MAIN_TITLE)
        wait_for("the CAD's drawing taken", lambda: "get Utility" in read_log(s.log), 30)
        time.sleep(1.0)  # the lists are filled after the connection
        keyboard_in(main, "the main window", click_at=status_line(main), why="once the CAD's window was shown")
        type_design(design)
        screenshot(main, work / ("main-typed%s.png" % wm))
        keys("alt+d")
        pick_in_cad(s, point)
        check(s.exited(60), "Tessik ended after the drawing: the quit option was left grayed")
        if s.tessik.returncode is not None:
            check(s.tessik.returncode == 0, "Tessik's exit status is 0 (got %s)" % s.tessik.returncode)
        check_drawing(s, design, "front", point)
        check("ready" in read_log(s.log) and "quit" not in read_log(s.log), "the CAD is left running")
    except Failed as e:
        check(False, "%s: %s" % (s.name, e))
        print("    the CAD's log:\n      " + "\n      ".join(read_log(s.log)[-15:]))
    finally:
        s.close()


def attach_session(args, work, wm):
    """The CAD runs: no question; a drawing with the quit option cleared."""
    s = Session("attach" + wm, args.dist, args.fake_cad, work)
    design = {"angle": "60", "segments": "1", "diameter": "325", "radius": "500"}
    point = ["-100", "40.5"]
    try:
        s.start_fake_cad()
        s.start_tessik(None)
        main = window(MAIN_TITLE)
        wait_for("the running CAD's drawing taken", lambda: "get Utility" in read_log(s.log), 30)
        time.sleep(1.0)
        keyboard_in(main, "the main window", click_at=status_line(main), why="once the CAD's window was shown")
        check(not windows_named(QUESTION_TITLE), "no start-up question while the CAD runs")
        type_design(design)
        keys("alt+h")  # grayed -> clear
        keys("alt+r")  # the right view
        screenshot(main, work / ("main-right%s.png" % wm))
        keys("alt+d")
        pick_in_cad(s, point)
        check(not s.exited(5), "Tessik stays after the drawing: the quit option was cleared")
        check(bool(windows_named(MAIN_TITLE)), "the main window is back")
        keyboard_in(main, "the main window", click_at=status_line(main), why="after the drawing")
        check_drawing(s, design, "right", point + ["0"])
        keys("alt+q")
        check(s.exited(30), "Alt+Q ends Tessik")
    except Failed as e:
        check(False, "%s: %s" % (s.name, e))
        print("    the CAD's log:\n      " + "\n      ".join(read_log(s.log)[-15:]))
    finally:
        s.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("dist", type=pathlib.Path)
    parser.add_argument("fake_cad", type=pathlib.Path)
    parser.add_argument("work", type=pathlib.Path)
    parser.add_argument("--window-manager")
    args = parser.parse_args()
    args.dist, args.fake_cad, work = args.dist.resolve(), args.fake_cad.resolve(), args.work.resolve()
    work.mkdir(parents=True, exist_ok=True)
    wm_process = None
    wm = ""
    if args.window_manager:
        wm = "-" + pathlib.Path(args.window_manager).name
        wm_process = subprocess.Popen([args.window_manager], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(1.5)
    r = subprocess.run(["wine", str(args.fake_cad), "/regserver"], capture_output=True, timeout=120)
    if not check(r.returncode == 0, "the fake CAD registered in the prefix"):
        return 1
    print("tessik.exe driven through X%s" % (" under " + args.window_manager if wm else ", no window manager"))
    try:
        launch_session(args, work, wm)
        attach_session(args, work, wm)
    finally:
        if wm_process:
            wm_process.terminate()
            wm_process.wait(timeout=10)
    print("%d failures" % len(failures) if failures else "every check holds")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
