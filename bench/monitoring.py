"""The extension with and without its monitoring events compiled in, side by side.

    python -m bench.monitoring --build DIR [--quick] [--only NAME ...] [--size small|large|both]
                               [--instructions]

`make bench` installs a second build, configured with QUORIN_MONITORING=OFF, into
build/no-monitoring/site and runs this after the main table. Each side runs in processes of its
own, so that both load a module named `quorin.core.pdk`; the processes alternate, each times its
workload several times (inputs built first, garbage collection off) and reports its best, and
the best over the processes counts. With no tool active the events cost one check of the
interpreter's monitoring version per call, which must stay within noise: at most 2 %.

Besides the workloads of the main table, one row calls a function whose body has next to
nothing to do, over and over: the cost of the check per call, with nothing to hide it.
`--instructions` counts instructions with callgrind instead of timing (steady on a busy machine;
slow: about a minute per workload and side).
"""

from __future__ import annotations

import argparse
import gc
import importlib.util
import json
import operator
import shutil
import subprocess
import sys
import tempfile
import time
from collections.abc import Sequence
from pathlib import Path
from typing import Any

LIMIT = 0.02
SIDES = ("with events", "without")
CALLS = "calls of _sort_paths(())"


def use_build(site: Path) -> None:
    """Makes the extension installed into `site` the `quorin.core.pdk` every later import gets."""
    found = sorted(site.glob("quorin/core/pdk.*.so"))
    if not found:
        raise SystemExit(f"no extension under {site}: run `make bench`, which builds it")
    import quorin.core

    spec = importlib.util.spec_from_file_location("quorin.core.pdk", found[0])
    assert spec is not None and spec.loader is not None
    module = importlib.util.module_from_spec(spec)
    sys.modules[spec.name] = module
    spec.loader.exec_module(module)
    quorin.core.pdk = module  # type: ignore[attr-defined]


def workloads() -> list[Any]:
    from bench.workloads import WORKLOADS, Case, Workload

    class Calls(Case):
        """`n` calls of a function whose body has next to nothing to do."""

        def __init__(self, n: int) -> None:
            self.n = n

        def call(self, module: Any, args: Any) -> Any:
            sort_paths, nothing = module._sort_paths, ()
            for _ in range(self.n):
                sort_paths(nothing)

    calls = Workload(CALLS, 100_000, 1.0, lambda n: f"{n:,} calls", lambda s, n, t: Calls(n))
    return [*WORKLOADS, calls]


def child(name: str, size: int, repeats: int) -> list[float]:
    """Runs in a process of its own: `repeats` timed runs of one workload on the extension."""
    import quorin.core.pdk as extension
    from bench import baseline
    from bench.fakes import Services, installed
    from bench.workloads import FileTree

    workload = next(w for w in workloads() if w.name == name)
    tree = FileTree()
    times = []
    try:
        services = Services()
        case = workload.build(services, size, tree)
        with installed([baseline, extension], services):
            case.call(extension, case.fresh())  # warm-up, untimed
            for _ in range(repeats):
                args = case.fresh()
                gc.collect()
                gc.disable()
                start = time.perf_counter()
                # Through a C function, so that callgrind can count the run alone.
                operator.call(case.call, extension, args)
                times.append(time.perf_counter() - start)
                gc.enable()
                del args
    finally:
        tree.close()
    return times


def spawn(
    side: str, build: Path, name: str, size: int, repeats: int, prefix: Sequence[str] = ()
) -> Any:
    argv = [*prefix, sys.executable, "-m", "bench.monitoring", "--child", name, "--n", str(size)]
    argv += ["--repeats", str(repeats)]
    if side == "without":
        argv += ["--build", str(build)]
    done = subprocess.run(argv, capture_output=True, text=True)
    if done.returncode:
        raise RuntimeError(f"{name} ({side}) failed:\n{done.stderr}")
    return done


def timed(build: Path, name: str, size: int, rounds: int, repeats: int) -> dict[str, list[float]]:
    """The best run of each process, per side."""
    bests: dict[str, list[float]] = {side: [] for side in SIDES}
    for r in range(rounds):
        # Alternating which side goes first spreads slow spells of a shared machine evenly.
        for side in SIDES if r % 2 == 0 else SIDES[::-1]:
            done = spawn(side, build, name, size, repeats)
            bests[side].append(min(json.loads(done.stdout.splitlines()[-1])))
    return bests


def counted(build: Path, name: str, size: int) -> dict[str, list[float]]:
    """Instructions of one run per side, inside `operator.call` only."""
    from bench.instructions import COLLECTED

    counts: dict[str, list[float]] = {}
    for side in SIDES:
        with tempfile.TemporaryDirectory(prefix="quorin-callgrind-") as scratch:
            valgrind = ["valgrind", "--tool=callgrind", "--collect-atstart=no"]
            valgrind += ["--toggle-collect=_operator_call", f"--callgrind-out-file={scratch}/out"]
            done = spawn(side, build, name, size, 1, valgrind)
        found = COLLECTED.search(done.stderr)
        if found is None:
            raise RuntimeError(f"callgrind reported no count for {name} ({side})")
        counts[side] = [float(found.group(1))]
    return counts


def main(argv: Sequence[str] | None = None) -> int:
    parser = argparse.ArgumentParser(prog="python -m bench.monitoring", description=__doc__)
    parser.add_argument("--build", type=Path, help="where the build without events is installed")
    parser.add_argument("--quick", action="store_true", help="fewer processes and runs")
    parser.add_argument("--only", action="append", metavar="NAME", help="workloads matching this")
    parser.add_argument("--size", choices=("small", "large", "both"), default="small")
    parser.add_argument("--instructions", action="store_true", help="count with callgrind")
    parser.add_argument("--child", help=argparse.SUPPRESS)
    parser.add_argument("--n", type=int, help=argparse.SUPPRESS)
    parser.add_argument("--repeats", type=int, help="timed runs per process")
    # The main benchmark's other options (`make bench` passes them on) do not apply here.
    options, _ = parser.parse_known_args(argv)

    if options.child:
        if options.build:
            use_build(options.build)
        print(json.dumps(child(options.child, options.n, options.repeats or 1)))
        return 0
    if options.build is None:
        parser.error("--build is required")
    if options.instructions and shutil.which("valgrind") is None:
        raise SystemExit("valgrind is not installed")

    chosen = [w for w in workloads() if not options.only or any(o in w.name for o in options.only)]
    if not chosen:
        print("monitoring events: no workload selected")
        return 0
    factors = {"small": (1,), "large": (10,), "both": (1, 10)}[options.size]
    rounds, repeats = (2, 3) if options.quick else (4, 5)
    unit = "instructions" if options.instructions else "s"
    print(
        "\nthe extension with its monitoring events compiled in and without, no tool active: "
        + (
            "callgrind, one run per side"
            if options.instructions
            else f"{rounds} alternating processes per side, best of {repeats} runs each"
        )
    )
    header = (
        f"{'workload':<36} {'size':<32} {'with ' + unit:>16} {'without ' + unit:>16} "
        f"{'cost':>7} {'scatter':>7}  result"
    )
    print(header)
    print("-" * len(header))
    for workload in chosen:
        for factor in factors:
            n = workload.small * factor
            print(f"  {workload.name} at {workload.label(n)} ...", file=sys.stderr, flush=True)
            if options.instructions:
                results = counted(options.build, workload.name, n)
            else:
                results = timed(options.build, workload.name, n, rounds, repeats)
            best = {side: min(values) for side, values in results.items()}
            cost = best["with events"] / best["without"] - 1
            # How far one process's best strays from another's on the same side.
            scatter = max(max(v) / min(v) - 1 for v in results.values())
            verdict = "ok"
            if cost > LIMIT:
                # Timings on a shared machine stray further than the limit: only a cost above
                # the scatter is one; --instructions settles the rest.
                verdict = "within noise" if cost <= scatter else f"MISS (over {LIMIT:.0%})"
            if workload.name == CALLS:
                verdict = "the check alone (not a workload)"
            with_, without = (
                (f"{best[s]:>16,.0f}" if options.instructions else f"{best[s]:>16.4f}")
                for s in SIDES
            )
            print(
                f"{workload.name:<36} {workload.label(n):<32} {with_} {without} "
                f"{cost:>+7.1%} {scatter:>7.1%}  {verdict}",
                flush=True,
            )
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
