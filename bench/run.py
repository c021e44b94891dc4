"""Times the extension against the plain-Python baseline, side by side in one process.

Both modules get the same cheap fakes for every outside component. Runs of the two alternate,
each timed alone (inputs built before the clock starts, garbage collection off), and the best
of several counts. Usage: python -m bench [--quick] [--only NAME] [--size small|large|both]
"""

from __future__ import annotations

import argparse
import gc
import os
import platform
import sys
import time
from collections.abc import Sequence
from dataclasses import dataclass
from types import ModuleType

import quorin.core.pdk as extension
from bench import baseline, endtoend, fast_paths
from bench.fakes import Services, installed
from bench.workloads import WORKLOADS, Case, FileTree, Workload

GROWTH_LIMIT = 11.0  # ten times the work may take at most eleven times as long
MOST_RUNS = 40
# The best of several runs still scatters by this much between processes on a shared machine.
NOISE = 0.03


@dataclass
class Row:
    workload: Workload
    size: int
    baseline: float
    extension: float | None  # None: the extension does not implement it yet

    @property
    def speedup(self) -> float | None:
        return None if self.extension is None else self.baseline / self.extension


def timed(module: ModuleType, case: Case) -> float:
    args = case.fresh()
    gc.collect()
    gc.disable()
    try:
        start = time.perf_counter()
        result = case.call(module, args)
        elapsed = time.perf_counter() - start
    finally:
        gc.enable()
    # Freed after the clock stopped: tearing down the result is not the function's work.
    del result, args
    return elapsed


def is_pending(case: Case) -> bool:
    """Whether the extension still lacks this function; the call also warms it up."""
    try:
        case.call(extension, case.fresh())
    except NotImplementedError:
        return True
    return False


@dataclass(frozen=True)
class Budget:
    """How many alternating runs per side: at least `repeats`, more while they are quick."""

    repeats: int
    seconds: float  # spent on timed runs, both sides together, before stopping early
    most: int = MOST_RUNS

    def more(self, runs: int, spent: float) -> bool:
        return runs < self.repeats or (spent < self.seconds and runs < self.most)


def measure(workload: Workload, n: int, budget: Budget, tree: FileTree) -> Row:
    services = Services()
    case = workload.build(services, n, tree)
    with installed([baseline, extension], services):
        case.call(baseline, case.fresh())  # warm-up, untimed
        pending = is_pending(case)
        sides = (baseline,) if pending else (baseline, extension)
        best = dict.fromkeys(sides, float("inf"))
        runs, spent = 0, 0.0
        while budget.more(runs, spent):
            # Alternating which side goes first spreads slow spells of a shared machine evenly.
            for module in sides if runs % 2 == 0 else sides[::-1]:
                elapsed = timed(module, case)
                best[module] = min(best[module], elapsed)
                spent += elapsed
            runs += 1
    return Row(workload, n, best[baseline], None if pending else best[extension])


def selected(only: Sequence[str] | None) -> list[Workload]:
    if not only:
        return list(WORKLOADS)
    chosen = [w for w in WORKLOADS if any(o == w.name or o in w.name for o in only)]
    if not chosen:
        names = ", ".join(w.name for w in WORKLOADS)
        raise SystemExit(f"no workload matches {', '.join(only)}; known: {names}")
    return chosen


def verdict(row: Row, growth: float | None) -> str:
    speedup = row.speedup
    if speedup is None:
        return ""
    misses = []
    close = False
    if speedup < row.workload.target:
        close = speedup >= row.workload.target * (1 - NOISE)
        misses.append("speed-up")
    if growth is not None and growth > GROWTH_LIMIT:
        close = False
        misses.append("growth")
    if not misses:
        return "ok"
    return "borderline (within noise)" if close else "MISS " + "+".join(misses)


def print_table(rows: list[Row]) -> None:
    header = (
        f"{'workload':<36} {'size':<32} {'baseline s':>10} {'extension s':>11} "
        f"{'speed-up':>8} {'growth':>7} {'(base)':>7} {'target':>7}  result"
    )
    print(header)
    print("-" * len(header))
    small: dict[str, Row] = {}
    for row in rows:
        w = row.workload
        first = small.setdefault(w.name, row)
        growth = base_growth = None
        if first is not row and first.size < row.size:
            base_growth = row.baseline / first.baseline
            if row.extension is not None and first.extension is not None:
                growth = row.extension / first.extension
        ext = "pending" if row.extension is None else f"{row.extension:.4f}"
        speedup = "" if row.speedup is None else f"{row.speedup:.2f}x"
        print(
            f"{w.name:<36} {w.label(row.size):<32} {row.baseline:>10.4f} {ext:>11} "
            f"{speedup:>8} {'' if growth is None else f'{growth:.1f}x':>7} "
            f"{'' if base_growth is None else f'{base_growth:.1f}x':>7} "
            f"{f'>={w.target:g}x':>7}  {verdict(row, growth)}"
        )
    measured = [r for r in rows if r.speedup is not None]
    pending = sorted({r.workload.name for r in rows if r.speedup is None})
    if pending:
        print(f"pending (extension raises NotImplementedError): {', '.join(pending)}")
    if measured:
        worst = min(measured, key=lambda r: r.speedup or 0.0)
        print(
            f"smallest speed-up: {worst.speedup:.2f}\N{MULTIPLICATION SIGN} "
            f"({worst.workload.name}, {worst.workload.label(worst.size)})"
        )
    else:
        print("smallest speed-up: none measured")


def main(argv: Sequence[str] | None = None) -> int:
    parser = argparse.ArgumentParser(prog="python -m bench", description=__doc__.splitlines()[0])
    parser.add_argument("--quick", action="store_true", help="fewer repeats")
    parser.add_argument(
        "--only", action="append", metavar="NAME", help="a workload (or part of its name)"
    )
    parser.add_argument("--size", choices=("small", "large", "both"), default="both")
    parser.add_argument("--repeats", type=int, help="least runs per side at the small size")
    parser.add_argument(
        "--before", metavar="REV", help="end to end: also time the stand-ins of this commit"
    )
    options = parser.parse_args(argv)
    # The end-to-end workload runs in processes of its own, after the table.
    end_to_end = not options.only or any(o in endtoend.NAME for o in options.only)
    # So is the table of fast paths, on against off.
    fast = not options.only or "fast-paths" in options.only
    only = [o for o in options.only or () if o not in endtoend.NAME and o != "fast-paths"]
    workloads = selected(only) if only or not options.only else []

    repeats = options.repeats or (3 if options.quick else 7)
    seconds = 0.5 if options.quick else 3.0
    budgets = {1: Budget(repeats, seconds), 10: Budget(max(1, repeats - 4), 0.0)}
    factors = {"small": (1,), "large": (10,), "both": (1, 10)}[options.size]
    print(
        f"python {platform.python_version()}, {os.cpu_count()} cores; best of alternating runs "
        f"per side: small size at least {budgets[1].repeats} (more, up to {MOST_RUNS}, while "
        f"under {seconds:g} s), large size {budgets[10].repeats}",
        flush=True,
    )

    rows: list[Row] = []
    tree = FileTree()
    try:
        for workload in workloads:
            for factor in factors:
                n = workload.small * factor
                print(f"  {workload.name} at {workload.label(n)} ...", file=sys.stderr, flush=True)
                rows.append(measure(workload, n, budgets[factor], tree))
    finally:
        tree.close()
    if rows:
        print()
        print_table(rows)
    if end_to_end:
        print()
        args = ["--size", options.size] + (["--quick"] if options.quick else [])
        endtoend.main(args + (["--before", options.before] if options.before else []))
    if fast:
        print()
        fast_paths.main(["--quick"] if options.quick else [])
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
