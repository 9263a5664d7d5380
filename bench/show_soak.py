#!/usr/bin/env python3
"""A long run of the show in fixed-step mode with random keys and GUI presses.

The show runs from the build folder (which holds the data tree) for a stretch of show
clock (an hour unless told otherwise) in fixed-step mode, where every frame advances the
clock by 60 ms and is saved as a picture; the pictures are removed as they come. Keys and
mouse presses at random places reach it through the X server's test extension. Every
half minute of wall time (--every) a line gives the show clock, the frames, the resident memory and
the wall time per frame; the end compares the first and the last quarter of the run and
lists how often each scene became current (the Global scene's show program switches
scenes at fixed bars from the 24th on).

With software rendering a frame takes most of a second, so an hour of show clock (60000
frames) takes most of a day; --minutes sets a shorter stretch. Run it under a virtual
screen of the show's size:
  xvfb-run -a -s "-screen 0 1920x1080x24" bench/show_soak.py [--minutes 60] [--build build]
"""
import argparse
import ctypes
import glob
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import struct
import time
import zlib

STEP_MS = 60   # the clock step of fixed-step mode
# keys a VJ's fingers may hit: letters, digits, the GUI's '.', tab, space, cursor keys
KEYSYMS = [ord(c) for c in "abcdefghijklmnopqrstuvwxyz0123456789.-, "] + [0xff09, 0xff51, 0xff52, 0xff53, 0xff54]


class XInput:
    def __init__(self):
        self.x = ctypes.CDLL("libX11.so.6")
        self.t = ctypes.CDLL("libXtst.so.6")
        self.x.XOpenDisplay.restype = ctypes.c_void_p
        self.x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self.x.XFlush.argtypes = [ctypes.c_void_p]
        self.t.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
        self.t.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
        self.t.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_int,
                                                ctypes.c_ulong]
        self.d = self.x.XOpenDisplay(None)
        if not self.d:
            sys.exit("no X display: run under xvfb-run")

    def key(self, sym):
        code = self.x.XKeysymToKeycode(self.d, sym)
        if code:
            self.t.XTestFakeKeyEvent(self.d, code, 1, 0)
            self.t.XTestFakeKeyEvent(self.d, code, 0, 30)
            self.x.XFlush(self.d)

    def press(self, x, y):
        self.t.XTestFakeMotionEvent(self.d, -1, x, y, 0)
        self.t.XTestFakeButtonEvent(self.d, 1, 1, 0)
        self.t.XTestFakeButtonEvent(self.d, 1, 0, 80)
        self.x.XFlush(self.d)


def thumbnail(path, step=8):
    """Every step-th pixel of a 24-bit bottom-up BMP, as top-down RGB rows."""
    with open(path, "rb") as f:
        data = f.read()
    offset, = struct.unpack_from("<I", data, 10)
    w, h = struct.unpack_from("<ii", data, 18)
    stride = (w * 3 + 3) & ~3
    rows = []
    for y in range(0, abs(h), step):
        src = offset + (abs(h) - 1 - y if h > 0 else y) * stride
        line = bytearray()
        for x in range(0, w, step):
            b, g, r = data[src + x * 3:src + x * 3 + 3]
            line += bytes((r, g, b))
        rows.append(bytes(line))
    return rows


def save_sheet(thumbs, name, columns=6):
    """The thumbnails in a grid, as PNG."""
    tw, th = len(thumbs[0][0]) // 3, len(thumbs[0])
    cols = min(columns, len(thumbs))
    lines = (len(thumbs) + cols - 1) // cols
    raw = bytearray()
    for gy in range(lines):
        for y in range(th):
            raw.append(0)
            for gx in range(cols):
                i = gy * cols + gx
                raw += thumbs[i][y] if i < len(thumbs) else bytes(tw * 3)
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", cols * tw, lines * th, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw))) + chunk(b"IEND", b"")
    with open(name, "wb") as f:
        f.write(png)


def rss_kb(pid):
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--minutes", type=float, default=60.0, help="show clock to run, in minutes")
    ap.add_argument("--build", default=os.path.join(here, "..", "build"), help="build folder with sparkvane and TWdata")
    ap.add_argument("--every", type=float, default=30.0, help="wall seconds between the lines")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--sheet", default="/tmp/sparkvane_soak_sheet.png",
                    help="contact sheet of the run: a frame every --sheet-every seconds of show clock")
    ap.add_argument("--sheet-every", type=float, default=20.0)
    args = ap.parse_args()
    build = os.path.abspath(args.build)
    program = os.path.join(build, "sparkvane")
    frames = int(args.minutes * 60000 / STEP_MS)
    rnd = random.Random(args.seed)
    xin = XInput()

    tmp = tempfile.mkdtemp(prefix="sparkvane_soak.")
    log_name = os.path.join(tmp, "show.log")
    env = dict(os.environ, TMPDIR=tmp, SDL_AUDIODRIVER=os.environ.get("SDL_AUDIODRIVER", "dummy"))
    print(f"{frames} frames of {STEP_MS} ms; log in {log_name}", flush=True)
    with open(log_name, "w") as log:
        show = subprocess.Popen([program, "-frames", str(frames), "-capture"], cwd=build, env=env,
                                stdout=log, stderr=subprocess.STDOUT)
    samples = []   # (frame count, rss KB, wall ms per frame)
    last_t, last_n, counted = time.monotonic(), 0, 0
    next_input = time.monotonic() + 5
    thumbs, sheet_frames = [], max(1, int(args.sheet_every * 1000 / STEP_MS))
    while show.poll() is None:
        time.sleep(0.5)
        # the saved pictures are only counted, and one now and then kept small for the
        # sheet: all but the newest (which may still be being written) go at once
        shots = sorted(glob.glob(os.path.join(tmp, "Tarnwhistle_trailer_*.bmp")))
        if shots:
            counted = int(re.search(r"_(\d+)\.bmp$", shots[-1]).group(1))
            if len(shots) > 1 and counted - 1 >= len(thumbs) * sheet_frames + 1:
                thumbs.append(thumbnail(shots[-2]))
        for s in shots[:-1]:
            os.remove(s)
        now = time.monotonic()
        if now >= next_input and counted > 0:
            if rnd.random() < 0.5:
                xin.key(rnd.choice(KEYSYMS))
            else:
                xin.press(rnd.randrange(1920), rnd.randrange(1080))
            next_input = now + rnd.uniform(0.5, 4.0)
        if now - last_t >= args.every and counted > last_n:
            per = (now - last_t) * 1000 / (counted - last_n)
            rss = rss_kb(show.pid)
            samples.append((counted, rss, per))
            clock = counted * STEP_MS // 1000
            print(f"show clock {clock // 60:4d}:{clock % 60:02d}  frame {counted:7d}  rss {rss / 1024:8.1f} MB  "
                  f"{per:8.1f} ms per frame", flush=True)
            last_t, last_n = now, counted
    code = show.returncode
    text = open(log_name, errors="replace").read()
    m = re.search(r"first frame (\d+) ms after start", text)
    if m:
        print(f"start-up to the first frame: {m.group(1)} ms, ratio to 3000 ms {int(m.group(1)) / 3000:.2f}")
    print(f"exit code {code} after {counted} of {frames} frames")
    # the scenes the show made current: the show program of the Global scene switches at
    # fixed bars, the scenes' own lists end in the next scene, and the presses pick tiles
    registered = dict(re.findall(r"\] +scene (\d+) (\S+)\n", text))
    visits = {}
    for frame, scene in re.findall(r"frame (\d+): scene (\d+) \S+ current", text):
        visits.setdefault(scene, []).append(int(frame))
    for scene, name in sorted(registered.items(), key=lambda kv: int(kv[0])):
        seen = visits.get(scene, [])
        print(f"scene {int(scene):2d} {name:12s} current {len(seen):4d} times" +
              (f", first at {seen[0] * STEP_MS // 1000} s of show clock" if seen else ""))
    for word in ("Memory Leak", ": assertion", "Sanitizer"):
        if word in text:
            print(f"the log holds \"{word}\": see {log_name}")
    if len(samples) >= 4:
        q = len(samples) // 4
        first, last = samples[:q], samples[-q:]
        mem = (sum(s[1] for s in last) / q) / max(1, sum(s[1] for s in first) / q)
        ft = (sum(s[2] for s in last) / q) / max(1e-9, sum(s[2] for s in first) / q)
        print(f"last quarter against the first: memory {mem:.3f}, frame time {ft:.3f}")
    if thumbs:
        save_sheet(thumbs, args.sheet)
        print(f"contact sheet of {len(thumbs)} frames, one every {args.sheet_every:g} s of show clock: {args.sheet}")
    shutil.rmtree(tmp) if code == 0 else print(f"kept {tmp}")
    return 0 if code == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
