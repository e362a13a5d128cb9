#!/usr/bin/env python3
"""How velk's renderers scale with threads: each renderer on the XML Cornell box at a fixed budget,
timed at -threads 1 and -threads 2, with its speed-up and peak memory, as a Markdown table.

  bench/scaling.py [--velk build/velk] [--threads 1,2] [--repeat R] [--scale F] [--baseline VELK]
                   [--only NAME,...] [--calibrate SECONDS] [--out FILE.md]

Every row is one velk process per thread count, in a folder of its own (velk writes progress
images into the working folder), on scenes/cornell.xml at its 256 x 256 pixels with the
renderer's budget from BUDGETS (chosen to take about 3 s of processor time on one thread of
this project's 2-core machine; --scale multiplies them). Reported: velk's own "render time" (the renderer alone,
wall clock; the best of --repeat runs), the speed-up of the render at each thread count over one
thread, the process's wall time and processor time (user and system, all threads; on a busy
machine the wall times mean little, and the processor time at 2 threads against 1 shows what the
threads cost in overhead), and its peak resident memory (max RSS, by /usr/bin/time where
it is installed, else from wait4, which adds this script's own 14 MB or so), with the memory each thread beyond the first adds next to the size of one accumulation
image (width x height x 16 bytes). "default" is the run without -threads, which must stay as fast
as before; --baseline times the same default run of another velk (for example a build of the
main branch) beside it. A row whose one-thread render took under 2 s is flagged: raise --scale.

"machine ceiling" is what the machine itself allowed while the row ran: as many separate one-thread
velk processes as the largest thread count, started together, each timed against the one-thread
run alone (2 x t1 / the slower one's time for two). A virtual machine whose cores share a physical
core at times (or a busy neighbour) lowers it, and every speed-up of the row with it: read a
speed-up against its ceiling. The runs of a row take turns, --repeat times, so a slow spell falls
on all of them alike.

Renderers that velk -listSettings lists but BUDGETS does not know (new ones) are timed too: their
budget setting is the first of samplesPerPixel, samples, mutationsPerPixel and lightPaths that
they have, and --calibrate (or, for those, always) doubles it from a small value until one thread
takes the given seconds (default 2.5).

Without -threads support in the velk given (it says "unknown argument: -threads"), the table is
made of the default runs alone and says so. Not part of ctest: it takes minutes.
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SCENE = os.path.join(ROOT, "scenes", "cornell.xml")
RENDER_TIME = re.compile(r"^render time: (\S+) sec\.", re.M)
BUDGET_NAMES = ("samplesPerPixel", "samples", "mutationsPerPixel", "lightPaths")

# Row label, -renderer and its settings, and the budget setting with its value. The scene file
# gives depth 5, 64 samples and exposure 2 wherever a renderer has them.
BUDGETS = [
    ("rayTracing", "rayTracing -set maxDepth 5", "samplesPerPixel", 185),
    ("pathTracing", "pathTracing", "samplesPerPixel", 27),
    ("bidirectionalPathTracing", "bidirectionalPathTracing -set maxEyeVertices 5 -set maxLightVertices 2",
     "samplesPerPixel", 33),
    ("instantRadiosity", "instantRadiosity", "lightPaths", 200),
    ("metropolis", "metropolis -set maxEyeVertices 5", "mutationsPerPixel", 55),
    ("pathMetropolis", "pathMetropolis -set maxDepth 5", "mutationsPerPixel", 50),
    ("uberPathTracing split", "uberPathTracing", "samples", 32),
    ("uberPathTracing pathTracing", "uberPathTracing -set renderMode pathTracing", "samples", 80),
    ("uberPathTracing mlt", "uberPathTracing -set renderMode mlt -set maxDepth 3", "samples", 90),
    ("spectralSample", "spectralSample -set maxDepth 5", "samplesPerPixel", 70),
    ("misPathTracing", "misPathTracing", "samplesPerPixel", 42),
    ("misBidirectional", "misBidirectional", "samplesPerPixel", 17),
    ("primarySampleMetropolis", "primarySampleMetropolis", "mutationsPerPixel", 70),
]


class Run:
    """One velk process: its render time, wall time and peak memory."""

    def __init__(self, velk, arguments):
        folder = tempfile.mkdtemp(prefix="velk-scaling-")
        try:
            # A child's max RSS counts what its parent had before the exec (for a Python parent
            # about 14 MB), so GNU time, a small parent, measures it where it is installed.
            measure = ["/usr/bin/time", "-f", "%M", "-o", os.path.join(folder, "rss")] if os.path.exists(
                "/usr/bin/time") else []
            started = time.perf_counter()
            child = subprocess.Popen(measure + [velk, SCENE] + arguments + ["-o", "frame.ppm"], cwd=folder,
                                     stdout=subprocess.PIPE, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
            output = child.stdout.read()
            _, status, usage = os.wait4(child.pid, 0)
            self.wall = time.perf_counter() - started
            child.returncode = os.waitstatus_to_exitcode(status)
            # GNU time's usage includes velk's, which it waited for.
            self.cpu = usage.ru_utime + usage.ru_stime
            kilobytes = usage.ru_maxrss
            if measure:
                with open(measure[-1]) as f:
                    kilobytes = int(f.read().split()[-1])
        finally:
            shutil.rmtree(folder)
        self.output = output.decode("utf-8", "replace")
        if child.returncode != 0:
            sys.exit("scaling: velk %s failed (status %d):\n%s" % (" ".join(arguments), child.returncode,
                                                                   self.output[-2000:]))
        found = RENDER_TIME.search(self.output)
        self.render = float(found.group(1)) if found else self.wall
        self.memory = kilobytes / 1024.0


def together(velk, arguments, n):
    """n processes of the same run started at once; the slowest one's Run."""
    runs = [None] * n

    def one(i):
        runs[i] = Run(velk, arguments)

    threads = [threading.Thread(target=one, args=(i,)) for i in range(n)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    return max(runs, key=lambda r: r.render)


def best(runs):
    """The fastest of one configuration's runs, with the largest memory any of them took."""
    fastest = min(runs, key=lambda r: r.render)
    fastest.memory = max(r.memory for r in runs)
    return fastest


def listed_renderers(velk):
    """Render type -> its setting names, from velk -listSettings."""
    text = subprocess.run([velk, "-listSettings"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                          cwd=ROOT).stdout.decode()
    renderers, current = {}, None
    for line in text.splitlines():
        kind = re.match(r"^    (\w+) \(\w+\)$", line)
        setting = re.match(r"^        (\w+) = ", line)
        if kind:
            current = renderers.setdefault(kind.group(1), [])
        elif setting and current is not None:
            current.append(setting.group(1))
    return renderers


def calibrate(velk, run, name, seconds):
    value = 1
    while True:
        timed = Run(velk, ["-renderer"] + run.split() + ["-set", name, str(value), "-threads", "1"])
        if timed.render >= seconds or value >= 1 << 20:
            return value
        # Straight to about the target once the time is large enough to extrapolate from.
        value = max(value * 2, int(value * seconds / timed.render * 1.1)) if timed.render > 0.2 else value * 4


def threads_supported(velk):
    probe = Run(velk, ["-size", "2", "2", "-renderer", "rayTracing", "-threads", "1"])
    return "unknown argument: -threads" not in probe.output


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0], epilog=__doc__[__doc__.index("\n") + 1:],
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--velk", default=os.path.join(ROOT, "build", "velk"))
    parser.add_argument("--threads", default="1,2", help="thread counts, the first being the reference (1,2)")
    parser.add_argument("--repeat", type=int, default=1, help="runs per measurement; the fastest counts")
    parser.add_argument("--scale", type=float, default=1.0, help="multiplies every budget")
    parser.add_argument("--baseline", help="another velk whose default run is timed beside it")
    parser.add_argument("--only", help="the rows to run, by label or renderer, separated by commas")
    parser.add_argument("--calibrate", type=float, nargs="?", const=2.5, default=None,
                        help="find every budget anew so that one thread takes this many seconds (2.5)")
    parser.add_argument("--out", help="also write the table to this file")
    args = parser.parse_args()
    velk = os.path.abspath(args.velk)
    counts = [int(n) for n in args.threads.split(",")]

    rows = [(label, run, name, max(1, int(round(value * args.scale)))) for label, run, name, value in BUDGETS]
    known = {run.split()[0] for _, run, _, _ in BUDGETS}
    renderers = listed_renderers(velk)
    for kind, settings in renderers.items():
        if kind not in known:
            names = [n for n in BUDGET_NAMES if n in settings]
            rows.append((kind, kind, names[0] if names else "samplesPerPixel", None))
    if args.only:
        wanted = args.only.split(",")
        rows = [r for r in rows if r[0] in wanted or r[1].split()[0] in wanted]
    threaded = threads_supported(velk)
    if not threaded:
        print("scaling: %s has no -threads option; the table has the default runs alone" % velk, file=sys.stderr)
        counts = []

    width = height = 256
    lines = ["Scaling on scenes/cornell.xml (%d x %d; one accumulation image is %.1f MB), %d cores, velk %s" % (
        width, height, width * height * 16 / 2 ** 20, os.cpu_count(), velk), ""]
    head = ["renderer", "budget", "default (s)"] + (["baseline default (s)"] if args.baseline else [])
    for n in counts:
        head += ["%d thread%s (s)" % (n, "s" if n > 1 else "")]
    for n in counts[1:]:
        head += ["speed-up at %d" % n]
    if len(counts) > 1:
        head += ["machine ceiling at %d" % counts[-1]]
    head += ["wall %s (s)" % n for n in counts] + ["cpu %s (s)" % n for n in counts] + ["max RSS %s (MB)" % n for n in (counts or ["default"])]
    if len(counts) > 1:
        head += ["MB per extra thread"]
    lines += ["| " + " | ".join(head) + " |", "|" + " --- |" * 2 + " ---: |" * (len(head) - 2)]
    print("\n".join(lines), flush=True)
    short = []
    for label, run, name, value in rows:
        if value is None or args.calibrate:
            value = calibrate(velk, run, name, args.calibrate or 2.5) if threaded else 64
        base = ["-renderer"] + run.split() + ["-set", name, str(value)]
        # The runs of a row take turns (default, baseline, each thread count, and again), so that a
        # slow spell of the machine falls on all of them rather than on one column.
        configurations = [(velk, base)]
        if args.baseline:
            configurations.append((os.path.abspath(args.baseline), base))
        configurations += [(velk, base + ["-threads", str(n)]) for n in counts]
        runs = [[] for _ in configurations]
        apart = []  # the slowest of len(counts) separate one-thread processes at once
        for _ in range(args.repeat):
            for made, (program, arguments) in zip(runs, configurations):
                made.append(Run(program, arguments))
            if len(counts) > 1:
                apart.append(together(velk, base + ["-threads", str(counts[0])], counts[-1]))
        fastest = [best(made) for made in runs]
        default = fastest[0]
        cells = [label, "%s %d" % (name, value), "%.2f" % default.render]
        if args.baseline:
            cells.append("%.2f" % fastest[1].render)
        timed = fastest[2 if args.baseline else 1:]
        cells += ["%.2f" % t.render for t in timed]
        cells += ["%.2f" % (timed[0].render / t.render if t.render > 0 else float("inf")) for t in timed[1:]]
        if apart:
            slowest = min(r.render for r in apart)
            cells.append("%.2f" % (counts[-1] / counts[0] * timed[0].render / slowest if slowest > 0 else float("inf")))
        cells += ["%.2f" % t.wall for t in timed] + ["%.2f" % t.cpu for t in timed]
        cells += ["%.1f" % t.memory for t in (timed or [default])]
        if len(timed) > 1:
            extra = (timed[-1].memory - timed[0].memory) / (counts[-1] - counts[0])
            cells.append("%.1f" % extra)
        if (timed[0] if timed else default).render < 2.0:
            short.append(label)
        line = "| " + " | ".join(cells) + " |"
        lines.append(line)
        print(line, flush=True)
    if short:
        note = "\nUnder 2 s on one thread (raise --scale): " + ", ".join(short)
        lines.append(note)
        print(note)
    if args.out:
        with open(args.out, "w") as f:
            f.write("\n".join(lines) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
