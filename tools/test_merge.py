#!/usr/bin/env python3
"""tools/merge and tools/jobs.

  test_merge.py VELK           the merge of made-up images (exact means, weights, PFM, refusals),
                               its frames against velk's own, and the job lines
  test_merge.py VELK --chain   the whole chain with GNU parallel on two local job slots: two
                               half-budget jobs merged against one full-budget run, and a refused
                               merge of two sizes (exit 77, skipped, without parallel)
"""
import math
import os
import shutil
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
MERGE = os.path.join(HERE, "merge")
JOBS = os.path.join(HERE, "jobs")
CORNELL = os.path.join(HERE, "..", "scenes", "cornell.xml")
SKIPPED = 77
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def write_im(path, width, height, pixels):
    with open(path, "wb") as f:
        f.write(b"PNM-HPOINT\n%d %d\n" % (width, height) + b"".join(struct.pack("<4f", *p) for p in pixels))


def read_im(path):
    with open(path, "rb") as f:
        data = f.read()
    head = data.split(b"\n", 2)
    width, height = (int(v) for v in head[1].split())
    values = struct.unpack("<%df" % (4 * width * height), head[2])
    return width, height, [values[i:i + 4] for i in range(0, len(values), 4)]


def merge(*arguments):
    done = subprocess.run([sys.executable, MERGE] + list(arguments), stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    return done.returncode, done.stderr.decode()


def velk_run(velk, folder, arguments):
    os.makedirs(folder, exist_ok=True)
    subprocess.run([velk, os.path.abspath(CORNELL)] + arguments, cwd=folder, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=True)


def test_means_and_files(out):
    a, b = os.path.join(out, "a.im"), os.path.join(out, "b.im")
    write_im(a, 2, 1, [(1, 2, 3, 1), (0.5, 0, 0, 1)])
    write_im(b, 2, 1, [(3, 2, 1, 1), (1.5, 1, 0, 1)])
    # A big-endian colour PFM of a 1 x 2 image, and the same pixels as PNM-HPOINT: both bottom row first.
    big = os.path.join(out, "big.pfm")
    with open(big, "wb") as f:
        f.write(b"PF\n1 2\n1.0\n" + struct.pack(">6f", 0.25, 0.5, 0.75, 2, 4, 8))
    cases = [
        ([a, b], [], [(2, 2, 2, 1), (1, 1 / 2, 0, 1)]),
        ([a, b], ["--weights", "1,3"], [(2.5, 2, 1.5, 1), (1.25, 0.75, 0, 1)]),
        ([big], [], [(0.25, 0.5, 0.75, 1), (2, 4, 8, 1)]),
    ]
    for inputs, options, expected in cases:
        result = os.path.join(out, "result.im")
        status, error = merge("-o", result, *(options + inputs))
        check(status == 0 and read_im(result)[2] == expected, "merge %s %s: %s %r" % (options, inputs, error,
                                                                                      read_im(result)[2]))
    # PFM out: little-endian, scale -1, the fourth channel dropped.
    pfm = os.path.join(out, "result.pfm")
    merge("-o", pfm, a, b)
    with open(pfm, "rb") as f:
        check(f.read() == b"PF\n2 1\n-1.0\n" + struct.pack("<6f", 2, 2, 2, 1, 0.5, 0), "the PFM merge's bytes")


def test_refusals(out):
    a, tall = os.path.join(out, "a.im"), os.path.join(out, "tall.im")
    write_im(tall, 1, 2, [(1, 1, 1, 1)] * 2)
    wide_pfm = os.path.join(out, "wide.pfm")
    with open(wide_pfm, "wb") as f:
        f.write(b"PF\n2 1\n-1.0\n" + struct.pack("<6f", *[1] * 6))
    cut = os.path.join(out, "cut.im")
    with open(a, "rb") as f:
        whole = f.read()
    with open(cut, "wb") as f:
        f.write(whole[:-1])
    exr = os.path.join(out, "fake.exr")
    with open(exr, "wb") as f:
        f.write(b"\x76\x2f\x31\x01" + bytes(60))
    result = os.path.join(out, "refused.im")
    cases = [
        ([a, tall], "tall.im is 1 x 2 pixels and %s 2 x 1: images of different sizes are not merged" % a),
        ([a, wide_pfm], "wide.pfm is a PFM image and %s a PNM-HPOINT one: images of different formats" % a),
        ([a, cut], "cut.im: the PNM-HPOINT image is cut short (31 of 32 bytes of pixels)"),
        (["--weights", "1", a, a], "--weights gives 1 weights for 2 images"),
        (["--weights", "1,-2", a, a], "every weight must be a positive number"),
        ([a, os.path.join(out, "none.im")], "none.im: cannot be read"),
        (["-o", os.path.join(out, "frame.png"), a], "frame.png: the output must end in .im, .pfm or .exr"),
    ]
    try:
        import OpenEXR  # noqa: F401
    except ImportError:
        cases.append(([exr], "fake.exr: EXR images need Python's OpenEXR module"))
    for arguments, expected in cases:
        if os.path.exists(result):
            os.remove(result)
        status, error = merge(*(arguments if arguments[0] == "-o" else ["-o", result] + arguments))
        check(status == 1 and expected in error and error.count("\n") == 1 and not os.path.exists(result),
              "refusal %r: status %d, %r" % (arguments, status, error))


def test_frames(velk, out):
    # The frame of one render merged with itself is velk's frame, byte for byte (the spectral
    # renderer's power may round its last bit otherwise, so a byte may differ by one there).
    cases = [
        ("pathTracing -set samplesPerPixel 4 -set toneMappingConstant 2.5", ["--key", "2.5"], 0),
        ("instantRadiosity -set lightPaths 4", ["--key", "2"], 0),  # the scene file's exposure
        ("rayTracing", ["--clamp"], 0),
        ("spectralSample -set samplesPerPixel 2", ["--gamma", "2.2"], 1),
    ]
    for run, mapping, allowed in cases:
        folder = os.path.join(out, run.split()[0])
        velk_run(velk, folder, ["-size", "6", "4", "-seed", "3", "-renderer"] + run.split() +
                 ["-radiance", "r.im", "-o", "r.ppm"])
        image = os.path.join(folder, "r.im")
        status, error = merge("-o", os.path.join(folder, "m.im"), "--frame", os.path.join(folder, "m.ppm"),
                              *(mapping + [image, image]))
        with open(os.path.join(folder, "r.ppm"), "rb") as f:
            theirs = f.read()
        with open(os.path.join(folder, "m.ppm"), "rb") as f:
            ours = f.read()
        check(status == 0 and len(ours) == len(theirs) and
              max(abs(p - q) for p, q in zip(ours, theirs)) <= allowed, "%s: frame %s differs from velk's %s" % (
                  run, mapping, error))


def jobs(*arguments):
    done = subprocess.run([sys.executable, JOBS] + list(arguments), stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    return done.returncode, done.stdout.decode().splitlines(), done.stderr.decode()


def test_job_lines(out):
    status, lines, _ = jobs(CORNELL, "-n", "2", "--first-seed", "5", "--out", out, "--split", "samplesPerPixel", "65",
                            "--", "-renderer", "pathTracing")
    check(status == 0 and len(lines) == 2, "two job lines: %r" % lines)
    for i, line in enumerate(lines):
        check(("%s/job%d" % (out, i + 1)) in line and "-set samplesPerPixel %d -seed %d -radiance result.im" % (
            33 - i, 5 + i) in line, "job %d: %s" % (i + 1, line))
    _, merge_line, _ = jobs(CORNELL, "-n", "2", "--out", out, "--split", "samplesPerPixel", "65", "--merge-line")
    check(merge_line and "--weights 33,32 %s/job1/result.im %s/job2/result.im" % (out, out) in merge_line[0],
          "the merge line weighs the unequal shares: %r" % merge_line)
    status, _, error = jobs(CORNELL, "--", "-seed", "3")
    check(status == 2 and "-seed is set for each job" in error, "a -seed among the options is refused: " + error)


def region_checks(halves, full):
    """Per half of the image (bottom, top, left, right) and channel: the merged halves against the full run, within 4 standard errors
    of their difference, estimated from the halves' own differences (the two halves and the full
    run are independent; the full run has the budget of both halves)."""
    (width, height, first), (_, _, second) = halves
    _, _, whole = full
    merged = [[(p[c] + q[c]) / 2 for c in range(3)] for p, q in zip(first, second)]
    w, h = width // 2, height // 2
    for name, (x0, y0, x1, y1) in [("bottom", (0, 0, width, h)), ("top", (0, h, width, height)),
                                   ("left", (0, 0, w, height)), ("right", (w, 0, width, height))]:
        inside = [y * width + x for y in range(y0, y1) for x in range(x0, x1)]
        n = len(inside)
        for c in range(3):
            difference = sum(merged[i][c] - whole[i][c] for i in inside) / n
            # Var(merged mean - full mean) = (Var(half mean) / 2) x 2 = E[sum of (first - second)^2] / (2 n^2).
            error = math.sqrt(sum((first[i][c] - second[i][c]) ** 2 for i in inside) / 2) / n
            mean = sum(whole[i][c] for i in inside) / n
            where = "%s half, channel %d" % (name, c)
            check(abs(difference) <= 4 * error, "%s: merged %+.4g from the full run, standard error %.3g" % (
                where, difference, error))
            # Enough samples that a merge which summed the halves (off by the mean) could not pass.
            check(mean > 8 * error, "%s: mean %.4g is not clear of its standard error %.3g" % (where, mean, error))


def test_chain(velk, out):
    common = ["--velk", velk, "--", "-renderer", "pathTracing", "-set", "maxRayDepth", "3"]
    lines = []
    for arguments in [["-n", "2", "--out", os.path.join(out, "halves"), "--split", "samplesPerPixel", "256"],
                      ["-n", "1", "--first-seed", "100", "--out", os.path.join(out, "full"), "--split",
                       "samplesPerPixel", "256"]]:
        lines += jobs(CORNELL, *(arguments + common + ["-size", "8", "8"]))[1]
    lines += jobs(CORNELL, "-n", "1", "--out", os.path.join(out, "small"), *(common + ["-size", "8", "6"]))[1]
    done = subprocess.run(["parallel", "-j", "2", "--will-cite"], input="\n".join(lines) + "\n", cwd=out,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, universal_newlines=True)
    check(done.returncode == 0, "parallel ran the jobs: %s" % done.stderr)
    status, merge_line, _ = jobs(CORNELL, "-n", "2", "--out", os.path.join(out, "halves"), "--merge-line")
    merged = os.path.join(out, "halves", "merged.im")
    done = subprocess.run(merge_line[0], shell=True, stderr=subprocess.PIPE)
    check(done.returncode == 0 and os.path.exists(merged), "the merge line: %s" % done.stderr)
    halves = [read_im(os.path.join(out, "halves", "job%d" % i, "result.im")) for i in (1, 2)]
    check(read_im(merged)[2] == [tuple(struct.unpack("<4f", struct.pack("<4f", *[(p[c] + q[c]) / 2 for c in
                                                                              range(4)])))
                                 for p, q in zip(halves[0][2], halves[1][2])], "the merge is the mean of the halves")
    region_checks(halves, read_im(os.path.join(out, "full", "job1", "result.im")))
    small = os.path.join(out, "small", "job1", "result.im")
    refused = os.path.join(out, "refused.im")
    status, error = merge("-o", refused, os.path.join(out, "halves", "job1", "result.im"), small)
    check(status == 1 and small + " is 8 x 6 pixels" in error and not os.path.exists(refused),
          "the merge of 8 x 8 and 8 x 6 is refused: %r" % error)


def main():
    velk = os.path.abspath(sys.argv[1])
    chain = "--chain" in sys.argv[2:]
    if chain and shutil.which("parallel") is None:
        print("GNU parallel is not installed (Debian: parallel); the chain is not tested")
        return SKIPPED
    out = tempfile.mkdtemp(prefix="velk-merge-")
    try:
        if chain:
            test_chain(velk, out)
        else:
            test_means_and_files(out)
            test_refusals(out)
            test_frames(velk, out)
            test_job_lines(out)
    finally:
        shutil.rmtree(out)
    for failure in failures:
        print("FAILED: " + failure)
    print("%s: %s" % ("merge chain" if chain else "merge", "%d failures" % len(failures) if failures else "all passed"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
