"""The benchmark: each side timed by pyperf into a result file, compared by `pyperf compare_to`.

    python -m bench [--quick] [--only NAME ...] [--size small|large|both] [--sides A,B,...]
                    [--cells N] [--no-end-to-end] [--results DIR]

Sides as `bench.side` takes them, and `extension@VALUE`: the extension with
`QUORIN_PDK_FAST_PATHS=VALUE` (`extension@0`: every fast path off). The first side is the
reference of the comparison. The Cython build of the baseline is made once, in a temporary
folder, for all its runs.
"""

from __future__ import annotations

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
from collections.abc import Sequence
from pathlib import Path

from bench import endtoend
from bench.side import CHECKOUT, compile_baseline

SIDES = "baseline,cython,extension"


def label(side: str) -> str:
    kind, _, value = side.partition("@")
    if side.startswith("extension:"):
        return "-".join(("extension", *Path(side.partition(":")[2]).parts[-2:]))
    return f"{kind}-fast-paths-{value.replace(',', '-')}" if value else kind


def measure(script: str, side: str, out: Path, options: list[str]) -> Path:
    """One side's pyperf run into `out`, its fast-path setting passed on to pyperf's workers."""
    env = {**os.environ, "PYTHONPATH": str(CHECKOUT)}
    env.pop("QUORIN_PDK_FAST_PATHS", None)
    side, _, setting = side.partition("@")
    if setting:
        env["QUORIN_PDK_FAST_PATHS"] = setting
        options = [*options, "--inherit-environ=QUORIN_PDK_FAST_PATHS"]
    print(f"  {script} {side} {setting}", file=sys.stderr, flush=True)
    argv = [sys.executable, "-m", script, side, "--quiet", "-o", str(out), *options]
    subprocess.run(argv, check=True, env=env)
    return out


def compare(files: list[Path]) -> None:
    subprocess.run(
        [sys.executable, "-m", "pyperf", "compare_to", "--table", *map(str, files)], check=True
    )


def main(argv: Sequence[str] | None = None) -> int:
    parser = argparse.ArgumentParser(prog="python -m bench", description=__doc__)
    parser.add_argument("--quick", action="store_true", help="fewer processes and values")
    parser.add_argument("--only", action="append", help="workloads whose name contains this")
    parser.add_argument("--size", choices=("small", "large", "both"), default="small")
    parser.add_argument("--sides", default=SIDES, help=f"comma-separated (default {SIDES})")
    parser.add_argument("--cells", type=int, default=3_000, help="end to end: project size")
    parser.add_argument("--no-end-to-end", dest="end_to_end", action="store_false")
    parser.add_argument("--results", type=Path, help="keep the result files in this folder")
    options = parser.parse_args(argv)

    sides = options.sides.split(",")
    names = [label(s) for s in sides]
    with tempfile.TemporaryDirectory(prefix="quorin-bench-") as tmp:
        results = options.results or Path(tmp)
        results.mkdir(parents=True, exist_ok=True)
        if "cython" in sides:
            folder = Path(tmp) / "cython"
            folder.mkdir()
            compile_baseline(folder)
            sides = [f"cython:{folder}" if s == "cython" else s for s in sides]

        pyperf = ["--processes", "4", "--values", "2"] if options.quick else []
        micro = ["--size", options.size, *(f"--only={o}" for o in options.only or ())]
        files = [
            measure("bench.side", s, results / f"{n}.json", [*pyperf, *micro])
            for s, n in zip(sides, names, strict=True)
        ]
        print("\nworkloads, each side against the first:", flush=True)
        compare(files)
        if len(files) > 2:
            print(f"\nworkloads, {names[-1]} against {names[-2]}:", flush=True)
            compare(files[-2:])

        if options.end_to_end and not options.only:
            project = endtoend.prepare(options.cells)
            e2e = ["--project", str(project), "--cells", str(options.cells)]
            e2e += ["--processes", "5"] if options.quick else []
            files = [
                measure("bench.endtoend", s, results / f"end-to-end-{n}.json", e2e)
                for s, n in zip(sides, names, strict=True)
            ]
            print(f"\nend to end, {options.cells:,} cells, each side against the first:")
            sys.stdout.flush()
            compare(files)
            shutil.rmtree(project.parent, ignore_errors=True)
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
