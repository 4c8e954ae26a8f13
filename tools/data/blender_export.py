"""Writes, with Blender's own COLLADA exporter, the models that show what Blender really writes:

- tests/data/collada/blender/textured.dae and textured_quads.dae: a crate, one quad per side,
  each side showing the whole of Crate_Diffuse.png (a mixed-case name, written beside them).
- tests/data/collada/blender/skinned.dae and skinned_quads.dae: an octagonal column on a chain of
  three bones, the upper two bending it by 60 degrees and back over one second.
- tests/data/collada/blender/quads.dae and quads_triangulated.dae: a cube cut into four quads a
  side, the sides and the caps in two colours, untextured.
- tests/data/collada/blender/counts.txt: what Blender counts in each scene as it exports it.
- data/common/models/turned_vase.dae and Vase_Glaze.png: a vase turned on a lathe, glazed
  outside and plain clay inside, spinning a full turn while it bobs over three seconds, with a
  camera and a sun framing it.

The loader is tested against these rather than against hand-written documents so that what it
reads is what the exporter writes: ids derived from datablock names, <polylist> when not
triangulating, joints as nodes with a <matrix sid="transform"> that the animations sample, image
names passed through as given. "_quads" files are the same scene exported without
triangulation; the others use the exporter's defaults, which triangulate.

Every model is built in code from an empty scene, so a run is deterministic: the files only
differ from the committed ones in the <created> and <modified> dates Blender stamps. Run from
the repository root with Debian's Blender 3.4:

    blender --background --factory-startup --python tools/data/blender_export.py

The output is committed, so a checkout never needs to run this.
"""
import math
import os

import bmesh
import bpy
from mathutils import Euler, Matrix, Vector

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
TESTS = os.path.join(ROOT, "tests", "data", "collada", "blender")
MODELS = os.path.join(ROOT, "data", "common", "models")
FPS = 24

# The exporter's defaults are what most files are written with; only triangulation is varied.
# They already cover what the skinned and animated models need: every object is exported (so
# include_armatures and include_children, which widen a selection, do not matter), animations
# are included and sampled every frame (include_animations, export_animation_type "sample",
# sampling_rate 1) as whole <matrix sid="transform"> values, all bones are kept
# (deform_bones_only off), and modifiers are left unapplied, which keeps the Armature modifier
# a <skin> instead of a posed copy of the mesh. use_texture_copies (on) writes each image under
# its bare file name, relative to the document, instead of its absolute path.
QUADS = {"triangulate": False}

counts = []


def reset():
    bpy.ops.wm.read_factory_settings(use_empty=True)
    scene = bpy.context.scene
    scene.render.fps = FPS
    scene.render.resolution_x, scene.render.resolution_y = 1280, 720
    scene.frame_start = scene.frame_end = 0
    scene.frame_set(0)


def link(obj):
    bpy.context.scene.collection.objects.link(obj)
    bpy.context.view_layer.objects.active = obj
    return obj


def make_mesh(name, verts, faces, uvs=None, material_indices=None, smooth=False):
    """An object on a new mesh; uvs, when given, hold one (u, v) per corner of each face."""
    mesh = bpy.data.meshes.new(name)
    bm = bmesh.new()
    bm_verts = [bm.verts.new(v) for v in verts]
    uv_layer = bm.loops.layers.uv.new("UVMap") if uvs is not None else None
    for i, face in enumerate(faces):
        f = bm.faces.new([bm_verts[k] for k in face])
        f.smooth = smooth
        if material_indices is not None:
            f.material_index = material_indices[i]
        if uv_layer is not None:
            for loop, uv in zip(f.loops, uvs[i]):
                loop[uv_layer].uv = uv
    bm.to_mesh(mesh)
    bm.free()
    return link(bpy.data.objects.new(name, mesh))


def colour_material(name, rgb):
    material = bpy.data.materials.new(name)
    material.use_nodes = True
    bsdf = material.node_tree.nodes["Principled BSDF"]
    bsdf.inputs["Base Color"].default_value = (*rgb, 1.0)
    bsdf.inputs["Roughness"].default_value = 0.6
    return material


def textured_material(name, image):
    """A material whose base colour is an Image Texture node, the one link the exporter follows."""
    material = colour_material(name, (0.8, 0.8, 0.8))
    nodes = material.node_tree.nodes
    texture = nodes.new("ShaderNodeTexImage")
    texture.image = image
    material.node_tree.links.new(texture.outputs["Color"], nodes["Principled BSDF"].inputs["Base Color"])
    return material


def save_image(folder, file_name, size, colour_at):
    """A PNG of size x size pixels; colour_at(u, v) gives 8-bit RGB with v running upwards,
    Blender's row order."""
    image = bpy.data.images.new(file_name, size, size, alpha=False)
    pixels = []
    for y in range(size):
        for x in range(size):
            r, g, b = colour_at((x + 0.5) / size, (y + 0.5) / size)
            pixels += [r / 255, g / 255, b / 255, 1.0]
    image.pixels = pixels
    image.filepath_raw = os.path.join(folder, file_name)
    image.file_format = "PNG"
    image.save()
    return image


def record(file_name):
    """One line of counts.txt, taken from the scene as it is exported."""
    scene = bpy.context.scene
    meshes = [o for o in scene.objects if o.type == "MESH"]
    polygons = [p for o in meshes for p in o.data.polygons]
    materials = {m.name for o in meshes for m in o.data.materials if m}
    # Keyed objects and keyed bones: what turns into animated nodes.
    animated = 0
    for o in scene.objects:
        action = o.animation_data.action if o.animation_data else None
        if not action:
            continue
        bone_paths = {c.data_path.split('"')[1] for c in action.fcurves if c.data_path.startswith("pose.bones[")}
        animated += len(bone_paths) + any(not c.data_path.startswith("pose.bones[") for c in action.fcurves)
    fields = [
        ("file", file_name),
        ("mesh_objects", len(meshes)),
        ("polygons", len(polygons)),
        ("triangles", sum(len(p.vertices) - 2 for p in polygons)),
        ("vertices", sum(len(o.data.vertices) for o in meshes)),
        ("materials", len(materials)),
        ("bones", sum(len(o.data.bones) for o in scene.objects if o.type == "ARMATURE")),
        ("cameras", sum(o.type == "CAMERA" for o in scene.objects)),
        ("lights", sum(o.type == "LIGHT" for o in scene.objects)),
        ("animated", animated),
        ("frame_start", scene.frame_start),
        ("frame_end", scene.frame_end),
        ("fps", scene.render.fps),
    ]
    counts.append(" ".join(f"{k}={v}" for k, v in fields))


def export(folder, file_name, options=None, counted=True):
    bpy.ops.wm.collada_export(filepath=os.path.join(folder, file_name), **(options or {}))
    if counted:
        record(file_name)


# ---- textured crate ---------------------------------------------------------------------------


def crate_pattern(u, v):
    """Light planks framed in dark wood, with one dark brace from lower left to upper right:
    the brace turns into the other diagonal when a loader flips v."""
    light, dark = (204, 153, 89), (89, 56, 26)
    if min(u, v, 1 - u, 1 - v) < 0.125 or abs(u - v) < 0.09:
        return dark
    return light


def build_crate():
    reset()
    image = save_image(TESTS, "Crate_Diffuse.png", 64, crate_pattern)
    corners = [(x, y, z) for z in (-1, 1) for y in (-1, 1) for x in (-1, 1)]
    # Counter-clockwise from outside, starting at the corner the texture's lower left goes to.
    faces = [(0, 2, 3, 1), (4, 5, 7, 6), (0, 1, 5, 4), (3, 2, 6, 7), (2, 0, 4, 6), (1, 3, 7, 5)]
    uvs = [[(0, 0), (1, 0), (1, 1), (0, 1)]] * len(faces)
    crate = make_mesh("Crate", corners, faces, uvs)
    crate.data.materials.append(textured_material("Crate_Wood", image))
    export(TESTS, "textured.dae")
    export(TESTS, "textured_quads.dae", QUADS)


# ---- skinned column ---------------------------------------------------------------------------

COLUMN_SIDES = 8
COLUMN_RINGS = 10  # rings a third apart, so three blend across each joint
COLUMN_RADIUS = 0.3
BONES = ("Lower", "Middle", "Upper")  # one unit long each, stacked up the z axis


def column_weights(z):
    """Weight of each bone at height z: whole along a bone, smoothly shared within half a unit
    of each joint."""
    weights = [0.0] * len(BONES)
    weights[0] = 1.0
    for joint in range(1, len(BONES)):
        t = min(1.0, max(0.0, z - (joint - 0.5)))
        t = t * t * (3 - 2 * t)
        weights[joint] = weights[joint - 1] * t
        weights[joint - 1] -= weights[joint]
    return weights


def build_column():
    height = float(len(BONES))
    verts = []
    for ring in range(COLUMN_RINGS):
        z = height * ring / (COLUMN_RINGS - 1)
        for side in range(COLUMN_SIDES):
            a = 2 * math.pi * side / COLUMN_SIDES
            verts.append((COLUMN_RADIUS * math.cos(a), COLUMN_RADIUS * math.sin(a), z))
    faces = []
    for ring in range(COLUMN_RINGS - 1):
        for side in range(COLUMN_SIDES):
            a, b = ring * COLUMN_SIDES + side, ring * COLUMN_SIDES + (side + 1) % COLUMN_SIDES
            faces.append((a, b, b + COLUMN_SIDES, a + COLUMN_SIDES))
    # Octagonal caps: the untriangulated export carries polygons of eight corners beside quads.
    faces.append(tuple(reversed(range(COLUMN_SIDES))))
    faces.append(tuple(range((COLUMN_RINGS - 1) * COLUMN_SIDES, COLUMN_RINGS * COLUMN_SIDES)))
    column = make_mesh("Column", verts, faces, smooth=True)
    column.data.materials.append(colour_material("Column_Paint", (0.2, 0.5, 0.8)))
    groups = [column.vertex_groups.new(name=name) for name in BONES]
    for v in column.data.vertices:
        for group, weight in zip(groups, column_weights(v.co.z)):
            if weight > 0:
                group.add([v.index], weight, "REPLACE")
    return column


def build_rig():
    rig = link(bpy.data.objects.new("Rig", bpy.data.armatures.new("Rig")))
    bpy.ops.object.mode_set(mode="EDIT")
    parent = None
    for i, name in enumerate(BONES):
        bone = rig.data.edit_bones.new(name)
        bone.head, bone.tail = (0, 0, i), (0, 0, i + 1)
        bone.parent = parent
        bone.use_connect = parent is not None
        parent = bone
    bpy.ops.object.mode_set(mode="OBJECT")
    return rig


def build_skinned():
    reset()
    column = build_column()
    rig = build_rig()
    # Parented and deformed as Ctrl+P "With Empty Groups" leaves it, the weights filled in above.
    column.parent = rig
    column.modifiers.new("Armature", "ARMATURE").object = rig
    scene = bpy.context.scene
    scene.frame_end = FPS
    # The upper two bones share the bend, so the animation moves a joint below another.
    for name in BONES[1:]:
        pose_bone = rig.pose.bones[name]
        pose_bone.rotation_mode = "XYZ"
        for frame, degrees in ((0, 0), (FPS // 2, 30), (FPS, 0)):
            pose_bone.rotation_euler = (math.radians(degrees), 0, 0)
            pose_bone.keyframe_insert("rotation_euler", frame=frame)
    scene.frame_set(0)
    export(TESTS, "skinned.dae")
    export(TESTS, "skinned_quads.dae", QUADS)


# ---- two-coloured quad cube -------------------------------------------------------------------


def build_quads():
    reset()
    cuts = 2  # quads along each edge
    verts, index_of, faces, material_indices = [], {}, [], []

    def vertex(p):
        key = tuple(round(c, 6) for c in p)
        if key not in index_of:
            index_of[key] = len(verts)
            verts.append(key)
        return index_of[key]

    # Each side: the axis it faces along, its sign, and two axes with u x v pointing outwards.
    for axis, sign, ua, va in ((0, 1, 1, 2), (0, -1, 2, 1), (1, 1, 2, 0), (1, -1, 0, 2), (2, 1, 0, 1), (2, -1, 1, 0)):
        for j in range(cuts):
            for i in range(cuts):
                quad = []
                for di, dj in ((0, 0), (1, 0), (1, 1), (0, 1)):
                    p = [0.0, 0.0, 0.0]
                    p[axis] = sign
                    p[ua], p[va] = -1 + 2 * (i + di) / cuts, -1 + 2 * (j + dj) / cuts
                    quad.append(vertex(p))
                faces.append(tuple(quad))
                material_indices.append(1 if axis == 2 else 0)
    block = make_mesh("Block", verts, faces, material_indices=material_indices)
    block.data.materials.append(colour_material("Paint_Red", (0.8, 0.1, 0.1)))
    block.data.materials.append(colour_material("Paint_Blue", (0.1, 0.2, 0.8)))
    export(TESTS, "quads.dae", QUADS)
    export(TESTS, "quads_triangulated.dae")


# ---- turned vase ------------------------------------------------------------------------------

# Profile (radius, height) of the outer wall from the middle of the foot up to the rim; the
# inner wall follows it a wall's thickness inside.
VASE_OUTER = [(0.0, 0.0), (0.20, 0.0), (0.24, 0.015), (0.23, 0.06), (0.27, 0.16), (0.35, 0.34),
              (0.40, 0.52), (0.38, 0.70), (0.29, 0.88), (0.19, 1.00), (0.16, 1.08), (0.17, 1.15),
              (0.21, 1.22)]
VASE_WALL = 0.03
VASE_STEPS = 48  # lathe steps around the axis
VASE_SECONDS = 3


def vase_profile():
    """The whole cross-section, outer wall up, round over the rim, inner wall down, each point
    with a tag saying which wall it starts."""
    outer = VASE_OUTER
    rim = outer[-1]
    lip = [(rim[0] + VASE_WALL / 2 * math.cos(a), rim[1] + VASE_WALL / 2 * math.sin(a))
           for a in (math.pi / 3, 2 * math.pi / 3)]
    inner = [(max(0.0, r - VASE_WALL), z + VASE_WALL) for r, z in reversed(outer[2:])]
    inner[-1] = (inner[-1][0] - VASE_WALL, inner[-1][1])  # the inner floor's edge
    inner.append((0.0, outer[0][1] + VASE_WALL * 2))
    points = outer + lip + inner
    tags = ["outer"] * (len(outer) + 1) + ["inner"] * (len(lip) + len(inner) - 1)
    return points, tags


def glaze_pattern(u, v):
    """Cream clay dipped in a teal glaze whose edge runs in waves, with two gilt bands near the
    rim; every wave repeats a whole number of times around, so the seam at u = 0 closes."""
    cream, teal, deep, gold = (232, 220, 196), (38, 120, 128), (20, 72, 86), (214, 170, 70)
    edge = 0.3 + 0.05 * math.sin(2 * math.pi * 6 * u) + 0.02 * math.sin(2 * math.pi * 13 * u + 1.0)
    if v < edge:
        return cream
    if 0.80 < v < 0.83 or 0.87 < v < 0.89:
        return gold
    # Darker where the glaze pooled, just above its edge and in thin rings.
    if v < edge + 0.04 or int(v * 40) % 5 == 0:
        return deep
    return teal


def lathe_uvs(mesh, profile, tags):
    """Texture coordinates for the turned mesh: u the angle around (one turn), v the distance
    along its own wall's profile. Per corner, so faces at the seam reach u = 1 instead of
    wrapping back to 0."""
    lengths, total = [], {"outer": 0.0, "inner": 0.0}
    previous = None
    for (r, z), tag in zip(profile, tags):
        if previous is not None and previous[2] == tag:
            total[tag] += math.hypot(r - previous[0], z - previous[1])
        lengths.append((tag, total[tag]))
        previous = (r, z, tag)
    along = {}
    for (r, z), (tag, length) in zip(profile, lengths):
        along[(round(r, 4), round(z, 4))] = length / total[tag]
    uv_layer = mesh.uv_layers.new(name="UVMap").data
    for polygon in mesh.polygons:
        centre = polygon.center
        centre_u = (math.atan2(centre.y, centre.x) / (2 * math.pi)) % 1.0
        for loop_index in polygon.loop_indices:
            co = mesh.vertices[mesh.loops[loop_index].vertex_index].co
            r = math.hypot(co.x, co.y)
            u = centre_u if r < 1e-6 else (math.atan2(co.y, co.x) / (2 * math.pi)) % 1.0
            if u - centre_u > 0.5:
                u -= 1.0
            elif centre_u - u > 0.5:
                u += 1.0
            uv_layer[loop_index].uv = (u, along[(round(r, 4), round(co.z, 4))])


def build_vase_mesh():
    profile, tags = vase_profile()
    mesh = bpy.data.meshes.new("Vase")
    mesh.from_pydata([(r, 0.0, z) for r, z in profile], [(i, i + 1) for i in range(len(profile) - 1)], [])
    vase = link(bpy.data.objects.new("Vase", mesh))
    screw = vase.modifiers.new("Lathe", "SCREW")
    screw.axis = "Z"
    screw.angle = 2 * math.pi
    screw.steps = screw.render_steps = VASE_STEPS
    screw.screw_offset = 0
    # The profile's ends lie on the axis: merged there, they close the floor and the foot.
    screw.use_merge_vertices = True
    screw.merge_threshold = 1e-4
    bpy.ops.object.modifier_apply(modifier=screw.name)

    bm = bmesh.new()
    bm.from_mesh(mesh)
    bmesh.ops.recalc_face_normals(bm, faces=bm.faces)
    bm.to_mesh(mesh)
    bm.free()
    lathe_uvs(mesh, profile, tags)

    # Glazed outside down to the foot, bare clay on the foot's underside and inside.
    glaze = save_image(MODELS, "Vase_Glaze.png", 128, glaze_pattern)
    mesh.materials.append(textured_material("Glaze", glaze))
    mesh.materials.append(colour_material("Clay", (0.62, 0.36, 0.24)))
    outer_foot = VASE_OUTER[2]
    for polygon in mesh.polygons:
        c = polygon.center
        r = math.hypot(c.x, c.y)
        on_outer = min(math.hypot(r - pr, c.z - pz) for pr, pz in VASE_OUTER[1:]) <= min(
            math.hypot(r - pr, c.z - pz) for pr, pz in profile[len(VASE_OUTER) + 2:])
        polygon.material_index = 0 if on_outer and c.z > outer_foot[1] / 2 else 1
        polygon.use_smooth = True
    # Smooth curves, but the foot's rim and the floor's edge stay crisp.
    mesh.use_auto_smooth = True
    mesh.auto_smooth_angle = math.radians(50)
    return vase


def animate_vase(vase):
    scene = bpy.context.scene
    end = VASE_SECONDS * FPS
    scene.frame_end = end
    vase.rotation_mode = "XYZ"
    for frame, turn, lift in ((0, 0.0, 0.0), (end // 2, 0.5, 0.12), (end, 1.0, 0.0)):
        vase.rotation_euler = (0, 0, 2 * math.pi * turn)
        vase.location = (0, 0, lift)
        vase.keyframe_insert("rotation_euler", frame=frame)
        vase.keyframe_insert("location", frame=frame)
    # The turn runs at an even speed, so the loop shows no pause where it starts again.
    for curve in vase.animation_data.action.fcurves:
        if curve.data_path == "rotation_euler":
            for key in curve.keyframe_points:
                key.interpolation = "LINEAR"
    scene.frame_set(0)


def aim(obj, position, target):
    obj.location = position
    obj.rotation_euler = (Vector(target) - Vector(position)).to_track_quat("-Z", "Y").to_euler()


def build_vase():
    reset()
    vase = build_vase_mesh()
    animate_vase(vase)
    camera_data = bpy.data.cameras.new("Camera")
    camera_data.lens = 50
    camera = link(bpy.data.objects.new("Camera", camera_data))
    # Far enough that the whole vase, at the top of its bob, fills about four fifths of the height.
    aim(camera, (3.0, -3.6, 1.9), (0, 0, 0.64))
    bpy.context.scene.camera = camera
    sun_data = bpy.data.lights.new("Sun", "SUN")
    sun_data.energy = 1.0  # the exporter writes colour times strength
    sun = link(bpy.data.objects.new("Sun", sun_data))
    aim(sun, (-2.0, -3.0, 4.0), (0, 0, 0.5))
    export(MODELS, "turned_vase.dae", counted=False)


def main():
    os.makedirs(TESTS, exist_ok=True)
    os.makedirs(MODELS, exist_ok=True)
    build_crate()
    build_skinned()
    build_quads()
    build_vase()
    with open(os.path.join(TESTS, "counts.txt"), "w") as out:
        out.write("# one line per exported file: space-separated name=value pairs, as Blender counted the"
                  " scene: file, mesh_objects, polygons, triangles (corners - 2 summed over polygons),"
                  " vertices, materials, bones, cameras, lights, animated (keyed objects and bones),"
                  " frame_start, frame_end, fps\n")
        out.write("".join(line + "\n" for line in counts))


main()
