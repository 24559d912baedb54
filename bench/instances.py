#!/usr/bin/env python3
"""W3 with instances: the clones of the W2 object on the W1 terrain written
to GLB as instances of one mesh, against the same run written as real
geometry and the same run with nothing written.

    bench/instances.py                       # N = 10,000, 3 runs of each
    bench/instances.py --count 1000 --runs 5

Every run is the whole command (read the inputs, run, find the placed
copies, write), `--clones-only` as in compare.py. The three cases alternate
run by run so that all see the same machine state. Reports the median wall
time, the peak memory and the file size of each, and the two targets: the
instanced file under 2 MB, the instanced command no slower than the run
without output plus 10 %.
"""

import argparse
import json
import statistics
import subprocess
import sys
import tempfile
from pathlib import Path

from timing import release_programs, run_timed

ROOT = Path(__file__).resolve().parent.parent

CASES = [
    ("no output", [], None),
    ("realized GLB", [], "realized.glb"),
    ("--instances gpu", ["--instances", "gpu"], "gpu.glb"),
    ("--instances nodes", ["--instances", "nodes"], "nodes.glb"),
]


def command(tool, inputs, count, extra, output):
    base = [str(tool), "scatter", str(inputs / "surface.obj"), str(inputs / "object.glb"),
            "--set", f"Number of Clones={count}", "--quiet", "--json", "--clones-only", *extra]
    return base + (["-o", str(output)] if output else ["--no-output"])


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build-dir", default=str(ROOT / "build" / "release"))
    parser.add_argument("--count", type=int, default=10_000)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--work", default=None, help="folder for inputs and outputs (default: a temporary one)")
    args = parser.parse_args()

    tool, make_inputs = release_programs(args.build_dir)
    work = Path(args.work) if args.work else Path(tempfile.mkdtemp(prefix="sowfield-instances-"))
    inputs = work / "inputs"
    inputs.mkdir(parents=True, exist_ok=True)
    subprocess.run([str(make_inputs), str(inputs)], check=True)

    results = {label: [] for label, _, _ in CASES}
    details = {}
    for _ in range(args.runs):
        for label, extra, name in CASES:
            output = work / name if name else None
            timed = run_timed(command(tool, inputs, args.count, extra, output), cwd=work)
            if timed.code != 0:
                sys.exit(f"{label}: exit {timed.code}\n{timed.stderr}")
            summary = json.loads(timed.stdout)
            size = output.stat().st_size if output else 0
            results[label].append((timed.seconds, timed.peak_bytes, size))
            details[label] = summary
            if output:
                output.unlink()

    print(f"W3 with instances, N = {args.count:,} clones of the W2 object, median of {args.runs} runs\n")
    print("| Case | Whole command | Peak memory | File |")
    print("|---|---|---|---|")
    medians = {}
    for label, _, name in CASES:
        seconds = statistics.median(r[0] for r in results[label])
        peak = max(r[1] for r in results[label])
        size = results[label][0][2]
        medians[label] = (seconds, size)
        file_text = f"{size / 1e6:,.2f} MB" if name else "-"
        print(f"| {label} | {seconds:.2f} s | {peak / 2**20:,.0f} MiB | {file_text} |")
    instances = details["--instances gpu"].get("instances") or {}
    print(f"\ninstanced: {instances.get('instanced')}, as geometry: {instances.get('realized')}")
    gpu_seconds, gpu_size = medians["--instances gpu"]
    baseline = medians["no output"][0]
    print(f"target: file under 2 MB: {gpu_size / 1e6:.2f} MB, {'met' if gpu_size < 2e6 else 'missed'}")
    print(f"target: at most no-output + 10 % ({baseline * 1.1:.2f} s): {gpu_seconds:.2f} s, "
          f"{'met' if gpu_seconds <= baseline * 1.1 else 'missed'}")


if __name__ == "__main__":
    main()
