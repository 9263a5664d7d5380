#!/usr/bin/env python3
"""The show's start-up: from the start of the process to its first show frame.

The show runs from the build folder (which holds the data tree) a few times, ending after
its first frame; each run prints "first frame N ms after start, main thread CPU M ms". The
wall figures, their median and its ratio to the target of 3000 ms are printed, and beside
them the main thread's CPU to the first frame (best and median) against its target of
1000 ms with the machine's load: CPU time is steady on a shared machine, wall time is not.
Every start packs its block-packed pictures afresh (nothing is kept between starts), so
each run is alike. As the reference of the same run, the
framework's own test application opens its window and device and ends in its first frame:
the ratio of the show's start-up to that says how much of it is the show's own work on
this machine under its present load. Run it under a virtual screen of the show's size:
  xvfb-run -a -s "-screen 0 1920x1080x24" bench/startup.py [--runs 5] [--build build]
"""
import argparse
import os
import re
import statistics
import subprocess
import sys
import time

TARGET_MS = 3000
CPU_TARGET_MS = 1000


def show_startup_ms(program, build, env):
    out = subprocess.run([program, "-frames", "1"], cwd=build, env=env, stdout=subprocess.PIPE,
                         stderr=subprocess.STDOUT, check=False).stdout.decode(errors="replace")
    m = re.search(r"first frame (\d+) ms after start(?:, main thread CPU (\d+) ms)?", out)
    if not m:
        return None, None
    return int(m.group(1)), (int(m.group(2)) if m.group(2) else None)


def framework_ms(app, env):
    t0 = time.monotonic()
    subprocess.run([app, "-mode", "fail"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   check=False)
    return (time.monotonic() - t0) * 1000


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--build", default=os.path.join(here, "..", "build"), help="build folder with sparkvane and TWdata")
    args = ap.parse_args()
    build = os.path.abspath(args.build)
    env = dict(os.environ, SDL_AUDIODRIVER=os.environ.get("SDL_AUDIODRIVER", "dummy"))
    figures, refs, cpus = [], [], []
    app = os.path.join(build, "tests", "base", "frame_testapp")
    for run in range(max(1, args.runs)):
        ms, cpu = show_startup_ms(os.path.join(build, "sparkvane"), build, env)
        if ms is None:
            print(f"run {run + 1}: the show printed no first frame")
            return 1
        figures.append(ms)
        if cpu is not None:
            cpus.append(cpu)
        ref = framework_ms(app, env) if os.path.exists(app) else None
        if ref is not None:
            refs.append(ref)
        print(f"run {run + 1}: start-up to the first show frame {ms} ms" +
              (f", main thread CPU {cpu} ms" if cpu is not None else "") +
              (f", framework alone {ref:.0f} ms" if ref is not None else ""), flush=True)
    med = statistics.median(figures)
    print(f"start-up median {med:.0f} ms (best {min(figures)}, worst {max(figures)}), "
          f"ratio to {TARGET_MS} ms {med / TARGET_MS:.2f}")
    if cpus:
        load = os.getloadavg()
        print(f"main thread CPU to the first frame best {min(cpus)} ms, median {statistics.median(cpus):.0f} ms, "
              f"ratio of the best to {CPU_TARGET_MS} ms {min(cpus) / CPU_TARGET_MS:.2f} "
              f"(load {load[0]:.1f} {load[1]:.1f} {load[2]:.1f})")
    if refs:
        print(f"framework alone median {statistics.median(refs):.0f} ms, "
              f"ratio of the show to it {med / statistics.median(refs):.1f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
