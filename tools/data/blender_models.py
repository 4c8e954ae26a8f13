"""Builds models in Blender and exports them as COLLADA the way an author would, so the loader is
tested against what a real exporter writes rather than what we think it writes.

Writes, under tests/data/collada/from_blender/:
  crate.dae, crate_quads.dae       a textured box whose image has a mixed-case name,
                                   Crate_Diffuse.png (the exporter copies it beside the documents)
  bend.dae, bend_quads.dae         a tube skinned to a two-bone armature whose upper bone bends
                                   it 60 degrees and back over one second
  tiles.dae, tiles_quads.dae       a grid of quads in two materials
  counts.txt                       what Blender itself counts in each exported scene
and the show's example model data/common/models/turned_vase.dae with its Vase_Glaze.png: a
lathe-turned vase with a glaze texture that turns once and bobs over four seconds, with a camera
and a light.

Each model is exported twice where it matters: with the exporter's defaults (which triangulate)
and with triangulation off (polylists of quads, as most authors' exports are). Everything is
built from code, so the output depends only on this script and Blender 3.4.

Run from the repository root:
  blender --background --factory-startup --python tools/data/blender_models.py
The output is committed, so a checkout never needs to run this.
"""
import math
import os

import bmesh
import bpy
import mathutils

TEST_DIR = "tests/data/collada/from_blender"
SHOW_DIR = "data/common/models"


def empty_scene(frames=1):
    bpy.ops.wm.read_factory_settings(use_empty=True)
    scene = bpy.context.scene
    scene.render.fps = 24
    scene.frame_start = 1
    scene.frame_end = frames
    return scene


def save_image(name, folder, size, colour_at):
    """A PNG drawn by colour_at(u, v) -> (r, g, b), saved where the documents will be, so the
    exporter's copy is the file itself."""
    image = bpy.data.images.new(name, size, size, alpha=False)
    pixels = []
    for y in range(size):
        for x in range(size):
            r, g, b = colour_at((x + 0.5) / size, (y + 0.5) / size)
            pixels += [r, g, b, 1.0]
    image.pixels = pixels
    image.filepath_raw = os.path.abspath(os.path.join(folder, name))
    image.file_format = "PNG"
    image.save()
    return image


def textured_material(name, image):
    material = bpy.data.materials.new(name)
    material.use_nodes = True
    nodes = material.node_tree.nodes
    texture = nodes.new("ShaderNodeTexImage")
    texture.image = image
    material.node_tree.links.new(texture.outputs["Color"], nodes["Principled BSDF"].inputs["Base Color"])
    return material


def coloured_material(name, rgb):
    material = bpy.data.materials.new(name)
    material.use_nodes = True
    material.node_tree.nodes["Principled BSDF"].inputs["Base Color"].default_value = (*rgb, 1.0)
    material.diffuse_color = (*rgb, 1.0)
    return material


def mesh_object(name, build):
    """An object whose mesh build(bm) fills."""
    mesh = bpy.data.meshes.new(name)
    bm = bmesh.new()
    build(bm)
    bm.to_mesh(mesh)
    bm.free()
    obj = bpy.data.objects.new(name, mesh)
    bpy.context.scene.collection.objects.link(obj)
    return obj


def export(path, triangulate):
    # The exporter's defaults, but for triangulation; the sampled matrix animation it writes by
    # default is what skinned exports look like.
    bpy.ops.wm.collada_export(filepath=os.path.abspath(path), triangulate=triangulate)


def counts(path):
    """Blender's own numbers for the scene just exported, for the tests to hold the loader to."""
    meshes = [o for o in bpy.context.scene.objects if o.type == "MESH"]
    polygons = sum(len(o.data.polygons) for o in meshes)
    triangles = sum(len(p.vertices) - 2 for o in meshes for p in o.data.polygons)
    vertices = sum(len(o.data.vertices) for o in meshes)
    materials = len({m.name for o in meshes for m in o.data.materials if m})
    bones = sum(len(o.data.bones) for o in bpy.context.scene.objects if o.type == "ARMATURE")
    scene = bpy.context.scene
    line = (f"{os.path.basename(path)} meshes={len(meshes)} polygons={polygons} triangles={triangles} "
            f"vertices={vertices} materials={materials} bones={bones} "
            f"frames={scene.frame_start}-{scene.frame_end}")
    if scene.frame_end > scene.frame_start:
        # Where the animation has moved the meshes halfway: the evaluated (skinned, moved)
        # vertices in world space. The exporter's times are frame / fps.
        frame = (scene.frame_start + scene.frame_end) // 2
        scene.frame_set(frame)
        graph = bpy.context.evaluated_depsgraph_get()
        points = [o.matrix_world @ v.co for m in meshes for o in [m.evaluated_get(graph)] for v in o.to_mesh().vertices]
        low = [min(p[c] for p in points) for c in range(3)]
        high = [max(p[c] for p in points) for c in range(3)]
        line += f" seconds={frame / scene.render.fps:.6g} bbox=" + ",".join(f"{x:.5f}" for x in low + high)
        scene.frame_set(scene.frame_start)
    return line


# ---- test models ----------------------------------------------------------------------------

def crate():
    empty_scene()
    image = save_image("Crate_Diffuse.png", TEST_DIR, 96,
                       lambda u, v: (0.75, 0.5, 0.2) if (int(u * 12) + int(v * 12)) % 2 else (0.35, 0.2, 0.08))

    def build(bm):
        bm.loops.layers.uv.new("UVMap")  # the layer calc_uvs fills
        bmesh.ops.create_cube(bm, size=2.0, calc_uvs=True)

    obj = mesh_object("Crate", build)
    obj.data.materials.append(textured_material("Crate", image))
    return "crate"


def bend():
    empty_scene(24)
    rings, sides, height = 5, 8, 2.0

    def build(bm):
        layers = []
        for i in range(rings):
            z = height * i / (rings - 1)
            layers.append([bm.verts.new((0.25 * math.cos(2 * math.pi * j / sides),
                                         0.25 * math.sin(2 * math.pi * j / sides), z)) for j in range(sides)])
        for i in range(rings - 1):
            for j in range(sides):
                k = (j + 1) % sides
                bm.faces.new((layers[i][j], layers[i][k], layers[i + 1][k], layers[i + 1][j]))

    tube = mesh_object("Tube", build)
    tube.data.materials.append(coloured_material("Skin", (0.8, 0.55, 0.4)))

    armature_data = bpy.data.armatures.new("Rig")
    rig = bpy.data.objects.new("Rig", armature_data)
    bpy.context.scene.collection.objects.link(rig)
    bpy.context.view_layer.objects.active = rig
    bpy.ops.object.mode_set(mode="EDIT")
    lower = armature_data.edit_bones.new("Lower")
    lower.head, lower.tail = (0, 0, 0), (0, 0, 1)
    upper = armature_data.edit_bones.new("Upper")
    upper.head, upper.tail = (0, 0, 1), (0, 0, 2)
    upper.parent = lower
    bpy.ops.object.mode_set(mode="OBJECT")

    # Weights by height: the lower half follows the lower bone, the middle ring both.
    groups = {name: tube.vertex_groups.new(name=name) for name in ("Lower", "Upper")}
    for v in tube.data.vertices:
        up = min(max((v.co.z - 0.5) / 1.0, 0.0), 1.0)
        if up < 1:
            groups["Lower"].add([v.index], 1 - up, "REPLACE")
        if up > 0:
            groups["Upper"].add([v.index], up, "REPLACE")
    tube.parent = rig
    tube.modifiers.new("Rig", "ARMATURE").object = rig

    bone = rig.pose.bones["Upper"]
    bone.rotation_mode = "XYZ"
    for frame, degrees in ((1, 0), (12, 60), (24, 0)):
        bone.rotation_euler = (math.radians(degrees), 0, 0)
        bone.keyframe_insert("rotation_euler", frame=frame)
    return "bend"


def tiles():
    empty_scene()

    def build(bm):
        bmesh.ops.create_grid(bm, x_segments=5, y_segments=5, size=2.0)

    obj = mesh_object("Tiles", build)
    obj.data.materials.append(coloured_material("Slate", (0.2, 0.25, 0.35)))
    obj.data.materials.append(coloured_material("Sand", (0.85, 0.75, 0.5)))
    for polygon in obj.data.polygons:
        polygon.material_index = polygon.index % 2
    return "tiles"


# ---- the show's example ---------------------------------------------------------------------

# The vase's outline, from the bottom's middle up the outside, over the lip and down the inside:
# (radius, height).
VASE_OUTLINE = [(0.0, 0.0), (0.42, 0.0), (0.5, 0.06)] + [
    (0.34 + 0.2 * math.sin(math.pi * (0.15 + 0.95 * t)) - 0.12 * t, 0.1 + 1.7 * t) for t in
    [k / 14 for k in range(15)]] + [(0.3, 1.86), (0.27, 1.84), (0.22, 1.6), (0.0, 1.55)]


def glaze(u, v):
    """Bands of blue and ochre glaze that run down the vase in waves."""
    wave = v + 0.04 * math.sin(u * 2 * math.pi * 6)
    band = 0.5 + 0.5 * math.sin(wave * 2 * math.pi * 5)
    deep, ochre = (0.08, 0.2, 0.45), (0.85, 0.6, 0.25)
    return tuple(d + (o - d) * band ** 3 for d, o in zip(deep, ochre))


def turned_vase():
    scene = empty_scene(96)
    image = save_image("Vase_Glaze.png", SHOW_DIR, 256, glaze)
    sides = 48

    def build(bm):
        uv = bm.loops.layers.uv.new("UVMap")
        length = [0.0]
        for (r0, z0), (r1, z1) in zip(VASE_OUTLINE, VASE_OUTLINE[1:]):
            length.append(length[-1] + math.hypot(r1 - r0, z1 - z0))
        # One vertex on the axis for the ends, a ring elsewhere.
        rows = []
        for r, z in VASE_OUTLINE:
            if r == 0:
                rows.append([bm.verts.new((0, 0, z))] * sides)
            else:
                rows.append([bm.verts.new((r * math.cos(2 * math.pi * j / sides),
                                           r * math.sin(2 * math.pi * j / sides), z)) for j in range(sides)])
        for i in range(len(rows) - 1):
            for j in range(sides):
                k = (j + 1) % sides
                corners = [(rows[i][j], j, i), (rows[i][k], j + 1, i), (rows[i + 1][k], j + 1, i + 1),
                           (rows[i + 1][j], j, i + 1)]
                # A corner on the axis is one vertex: the quad becomes a triangle.
                seen, unique = set(), []
                for corner in corners:
                    if corner[0] not in seen:
                        seen.add(corner[0])
                        unique.append(corner)
                face = bm.faces.new([c[0] for c in unique])
                # Texture coordinates per corner, so the seam wraps without a doubled column.
                for loop, (_, column, row) in zip(face.loops, unique):
                    loop[uv].uv = (column / sides, 1 - length[row] / length[-1])
                face.smooth = True
        bmesh.ops.recalc_face_normals(bm, faces=bm.faces)

    vase = mesh_object("Vase", build)
    vase.data.materials.append(textured_material("Glaze", image))

    # One turn and two bobs over four seconds, keyed linearly so it loops without a pause.
    for frame in range(1, 98, 12):
        t = (frame - 1) / 96
        vase.rotation_euler = (0, 0, 2 * math.pi * t)
        vase.location = (0, 0, 0.08 * math.sin(4 * math.pi * t))
        vase.keyframe_insert("rotation_euler", frame=frame)
        vase.keyframe_insert("location", frame=frame)
    for curve in vase.animation_data.action.fcurves:
        for key in curve.keyframe_points:
            key.interpolation = "LINEAR"
    scene.frame_set(1)

    camera = bpy.data.objects.new("Camera", bpy.data.cameras.new("Camera"))
    scene.collection.objects.link(camera)
    camera.location = (0, -7.0, 2.6)
    # Cameras look down their -Z; aimed at the vase's middle, up along the world's Z.
    aim = mathutils.Vector((0, 0, 0.95)) - camera.location
    camera.rotation_euler = aim.to_track_quat("-Z", "Y").to_euler()
    camera.data.lens = 50
    scene.camera = camera

    lamp = bpy.data.objects.new("Lamp", bpy.data.lights.new("Lamp", "POINT"))
    lamp.data.energy = 1
    scene.collection.objects.link(lamp)
    lamp.location = (3.0, -5.0, 4.0)
    return "turned_vase"


def main():
    os.makedirs(TEST_DIR, exist_ok=True)
    lines = ["# one line per document: its name, then what Blender counted in the scene it exported"]
    for model in (crate, bend, tiles):
        name = model()
        for suffix, triangulate in (("", True), ("_quads", False)):
            path = os.path.join(TEST_DIR, name + suffix + ".dae")
            export(path, triangulate)
            lines.append(counts(path))
    with open(os.path.join(TEST_DIR, "counts.txt"), "w") as out:
        out.write("\n".join(lines) + "\n")
    name = turned_vase()
    path = os.path.join(SHOW_DIR, name + ".dae")
    export(path, True)
    with open(os.path.join(TEST_DIR, "counts.txt"), "a") as out:
        out.write(counts(path) + "\n")


main()
