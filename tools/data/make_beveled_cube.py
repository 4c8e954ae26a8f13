#!/usr/bin/env python3
"""Writes data/common/models/beveled_cube.dae: a cube from -1 to 1 on each axis whose edges and
corners are rounded with a radius of 0.1, with smooth normals and per-face texture coordinates,
and one camera looking at it. The layout is the one Blender 3.x writes: Z up, a node matrix per
object, "-material" suffixes on material symbols, triangle lists broken into lines.

The node and the geometry are both "cube_001" (scenes hide or show the model's own cube by that
name); its single material "material" carries the diffuse colour that scenes recolour. The
camera is the model's resting view. Run from the repository root; the output is committed, so a
checkout never needs to run this.
"""
import math

OUT = "data/common/models/beveled_cube.dae"
HALF = 1.0
RADIUS = 0.1
BEVEL_STEPS = 4  # segments of each quarter-round edge
FLAT_STEPS = 2  # segments across the flat part of a face


def axis_stops():
    """Grid positions along one face axis: dense over the two rounded edges, sparse in between."""
    inner = HALF - RADIUS
    # A face carries half of each rounded edge (45 degrees); equal angle steps over it.
    stops = [-inner - RADIUS * math.tan(math.pi / 4 * (BEVEL_STEPS - k) / BEVEL_STEPS) for k in range(BEVEL_STEPS)]
    stops += [-inner + 2 * inner * k / FLAT_STEPS for k in range(FLAT_STEPS + 1)]
    stops += [-s for s in reversed(stops[:BEVEL_STEPS])]
    return stops


def rounded(point):
    """The point of the rounded box above a point of the sharp cube, and its normal there."""
    inner = HALF - RADIUS
    core = [max(-inner, min(inner, c)) for c in point]
    d = [p - c for p, c in zip(point, core)]
    length = math.sqrt(sum(c * c for c in d))
    normal = [c / length for c in d]
    return [c + RADIUS * n for c, n in zip(core, normal)], normal


# Each face: the axis it faces along, its sign, and the two axes its (u, v) run along, chosen so
# that u x v points outwards (counter-clockwise triangles seen from outside).
FACES = [(0, 1, 1, 2), (0, -1, 2, 1), (1, 1, 2, 0), (1, -1, 0, 2), (2, 1, 0, 1), (2, -1, 1, 0)]


def build():
    positions, normals, uvs, triangles = [], [], [], []
    index_of = {}
    stops = axis_stops()
    n = len(stops)
    for axis, sign, ua, va in FACES:
        face_corner = [[0] * n for _ in range(n)]
        for j, v in enumerate(stops):
            for i, u in enumerate(stops):
                point = [0.0, 0.0, 0.0]
                point[axis], point[ua], point[va] = sign * HALF, u, v
                position, normal = rounded(point)
                # Seams between faces share positions and normals but not texture coordinates.
                key = tuple(round(c, 6) for c in position)
                if key not in index_of:
                    index_of[key] = len(positions)
                    positions.append(position)
                    normals.append(normal)
                uvs.append(((u + HALF) / (2 * HALF), (v + HALF) / (2 * HALF)))
                face_corner[j][i] = (index_of[key], len(uvs) - 1)
        for j in range(n - 1):
            for i in range(n - 1):
                a, b = face_corner[j][i], face_corner[j][i + 1]
                c, d = face_corner[j + 1][i + 1], face_corner[j + 1][i]
                for tri in ((a, b, c), (a, c, d)):
                    # Corners collapse where three rounded edges meet; drop the slivers.
                    if len({corner[0] for corner in tri}) == 3:
                        triangles.append(tri)
    return positions, normals, uvs, triangles


def numbers(values, per_line):
    text = " ".join(f"{v:.6g}" for v in values)
    words = text.split(" ")
    return "\n".join(" ".join(words[k:k + per_line]) for k in range(0, len(words), per_line))


def source(source_id, elements, params):
    """A <source> of float elements with one named parameter per component, as exporters write it."""
    stride = len(params)
    values = numbers([c for element in elements for c in element], 12)
    param_lines = "\n".join(f'              <param name="{p}" type="float"/>' for p in params)
    return f"""        <source id="{source_id}">
          <float_array id="{source_id}-array" count="{stride * len(elements)}">{values}</float_array>
          <technique_common>
            <accessor source="#{source_id}-array" count="{len(elements)}" stride="{stride}">
{param_lines}
            </accessor>
          </technique_common>
        </source>"""


def look_at_matrix(eye, target):
    """Camera-to-world matrix of a camera at eye looking at target, Z up, row by row."""
    f = [t - e for t, e in zip(target, eye)]
    length = math.sqrt(sum(c * c for c in f))
    f = [c / length for c in f]
    r = [f[1], -f[0], 0.0]  # f x (0, 0, 1)
    length = math.sqrt(sum(c * c for c in r))
    r = [c / length for c in r]
    u = [r[1] * f[2] - r[2] * f[1], r[2] * f[0] - r[0] * f[2], r[0] * f[1] - r[1] * f[0]]
    rows = [[r[k], u[k], -f[k], eye[k]] for k in range(3)] + [[0, 0, 0, 1]]
    return " ".join(f"{v:.7g}" for row in rows for v in row)


def main():
    positions, normals, uvs, triangles = build()
    p = "\n".join(" ".join(f"{c[0]} {c[0]} {c[1]}" for c in tri) for tri in triangles)
    camera = look_at_matrix((4.5, -3.5, 3.0), (0.0, 0.0, 0.0))
    document = f"""<?xml version="1.0" encoding="utf-8"?>
<COLLADA xmlns="http://www.collada.org/2005/11/COLLADASchema" version="1.4.1" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
  <asset>
    <contributor>
      <author>Zorvane</author>
      <authoring_tool>tools/data/make_beveled_cube.py</authoring_tool>
    </contributor>
    <unit name="meter" meter="1"/>
    <up_axis>Z_UP</up_axis>
  </asset>
  <library_cameras>
    <camera id="Camera-camera" name="Camera">
      <optics>
        <technique_common>
          <perspective>
            <xfov sid="xfov">49.13434</xfov>
            <aspect_ratio>1.777778</aspect_ratio>
            <znear sid="znear">0.1</znear>
            <zfar sid="zfar">100</zfar>
          </perspective>
        </technique_common>
      </optics>
    </camera>
  </library_cameras>
  <library_effects>
    <effect id="material-effect">
      <profile_COMMON>
        <technique sid="common">
          <phong>
            <emission>
              <color sid="emission">0 0 0 1</color>
            </emission>
            <ambient>
              <color sid="ambient">0.1 0.1 0.1 1</color>
            </ambient>
            <diffuse>
              <color sid="diffuse">0.8 0.8 0.8 1</color>
            </diffuse>
            <specular>
              <color sid="specular">0.5 0.5 0.5 1</color>
            </specular>
            <shininess>
              <float sid="shininess">50</float>
            </shininess>
          </phong>
        </technique>
      </profile_COMMON>
    </effect>
  </library_effects>
  <library_materials>
    <material id="material" name="material">
      <instance_effect url="#material-effect"/>
    </material>
  </library_materials>
  <library_geometries>
    <geometry id="cube_001" name="cube_001">
      <mesh>
{source("cube_001-positions", positions, "XYZ")}
{source("cube_001-normals", normals, "XYZ")}
{source("cube_001-map-0", uvs, "ST")}
        <vertices id="cube_001-vertices">
          <input semantic="POSITION" source="#cube_001-positions"/>
        </vertices>
        <triangles material="material-material" count="{len(triangles)}">
          <input semantic="VERTEX" source="#cube_001-vertices" offset="0"/>
          <input semantic="NORMAL" source="#cube_001-normals" offset="1"/>
          <input semantic="TEXCOORD" source="#cube_001-map-0" offset="2" set="0"/>
          <p>{p}</p>
        </triangles>
      </mesh>
    </geometry>
  </library_geometries>
  <library_visual_scenes>
    <visual_scene id="Scene" name="Scene">
      <node id="Camera" name="Camera" type="NODE">
        <matrix sid="transform">{camera}</matrix>
        <instance_camera url="#Camera-camera"/>
      </node>
      <node id="cube_001" name="cube_001" type="NODE">
        <matrix sid="transform">1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1</matrix>
        <instance_geometry url="#cube_001" name="cube_001">
          <bind_material>
            <technique_common>
              <instance_material symbol="material-material" target="#material"/>
            </technique_common>
          </bind_material>
        </instance_geometry>
      </node>
    </visual_scene>
  </library_visual_scenes>
  <scene>
    <instance_visual_scene url="#Scene"/>
  </scene>
</COLLADA>
"""
    with open(OUT, "w") as out:
        out.write(document)
    print(f"{OUT}: {len(positions)} positions, {len(triangles)} triangles")


if __name__ == "__main__":
    main()
