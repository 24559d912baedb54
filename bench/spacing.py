#!/usr/bin/python3
"""How evenly scattered points are spread: the distance from each point to
its nearest neighbour, divided by sqrt(area / points), the side of the square
each point would have if the points tiled the surface. Reported: the least,
the 1st percentile and the mean (points spread as a perfect square lattice
give 1; uniform random points about 0.5).

    bench/spacing.py                         # the W1 terrain, 10,000 and 100,000 points
    bench/spacing.py --no-blender            # Sowfield and uniform random points only
    bench/spacing.py --points FILE --surface surface.obj [--stride 3]
                                             # the figures of any tool's points

The table compares Sowfield at its default "Distribution"/"Iterations" and
at two other settings, Blender's Poisson-disk mode with 4 and 16 candidates
per kept point (its distance calibrated, untimed, to leave about N points),
and uniform random points on the same surface. Points files are read as OBJ
"v" lines; Sowfield scatters a one-triangle object whose first point is its
origin, so every third vertex of its output is a site (--stride 3). Times are
whole-process wall times, writing the points included.

Needs the system Python with NumPy and SciPy (sudo apt-get install
python3-numpy python3-scipy; hence /usr/bin/python3 above) and,
for its column, Blender (sudo apt-get install blender); none of them is a
dependency of the project.
"""

import argparse
import math
import subprocess
import sys
import tempfile
from pathlib import Path

import numpy
from scipy.spatial import cKDTree

from compare import BLENDER_ENV, BLENDER_SCRIPT, calibrate_blender
from timing import release_programs, run_timed

SOWFIELD_SETTINGS = [(80, 15), (100, 40), (60, 5)]  # (Distribution %, Iterations); the first is the default
BLENDER_CANDIDATES = [4, 16]


def read_points(path, stride=1):
    """The vertices of an OBJ file, every `stride`-th from the first."""
    points = []
    with open(path) as source:
        for line in source:
            if line.startswith("v "):
                points.append([float(v) for v in line.split()[1:4]])
    return numpy.array(points[::stride], dtype=float).reshape(-1, 3)


def read_triangles(path):
    """The surface of an OBJ file as triangles (polygons fanned from their
    first point), an array of shape (n, 3, 3)."""
    vertices = []
    triangles = []
    with open(path) as source:
        for line in source:
            if line.startswith("v "):
                vertices.append([float(v) for v in line.split()[1:4]])
            elif line.startswith("f "):
                corners = [int(item.split("/")[0]) for item in line.split()[1:]]
                corners = [c - 1 if c > 0 else len(vertices) + c for c in corners]
                for k in range(2, len(corners)):
                    triangles.append((corners[0], corners[k - 1], corners[k]))
    return numpy.array(vertices)[numpy.array(triangles)]


def triangle_areas(triangles):
    return 0.5 * numpy.linalg.norm(numpy.cross(triangles[:, 1] - triangles[:, 0], triangles[:, 2] - triangles[:, 0]),
                                   axis=1)


def uniform_points(triangles, count, seed=25):
    """`count` points uniformly distributed over the area of the triangles."""
    rng = numpy.random.default_rng(seed)
    areas = triangle_areas(triangles)
    chosen = triangles[rng.choice(len(triangles), size=count, p=areas / areas.sum())]
    u, v = rng.random(count), rng.random(count)
    flip = u + v > 1.0
    u[flip], v[flip] = 1.0 - u[flip], 1.0 - v[flip]
    return chosen[:, 0] + u[:, None] * (chosen[:, 1] - chosen[:, 0]) + v[:, None] * (chosen[:, 2] - chosen[:, 0])


def spacing_figures(points, area):
    """(min, 1st percentile, mean) of nearest-neighbour distance / sqrt(area / points)."""
    distances, _ = cKDTree(points).query(points, k=2)
    nearest = distances[:, 1] / math.sqrt(area / len(points))
    return float(nearest.min()), float(numpy.percentile(nearest, 1)), float(nearest.mean())


def sowfield_points(tool, inputs, work, count, distribution, iterations):
    output = work / f"sowfield-{count}-{distribution}-{iterations}.obj"
    command = [str(tool), "scatter", str(inputs / "surface.obj"), str(inputs / "triangle.obj"),
               "--set", f"Number of Clones={count}", "--set", f"Distribution={distribution}",
               "--set", f"Iterations={iterations}", "--quiet", "--clones-only", "-o", str(output)]
    timed = run_timed(command)
    if timed.code != 0:
        raise SystemExit(f"sowfield failed: {timed.stderr[-2000:]}")
    return read_points(output, stride=3), timed.seconds


def blender_points(inputs, work, count, candidates):
    distance, density = calibrate_blender(inputs, count, candidates)
    output = work / f"blender-{count}-{candidates}.obj"
    command = ["blender", "-b", "--factory-startup", "--python-exit-code", "1", "--python", str(BLENDER_SCRIPT), "--",
               "--surface", str(inputs / "surface.obj"), "--object", str(inputs / "object.obj"),
               "--count", str(count), "--distance", repr(distance), "--density", repr(density),
               "--mode", "distribute", "--points-out", str(output)]
    timed = run_timed(command, env=BLENDER_ENV)
    if timed.code != 0:
        raise SystemExit(f"Blender failed: {(timed.stdout + timed.stderr)[-2000:]}")
    return read_points(output), timed.seconds


def table_row(label, points, seconds, area):
    low, first_percentile, mean = spacing_figures(points, area)
    time = f"{seconds:.2f} s" if seconds is not None else ""
    return f"| {label} | {len(points):,} | {time} | {low:.2f} | {first_percentile:.2f} | {mean:.2f} |"


def compare(args):
    tool, make_inputs = release_programs(args.build_dir)
    work = Path(args.work) if args.work else Path(tempfile.mkdtemp(prefix="sowfield-spacing-"))
    inputs = work / "inputs"
    inputs.mkdir(parents=True, exist_ok=True)
    subprocess.run([str(make_inputs), str(inputs)], check=True)
    triangles = read_triangles(inputs / "surface.obj")
    area = float(triangle_areas(triangles).sum())

    print("| Points | Sites | Time | Min | 1st percentile | Mean |")
    print("|---|---|---|---|---|---|")
    for count in args.counts:
        for distribution, iterations in SOWFIELD_SETTINGS:
            points, seconds = sowfield_points(tool, inputs, work, count, distribution, iterations)
            label = f"Sowfield, Distribution {distribution} %, Iterations {iterations}"
            if (distribution, iterations) == SOWFIELD_SETTINGS[0]:
                label += " (defaults)"
            print(table_row(label, points, seconds, area), flush=True)
        if not args.no_blender:
            for candidates in BLENDER_CANDIDATES:
                points, seconds = blender_points(inputs, work, count, candidates)
                print(table_row(f"Blender Poisson disk, {candidates} candidates per point", points, seconds, area),
                      flush=True)
        print(table_row("Uniform random points", uniform_points(triangles, count), None, area), flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build-dir", default=str(Path(__file__).resolve().parent.parent / "build" / "release"))
    parser.add_argument("--work", help="folder for inputs and outputs (default: a temporary one)")
    parser.add_argument("--counts", type=int, nargs="+", default=[10_000, 100_000])
    parser.add_argument("--no-blender", action="store_true")
    parser.add_argument("--points", help="only report the figures of this OBJ points file")
    parser.add_argument("--surface", help="with --points: the surface the points lie on (OBJ)")
    parser.add_argument("--stride", type=int, default=1, help="with --points: take every n-th vertex")
    args = parser.parse_args()
    if args.points:
        if not args.surface:
            sys.exit("--points needs --surface (the area comes from it)")
        area = float(triangle_areas(read_triangles(args.surface)).sum())
        points = read_points(args.points, args.stride)
        low, first_percentile, mean = spacing_figures(points, area)
        print(f"{len(points)} points: min {low:.3f}, 1st percentile {first_percentile:.3f}, mean {mean:.3f}")
        return
    compare(args)


if __name__ == "__main__":
    main()
