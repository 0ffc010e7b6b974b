#!/usr/bin/env python3
"""The template PDF in Chromium's own PDF viewer (PDFium), headless.

Chromium runs headless with a DevTools port; the PDF is opened full width
without the toolbar, and the view is captured over the DevTools protocol
(a plain --screenshot catches only the viewer's empty frame). On the
capture, the page is found as the white rectangle on the viewer's dark
background; the title 下料表 (6 mm high at 14 mm, 18 mm from the top-left
corner) must have ink in each of its three character cells, the cells must
differ (no boxes for missing glyphs), and the tile frame's left edge, 8 mm in,
must be where the page's width puts it.

usage: template_pdf_chromium_check.py TESSIK_ELBOW
"""
import base64
import json
import os
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import time
import urllib.request

VIEW_WIDTH, VIEW_HEIGHT = 1000, 1400
PAGE_WIDTH_MM = 210


class DevTools:
    """Just enough of a WebSocket client for DevTools calls (RFC 6455)."""

    def __init__(self, url):
        hostport, path = url[len("ws://"):].split("/", 1)
        host, port = hostport.split(":")
        self.sock = socket.create_connection((host, int(port)), timeout=60)
        key = base64.b64encode(os.urandom(16)).decode()
        self.sock.sendall(("GET /%s HTTP/1.1\r\nHost: %s\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                           "Sec-WebSocket-Key: %s\r\nSec-WebSocket-Version: 13\r\n\r\n" % (path, hostport, key)).encode())
        head = b""
        while b"\r\n\r\n" not in head:
            head += self._exactly(1)
        if b" 101 " not in head.split(b"\r\n")[0]:
            raise RuntimeError("no WebSocket: %r" % head)
        self.next_id = 0

    def _exactly(self, n):
        data = b""
        while len(data) < n:
            chunk = self.sock.recv(n - len(data))
            if not chunk:
                raise EOFError("DevTools closed the connection")
            data += chunk
        return data

    def _send(self, text):
        data, mask = text.encode(), os.urandom(4)
        n = len(data)
        size = bytes([0x80 | n]) if n < 126 else bytes([0x80 | 126]) + struct.pack(">H", n)
        self.sock.sendall(bytes([0x81]) + size + mask + bytes(b ^ mask[i % 4] for i, b in enumerate(data)))

    def _receive(self):
        message = b""
        while True:
            first, second = self._exactly(2)
            n = second & 0x7F
            if n == 126:
                n = struct.unpack(">H", self._exactly(2))[0]
            elif n == 127:
                n = struct.unpack(">Q", self._exactly(8))[0]
            message += self._exactly(n)
            if first & 0x80:
                return json.loads(message.decode())

    def call(self, method, **params):
        self.next_id += 1
        self._send(json.dumps({"id": self.next_id, "method": method, "params": params}))
        while True:
            reply = self._receive()
            if reply.get("id") == self.next_id:
                if "error" in reply:
                    raise RuntimeError("%s: %s" % (method, reply["error"]))
                return reply["result"]


def grey(png, workdir):
    """The capture as (width, height, bytes) through ImageMagick."""
    path = os.path.join(workdir, "capture.png")
    with open(path, "wb") as f:
        f.write(png)
    data = subprocess.run(["convert", path, "-colorspace", "Gray", "-depth", "8", "pgm:-"], check=True,
                          capture_output=True).stdout
    parts = data.split(maxsplit=4)
    width, height = int(parts[1]), int(parts[2])
    return width, height, parts[4][:width * height]


def page_box(image):
    """Left, right and top of the white page: between the viewer's dark
    background (and shadow) on either side of the middle row."""
    width, height, pixels = image
    row = height // 2
    line = pixels[row * width:(row + 1) * width]
    dark = [x for x in range(width) if line[x] < 60 and all(v < 60 for v in line[x:x + 4])]
    inside = [x for x in range(width) if line[x] > 240]
    if not dark or not inside:
        return None
    left = next((x for x in inside if x > dark[0]), None)
    right_dark = next((x for x in dark if left is not None and x > left), None)
    if left is None or right_dark is None:
        return None
    right = max(x for x in inside if x < right_dark)
    if right - left < width // 2:
        return None
    column = (left + right) // 2
    top = next((y for y in range(height) if pixels[y * width + column] > 240), None)
    return left, right, top


def capture(pdf, workdir):
    profile = tempfile.mkdtemp(prefix="profile-", dir=workdir)
    chromium = subprocess.Popen([shutil.which("chromium"), "--headless", "--no-sandbox", "--disable-gpu",
                                 "--remote-debugging-port=0", "--user-data-dir=" + profile,
                                 "--window-size=%d,%d" % (VIEW_WIDTH, VIEW_HEIGHT), "about:blank"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        port_file = os.path.join(profile, "DevToolsActivePort")
        deadline = time.time() + 60
        while not (os.path.exists(port_file) and open(port_file).read().strip()):
            if time.time() > deadline or chromium.poll() is not None:
                raise RuntimeError("Chromium did not open its DevTools port")
            time.sleep(0.1)
        port = open(port_file).read().split()[0]
        targets = json.load(urllib.request.urlopen("http://127.0.0.1:%s/json/list" % port, timeout=30))
        tools = DevTools(next(t for t in targets if t["type"] == "page")["webSocketDebuggerUrl"])
        tools.call("Page.navigate", url="file://" + pdf + "#toolbar=0&view=FitH")
        # The viewer draws the page some time after the load: wait for a
        # white page with ink on it, the same on two captures in a row.
        previous, deadline = None, time.time() + 90
        while time.time() < deadline:
            time.sleep(1)
            image = grey(base64.b64decode(tools.call("Page.captureScreenshot", format="png")["data"]), workdir)
            box = page_box(image)
            inked = box and sum(1 for v in image[2] if v < 128) > 1000
            if inked and image == previous:
                return image, box
            previous = image
        raise RuntimeError("Chromium showed no finished page in 90 s")
    finally:
        chromium.terminate()
        chromium.wait()


def judge(pdf, workdir):
    failures = []
    (width, height, pixels), (left, right, top) = capture(pdf, workdir)
    scale = (right - left + 1) / PAGE_WIDTH_MM  # px per mm
    print("page at x %d-%d, top %d: %.3f px/mm" % (left, right, top, scale))

    def at(x_mm, y_mm):
        return int(round(left + x_mm * scale)), int(round(top + y_mm * scale))

    cells = []
    for k in range(3):
        x0, y0 = at(14 + 6 * k, 18 - 6)
        x1, y1 = at(14 + 6 * k + 6, 18 + 1)
        cells.append(tuple(pixels[y * width + x] < 128 for y in range(y0, y1) for x in range(x0, x1)))
    inked = [sum(c) for c in cells]
    print("ink of the title's three characters: %s" % inked)
    if not all(n > 20 for n in inked):
        failures.append("a character of the title has no ink: %s" % inked)
    if len(set(cells)) != 3:
        failures.append("the title's characters look alike")

    # The frame's left edge, 8 mm in, between the title and the footer.
    x_frame = at(8, 0)[0]
    _, y_mid = at(0, 150)
    row = [pixels[y_mid * width + x] for x in range(x_frame - 6, x_frame + 7)]
    darkest = min(range(len(row)), key=lambda i: row[i]) - 6
    print("frame edge %+d px from 8 mm (%.2f mm)" % (darkest, darkest / scale))
    if row[darkest + 6] >= 160 or abs(darkest) > max(1.0, 0.25 * scale):
        failures.append("the frame's edge is %d px from where 8 mm puts it" % darkest)
    return failures


def main():
    exe = sys.argv[1]
    failures = []
    with tempfile.TemporaryDirectory() as workdir:
        pdf = os.path.join(workdir, "t.pdf")
        subprocess.run([exe, "--angle", "90", "--segments", "3", "--diameter", "273", "--radius", "381",
                        "--template-pdf", pdf], check=True, capture_output=True)
        # The viewer is drawn asynchronously: a capture taken while a busy
        # machine was still drawing can miss ink, so a page is judged on up to
        # three fresh starts and fails only when every one of them fails.
        for attempt in range(3):
            failures = judge(pdf, workdir)
            if not failures:
                break
            print("attempt %d: %s" % (attempt + 1, "; ".join(failures)))
    for f in failures:
        print("FAIL", f)
    print("%d failures" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
