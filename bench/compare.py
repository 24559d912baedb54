#!/usr/bin/env python3
"""Sowfield side by side with Blender's geometry nodes on the same scatter jobs.

    bench/compare.py                 # every case, 3 runs each
    bench/compare.py --quick         # the smaller sizes only
    bench/compare.py --no-blender    # Sowfield alone
    bench/compare.py --workloads W1  # the site search only
    bench/compare.py --workloads W3 --counts 1000 --runs 1   # one size, one run

It builds the inputs (a 512 x 512-quad terrain, side 100, and a closed
2,002-point object with a UV map, a weight map and a morph map), then runs:

    W1  distribution only      N = 10,000 / 100,000 / 1,000,000 sites
    W2  the whole run in memory N = 1,000 / 10,000 / 100,000 clones
    W3  end to end, OBJ in, OBJ and GLB out, N = 1,000 / 10,000 clones

and reports, per case, the median wall time of the runs, the peak memory, new
points per second and the output size, for each tool, and their ratio. The two
tools alternate run by run so that both see the same machine state.

Blender is not a dependency of the project. To compare with it on Debian:
    sudo apt-get install blender python3-numpy
The Blender side distributes Poisson-disk points (distance calibrated first,
untimed, so that about N points result), instances the object on them aligned
to the normal with a random turn of +-10 degrees per axis and a uniform scale of
0.75-1.25, realizes the instances and exports to the same format.
"""

import argparse
import json
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
from pathlib import Path

from timing import release_programs, run_timed

ROOT = Path(__file__).resolve().parent.parent
BLENDER_SCRIPT = ROOT / "bench" / "blender_scatter.py"
MEMORY_GUARD_EXIT = 7
# Blender's Python finds its library through the python3 first on PATH; an
# interpreter of another installation (pyenv, a virtual environment) would
# hide the system's NumPy from it, so Blender runs with the system PATH.
BLENDER_ENV = dict(os.environ, PATH=os.pathsep.join(["/usr/local/bin", "/usr/bin", "/bin"]))


class Case:
    def __init__(self, workload, count, output_ext=None):
        self.workload = workload
        self.count = count
        self.output_ext = output_ext

    @property
    def name(self):
        suffix = f" -> {self.output_ext.upper()}" if self.output_ext else ""
        return f"{self.workload} N={self.count:,}{suffix}"


def sowfield_command(tool, inputs, case, output):
    obj = inputs / ("triangle.obj" if case.workload == "W1" else
                    "object.glb" if case.workload == "W2" else "object.obj")
    command = [str(tool), "scatter", str(inputs / "surface.obj"), str(obj),
               "--set", f"Number of Clones={case.count}", "--quiet", "--json", "--clones-only"]
    command += ["-o", str(output)] if output else ["--no-output"]
    return command


def blender_command(inputs, case, calibration, output):
    obj = inputs / ("object.glb" if case.workload == "W2" else "object.obj")
    distance, density = calibration
    mode = "distribute" if case.workload == "W1" else "realize"
    command = ["blender", "-b", "--factory-startup", "--python-exit-code", "1", "--python", str(BLENDER_SCRIPT), "--",
               "--surface", str(inputs / "surface.obj"), "--object", str(obj), "--count", str(case.count),
               "--distance", repr(distance), "--density", repr(density), "--mode", mode]
    if output:
        command += ["--output", str(output)]
    return command


def calibrate_blender(inputs, count, candidates=4):
    """Blender's Poisson-disk (distance, density) that leave about `count`
    points, `candidates` candidate points per kept one."""
    completed = subprocess.run(["blender", "-b", "--factory-startup", "--python-exit-code", "1",
                                "--python", str(BLENDER_SCRIPT), "--",
                                "--surface", str(inputs / "surface.obj"), "--object", str(inputs / "object.obj"),
                                "--count", str(count), "--mode", "calibrate", "--candidates", str(candidates)],
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, env=BLENDER_ENV)
    match = re.search(r"CALIBRATED distance=(\S+) density=(\S+)", completed.stdout)
    if not match:
        raise SystemExit(f"Blender calibration failed:\n{(completed.stdout + completed.stderr)[-2000:]}")
    return float(match.group(1)), float(match.group(2))


def counted_by_sowfield(stdout):
    """(sites, new points) of a run, from its JSON summary."""
    try:
        summary = json.loads(stdout)
        return int(summary["clones"]), int(summary["added"]["points"])
    except (ValueError, KeyError, TypeError):
        return 0, 0


def counted_by_blender(stdout):
    match = re.search(r"RESULT sites=(\d+) new_points=(\d+)", stdout)
    return (int(match.group(1)), int(match.group(2))) if match else (0, 0)


def measure(label, case, command, cwd, output, parse_counts, env=None):
    code, seconds, peak_bytes, stdout, stderr = run_timed(command, cwd, env)
    if code not in (0, MEMORY_GUARD_EXIT):
        sys.stderr.write(stderr[-2000:])
    size = output.stat().st_size if output and output.exists() else 0
    if output and output.exists():
        output.unlink()
    sites, new_points = parse_counts(stdout)
    # A run that made nothing (a failed import, say) is a failure, not a time.
    made = sites if case.workload == "W1" else new_points
    if code == 0 and made == 0:
        sys.stderr.write(f"{label} made nothing for {case.name}; not counted\n")
        code = -1
    return {"tool": label, "code": code, "seconds": seconds, "peak_mib": peak_bytes / 2**20,
            "sites": sites, "new_points": new_points, "output_bytes": size}


def summarise(case, runs):
    ok = [r for r in runs if r["code"] == 0]
    if not ok:
        return None
    seconds = statistics.median(r["seconds"] for r in ok)
    # W1 makes sites; the others are measured by the points they add.
    made = ok[0]["sites"] if case.workload == "W1" else ok[0]["new_points"]
    return {"seconds": seconds, "peak_mib": max(r["peak_mib"] for r in ok), "sites": ok[0]["sites"],
            "new_points": ok[0]["new_points"], "per_second": made / seconds if seconds > 0 else 0.0,
            "output_mb": ok[0]["output_bytes"] / 1e6, "runs": len(ok)}


def format_row(case, ours, theirs):
    unit = "sites/s" if case.workload == "W1" else "new pts/s"

    def cell(s):
        if s is None:
            return "failed"
        return f"{s['seconds']:.2f} s, {s['peak_mib']:.0f} MiB, {s['per_second'] / 1e6:.2f} M {unit}" + (
            f", {s['output_mb']:.0f} MB" if s["output_mb"] else "") + (
            f" ({s['sites']:,} sites)" if case.workload == "W1" else "")
    ratio = ""
    if ours and theirs and ours["seconds"] > 0:
        ratio = f"{theirs['seconds'] / ours['seconds']:.1f}x"
    return f"| {case.name} | {cell(ours)} | {cell(theirs) if theirs is not None else '-'} | {ratio} |"


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build-dir", default=str(ROOT / "build" / "release"))
    parser.add_argument("--work", default=None, help="folder for inputs and outputs (default: a temporary one)")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--quick", action="store_true", help="only the smaller sizes")
    parser.add_argument("--no-blender", action="store_true")
    parser.add_argument("--workloads", nargs="+", choices=["W1", "W2", "W3"], help="only these workloads (default: all)")
    parser.add_argument("--counts", nargs="+", type=int, help="only these clone counts (default: all)")
    parser.add_argument("--json", help="also write the results here")
    args = parser.parse_args()

    tool, make_inputs = release_programs(args.build_dir)
    use_blender = not args.no_blender and shutil.which("blender") is not None
    if not args.no_blender and not use_blender:
        print("Blender not found: measuring Sowfield alone (apt-get install blender python3-numpy to compare).")

    work = Path(args.work) if args.work else Path(tempfile.mkdtemp(prefix="sowfield-bench-"))
    inputs = work / "inputs"
    inputs.mkdir(parents=True, exist_ok=True)
    subprocess.run([str(make_inputs), str(inputs)], check=True)

    cases = [Case("W1", n) for n in (10_000, 100_000, 1_000_000)]
    cases += [Case("W2", n) for n in (1_000, 10_000, 100_000)]
    cases += [Case("W3", n, ext) for n in (1_000, 10_000) for ext in ("obj", "glb")]
    if args.quick:
        cases = [c for c in cases if c.count <= 10_000]
    if args.workloads:
        cases = [c for c in cases if c.workload in args.workloads]
    if args.counts:
        cases = [c for c in cases if c.count in args.counts]

    calibrations = {}
    results = []
    print("| Case | Sowfield | Blender | Blender / Sowfield |")
    print("|---|---|---|---|")
    for case in cases:
        output = work / f"out.{case.output_ext}" if case.output_ext else None
        blender_output = work / f"blender-out.{case.output_ext}" if case.output_ext else None
        # Blender needs several times our memory; past 10,000 full clones it
        # cannot finish on a 24 GB machine.
        blender_here = use_blender and not (case.workload == "W2" and case.count > 10_000)
        if blender_here and case.count not in calibrations:
            calibrations[case.count] = calibrate_blender(inputs, case.count)
        ours_runs, theirs_runs = [], []
        for _ in range(args.runs):
            ours_runs.append(measure("sowfield", case, sowfield_command(tool, inputs, case, output), work, output,
                                     counted_by_sowfield))
            if ours_runs[-1]["code"] == MEMORY_GUARD_EXIT:
                break
            if blender_here:
                theirs_runs.append(measure("blender", case,
                                           blender_command(inputs, case, calibrations[case.count], blender_output),
                                           work, blender_output, counted_by_blender, BLENDER_ENV))
        ours = summarise(case, ours_runs)
        theirs = summarise(case, theirs_runs) if blender_here else None
        if ours is None and ours_runs and ours_runs[-1]["code"] == MEMORY_GUARD_EXIT:
            print(f"| {case.name} | refused by the memory guard | - | |")
        else:
            print(format_row(case, ours, theirs), flush=True)
        results.append({"case": case.name, "sowfield": ours, "blender": theirs, "raw": ours_runs + theirs_runs})

    if args.json:
        Path(args.json).write_text(json.dumps(results, indent=2))
    if not args.work:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
