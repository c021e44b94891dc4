"""A guided run of the PDK service on the sample project in examples/sample_project.

`make demo` builds the module and runs this script. It works on a temporary copy of the sample
project with a fresh factory database, so nothing is written into the repository:

1. the PDK the project is configured for is activated;
2. every cell of the project is registered (`register_cells()`): the cells of a file that fails
   to import become error cells, and a project cell that shares its name with a container of the
   PDK takes precedence over it;
3. registering again with nothing changed writes nothing;
4. one cell file is edited and another deleted, and only those two files are registered again
   (`register_cells(paths=[...])`).

The module caches the project's PDK for the life of the process: one process serves one project.
"""

import inspect
import logging
import os
import shutil
import sys
import tempfile
import textwrap
from collections.abc import Iterable
from pathlib import Path
from typing import Any

HERE = Path(__file__).resolve().parent
SAMPLE = HERE / "sample_project"

# This script's folder comes first on sys.path, and the script is named like the sample package
# "demo": drop the folder so that `import demo` can only find the project's package.
if sys.path and Path(sys.path[0] or ".").resolve() == HERE:
    del sys.path[0]

import quorin.core.pdk as pdk_service  # noqa: E402
from quorin import settings  # noqa: E402
from quorin.core import database  # noqa: E402

WIDTH = 78


def main() -> None:
    # Files are edited and reloaded within the same second; cached bytecode keyed by the file's
    # modification time could then hide an edit.
    sys.dont_write_bytecode = True
    show_log_lines()
    with tempfile.TemporaryDirectory(prefix="quorin-demo-") as tmp:
        workspace = Path(tmp).resolve()
        project = workspace / "sample_project"
        shutil.copytree(SAMPLE, project, ignore=shutil.ignore_patterns("build", "__pycache__"))
        # Read by the module's services at every call, so they must be set before the first one.
        os.environ["QUORIN_PROJECT_DIR"] = str(project)
        os.environ["QUORIN_DATABASE"] = str(workspace / "factories.db")
        previous_dir = os.getcwd()
        os.chdir(project)
        try:
            walk_through(project)
        finally:
            os.chdir(previous_dir)
    print("\nThe temporary copy and its database have been removed.")


def show_log_lines() -> None:
    """Print what the module logs, marked so that it stands apart from the report."""
    handler = logging.StreamHandler(sys.stdout)
    handler.setFormatter(logging.Formatter("    log %(levelname)-7s | %(message)s"))
    logger = logging.getLogger("quorin")
    logger.addHandler(handler)
    logger.setLevel(logging.DEBUG)
    logger.propagate = False


def walk_through(project: Path) -> None:
    print("quorin PDK service: a guided run on the sample project".center(WIDTH))
    print("=" * WIDTH)
    print(f"Project copy:      {project}")
    print(f"Factory database:  {os.environ['QUORIN_DATABASE']} (new, empty)")
    print(f"Project package:   {settings.get_project_name()}")
    print(f"Configured PDK:    {settings.get_pdk_name()}  ([tool.quorin] pdk in pyproject.toml)")

    heading("1. The active PDK", "get_pdk()")
    pdk = pdk_service.get_pdk()
    base = pdk_service.get_base_pdk()
    print(f"Active PDK {pdk.name!r}, before any project cell is registered:")
    print(f"  cells:      {names(pdk.cells)}")
    print(f"  containers: {names(pdk.containers)}")
    print(
        f"get_base_pdk() gives a second, read-only instance ({type(base).__name__}): the PDK as\n"
        "shipped, which registration never changes."
    )

    heading("2. Register every cell of the project", "register_cells()")
    added, removed = pdk_service.register_cells()
    report_run(added, removed)
    print_cells(pdk, project)
    print_error_cells(pdk)
    print_clash(pdk, base, "add_pads")

    heading("3. Register again, nothing changed", "register_cells()")
    added, removed = pdk_service.register_cells()
    report_run(added, removed)
    print("The database already holds every record as found, so nothing is written.")

    heading("4. Edit one file, delete another, register only those")
    waveguides = project / "demo" / "cells" / "waveguides.py"
    mmi = project / "demo" / "components" / "mmi.py"
    print(f"Before: taper{parameters(pdk.cells['taper'])}")
    edit_waveguides(waveguides)
    mmi.unlink()
    print(f"Edited  {relative(waveguides, project)}: taper's width2 default 2.0 -> 3.0,")
    print("        and a new cell crossing().")
    print(f"Deleted {relative(mmi, project)} (cells mmi1x2 and mmi2x2).")
    print(">>> register_cells(paths=[<project>/demo/cells/waveguides.py,")
    print("                          <project>/demo/components/mmi.py])")
    added, removed = pdk_service.register_cells(paths=[waveguides, mmi])
    report_run(added, removed)
    print(
        "Every cell of a file named in paths= is rewritten as this run found it (straight_wg\n"
        "and taper), crossing is new, and the cells stored for the deleted file are removed."
    )
    print(f"After:  taper{parameters(pdk.cells['taper'])}")
    print("        (the edited module was reloaded, so the PDK builds the new taper)")
    left = [name for name in ("mmi1x2", "mmi2x2") if name in pdk.cells]
    print(f"Cells of the deleted file left in the active PDK: {names(left)}")
    print_cells(pdk, project)


def heading(title: str, call: str = "") -> None:
    print(f"\n{title}\n{'-' * len(title)}")
    if call:
        print(f">>> {call}")


def edit_waveguides(path: Path) -> None:
    text = path.read_text()
    old = "width2: float = 2.0"
    if old not in text:
        raise SystemExit(f"demo: {path} no longer holds {old!r}; update the demo's edit")
    path.write_text(
        text.replace(old, "width2: float = 3.0") + "\n\n@lm.cell\n"
        "def crossing(width: float = 0.5, length: float = 6.0) -> lm.Component:\n"
        "    c = lm.Component()\n"
        "    c.add_ref(straight_wg(length=length, width=width))\n"
        "    c.add_ref(straight_wg(length=length, width=width))\n"
        "    for i, angle in enumerate((180, 0, 90, 270)):\n"
        "        c.add_port(f'o{i + 1}', (0.0, 0.0), angle, width)\n"
        "    return c\n"
    )


def parameters(cell: Any) -> inspect.Signature:
    return inspect.signature(cell).replace(return_annotation=inspect.Signature.empty)


def report_run(added: list[str], removed: list[str]) -> None:
    print("Result:")
    print(wrapped(f"  written to the database ({len(added)}): ", names(added)))
    print(wrapped(f"  deleted from the database ({len(removed)}): ", names(removed)))


def print_cells(pdk: Any, project: Path) -> None:
    records = database.get_all_factories()
    rows = [
        (
            name,
            relative(Path(record.source), project),
            record.status,
            describe_entry(pdk.cells.get(name), record.status),
        )
        for name, record in records.items()
    ]
    print("\nThe project's cells, as stored in the database and held by the active PDK:")
    table(("cell", "source", "status", "in the PDK"), rows)
    print(
        "  status UNKNOWN: loaded, with no problem on record (the default status);\n"
        "  status ERROR: the file or the function could not be loaded."
    )


def describe_entry(cell: Any, status: str) -> str:
    if cell is None:
        return "-"
    if status == "ERROR":
        return "error cell"
    return f"{cell.__module__}.{cell.__name__}"


def print_error_cells(pdk: Any) -> None:
    errors = {n: r for n, r in database.get_all_factories().items() if r.status == "ERROR"}
    print(f"\nError cells ({len(errors)}): their file failed to import, so each name is bound to")
    print("a stand-in that raises the import error when called.")
    for name, record in errors.items():
        print(f"  {name}: {record.message}")
    print(
        "  (heated_ring_double is defined inside an `if` block, which the static scan of the\n"
        "  project skips; a text search of the failed file finds it.)"
    )
    try:
        pdk.cells["heated_ring"](radius=5.0)
    except Exception as exc:
        print(f"  calling heated_ring(radius=5.0) raises {type(exc).__name__}: {exc}")
    print("  whereas a working cell builds a component: ring_single() ->")
    print(f"    {pdk.cells['ring_single']()!r}")


def print_clash(pdk: Any, base: Any, name: str) -> None:
    cell = pdk.cells.get(name)
    print(f"\nName clash: {name!r} is a cell of the project and a container of the PDK.")
    print(f"  shipped container: {base.containers[name].__module__}.{name}")
    print(f"  project cell:      {cell.__module__}.{name}" if cell else "  project cell: none")
    print(f"  now a cell of the active PDK:      {name in pdk.cells}")
    print(f"  now a container of the active PDK: {name in pdk.containers}")
    print("The project's own definition wins; the PDK keeps one meaning for the name.")


def relative(path: Path, project: Path) -> str:
    # Error records of names found only by the text search store the file's absolute path.
    return path.relative_to(project).as_posix() if path.is_relative_to(project) else str(path)


def wrapped(label: str, text: str) -> str:
    return textwrap.fill(
        text, WIDTH, initial_indent=label, subsequent_indent=" " * 4, break_on_hyphens=False
    )


def names(values: Iterable[str]) -> str:
    return ", ".join(values) or "none"


def table(header: tuple[str, ...], rows: list[tuple[str, ...]]) -> None:
    widths = [max(len(str(row[i])) for row in [header, *rows]) for i in range(len(header))]
    for row in [header, tuple("-" * w for w in widths), *rows]:
        print("  " + "  ".join(str(v).ljust(w) for v, w in zip(row, widths, strict=True)).rstrip())


if __name__ == "__main__":
    main()
