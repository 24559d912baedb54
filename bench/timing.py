"""What the benchmark scripts share: the release build's programs, and running
a command under /usr/bin/time."""

import subprocess
import tempfile
from collections import namedtuple
from pathlib import Path

Timed = namedtuple("Timed", "code seconds peak_bytes stdout stderr")


def run_timed(command, cwd=None, env=None):
    """Runs `command` under /usr/bin/time: its exit code, wall seconds, peak
    resident bytes, standard output and standard error."""
    with tempfile.NamedTemporaryFile("r", suffix=".time") as timing:
        completed = subprocess.run(["/usr/bin/time", "-f", "%e %M", "-o", timing.name, *command],
                                   cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, env=env)
        fields = timing.read().split()
    seconds = float(fields[-2]) if len(fields) >= 2 else float("nan")
    peak = int(fields[-1]) * 1024 if len(fields) >= 2 else 0
    return Timed(completed.returncode, seconds, peak, completed.stdout, completed.stderr)


def release_programs(build_dir):
    """The tool and the input generator of a release build, as (tool,
    make_inputs), as absolute paths, since the runs happen in another folder;
    exits with a message saying how to build them when missing."""
    build = Path(build_dir).resolve()
    tool = build / "cli" / "sowfield"
    make_inputs = build / "bench" / "inputs" / "make_bench_inputs"
    for needed in (tool, make_inputs):
        if not needed.exists():
            raise SystemExit(f"{needed} is missing: build the release preset first "
                             "(cmake --workflow --preset release)")
    return tool, make_inputs
