"""Counts the instructions of one run of each workload, on both sides, with callgrind.

    python -m bench.instructions [--only NAME ...] [--size small|large|both]

Instruction counts do not depend on what else the machine is doing, and not on the memory
hierarchy either: where the timed growth from the small to the large size exceeds the work's,
these counts tell whether the work itself grew faster or only its memory accesses got slower.
Each count is one run (`python -m bench.one ... --loops 1` under valgrind), collected inside
`operator.call` only, so input building and warm-up are left out. The large sizes take minutes
each under valgrind.
"""

from __future__ import annotations

import argparse
import re
import shutil
import subprocess
import sys
import tempfile
from collections.abc import Sequence
from pathlib import Path

from bench.run import selected

COLLECTED = re.compile(r"Collected : (\d+)")
SIDES = ("baseline", "extension")


def count(workload: str, side: str, size: int) -> int:
    with tempfile.TemporaryDirectory(prefix="quorin-callgrind-") as scratch:
        command = [
            "valgrind",
            "--tool=callgrind",
            "--collect-atstart=no",
            "--toggle-collect=_operator_call",
            f"--callgrind-out-file={Path(scratch) / 'out'}",
            sys.executable,
            "-m",
            "bench.one",
            workload,
            "--side",
            side,
            "--size",
            str(size),
            "--loops",
            "1",
        ]
        done = subprocess.run(command, capture_output=True, text=True, check=True)
    found = COLLECTED.search(done.stderr)
    if found is None:
        raise RuntimeError(f"callgrind reported no count for {workload} on the {side}")
    return int(found.group(1))


def main(argv: Sequence[str] | None = None) -> int:
    parser = argparse.ArgumentParser(prog="python -m bench.instructions", description=__doc__)
    parser.add_argument("--only", action="append", help="workloads whose name contains this")
    parser.add_argument("--size", choices=("small", "large", "both"), default="both")
    options = parser.parse_args(argv)
    if shutil.which("valgrind") is None:
        raise SystemExit("valgrind is not installed")

    print(
        f"{'workload':36} {'size':>9} {'baseline':>15} {'extension':>15} "
        f"{'ratio':>7} {'growth':>7} (base)"
    )
    for workload in selected(options.only):
        sizes = {"small": [workload.small], "large": [10 * workload.small]}.get(
            options.size, [workload.small, 10 * workload.small]
        )
        first: dict[str, int] = {}
        for size in sizes:
            counts = {side: count(workload.name, side, size) for side in SIDES}
            growth = ""
            if first:
                ext = counts["extension"] / first["extension"]
                base = counts["baseline"] / first["baseline"]
                growth = f"{ext:6.1f}x {base:6.1f}x"
            else:
                first = counts
            ratio = counts["baseline"] / counts["extension"]
            print(
                f"{workload.name:36} {size:>9,} {counts['baseline']:>15,} "
                f"{counts['extension']:>15,} {ratio:6.2f}x {growth}",
                flush=True,
            )
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
