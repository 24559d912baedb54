#!/usr/bin/env python3
"""The largest scatter this machine can hold, and the same job, smaller, under
the sanitizers.

    bench/stress.py                                   # release build only
    bench/stress.py --sanitized-build build/asan      # and the sanitizer check

It builds the benchmark inputs (the 512 x 512-quad terrain and the 2,002-point
object with UV, weight and morph maps), asks the tool's memory guard how many
clones fit in the memory available now (a run with an impossible count is
refused with the count that fits), and runs 97% of that, in memory, under
/usr/bin/time: wall time, peak memory, new points, bytes per new point.

With --sanitized-build, the same job at --sanitized-clones clones is run by
that build's tool (AddressSanitizer and UndefinedBehaviorSanitizer, leak
checks on); it must exit 0 with no sanitizer report. Build that tool with
`cmake --preset asan && cmake --build --preset asan --target sowfield_tool sowfield`.
"""

import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

from timing import release_programs, run_timed

ROOT = Path(__file__).resolve().parent.parent
MEMORY_GUARD_EXIT = 7
IMPOSSIBLE_COUNT = 2_000_000_000
MARGIN_PERCENT = 97


def scatter_command(tool, inputs, clones, extra=()):
    return [str(tool), "scatter", str(inputs / "surface.obj"), str(inputs / "object.glb"),
            "--set", f"Number of Clones={clones}", "--no-output", "--json", "--quiet", *extra]


def clones_that_fit(tool, inputs):
    """The count the memory guard says fits, read from its refusal of more."""
    completed = subprocess.run(scatter_command(tool, inputs, IMPOSSIBLE_COUNT), stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, text=True)
    if completed.returncode != MEMORY_GUARD_EXIT:
        raise SystemExit(f"expected the memory guard to refuse {IMPOSSIBLE_COUNT:,} clones, "
                         f"got exit {completed.returncode}:\n{completed.stderr[-2000:]}")
    summary = json.loads(completed.stdout)
    match = re.search(r"\((\d+) fit", summary.get("error") or "")
    if not match:
        raise SystemExit(f"the refusal gave no count that fits: {summary.get('error')!r}")
    return int(match.group(1)), summary


def report(title, clones, code, seconds, peak, stdout):
    try:
        points = int(json.loads(stdout)["added"]["points"])
    except (ValueError, KeyError, TypeError):
        points = 0
    print(f"{title}: {clones:,} clones, exit {code}, {seconds:.1f} s, peak {peak / 2**30:.2f} GiB, "
          f"{points:,} new points" + (f", {peak / points:.1f} bytes per new point, "
                                      f"{points / seconds / 1e6:.1f} M new points/s" if points and seconds else ""))
    return points


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build-dir", default=str(ROOT / "build" / "release"))
    parser.add_argument("--sanitized-build", help="a build of the asan preset whose tool runs the smaller job")
    parser.add_argument("--sanitized-clones", type=int, default=2_000)
    parser.add_argument("--work", help="folder for the inputs (default: a temporary one)")
    args = parser.parse_args()

    tool, make_inputs = release_programs(args.build_dir)
    if shutil.which("/usr/bin/time") is None:
        raise SystemExit("/usr/bin/time is missing: apt-get install time")

    work = Path(args.work) if args.work else Path(tempfile.mkdtemp(prefix="sowfield-stress-"))
    inputs = work / "inputs"
    inputs.mkdir(parents=True, exist_ok=True)
    try:
        subprocess.run([str(make_inputs), str(inputs)], check=True, stdout=subprocess.DEVNULL)
        failed = False

        fit, refusal = clones_that_fit(tool, inputs)
        limit = (refusal.get("memory") or {}).get("limit", 0)
        # What the system reports available moves a little from one moment to
        # the next; the run keeps a margin so that it is not refused for that.
        clones = fit * MARGIN_PERCENT // 100
        print(f"memory guard: {fit:,} clones fit in {limit / 2**30:.1f} GiB available; running {clones:,}")
        code, seconds, peak, stdout, stderr = run_timed(scatter_command(tool, inputs, clones))
        report("largest run", clones, code, seconds, peak, stdout)
        if code != 0:
            sys.stderr.write(stderr[-2000:])
            failed = True

        if args.sanitized_build:
            sanitized_tool = Path(args.sanitized_build) / "cli" / "sowfield"
            if not sanitized_tool.exists():
                raise SystemExit(f"{sanitized_tool} is missing: build it with the asan preset")
            env = dict(os.environ, ASAN_OPTIONS="detect_leaks=1:halt_on_error=1",
                       UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1")
            code, seconds, peak, stdout, stderr = run_timed(
                scatter_command(sanitized_tool, inputs, args.sanitized_clones), env=env)
            report("under the sanitizers", args.sanitized_clones, code, seconds, peak, stdout)
            reports = [line for line in stderr.splitlines() if "Sanitizer" in line or "runtime error" in line]
            if code != 0 or reports:
                sys.stderr.write("\n".join(reports) or stderr[-2000:])
                print("under the sanitizers: FAILED")
                failed = True
            else:
                print("under the sanitizers: clean exit, no report")
        return 1 if failed else 0
    finally:
        if not args.work:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
