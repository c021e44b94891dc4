"""What each fast path of the extension buys: its workload and the registration runs, with the
fast path on and off, side by side in one run.

`QUORIN_PDK_FAST_PATHS` is read when the module is imported, so each setting runs in a worker
process of its own: one with every fast path on, one per fast path with only that one off, and
one with all of them off. The parent asks the workers in turn for one timed run of a workload
(inputs built before the clock starts, garbage collection off, the first run untimed), in
alternating order, and keeps the best of each.

    python -m bench.fast_paths [--quick] [--worker]
"""

from __future__ import annotations

import argparse
import json
import os
import subprocess
import sys
from collections.abc import Sequence
from dataclasses import dataclass
from typing import Any

# The fast paths, by the names the switch takes, with the workloads they are for.
FAST_PATHS: dict[str, tuple[str, ...]] = {
    "relative_to": ("_filter_records_for_non_pdk_project",),
    "module_attribute": ("_find_cells",),
    "unchanged_dicts": ("_get_database_updates",),
}
END_TO_END = ("register_cells", "register_cells, PDK project")
ALL_ON, ALL_OFF = "1", "0"
# Below this on both its workload and end to end, a fast path does not pay for its guards.
WORTH = 1.1


def serve() -> None:
    """The worker: one timed run per request line `{"workload": name}`, answered in seconds."""
    import quorin.core.pdk as extension
    from bench.fakes import Services, installed
    from bench.run import timed
    from bench.workloads import WORKLOADS, FileTree

    by_name = {w.name: w for w in WORKLOADS}
    tree = FileTree()
    cases: dict[str, Any] = {}
    try:
        for line in sys.stdin:
            name = json.loads(line)["workload"]
            if name not in cases:
                services = Services()
                workload = by_name[name]
                cases[name] = (services, workload.build(services, workload.small, tree))
                with installed([extension], services):
                    cases[name][1].call(extension, cases[name][1].fresh())  # warm-up, untimed
            services, case = cases[name]
            with installed([extension], services):
                elapsed = timed(extension, case)
            print(json.dumps(elapsed), flush=True)
    finally:
        tree.close()


class Worker:
    def __init__(self, setting: str) -> None:
        env = {**os.environ, "QUORIN_PDK_FAST_PATHS": setting}
        self.process = subprocess.Popen(
            [sys.executable, "-m", "bench.fast_paths", "--worker"],
            stdin=subprocess.PIPE,
            stdout=subprocess.PIPE,
            text=True,
            env=env,
        )

    def run(self, workload: str) -> float:
        assert self.process.stdin and self.process.stdout
        self.process.stdin.write(json.dumps({"workload": workload}) + "\n")
        self.process.stdin.flush()
        answer = self.process.stdout.readline()
        if not answer:
            raise SystemExit(f"a benchmark worker stopped (workload {workload})")
        return float(json.loads(answer))

    def close(self) -> None:
        assert self.process.stdin
        self.process.stdin.close()
        self.process.wait()


@dataclass
class Pair:
    workload: str
    on: float
    off: float

    @property
    def speedup(self) -> float:
        return self.off / self.on


def compare(on: Worker, off: Worker, workload: str, runs: int) -> Pair:
    best = {on: float("inf"), off: float("inf")}
    for i in range(runs):
        for worker in (on, off) if i % 2 == 0 else (off, on):
            best[worker] = min(best[worker], worker.run(workload))
    return Pair(workload, best[on], best[off])


def print_rows(rows: list[tuple[str, list[Pair], list[Pair]]]) -> None:
    header = f"{'fast path':<18} {'workload':<42} {'on s':>8} {'off s':>8} {'speed-up':>8}  verdict"
    print(header)
    print("-" * len(header))
    for name, own, end in rows:
        pays = any(p.speedup >= WORTH for p in own + end)
        for i, p in enumerate(own + end):
            verdict = ("pays its way" if pays else f"under {WORTH}x on both") if i == 0 else ""
            kind = "" if p in own else " (end to end)"
            print(
                f"{name if i == 0 else '':<18} {p.workload + kind:<42} {p.on:>8.4f} {p.off:>8.4f} "
                f"{p.speedup:>7.2f}x  {verdict}"
            )


def main(argv: Sequence[str] | None = None) -> int:
    parser = argparse.ArgumentParser(prog="python -m bench.fast_paths", description=__doc__)
    parser.add_argument("--quick", action="store_true", help="fewer runs")
    parser.add_argument("--worker", action="store_true", help=argparse.SUPPRESS)
    options = parser.parse_args(argv)
    if options.worker:
        serve()
        return 0
    runs = 3 if options.quick else 7
    print(
        f"fast paths, on against off (QUORIN_PDK_FAST_PATHS), best of {runs} alternating runs "
        "per side at the small size"
    )
    workers = {s: Worker(s) for s in (ALL_ON, *FAST_PATHS, ALL_OFF)}
    try:
        on = workers[ALL_ON]
        rows = [
            (
                name,
                [compare(on, workers[name], w, runs) for w in workloads],
                [compare(on, workers[name], w, runs) for w in END_TO_END],
            )
            for name, workloads in FAST_PATHS.items()
        ]
        rows.append(
            (
                "all of them",
                [],
                [compare(on, workers[ALL_OFF], w, runs) for w in END_TO_END],
            )
        )
    finally:
        for worker in workers.values():
            worker.close()
    print_rows(rows)
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
