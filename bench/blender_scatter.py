"""The same scatter job in Blender's geometry nodes, for a side-by-side timing.

Run headless, first to find the Poisson-disk distance that gives about N
points (untimed), then for the timed job:
    blender -b --factory-startup --python bench/blender_scatter.py -- \
        --surface surface.obj --object object.obj --count 10000 --mode calibrate
    blender -b --factory-startup --python bench/blender_scatter.py -- \
        --surface surface.obj --object object.obj --count 10000 \
        --distance D --density R --mode realize --output out.glb

Modes:
    calibrate   prints "CALIBRATED distance=D density=R"
    distribute  Poisson-disk points on the surface only (no instances)
    realize     points, instances aligned to the normal with a random turn of
                +-10 degrees per axis and a uniform scale 0.75-1.25, realized
    (with --output, the realized result is exported to OBJ or GLB;
    --candidates sets the density of calibrate, --points-out makes distribute
    write its points as OBJ vertices)

Prints "RESULT sites=<n> new_points=<m>" at the end.
"""

import argparse
import math
import sys

import bpy
import numpy

# Debian 12's Blender 3.4 glTF add-on still uses numpy.bool, an alias that
# NumPy 1.24 (Debian 12's) removed; it means the builtin bool.
if not hasattr(numpy, "bool"):
    numpy.bool = bool


def parse_args():
    argv = sys.argv[sys.argv.index("--") + 1:] if "--" in sys.argv else []
    parser = argparse.ArgumentParser()
    parser.add_argument("--surface", required=True)
    parser.add_argument("--object", required=True)
    parser.add_argument("--count", type=int, required=True)
    parser.add_argument("--mode", choices=["calibrate", "distribute", "realize"], default="realize")
    parser.add_argument("--distance", type=float, default=0.0)
    parser.add_argument("--density", type=float, default=1.0)
    parser.add_argument("--output")
    parser.add_argument("--candidates", type=float, default=4.0,
                        help="calibrate: candidate points per kept point (the density over the expected count)")
    parser.add_argument("--points-out", help="distribute: write the points as OBJ vertices to this file")
    return parser.parse_args(argv)


def import_mesh(path):
    before = set(bpy.data.objects)
    if path.lower().endswith(".obj"):
        bpy.ops.wm.obj_import(filepath=path, forward_axis="NEGATIVE_Z", up_axis="Y")
    else:
        bpy.ops.import_scene.gltf(filepath=path)
    new = [o for o in bpy.data.objects if o not in before and o.type == "MESH"]
    if not new:
        raise SystemExit(f"nothing imported from {path}")
    return new[0]


def surface_area(obj):
    return sum(p.area for p in obj.data.polygons)


def build_tree(surface, instance, distance, density, mode):
    tree = bpy.data.node_groups.new("Scatter", "GeometryNodeTree")
    nodes, links = tree.nodes, tree.links
    group_in = nodes.new("NodeGroupInput")
    group_out = nodes.new("NodeGroupOutput")
    tree.inputs.new("NodeSocketGeometry", "Geometry")
    tree.outputs.new("NodeSocketGeometry", "Geometry")

    distribute = nodes.new("GeometryNodeDistributePointsOnFaces")
    distribute.distribute_method = "POISSON"
    distribute.inputs["Distance Min"].default_value = distance
    distribute.inputs["Density Max"].default_value = density
    distribute.inputs["Seed"].default_value = 25
    links.new(group_in.outputs["Geometry"], distribute.inputs["Mesh"])

    if mode in ("distribute", "count"):
        # Points become mesh vertices so that they can be counted.
        to_vertices = nodes.new("GeometryNodePointsToVertices")
        links.new(distribute.outputs["Points"], to_vertices.inputs["Points"])
        links.new(to_vertices.outputs["Mesh"], group_out.inputs["Geometry"])
        return tree

    object_info = nodes.new("GeometryNodeObjectInfo")
    object_info.inputs["Object"].default_value = instance
    object_info.transform_space = "ORIGINAL"

    align = nodes.new("FunctionNodeAlignEulerToVector")
    align.axis = "Z"
    links.new(distribute.outputs["Normal"], align.inputs["Vector"])

    turn = nodes.new("FunctionNodeRandomValue")
    turn.data_type = "FLOAT_VECTOR"
    ten_degrees = math.radians(10.0)
    turn.inputs["Min"].default_value = (-ten_degrees,) * 3
    turn.inputs["Max"].default_value = (ten_degrees,) * 3

    rotate = nodes.new("FunctionNodeRotateEuler")
    rotate.space = "LOCAL"
    links.new(align.outputs["Rotation"], rotate.inputs["Rotation"])
    links.new(turn.outputs["Value"], rotate.inputs["Rotate By"])

    scale = nodes.new("FunctionNodeRandomValue")
    scale.data_type = "FLOAT"
    scale.inputs[2].default_value = 0.75  # Min (float)
    scale.inputs[3].default_value = 1.25  # Max (float)

    instance_on_points = nodes.new("GeometryNodeInstanceOnPoints")
    links.new(distribute.outputs["Points"], instance_on_points.inputs["Points"])
    links.new(object_info.outputs["Geometry"], instance_on_points.inputs["Instance"])
    links.new(rotate.outputs["Rotation"], instance_on_points.inputs["Rotation"])
    links.new(scale.outputs[1], instance_on_points.inputs["Scale"])

    realize = nodes.new("GeometryNodeRealizeInstances")
    links.new(instance_on_points.outputs["Instances"], realize.inputs["Geometry"])
    links.new(realize.outputs["Geometry"], group_out.inputs["Geometry"])
    return tree


def evaluated_point_count(obj):
    depsgraph = bpy.context.evaluated_depsgraph_get()
    evaluated = obj.evaluated_get(depsgraph)
    mesh = evaluated.to_mesh()
    count = len(mesh.vertices)
    evaluated.to_mesh_clear()
    return count


def write_points(obj, path):
    """The evaluated vertices of `obj`, in world space, as OBJ "v" lines."""
    depsgraph = bpy.context.evaluated_depsgraph_get()
    evaluated = obj.evaluated_get(depsgraph)
    mesh = evaluated.to_mesh()
    coordinates = numpy.empty(len(mesh.vertices) * 3)
    mesh.vertices.foreach_get("co", coordinates)
    evaluated.to_mesh_clear()
    points = coordinates.reshape(-1, 3) @ numpy.array(obj.matrix_world)[:3, :3].T + numpy.array(obj.matrix_world)[:3, 3]
    with open(path, "w") as out:
        for x, y, z in points:
            out.write(f"v {x!r} {y!r} {z!r}\n")


def apply_tree(surface, tree):
    modifier = surface.modifiers.new("Scatter", "NODES")
    modifier.node_group = tree
    return modifier


def count_distributed(surface, distance, density):
    tree = build_tree(surface, None, distance, density, "count")
    modifier = apply_tree(surface, tree)
    n = evaluated_point_count(surface)
    surface.modifiers.remove(modifier)
    bpy.data.node_groups.remove(tree)
    return n


def calibrate(surface, count, candidates):
    """Poisson-disk distance (and density) that leave about `count` points."""
    area = surface_area(surface)
    density = candidates * count / area
    low, high = 0.0, 2.0 * math.sqrt(area / count)
    middle = high
    for _ in range(16):
        middle = 0.5 * (low + high)
        n = count_distributed(surface, middle, density)
        if abs(n - count) <= 0.01 * count:
            break
        if n > count:
            low = middle
        else:
            high = middle
    return middle, density


def main():
    args = parse_args()
    bpy.ops.wm.read_factory_settings(use_empty=True)
    surface = import_mesh(args.surface)
    if args.mode == "calibrate":
        distance, density = calibrate(surface, args.count, args.candidates)
        print(f"CALIBRATED distance={distance!r} density={density!r}")
        return
    instance = import_mesh(args.object)
    instance.hide_set(True)
    instance_points = len(instance.data.vertices)

    tree = build_tree(surface, instance, args.distance, args.density, args.mode)
    apply_tree(surface, tree)
    n = evaluated_point_count(surface)
    if args.points_out and args.mode == "distribute":
        write_points(surface, args.points_out)
    if args.output:
        bpy.ops.object.select_all(action="DESELECT")
        surface.select_set(True)
        bpy.context.view_layer.objects.active = surface
        if args.output.lower().endswith(".obj"):
            bpy.ops.wm.obj_export(filepath=args.output, export_selected_objects=True, apply_modifiers=True)
        else:
            bpy.ops.export_scene.gltf(filepath=args.output, use_selection=True, export_apply=True)
    sites = n if args.mode == "distribute" else n // max(instance_points, 1)
    new_points = 0 if args.mode == "distribute" else n
    print(f"RESULT sites={sites} new_points={new_points}")


main()
