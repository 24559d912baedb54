"""Running a command under /usr/bin/time, for the benchmark scripts."""

import subprocess
import tempfile
from collections import namedtuple

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
