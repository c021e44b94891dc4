"""Runs one workload on one module, over and over, for a profiler to watch.

    python -m bench.one NAME [--side extension|baseline] [--size N] [--loops K]

Inputs are built and the module warmed up before the loops, so a profiler that collects only
inside the module's function (callgrind's --toggle-collect) sees the measured work alone.
"""

from __future__ import annotations

import argparse
import gc
import operator
import time
from collections.abc import Sequence

import quorin.core.pdk as extension
from bench import baseline
from bench.fakes import Services, installed
from bench.run import selected
from bench.workloads import FileTree


def main(argv: Sequence[str] | None = None) -> int:
    parser = argparse.ArgumentParser(prog="python -m bench.one", description=__doc__)
    parser.add_argument("name", help="a workload (or part of its name)")
    parser.add_argument("--side", choices=("extension", "baseline"), default="extension")
    parser.add_argument("--size", type=int, help="the workload's size (default: its small size)")
    parser.add_argument("--loops", type=int, default=1)
    options = parser.parse_args(argv)

    workload = selected([options.name])[0]
    module = extension if options.side == "extension" else baseline
    n = options.size or workload.small
    tree = FileTree()
    try:
        services = Services()
        case = workload.build(services, n, tree)
        with installed([baseline, extension], services):
            case.call(module, case.fresh())
            elapsed = 0.0
            for _ in range(options.loops):
                args = case.fresh()
                gc.collect()
                gc.disable()  # as in the runner's timed runs
                start = time.perf_counter()
                # Through a C function, so that callgrind's --toggle-collect=_operator_call
                # counts the run alone on either side.
                operator.call(case.call, module, args)
                elapsed += time.perf_counter() - start
                gc.enable()
    finally:
        tree.close()
    print(
        f"{workload.name} on the {options.side} at {workload.label(n)}: "
        f"{elapsed / options.loops:.4f} s per run"
    )
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
