"""Times every workload on one side with pyperf, into one result file.

    python -m bench.side SIDE [--only NAME ...] [--size small|large|both] [pyperf options]

SIDE is the module whose functions are called:

- `baseline`: bench/baseline.py, plain Python;
- `cython`: the same file compiled by Cython into a temporary folder (removed afterwards);
- `extension`: `quorin.core.pdk` as installed, its fast path as `QUORIN_PDK_FAST_PATHS`
  says (pass it on to the workers with `--inherit-environ=QUORIN_PDK_FAST_PATHS`);
- `extension:DIR`: the build of the extension installed under DIR (for example one without
  monitoring events).

Each workload runs in pyperf's worker processes, each of which builds its inputs once, then
times runs with garbage collection off and the inputs made afresh (outside the clock) where the
function changes them. The timed call goes through `operator.call`, so that callgrind's
`--toggle-collect=_operator_call` counts exactly the runs (see bench/README.md).
"""

from __future__ import annotations

import atexit
import gc
import importlib.util
import operator
import os
import shutil
import subprocess
import sys
import sysconfig
import tempfile
import time
from pathlib import Path
from types import ModuleType
from typing import Any

from bench.fakes import Services, installed
from bench.workloads import WORKLOADS, Case, FileTree, Workload

CHECKOUT = Path(__file__).resolve().parents[1]
BASELINE = CHECKOUT / "bench" / "baseline.py"


def compile_baseline(into: Path) -> Path:
    """bench/baseline.py compiled by Cython into the folder `into`, as the module `baseline`."""
    source = into / "baseline.py"
    shutil.copyfile(BASELINE, source)
    subprocess.run([sys.executable, "-m", "cython", "-3", str(source)], check=True)
    config = sysconfig.get_config_vars()
    target = into / f"baseline{config['EXT_SUFFIX']}"
    # As a build backend compiles an extension: the interpreter's own compiler and flags.
    command = [
        *config["LDSHARED"].split(),
        *config["CFLAGS"].split(),
        *config["CCSHARED"].split(),
        f"-I{sysconfig.get_path('include')}",
        str(source.with_suffix(".c")),
        "-o",
        str(target),
    ]
    subprocess.run(command, check=True)
    return target


def load(side: str) -> ModuleType:
    kind, _, folder = side.partition(":")
    if side == "baseline":
        from bench import baseline

        return baseline
    if side == "extension":
        import quorin.core.pdk

        return quorin.core.pdk
    if kind == "cython" and folder:
        return from_file(
            "baseline", Path(folder) / f"baseline{sysconfig.get_config_var('EXT_SUFFIX')}"
        )
    if kind == "extension" and folder:
        found = sorted(Path(folder).glob("quorin/core/pdk.*.so"))
        if not found:
            raise SystemExit(f"no extension under {folder}")
        import quorin.core

        module = from_file("quorin.core.pdk", found[0])
        quorin.core.pdk = module  # type: ignore[attr-defined]
        return module
    raise SystemExit(f"unknown side {side!r}: baseline, cython, extension or extension:DIR")


def from_file(name: str, path: Path) -> ModuleType:
    spec = importlib.util.spec_from_file_location(name, path)
    assert spec is not None and spec.loader is not None
    module = importlib.util.module_from_spec(spec)
    sys.modules[name] = module
    spec.loader.exec_module(module)
    return module


def timed(module: ModuleType, case: Case, loops: int) -> float:
    total = 0.0
    for _ in range(loops):
        args = case.fresh()
        gc.collect()
        gc.disable()
        try:
            start = time.perf_counter()
            result = operator.call(case.call, module, args)
            total += time.perf_counter() - start
        finally:
            gc.enable()
        # Freed after the clock stopped: tearing down the result is not the function's work.
        del result, args
    return total


class Worker:
    """The state of one worker process: its module and the one case it times."""

    def __init__(self, side: str) -> None:
        self.side = side
        self.module: ModuleType | None = None
        self.tree = FileTree()
        atexit.register(self.tree.close)
        self.cases: dict[tuple[str, int], tuple[Services, Case]] = {}

    def time(self, loops: int, workload: Workload, n: int) -> float:
        if self.module is None:
            self.module = load(self.side)
        module = self.module
        if (workload.name, n) not in self.cases:
            services = Services()
            self.cases[workload.name, n] = services, workload.build(services, n, self.tree)
        services, case = self.cases[workload.name, n]
        with installed(module, services):
            return timed(module, case, loops)


def prepare(runner: Any, args: Any) -> None:
    """In the main process: what the workers need before they start."""
    # Workers find the bench package wherever the run was started.
    os.environ["PYTHONPATH"] = os.pathsep.join(
        p for p in (str(CHECKOUT), os.environ.get("PYTHONPATH")) if p
    )
    if args.side == "cython":
        folder = Path(tempfile.mkdtemp(prefix="quorin-cython-"))
        atexit.register(shutil.rmtree, folder, ignore_errors=True)
        compile_baseline(folder)
        args.side = f"cython:{folder}"
    runner.metadata["side"] = args.side.partition(":")[0]
    if args.side.startswith("extension"):
        runner.metadata["fast_paths"] = os.environ.get("QUORIN_PDK_FAST_PATHS", "all on")


def pass_on(cmd: list[str], args: Any) -> None:
    cmd.append(args.side)
    cmd += ["--size", args.size]
    for name in args.only or ():
        cmd += ["--only", name]


def main() -> None:
    # Imported here: the tests use this module's helpers without the benchmark's packages.
    import pyperf

    runner = pyperf.Runner(add_cmdline_args=pass_on, program_args=("-m", "bench.side"), metadata={})
    parser = runner.argparser
    parser.add_argument("side")
    parser.add_argument("--size", choices=("small", "large", "both"), default="small")
    parser.add_argument("--only", action="append", help="workloads whose name contains this")
    args = runner.parse_args()
    prepare(runner, args)
    worker = Worker(args.side)
    factors = {"small": (1,), "large": (10,), "both": (1, 10)}[args.size]
    for workload in WORKLOADS:
        if args.only and not any(o in workload.name for o in args.only):
            continue
        for factor in factors:
            n = workload.small * factor
            name = workload.name if factor == 1 else f"{workload.name} x{factor}"
            runner.bench_time_func(name, worker.time, workload, n)


if __name__ == "__main__":
    main()
