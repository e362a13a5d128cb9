#!/usr/bin/env python3
"""Writes scenes/pointcloud/torus.pc, the points of the point-cloud demo
(scenes/pointcloud.txt): about 5000 points on a torus (major radius 1, minor
radius 0.35, lying in the x-z plane), coloured from red to blue around it.

The file is a "POINT_CLOUD" sphere set: the first line, then little-endian
records: a material count and 64-byte material records (ambient, diffuse,
specular with the Phong exponent in its top byte, reflected, transmitted
colours as packed words, the index of refraction as a float), a sphere
count and 24-byte sphere records (centre x, y, z and radius as floats, the
material index in the top byte of a word, the packed colour). A packed
colour holds red in its low byte.

Run from the repository root:  python3 scenes/make_point_cloud.py
"""
import math
import os
import random
import struct

here = os.path.dirname(os.path.abspath(__file__))


def packed(r, g, b):
    return int(r * 255) | (int(g * 255) << 8) | (int(b * 255) << 16)


def main():
    random.seed(7)
    major, minor = 1.0, 0.35
    points = []
    around, across = 160, 32
    for i in range(around):
        u = 2 * math.pi * (i + random.random() * 0.3) / around
        for j in range(across):
            v = 2 * math.pi * (j + random.random() * 0.3) / across
            x = (major + minor * math.cos(v)) * math.cos(u)
            z = (major + minor * math.cos(v)) * math.sin(u)
            y = minor * math.sin(v)
            t = 0.5 + 0.5 * math.cos(u)
            points.append((x, y, z, packed(0.9 * t + 0.1, 0.3, 0.9 * (1 - t) + 0.1)))
    out = bytearray(b"POINT_CLOUD\n")
    out += struct.pack("<i", 1)
    material = struct.pack("<IIIIIIf", 0, packed(0.1, 0.1, 0.1), packed(0.8, 0.8, 0.8), packed(0.3, 0.3, 0.3) | (30 << 24),
                           0, 0, 1.0)
    out += material + bytes(64 - len(material))
    out += struct.pack("<i", len(points))
    for x, y, z, colour in points:
        out += struct.pack("<ffffII", x, y, z, 0.02, 0, colour)
    os.makedirs(os.path.join(here, "pointcloud"), exist_ok=True)
    with open(os.path.join(here, "pointcloud", "torus.pc"), "wb") as f:
        f.write(out)
    print("%d points" % len(points))


if __name__ == "__main__":
    main()
