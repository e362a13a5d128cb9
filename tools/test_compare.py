#!/usr/bin/env python3
"""The compare tool on the tiny closed box: its job lines, CSV columns and Markdown table; and the
consistency report on made-up estimates: agreement, disagreement, regions, light left out by design.

Usage: test_compare.py VELK
"""
import csv
import os
import shutil
import subprocess
import sys
import tempfile
import types

HERE = os.path.dirname(os.path.abspath(__file__))
BOX = os.path.join(HERE, "..", "scenes", "consistency", "closed_box.xml")


def main():
    velk = sys.argv[1]
    out = tempfile.mkdtemp(prefix="velk-compare-")
    failures = []

    def check(condition, what):
        if not condition:
            failures.append(what)

    try:
        runs = ["pathTracing -set maxRayDepth 2 -set samplesPerPixel 4", "metropolis -set mutationsPerPixel 8"]
        common = [sys.executable, os.path.join(HERE, "compare"), BOX, "--velk", velk, "--out", out, "--seeds", "2",
                  "-j", "2", "--reference-run", "pathTracing -set maxRayDepth 2 -set samplesPerPixel 64"]
        for run in runs:
            common += ["--run", run]
        jobs = subprocess.run(common + ["--print-jobs"], stdout=subprocess.PIPE, check=True).stdout.decode().splitlines()
        # The reference first, then two seeds of each run; nothing is rendered.
        check(len(jobs) == 5, "five job lines: %r" % jobs)
        check("-radiance reference.im" in jobs[0] and "-seed 1000" in jobs[0], "the reference job first: " + jobs[0])
        check(all("-reference" in j and "-seed" in j for j in jobs[1:]), "every run job compares with the reference")
        check(not os.path.exists(os.path.join(out, "runs.csv")), "--print-jobs renders nothing")
        # The printed jobs run by a shell, one after the other, then collected.
        for job in jobs:
            subprocess.run(["sh", "-c", job], check=True)
        subprocess.run(common + ["--collect"], stdout=subprocess.PIPE, check=True)
        with open(os.path.join(out, "runs.csv")) as f:
            collected = [(r["run"], r["seed"], r["mse"]) for r in csv.DictReader(f)]
        check(len(collected) == 4, "--collect finds the four jobs")

        printed = subprocess.run(common, stdout=subprocess.PIPE, check=True).stdout.decode()
        with open(os.path.join(out, "runs.csv")) as f:
            rows = list(csv.DictReader(f))
        # Seeded: run here or by the printed jobs, the same errors.
        check([(r["run"], r["seed"], r["mse"]) for r in rows] == collected, "the same rows as the printed jobs")
        check(list(rows[0].keys()) == ["run", "seed", "seconds", "mse", "relMSE", "mean", "referenceMean"],
              "runs.csv columns: %r" % list(rows[0].keys()))
        check([(r["run"], r["seed"]) for r in rows] == [(runs[0], "1"), (runs[0], "2"), (runs[1], "1"), (runs[1], "2")],
              "a row per run and seed")
        with open(os.path.join(out, "summary.csv")) as f:
            summary = list(csv.DictReader(f))
        check(list(summary[0].keys()) == ["run", "seeds", "seconds", "mse", "mseSpread", "relMSE", "relMSESpread",
                                          "bias", "efficiency"], "summary.csv columns: %r" % list(summary[0].keys()))
        for s in summary:
            mine = [r for r in rows if r["run"] == s["run"]]
            mse = sum(float(r["mse"]) for r in mine) / 2
            seconds = sum(float(r["seconds"]) for r in mine) / 2
            bias = sum(float(r["mean"]) for r in mine) / 2 - float(mine[0]["referenceMean"])
            check(abs(float(s["mse"]) - mse) <= 1e-5 * mse, "summary MSE is the mean over seeds")
            check(abs(float(s["bias"]) - bias) <= 1e-5 * max(abs(bias), 1e-9), "bias is mean minus reference")
            check(abs(float(s["efficiency"]) - 1 / (mse * seconds)) <= 1e-4 / (mse * seconds), "efficiency")
        with open(os.path.join(out, "summary.md")) as f:
            table = f.read().splitlines()
        check(table[0].startswith("| run | seeds | time (s) | MSE (mean ± sd) | relMSE"), "table header: " + table[0])
        check(len(table) == 4 and table[2].startswith("| `" + runs[0] + "` | 2 |"), "a table row per run")
        check(table[0] in printed, "the table is printed too")
        check(os.path.exists(os.path.join(out, "error.png")) or "matplotlib is not installed" in printed,
              "a plot or a note that there is none")
        check_reference_formats(check, velk, os.path.join(out, "reference", "reference.im"), out)
    finally:
        shutil.rmtree(out, ignore_errors=True)
    check_report(check)
    for failure in failures:
        print("FAILED: " + failure)
    print("%d passed, %d failed" % (1 if not failures else 0, 1 if failures else 0))
    return 1 if failures else 0


def load_tool():
    # The tool is a script without a .py name: its text runs in a fresh module.
    path = os.path.join(HERE, "compare")
    tool = types.ModuleType("compare_tool")
    tool.__file__ = path
    with open(path) as f:
        exec(compile(f.read(), path, "exec"), tool.__dict__)
    return tool


def check_reference_formats(check, velk, reference, out):
    # The reference as PFM (read in Python) and as EXR (read through velk) gives the .im's pixels.
    tool = load_tool()
    expected = tool.read_im(reference)
    for name in ("reference.pfm", "reference.exr"):
        converted = os.path.join(out, name)
        done = subprocess.run([velk, "-imgconvert", reference, converted], stdout=subprocess.PIPE)
        if name.endswith(".exr") and done.returncode != 0 and b"without OpenEXR" in done.stdout:
            continue
        check(done.returncode == 0, "-imgconvert to " + name)
        got = tool.read_radiance(converted, velk)
        check(got[:2] == expected[:2] and [tuple(p) for p in got[2]] == [tuple(p) for p in expected[2]],
              name + " reads as the .im reference")


def check_report(check):
    # The tool is a script without a .py name: its text runs in a fresh module.
    path = os.path.join(HERE, "compare")
    tool = types.ModuleType("compare_tool")
    tool.__file__ = path
    with open(path) as f:
        exec(compile(f.read(), path, "exec"), tool.__dict__)
    Check = tool.Check
    # Seeds 0.1 +- 0.001 and exactly 0: the closed forms below are 0.1 or 0.
    noisy = [[0.1 + d] * 3 for d in (-0.001, 0.001, -0.001, 0.001)]
    estimates = {"whole": noisy, "left": [[0.0] * 3] * 4}
    checks = [Check("table_shadow", "a", (0.1,) * 3), Check("table_shadow", "a", (0.2,) * 3),
              Check("table_shadow", "b", (0.0,) * 3, "floor", "its own light"),
              Check("table_shadow", "b", (0.1,) * 3, "floor", "its own light"),
              Check("table_shadow", "c", None, leaves_out="everything")]
    lines = []
    failed = tool.report(checks, lambda scene, run, region: estimates["left" if region else "whole"], 4, 1.0,
                         lines.append)
    check(failed == 2, "two checks disagree: %r" % lines)
    check(lines[0].startswith("agrees     table_shadow") and lines[1].startswith("DISAGREES  table_shadow "),
          "agreement and disagreement: %r" % lines[:2])
    check(lines[2].startswith("LEAVES OUT b on table_shadow: its own light, by design; the rest agrees: "
                              "table_shadow[floor]"), "light left out, named, its rest agreeing: " + lines[2])
    check(lines[3].startswith("DISAGREES  table_shadow[floor]") and "by design, and the rest disagrees" in lines[3],
          "light left out whose rest disagrees: " + lines[3])
    check(lines[4] == "LEAVES OUT c on table_shadow: everything, by design (not rendered)", lines[4])
    check(lines[-1] == "2 passed, 2 failed; 3 leave light out by design (b 2, c 1)", "the count line: " + lines[-1])


if __name__ == "__main__":
    sys.exit(main())
