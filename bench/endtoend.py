"""End to end: registration of a generated project with the real stand-ins and SQLite.

A project laid out like examples/sample_project is generated in a temporary directory: a
package `proj` of N/10 files of 10 cells each, every cell calling the one before it and the
first cell of a file calling a cell of an earlier file; one file in a hundred imports a module
that does not exist and one in three hundred does not parse. Each side runs in a process of its
own, so that the first run finds nothing imported and nothing cached:

- first: a full registration into an empty database;
- again: a full registration with nothing changed;
- one file: `register_cells(paths=[file])` after an edit that renames one of its cells.

Sides: the extension and the plain-Python baseline on the current stand-ins, and optionally
(`--before REV`) the extension on the stand-ins of an earlier commit.

    python -m bench.endtoend [--quick] [--size small|large|both] [--before REV]
"""

from __future__ import annotations

import argparse
import gc
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
from collections.abc import Sequence
from dataclasses import dataclass, field
from pathlib import Path
from typing import Any

NAME = "end-to-end"
PROJECT = "proj"
CELLS_PER_FILE = 10
FILES_PER_PACKAGE = 50
PHASES = ("first", "again", "one file")
SIDES = ("extension", "baseline")
# Files are written this long before the runs, as a project's files are, so that the call graph
# can trust their modification times (files changed within the last seconds are read again).
AGE_SECONDS = 60.0


def failing_import(j: int) -> bool:
    return j % 100 == 37


def failing_parse(j: int) -> bool:
    return j % 300 == 151


def fails(j: int) -> bool:
    return failing_import(j) or failing_parse(j)


def module_of(j: int) -> str:
    return f"{PROJECT}.group{j // FILES_PER_PACKAGE}.mod{j:05d}"


def file_of(root: Path, j: int) -> Path:
    return root / PROJECT / f"group{j // FILES_PER_PACKAGE}" / f"mod{j:05d}.py"


def cell_name(j: int, i: int) -> str:
    return f"c{j:05d}_{i}"


def source_text(j: int, renamed: bool = False) -> str:
    """File j; `renamed` gives its last cell another name and a longer body."""
    lines = [
        '"""Generated cells."""',
        "",
        "import lumset as lm",
        "from lumset.components import WG",
    ]
    earlier = next((k for k in range(j - 1, -1, -1) if not fails(k)), None)
    if earlier is not None:
        lines.append(f"from {module_of(earlier)} import {cell_name(earlier, 0)}")
    if failing_import(j):
        lines.append(f"from {PROJECT}.thermal_models import heater_model  # no such module")
    for i in range(CELLS_PER_FILE):
        name = cell_name(j, i)
        if renamed and i == CELLS_PER_FILE - 1:
            name += "_renamed"
        callee = (
            cell_name(j, i - 1) if i else (cell_name(earlier, 0) if earlier is not None else "")
        )
        lines += [
            "",
            "",
            "@lm.cell",
            f"def {name}(length: float = {i + 1}.0, width: float = 0.5) -> lm.Component:",
            "    c = lm.Component()",
            "    c.add_polygon([(0, 0), (length, 0), (length, width), (0, width)], WG)",
        ]
        if callee:
            lines.append(f"    c.add_ref({callee}(length=length))")
        lines += ["    c.add_port('o1', (0, 0), 180, width)", "    return c"]
    if failing_parse(j):
        lines += [
            "",
            "",
            "@lm.cell",
            "def unfinished(width: float = 0.5 -> lm.Component:",
            "    ...",
        ]
    return "\n".join(lines) + "\n"


def edited_file(n_files: int) -> int:
    """The file the one-file runs edit: one in the middle that imports."""
    return next(j for j in range(n_files // 2, n_files) if not fails(j))


def generate(root: Path, n_cells: int) -> None:
    n_files = max(1, n_cells // CELLS_PER_FILE)
    (root / "pyproject.toml").parent.mkdir(parents=True, exist_ok=True)
    (root / "pyproject.toml").write_text(
        f'[project]\nname = "{PROJECT}"\n\n[tool.quorin]\npdk = "generic"\n'
    )
    package = root / PROJECT
    package.mkdir()
    (package / "__init__.py").write_text('"""Generated project."""\n')
    for j in range(n_files):
        path = file_of(root, j)
        if not path.parent.exists():
            path.parent.mkdir()
            (path.parent / "__init__.py").write_text("")
        path.write_text(source_text(j))
    age(root)


def age(root: Path) -> None:
    past = time.time() - AGE_SECONDS
    for path in root.rglob("*"):
        os.utime(path, (past, past))


# --- one side, in its own process ------------------------------------------------------------


def worker(side: str, project: Path, database: Path, repeats: int) -> dict[str, Any]:
    """Times the three phases on one side; runs in a process of its own."""
    os.environ["QUORIN_PROJECT_DIR"] = str(project)
    os.environ["QUORIN_DATABASE"] = str(database)
    if side == "baseline":
        from bench import baseline as module
    else:
        import quorin.core.pdk as module  # type: ignore[no-redef]
    module.get_pdk()  # the PDK's own import is not the registration's work
    # The project's bytecode is written, as by default, whatever the environment says: a project
    # run before imports from it. The benchmark's own modules are imported by now.
    sys.dont_write_bytecode = False
    n_files = sum(1 for _ in (project / PROJECT).rglob("mod*.py"))
    j = edited_file(n_files)
    path = file_of(project, j).resolve()

    times: dict[str, float] = {}
    results: dict[str, Any] = {}
    times["first"], results["first"] = clocked(module.register_cells)
    best_again = best_one = float("inf")
    try:
        for k in range(repeats):
            elapsed, results["again"] = clocked(module.register_cells)
            best_again = min(best_again, elapsed)
            path.write_text(source_text(j, renamed=k % 2 == 0))
            elapsed, results["one file"] = clocked(lambda: module.register_cells(paths=[path]))
            best_one = min(best_one, elapsed)
    finally:
        path.write_text(source_text(j))
    times["again"], times["one file"] = best_again, best_one
    counts = {phase: [len(added), len(removed)] for phase, (added, removed) in results.items()}
    return {"times": times, "counts": counts, "cells": len(module.get_pdk().cells)}


def clocked(call: Any) -> tuple[float, Any]:
    # As in the other workloads: garbage collection is off while the clock runs.
    gc.collect()
    gc.disable()
    try:
        start = time.perf_counter()
        result = call()
        return time.perf_counter() - start, result
    finally:
        gc.enable()


def installed_extension() -> Path:
    import quorin.core.pdk

    return Path(quorin.core.pdk.__file__)


def stand_ins_at(rev: str, into: Path) -> Path:
    """The stand-ins of commit `rev`, with the installed extension, as an import root."""
    top = subprocess.run(
        ["git", "rev-parse", "--show-toplevel"], capture_output=True, text=True, check=True
    ).stdout.strip()
    archive = subprocess.run(
        ["git", "-C", top, "archive", rev, "python/quorin", "python/lumset"],
        capture_output=True,
        check=True,
    ).stdout
    subprocess.run(["tar", "-x", "-C", str(into)], input=archive, check=True)
    root = into / "python"
    shutil.copy2(installed_extension(), root / "quorin" / "core")
    return root


def spawn(side: str, project: Path, database: Path, repeats: int, path: Path | None) -> Any:
    env = dict(os.environ)
    # The worker is `bench.endtoend` itself, importable from the checkout wherever the run starts.
    search = [str(Path(__file__).resolve().parents[1]), env.get("PYTHONPATH", "")]
    if path is not None:
        search.insert(0, str(path))
    env["PYTHONPATH"] = os.pathsep.join(search)
    database.unlink(missing_ok=True)
    argv = [sys.executable, "-m", "bench.endtoend", "--worker", side]
    argv += ["--project", str(project), "--database", str(database), "--repeats", str(repeats)]
    out = subprocess.run(argv, env=env, capture_output=True, text=True, cwd=Path.cwd())
    if out.returncode:
        raise RuntimeError(f"{side} worker failed:\n{out.stderr}")
    return json.loads(out.stdout.splitlines()[-1])


# --- the runner --------------------------------------------------------------------------------


@dataclass
class Measured:
    n_cells: int
    best: dict[str, dict[str, float]] = field(default_factory=dict)  # side -> phase -> seconds
    counts: dict[str, Any] = field(default_factory=dict)
    seconds: float = 0.0  # wall time of the whole measurement


def measure(
    n_cells: int, rounds: int, repeats: int, before: Path | None, workdir: Path
) -> Measured:
    project = workdir / f"project{n_cells}"
    generate(project, n_cells)
    sides: dict[str, Path | None] = dict.fromkeys(SIDES)
    if before is not None:
        sides["before"] = before
    started = time.perf_counter()
    # Untimed: compiles the project's bytecode once, as a project that has been run before has.
    spawn("extension", project, workdir / "warm.db", 1, None)
    measured = Measured(n_cells)
    for r in range(rounds):
        order = list(sides) if r % 2 == 0 else list(sides)[::-1]
        for side in order:
            result = spawn(side, project, workdir / f"{side}.db", repeats, sides[side])
            best = measured.best.setdefault(side, dict.fromkeys(PHASES, float("inf")))
            for phase in PHASES:
                best[phase] = min(best[phase], result["times"][phase])
            measured.counts[side] = result["counts"]
    measured.seconds = time.perf_counter() - started
    return measured


def report(rows: list[Measured]) -> list[str]:
    lines = []
    header = f"{'cells':>7} {'side':<10} " + " ".join(f"{p + ' s':>10}" for p in PHASES)
    header += f" {'one/first':>9} {'one/again':>9}"
    lines += [header, "-" * len(header)]
    for row in rows:
        for side, best in row.best.items():
            cells = " ".join(f"{best[p]:>10.4f}" for p in PHASES)
            lines.append(
                f"{row.n_cells:>7,} {side:<10} {cells} "
                f"{best['one file'] / best['first']:>9.3f} {best['one file'] / best['again']:>9.3f}"
            )
    lines.append("")
    for row in rows:
        ext = row.best["extension"]
        ratios = [f"{p}: {row.best['baseline'][p] / ext[p]:.2f}x" for p in PHASES]
        lines.append(f"{row.n_cells:,} cells, baseline / extension: " + ", ".join(ratios))
        if "before" in row.best:
            ratios = [f"{p}: {ext[p] / row.best['before'][p]:.3f}" for p in PHASES]
            lines.append(f"{row.n_cells:,} cells, now / before: " + ", ".join(ratios))
        lines.append(f"{row.n_cells:,} cells measured in {row.seconds:.0f} s")
    if len(rows) == 2:
        small, large = rows
        for side in small.best:
            if side in large.best:
                growth = [f"{p}: {large.best[side][p] / small.best[side][p]:.1f}x" for p in PHASES]
                lines.append(
                    f"growth {small.n_cells:,} -> {large.n_cells:,}, {side}: " + ", ".join(growth)
                )
    return lines


def main(argv: Sequence[str] | None = None) -> int:
    parser = argparse.ArgumentParser(prog="python -m bench.endtoend", description=__doc__)
    parser.add_argument("--quick", action="store_true", help="one round; the large size shrunk")
    parser.add_argument("--size", choices=("small", "large", "both"), default="both")
    parser.add_argument("--small", type=int, default=3_000, help="cells at the small size")
    parser.add_argument("--before", metavar="REV", help="also the stand-ins of this commit")
    parser.add_argument("--worker", choices=(*SIDES, "before"), help=argparse.SUPPRESS)
    parser.add_argument("--project", type=Path, help=argparse.SUPPRESS)
    parser.add_argument("--database", type=Path, help=argparse.SUPPRESS)
    parser.add_argument("--repeats", type=int, default=5, help="runs per phase and process")
    options = parser.parse_args(argv)

    if options.worker:
        result = worker(options.worker, options.project, options.database, options.repeats)
        print(json.dumps(result))
        return 0

    sizes = {"small": (1,), "large": (10,), "both": (1, 10)}[options.size]
    with tempfile.TemporaryDirectory(prefix="quorin-e2e-") as tmp:
        workdir = Path(tmp).resolve()
        before = None
        if options.before:
            before = stand_ins_at(options.before, workdir)
        rows = []
        for factor in sizes:
            n = options.small * factor
            if options.quick and factor > 1:
                n = options.small * 4
            rounds = 1 if options.quick or factor > 1 else 3
            repeats = max(2, options.repeats // factor) if factor > 1 else options.repeats
            print(f"  end to end at {n:,} cells ...", file=sys.stderr, flush=True)
            rows.append(measure(n, rounds, repeats, before, workdir))
    print("\n".join(report(rows)))
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
