#!/usr/bin/env python3
"""Writes scenes/cornell.xml, a YafRay XML Cornell box: five walls (white
floor, ceiling and back, red left, green right, the front open to the
camera), an emitting panel of triangles just below the ceiling, a mirror
sphere and a glass sphere on the floor. Run it from anywhere:

    python3 scenes/make_cornell_xml.py

The box spans -1 to 1 on every axis; the camera looks along -z from +z.
"""

import os

HERE = os.path.dirname(os.path.abspath(__file__))
OUTPUT = os.path.join(HERE, "cornell.xml")

WIDTH, HEIGHT = 256, 256
SAMPLES = 64         # AA_minsamples: paths per pixel for the path tracer
RAY_DEPTH = 5        # enough for a path through the glass ball to the floor
EXPOSURE = 2.0       # key of the tone mapping L' = kL / (kL + 1)
PANEL_EMISSION = 40.0
POINT_LIGHT = (0.85, 0.82, 0.76)
POINT_LIGHT_HEIGHT = 0.25
PANEL_HEIGHT = 0.998  # a gap to the ceiling keeps the ceiling beside it from glaring

HEADER = """<?xml version='1.0'?>
<!--
  Cornell box for velk, written by make_cornell_xml.py (edit that, not this).

  Render from the repository root:  velk scenes/cornell.xml -o cornell.ppm
  For the Whitted ray tracer change the rendertype value below from
  pathTracing to rayTracing. The path tracer is lit by the emitting panel
  only; the ray tracer sees only the point light and the ambient light.
  Seen straight on, the panel stays dark in the path tracer, which counts
  light from the second surface along a path on; the balls show it lit.
  At 64 paths per pixel the path tracer takes some 15 s on one core and
  leaves temp.ppm and radImage.im in the working folder.

  What the reader takes from this file:
  camera: resx, resy, focal (the full vertical field of view in radians)
    and its from, to and up points.
  render: camera_name, AA_minsamples, raydepth, exposure, rendertype.
  shader type generic: colours as r g b (color is the diffuse colour,
    specular picks mirror events and gives highlights, reflected weighs the
    mirror ray, transmitted the refracted one, emissive makes the surfaces
    that use it lights), IOR, phong, translucency (how much the ray tracer
    blurs refraction, 1 unless given).
  object: a sphere (radius, center) or a mesh of points and faces; a face
    lists point indices in attributes a, b, c, d and is fanned into
    triangles, counter-clockwise seen from the side the normal points to.
  Shaders come before the objects that use them, the camera before the
  render element.
-->
<scene>
"""


def fmt(value):
    text = "%.4f" % value
    text = text.rstrip("0").rstrip(".")
    return "0" if text in ("-0", "") else text


def sub(a, b):
    return (a[0] - b[0], a[1] - b[1], a[2] - b[2])


def cross(a, b):
    return (a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0])


def dot(a, b):
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]


def shader(name, color=(0, 0, 0), specular=(0, 0, 0), reflected=(0, 0, 0),
           transmitted=(0, 0, 0), emissive=(0, 0, 0), ambient=None, ior=1.0, phong=10.0,
           translucency=0.0):
    # The ray tracer's ambient term reads the material's ambient colour:
    # diffuse surfaces take their own colour there.
    if ambient is None:
        ambient = color

    def rgb(tag, c):
        return "  <%s r='%s' g='%s' b='%s'/>\n" % (tag, fmt(c[0]), fmt(c[1]), fmt(c[2]))

    return ("<shader type='generic' name='%s'><attributes>\n" % name
            + rgb("color", color) + rgb("specular", specular) + rgb("reflected", reflected)
            + rgb("transmitted", transmitted) + rgb("emissive", emissive)
            + rgb("ambient", ambient)
            + "  <IOR value='%s'/>\n  <phong value='%s'/>\n  <translucency value='%s'/>\n"
            % (fmt(ior), fmt(phong), fmt(translucency))
            + "</attributes></shader>\n")


def mesh_object(name, shader_name, quads, facing):
    """quads: four corners each; facing: a point the faces must look at
    (the box's inside), so that every quad is written counter-clockwise from
    there."""
    points, faces = [], []
    for quad in quads:
        normal = cross(sub(quad[1], quad[0]), sub(quad[2], quad[0]))
        if dot(normal, sub(facing(quad), quad[0])) < 0:
            quad = list(reversed(quad))
        base = len(points)
        points.extend(quad)
        faces.append((base, base + 1, base + 2, base + 3))
    text = "<object name='%s' shader_name='%s'>\n<mesh>\n<points>\n" % (name, shader_name)
    for p in points:
        text += "  <p x='%s' y='%s' z='%s'/>\n" % (fmt(p[0]), fmt(p[1]), fmt(p[2]))
    text += "</points>\n<faces>\n"
    for f in faces:
        text += "  <f a='%d' b='%d' c='%d' d='%d'/>\n" % f
    return text + "</faces>\n</mesh>\n</object>\n"


def sphere_object(name, shader_name, center, radius):
    return ("<object name='%s' shader_name='%s'>\n<sphere radius='%s'>"
            "<center x='%s' y='%s' z='%s'/></sphere>\n</object>\n"
            % (name, shader_name, fmt(radius), fmt(center[0]), fmt(center[1]), fmt(center[2])))


def inside(quad):
    return (0.0, 0.0, 0.0)


def below(quad):
    return (quad[0][0], quad[0][1] - 1.0, quad[0][2])


def panel_quads(half, height, cells):
    quads = []
    step = 2.0 * half / cells
    for i in range(cells):
        for k in range(cells):
            x0, z0 = -half + i * step, -half + k * step
            x1, z1 = x0 + step, z0 + step
            quads.append([(x0, height, z0), (x1, height, z0), (x1, height, z1), (x0, height, z1)])
    return quads


def main():
    text = HEADER
    text += ("<camera name='cam' resx='%d' resy='%d' focal='0.7'>\n"
             "  <from x='0' y='0' z='3.8'/>\n  <to x='0' y='0' z='0'/>\n  <up x='0' y='1' z='0'/>\n"
             "</camera>\n" % (WIDTH, HEIGHT))
    text += ("<render camera_name='cam' AA_minsamples='%d' raydepth='%d' exposure='%s'>\n"
             "  <rendertype value='pathTracing'/>\n  <outfile value='image.ppm'/>\n</render>\n"
             % (SAMPLES, RAY_DEPTH, fmt(EXPOSURE)))
    text += "<background type='constant'><color r='0' g='0' b='0'/></background>\n"
    text += "<light type='ambientlight'><color r='0.12' g='0.12' b='0.12'/></light>\n"
    # The ray tracer's stand-in for the panel. Inverse-square falloff: any
    # closer to the ceiling and the ceiling around the panel burns out white.
    text += ("<light type='pointlight' name='l1' power='1'><from x='0' y='%s' z='0'/>"
             "<color r='%s' g='%s' b='%s'/></light>\n"
             % (fmt(POINT_LIGHT_HEIGHT), fmt(POINT_LIGHT[0]), fmt(POINT_LIGHT[1]), fmt(POINT_LIGHT[2])))

    e = PANEL_EMISSION
    text += shader("white", color=(0.75, 0.75, 0.75))
    text += shader("red", color=(0.75, 0.12, 0.1))
    text += shader("green", color=(0.12, 0.6, 0.15))
    text += shader("panel", emissive=(e, e * 0.95, e * 0.85), ambient=(0, 0, 0))
    text += shader("mirror", specular=(1, 1, 1), reflected=(1, 1, 1), ambient=(0, 0, 0), phong=80)
    text += shader("glass", specular=(0.1, 0.1, 0.1), reflected=(0.1, 0.1, 0.1),
                   transmitted=(0.9, 0.9, 0.9), ambient=(0, 0, 0), ior=1.5, phong=80)

    text += mesh_object("floor", "white", [[(-1, -1, -1), (1, -1, -1), (1, -1, 1), (-1, -1, 1)]], inside)
    text += mesh_object("ceiling", "white", [[(-1, 1, -1), (1, 1, -1), (1, 1, 1), (-1, 1, 1)]], inside)
    text += mesh_object("back", "white", [[(-1, -1, -1), (1, -1, -1), (1, 1, -1), (-1, 1, -1)]], inside)
    text += mesh_object("left", "red", [[(-1, -1, -1), (-1, 1, -1), (-1, 1, 1), (-1, -1, 1)]], inside)
    text += mesh_object("right", "green", [[(1, -1, -1), (1, 1, -1), (1, 1, 1), (1, -1, 1)]], inside)
    text += mesh_object("panel", "panel", panel_quads(0.3, PANEL_HEIGHT, 2), below)
    text += sphere_object("mirrorball", "mirror", (0.42, -0.65, -0.3), 0.35)
    text += sphere_object("glassball", "glass", (-0.4, -0.65, 0.3), 0.35)
    text += "</scene>\n"

    with open(OUTPUT, "w") as out:
        out.write(text)


if __name__ == "__main__":
    main()
