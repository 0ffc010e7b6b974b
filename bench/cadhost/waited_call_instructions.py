#!/usr/bin/env python3
"""Instructions tessik-cad spends per waited AddLine call, under callgrind.

    python3 bench/cadhost/waited_call_instructions.py build/src/cadhost/tessik-cad [calls]

Runs tessik-cad (offscreen, on a private socket) under valgrind's callgrind
twice: once answering `calls` waited AddLine calls (each sent when the last
is answered) and once answering none; the difference of the two totals over
`calls` is the whole process's cost of a call. Also prints, per call, what
the answer of a request line (AutomationConnection::handleLine) costs
inclusive, and how much of that is reading it (parseRequest) and the
drawing's own adding of the entity (CadSession::addEntity). Instruction
counts do not depend on the machine's load, so old and new builds compare
on a busy machine; the look-ahead spin around each request adds some
run-to-run noise to the totals, none to handleLine.
"""
import os
import re
import socket
import subprocess
import sys
import tempfile
import time


def run(exe, calls, out):
    folder = tempfile.mkdtemp()
    path = os.path.join(folder, "cad.sock")
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", TESSIK_CAD_SOCKET=path,
               XDG_STATE_HOME=os.path.join(folder, "state"))
    process = subprocess.Popen(["valgrind", "--tool=callgrind", "--callgrind-out-file=" + out, exe, "--automation"],
                               env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        client = None
        for _ in range(600):
            try:
                client = socket.socket(socket.AF_UNIX)
                client.connect(path)
                break
            except OSError:
                client = None
                time.sleep(0.1)
        if client is None:
            sys.exit("tessik-cad did not start")
        lines = client.makefile("rb")

        def call(text):
            client.sendall(text.encode() + b"\n")
            return lines.readline()

        call('{"jsonrpc":"2.0","id":1,"method":"get","params":{"target":0,"member":"ActiveDocument"}}')
        reply = call('{"jsonrpc":"2.0","id":2,"method":"get","params":{"target":1,"member":"ModelSpace"}}')
        if b'"handle":2' not in reply:
            sys.exit("unexpected reply: %r" % reply)
        for i in range(calls):
            x = i % 1000
            reply = call('{"jsonrpc":"2.0","id":%d,"method":"call","params":{"target":2,"member":"AddLine",'
                         '"args":[[%d,0,0],[%d,10,0]]}}' % (i + 3, x, x))
            if b'"result"' not in reply:
                sys.exit("unexpected reply: %r" % reply)
        time.sleep(0.5)
        subprocess.run(["callgrind_control", "-d", str(process.pid)], stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=True)
        time.sleep(1)
    finally:
        process.kill()
        process.wait()
    dumps = [f for f in os.listdir(os.path.dirname(out) or ".") if f.startswith(os.path.basename(out) + ".")]
    return os.path.join(os.path.dirname(out), sorted(dumps)[-1])


def totals(dump):
    with open(dump) as f:
        for line in f:
            if line.startswith("totals:"):
                return int(line.split()[1])
    sys.exit("no totals in " + dump)


def inclusive(dump, function):
    text = subprocess.run(["callgrind_annotate", "--inclusive=yes", dump], capture_output=True, text=True).stdout
    for line in text.splitlines():
        if function in line and "=>" not in line:
            match = re.match(r"\s*([\d,]+)", line)
            if match:
                return int(match.group(1).replace(",", ""))
    return 0


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    exe = os.path.abspath(sys.argv[1])
    calls = int(sys.argv[2]) if len(sys.argv) > 2 else 20000
    folder = tempfile.mkdtemp()
    busy = run(exe, calls, os.path.join(folder, "busy.out"))
    idle = run(exe, 0, os.path.join(folder, "idle.out"))
    print("calls %d" % calls)
    print("process per call %.0f" % ((totals(busy) - totals(idle)) / calls))
    for name in ("AutomationConnection::handleLine", "tessik::cadhost::parseRequest", "CadSession::addEntity"):
        print("%s per call %.0f" % (name, inclusive(busy, name) / calls))


if __name__ == "__main__":
    main()
