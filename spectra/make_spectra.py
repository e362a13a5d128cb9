#!/usr/bin/env python3
"""Writes the spectrum files the spectral renderer reads (format: first
wavelength, last wavelength, step in nm, then one value per wavelength).

- xbar.spec, ybar.spec, zbar.spec: the CIE 1931 2-degree colour-matching
  functions, 400-700 nm at 1 nm, copied value for value (the text of each
  number unchanged) from the CIE table ciexyz31_1.csv given as the argument.
- The demo spectra: white.spec (flat emission), grey.spec (a flat 0.7
  reflectance), warm.spec (a 3000 K black
  body scaled to 1 at 560 nm), orange.spec (a smooth orange reflectance) and
  glass_ior.spec (a dispersive glass, Cauchy's n = 1.5046 + 4200 / lambda^2).

Run from the repository root:
    python3 spectra/make_spectra.py ../shared/data/ciexyz31_1.csv
"""
import math
import os
import sys

here = os.path.dirname(os.path.abspath(__file__))


def write(name, first, last, step, values):
    with open(os.path.join(here, name), "w") as out:
        out.write("%d %d %d\n" % (first, last, step))
        for value in values:
            out.write("%s\n" % value)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_spectra.py ciexyz31_1.csv")
    columns = {"x": [], "y": [], "z": []}
    with open(sys.argv[1], newline="") as table:
        for line in table:
            fields = line.strip().split(",")
            if len(fields) != 4 or not fields[0].isdigit():
                continue
            if 400 <= int(fields[0]) <= 700:
                columns["x"].append(fields[1])
                columns["y"].append(fields[2])
                columns["z"].append(fields[3])
    for axis in "xyz":
        if len(columns[axis]) != 301:
            sys.exit("expected 301 rows from 400 to 700 nm")
        write("%sbar.spec" % axis, 400, 700, 1, columns[axis])

    write("white.spec", 400, 700, 10, ["1.0"] * 31)
    write("grey.spec", 400, 700, 10, ["0.7"] * 31)

    def planck(nm, kelvin):
        metres = nm * 1e-9
        return 1.0 / (metres ** 5 * (math.exp(1.4387769e-2 / (metres * kelvin)) - 1.0))

    reference = planck(560, 3000)
    write("warm.spec", 400, 700, 10, ["%.6f" % (planck(nm, 3000) / reference) for nm in range(400, 701, 10)])
    write("orange.spec", 400, 700, 10,
          ["%.4f" % (0.08 + 0.72 / (1.0 + math.exp(-(nm - 575) / 18.0))) for nm in range(400, 701, 10)])
    write("glass_ior.spec", 400, 700, 10, ["%.5f" % (1.5046 + 4200.0 / nm ** 2) for nm in range(400, 701, 10)])


if __name__ == "__main__":
    main()
