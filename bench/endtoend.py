"""End to end: registration of a generated project with the real stand-ins and SQLite, on pyperf.

A project laid out like examples/sample_project is generated in a temporary directory: a
package `proj` of N/10 files of 10 cells each, every cell calling the one before it and the
first cell of a file calling a cell of an earlier file; one file in a hundred imports a module
that does not exist and one in three hundred does not parse. Its files are dated a minute back,
as a project's files are, and its bytecode is compiled once before any run.

    python -m bench.endtoend SIDE [--cells N] [--project DIR] [pyperf options]

SIDE as for `bench.side`. Each pyperf worker process starts with nothing of the project imported
and an empty database of its own, and times one call (its setup untimed):

- first: a full registration, `register_cells()`, into the empty database;
- again: a full registration with nothing changed, after a first one;
- one file: `register_cells(paths=[file])` after an edit that renames a cell of that file
  (put back afterwards).
"""

from __future__ import annotations

import atexit
import gc
import logging
import os
import shutil
import subprocess
import sys
import tempfile
import time
from collections.abc import Callable
from pathlib import Path
from typing import Any

from bench.side import CHECKOUT, load
from bench.side import prepare as prepare_side

PROJECT = "proj"
CELLS_PER_FILE = 10
FILES_PER_PACKAGE = 50
PHASES = ("first", "again", "one file")
# Files are written this long before the runs, as a project's files are, so that the call graph
# can trust their modification times (files changed within the last seconds are read again).
AGE_SECONDS = 60.0
# A file whose status changed this recently is read again by the stand-ins' file cache.
RACY_SECONDS = 2.5


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


def generate(root: Path, n_cells: int, is_pdk: bool = False) -> None:
    n_files = max(1, n_cells // CELLS_PER_FILE)
    (root / "pyproject.toml").parent.mkdir(parents=True, exist_ok=True)
    (root / "pyproject.toml").write_text(
        f'[project]\nname = "{PROJECT}"\n\n[tool.quorin]\npdk = "generic"\n'
        + ("is_pdk = true\n" if is_pdk else "")
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


def n_files(project: Path) -> int:
    return sum(1 for _ in (project / PROJECT).rglob("mod*.py"))


def restore(project: Path) -> None:
    """Puts the edited file back as generated, dated back as the others."""
    j = edited_file(n_files(project))
    path = file_of(project, j)
    path.write_text(source_text(j))
    past = time.time() - AGE_SECONDS
    os.utime(path, (past, past))


# --- one side, in a process of its own ---------------------------------------------------------


def direct(function: Callable[..., Any], **kwargs: Any) -> Any:
    return function(**kwargs)


class Registration:
    """The registration runs of one process on one side: nothing imported, an empty database."""

    def __init__(self, side: str, project: Path | str, database: Path | str) -> None:
        os.environ["QUORIN_PROJECT_DIR"] = str(project)
        os.environ["QUORIN_DATABASE"] = str(database)
        self.project = project = Path(project)
        # The product's warnings about the failing files go nowhere, as where an application
        # configures logging; by default Python would print them to stderr.
        logging.getLogger("quorin").addHandler(logging.NullHandler())
        self.module = load(side)
        self.module.get_pdk()  # the PDK's own import is not the registration's work
        # The project's bytecode is written, as by default, whatever the environment says: a
        # project run before imports from it.
        sys.dont_write_bytecode = False
        self.edited = edited_file(n_files(project))
        self.path = file_of(project, self.edited).resolve()
        self.registered = False

    def first(self, call: Callable[..., Any] = direct) -> Any:
        """The first full run; `call(function, **kwargs)` makes the call (to time or count it)."""
        if self.registered:
            raise RuntimeError("a first registration is one per process: run one value each")
        self.registered = True
        return call(self.module.register_cells)

    def settle(self) -> None:
        """A first run if there was none, then a wait until every file is trusted by its times."""
        if not self.registered:
            self.first()
        files = [self.project / "pyproject.toml", *self.project.rglob("*.py")]
        newest = max(p.stat().st_ctime for p in files)
        time.sleep(max(0.0, newest + RACY_SECONDS - time.time()))

    def again(self, call: Callable[..., Any] = direct) -> Any:
        return call(self.module.register_cells)

    def one_file(self, call: Callable[..., Any] = direct, k: int = 0) -> Any:
        """The k-th one-file run: the edit renames a cell, or (k odd) renames it back."""
        self.path.write_text(source_text(self.edited, renamed=k % 2 == 0))
        return call(self.module.register_cells, paths=[self.path])


def clocked(function: Callable[..., Any], **kwargs: Any) -> float:
    # As in the other workloads: garbage collection is off while the clock runs.
    gc.collect()
    gc.disable()
    try:
        start = time.perf_counter()
        function(**kwargs)
        return time.perf_counter() - start
    finally:
        gc.enable()


class Worker:
    def __init__(self, side: str, project: Path) -> None:
        self.side, self.project = side, project
        self.registration: Registration | None = None

    def time(self, loops: int, phase: str) -> float:
        if self.registration is None:
            folder = Path(tempfile.mkdtemp(prefix="quorin-e2e-db-"))
            atexit.register(shutil.rmtree, folder, ignore_errors=True)
            self.registration = Registration(self.side, self.project, folder / "quorin.db")
        run = self.registration
        if phase == "first":
            return run.first(clocked)
        run.settle()
        if phase == "again":
            return sum(run.again(clocked) for _ in range(loops))
        try:
            return sum(run.one_file(clocked, k) for k in range(loops))
        finally:
            restore(self.project)


def prepare(cells: int, is_pdk: bool = False) -> Path:
    """A generated project in a temporary folder (removed at exit), its bytecode compiled."""
    folder = Path(tempfile.mkdtemp(prefix="quorin-e2e-")).resolve()
    atexit.register(shutil.rmtree, folder, ignore_errors=True)
    project = folder / "project"
    generate(project, cells, is_pdk)
    code = (
        "import sys; from bench.endtoend import Registration; Registration(*sys.argv[1:]).first()"
    )
    env = {**os.environ, "PYTHONPATH": str(CHECKOUT)}
    argv = [sys.executable, "-c", code, "baseline", str(project), str(folder / "warm.db")]
    done = subprocess.run(argv, env=env, capture_output=True, text=True)
    if done.returncode:
        raise RuntimeError(f"the generated project does not register:\n{done.stderr}")
    return project


def pass_on(cmd: list[str], args: Any) -> None:
    cmd += [args.side, "--project", str(args.project), "--cells", str(args.cells)]


def main() -> None:
    # Imported here: the tests use this module's helpers without the benchmark's packages.
    import pyperf

    # One value of one run per process: a first registration happens once in a process.
    runner = pyperf.Runner(
        values=1,
        warmups=0,
        loops=1,
        processes=10,
        add_cmdline_args=pass_on,
        program_args=("-m", "bench.endtoend"),
    )
    runner.argparser.add_argument("side")
    runner.argparser.add_argument("--cells", type=int, default=3_000)
    runner.argparser.add_argument("--project", type=Path, help="a generated project to use")
    args = runner.parse_args()
    prepare_side(runner, args)
    if args.project is None and not args.worker:
        args.project = prepare(args.cells)
    worker = Worker(args.side, args.project)
    for phase in PHASES:
        runner.bench_time_func(f"register {args.cells:,} cells: {phase}", worker.time, phase)


if __name__ == "__main__":
    main()
