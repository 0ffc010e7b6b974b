"""A small client for tessik-cad's automation socket (docs/automation.md).

One JSON-RPC 2.0 request per line over a Unix socket; objects travel as
handles. The scripts use it to drive tessik-cad:

    cad = TessikCadClient(path, timeout=10, connect_wait=10)
    doc = cad.get(0, "ActiveDocument")["handle"]
    cad.call(space, "AddLine", [0, 0, 0], [10, 0, 0])

`timeout` bounds every wait for a reply (None: wait as long as it takes, as a
pick answered by a person needs); `connect_wait` is how long to keep trying to
connect while tessik-cad is still starting.
"""

import json
import os
import socket
import time


class CadError(Exception):
    """An error reply: `code` is the automation error number."""

    def __init__(self, code, message):
        super().__init__(f"{message} ({code})")
        self.code = code
        self.message = message


def default_socket_path():
    """The socket tessik-cad listens on for this user, as the tool finds it."""
    named = os.environ.get("TESSIK_CAD_SOCKET")
    if named:
        return named
    runtime = os.environ.get("XDG_RUNTIME_DIR")
    if runtime:
        return os.path.join(runtime, "tessik", "cad.sock")
    return f"/tmp/tessik-{os.getuid()}/cad.sock"


class TessikCadClient:
    def __init__(self, path=None, timeout=10.0, connect_wait=0.0):
        self.path = path or default_socket_path()
        self.timeout = timeout
        self._next_id = 0
        self._sock = self._connect(connect_wait)
        self._sock.settimeout(timeout)
        self._stream = self._sock.makefile("rwb")

    def _connect(self, wait):
        deadline = time.monotonic() + wait
        while True:
            sock = socket.socket(socket.AF_UNIX)
            try:
                sock.connect(self.path)
                return sock
            except OSError:
                sock.close()
                if time.monotonic() >= deadline:
                    raise
                time.sleep(0.1)

    def send(self, method, target, member, **params):
        """Sends one request without reading its reply; returns its id."""
        self._next_id += 1
        params.update(target=target, member=member)
        line = {"jsonrpc": "2.0", "id": self._next_id, "method": method, "params": params}
        self._stream.write(json.dumps(line).encode() + b"\n")
        self._stream.flush()
        return self._next_id

    def reply(self):
        """The next reply's result; an error reply raises CadError."""
        line = self._stream.readline()
        if not line:
            raise ConnectionError("tessik-cad closed the connection")
        reply = json.loads(line)
        if "error" in reply:
            raise CadError(reply["error"].get("code"), reply["error"].get("message", ""))
        return reply.get("result")

    def request(self, method, target, member, **params):
        self.send(method, target, member, **params)
        return self.reply()

    def get(self, target, member):
        return self.request("get", target, member)

    def set(self, target, member, value):
        return self.request("set", target, member, value=value)

    def call(self, target, member, *args):
        return self.request("call", target, member, args=list(args))

    def close(self):
        self._stream.close()
        self._sock.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
