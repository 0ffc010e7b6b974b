"""A private X session for the tests that type and click as a person does.

XSession starts an Xvfb of its own (the display number chosen by the server),
optionally openbox on it, and keeps an environment in which the programs the
test starts find that display and a tessik-cad socket in a temporary folder:

    with XSession(window_manager=True) as x:
        x.start([TESSIK_CAD, "--automation"], QT_QPA_PLATFORM="offscreen")
        x.wait_for_socket()
        x.xdotool("key", "Escape")

Everything started through start() is ended, and the server stopped, when
the session closes.
"""
import os
import subprocess
import tempfile
import time


def wait_for(predicate, seconds, interval=0.1):
    """Polls predicate until it holds or seconds have passed; its last answer."""
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if predicate():
            return True
        time.sleep(interval)
    return predicate()


class XSession:
    def __init__(self, window_manager=False, size="1280x1024x24"):
        self.tmp = tempfile.TemporaryDirectory()
        self.socket_path = os.path.join(self.tmp.name, "cad.sock")
        read, write = os.pipe()
        self.xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", size, "-nolisten", "tcp"],
                                     pass_fds=[write], stderr=subprocess.DEVNULL)
        os.close(write)
        with os.fdopen(read) as f:
            self.display = ":" + f.readline().strip()
        # Autosaves stay in the session's folder, never in the user's own.
        self.env = dict(os.environ, DISPLAY=self.display, LC_ALL="C.UTF-8", LANG="C.UTF-8",
                        TESSIK_CAD_SOCKET=self.socket_path, XDG_STATE_HOME=os.path.join(self.tmp.name, "state"))
        # The programs under test run on the X server, not offscreen.
        self.env.pop("QT_QPA_PLATFORM", None)
        self.processes = []
        if window_manager:
            self.start(["openbox"])
            time.sleep(1)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def start(self, command, cwd=None, **extra_env):
        """Starts a program in the session; extra_env adds to its environment."""
        p = subprocess.Popen(command, cwd=cwd, env=dict(self.env, **extra_env),
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.processes.append(p)
        return p

    def wait_for_socket(self, seconds=10):
        assert wait_for(lambda: os.path.exists(self.socket_path), seconds), "tessik-cad did not come up"

    def xdotool(self, *args, check=False):
        """Runs xdotool on this display and returns what it printed."""
        return subprocess.run(["xdotool", *args], env=self.env, capture_output=True, text=True, check=check).stdout

    def window(self, name):
        """The first visible window whose name matches the pattern, or None."""
        found = self.xdotool("search", "--onlyvisible", "--name", name).split()
        return found[0] if found else None

    def screenshot(self, path):
        subprocess.run(["import", "-display", self.display, "-window", "root", path], env=self.env, check=True)

    def close(self):
        # Asked to end first, so that a program removes its lock and socket.
        for p in reversed(self.processes):
            if p.poll() is None:
                p.terminate()
                try:
                    p.wait(5)
                except subprocess.TimeoutExpired:
                    p.kill()
            p.wait()
        self.xvfb.kill()
        self.xvfb.wait()
        self.tmp.cleanup()
