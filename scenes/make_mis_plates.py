#!/usr/bin/env python3
"""Writes scenes/mis_plates.xml, the classic test of multiple importance
sampling: four glossy plates of increasing Phong exponent, each turned so
that it mirrors the camera towards a row of four sphere lamps of decreasing
size and increasing radiance, all of the same power (radiance x radius^2).
Light sampling does well on the rough plates and the large lamps, BSDF
sampling on the shiny plates and the small lamps; a renderer that weighs
the two shows every reflection with little noise. Run it from anywhere:

    python3 scenes/make_mis_plates.py
"""

import math
import os

HERE = os.path.dirname(os.path.abspath(__file__))
OUTPUT = os.path.join(HERE, "mis_plates.xml")

WIDTH, HEIGHT = 160, 100
CAMERA, LOOK_AT, FOV = (0.0, 2.0, 15.0), (0.0, -2.0, 2.5), 0.5
LAMP_CENTRE = (0.0, 4.0, -2.0)                  # the middle of the row of lamps
LAMP_RADII = (0.03, 0.1, 0.3, 0.9)
LAMP_SPACING = 2.5
LAMP_POWER = 0.9 * 0.9 * 10.0                   # radiance x radius^2, the same for every lamp
PLATE_CENTRES = ((0.0, -2.6, 7.0), (0.0, -2.0, 5.0), (0.0, -1.3, 3.0), (0.0, -0.5, 1.0))
PLATE_EXPONENTS = (20.0, 100.0, 800.0, 10000.0)  # rough in front, nearly a mirror at the back
PLATE_HALF_WIDTH, PLATE_HALF_DEPTH = 4.0, 0.6
PLATE_SPECULAR, PLATE_DIFFUSE = 0.7, 0.03
FLOOR_HEIGHT, FLOOR_DIFFUSE = -4.0, 0.4


def sub(a, b):
    return tuple(x - y for x, y in zip(a, b))


def add(a, b):
    return tuple(x + y for x, y in zip(a, b))


def scale(a, s):
    return tuple(x * s for x in a)


def unit(a):
    length = math.sqrt(sum(x * x for x in a))
    return scale(a, 1.0 / length)


def cross(a, b):
    return (a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0])


def point(tag, p):
    return "<%s x='%.6g' y='%.6g' z='%.6g'/>" % ((tag,) + tuple(p))


def colour(tag, c):
    return "<%s r='%.6g' g='%.6g' b='%.6g'/>" % (tag, c, c, c)


def quad(shader, corners):
    points = "".join("<p x='%.6g' y='%.6g' z='%.6g'/>" % p for p in corners)
    return ("<object shader_name='%s'><mesh><points>%s</points><faces><f a='0' b='1' c='2' d='3'/></faces>"
            "</mesh></object>" % (shader, points))


def main():
    lines = ["<?xml version='1.0'?>",
             "<!-- Written by make_mis_plates.py (edit that, not this): four glossy plates, four sphere lamps"
             " of equal power. -->",
             "<scene>",
             "<camera name='c' resx='%d' resy='%d' focal='%g'>%s%s%s</camera>" % (
                 WIDTH, HEIGHT, FOV, point("from", CAMERA), point("to", LOOK_AT), point("up", (0, 1, 0))),
             "<render camera_name='c'><rendertype value='misPathTracing'/></render>",
             "<shader type='generic' name='floor'><attributes>%s</attributes></shader>" % colour("color", FLOOR_DIFFUSE)]
    for k, exponent in enumerate(PLATE_EXPONENTS):
        lines.append("<shader type='generic' name='plate%d'><attributes>%s%s<phong value='%g'/></attributes></shader>"
                     % (k, colour("color", PLATE_DIFFUSE), colour("specular", PLATE_SPECULAR), exponent))
    for k, radius in enumerate(LAMP_RADII):
        lines.append("<shader type='generic' name='lamp%d'><attributes>%s%s</attributes></shader>"
                     % (k, colour("color", 0.0), colour("emissive", LAMP_POWER / (radius * radius))))
    # The floor, far below, lit by what the plates pass on.
    f = 40.0
    lines.append(quad("floor", [(-f, FLOOR_HEIGHT, -f), (-f, FLOOR_HEIGHT, f), (f, FLOOR_HEIGHT, f),
                                (f, FLOOR_HEIGHT, -f)]))
    # Each plate's normal halves the angle between the camera and the row of lamps.
    for k, centre in enumerate(PLATE_CENTRES):
        normal = unit(add(unit(sub(CAMERA, centre)), unit(sub(LAMP_CENTRE, centre))))
        along = (1.0, 0.0, 0.0)
        across = unit(cross(normal, along))
        a, b = scale(along, PLATE_HALF_WIDTH), scale(across, PLATE_HALF_DEPTH)
        corners = [sub(sub(centre, a), b), add(sub(centre, a), b), add(add(centre, a), b), sub(add(centre, a), b)]
        # Counter-clockwise seen from the side the normal points to.
        if sum(x * y for x, y in zip(cross(sub(corners[1], corners[0]), sub(corners[2], corners[0])), normal)) < 0:
            corners.reverse()
        lines.append(quad("plate%d" % k, corners))
    for k, radius in enumerate(LAMP_RADII):
        x = LAMP_CENTRE[0] + (k - 1.5) * LAMP_SPACING
        lines.append("<object shader_name='lamp%d'><sphere radius='%g'>%s</sphere></object>"
                     % (k, radius, point("center", (x, LAMP_CENTRE[1], LAMP_CENTRE[2]))))
    lines.append("</scene>")
    with open(OUTPUT, "w") as out:
        out.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
