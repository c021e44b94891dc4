"""Registration runs on a copy of the sample project: real imports, a real SQLite file."""

from __future__ import annotations

import logging
import os
import re
import shutil
import sqlite3
import subprocess
import sys
from collections.abc import Callable, Iterator
from contextlib import closing
from pathlib import Path
from typing import Any

import pytest

import lumset as lm
from quorin.core import database
from quorin.settings import SettingsError
from tests.standins.helpers import files_under

SAMPLE = Path(__file__).resolve().parents[1] / "examples" / "sample_project"
MISSING = "No module named 'demo.thermal_models'"

type Stored = dict[str, tuple[str, str, str]]


@pytest.fixture(autouse=True)
def isolated_imports() -> Iterator[None]:
    """Forget the sample package and restore sys.path, so the next copy is imported afresh."""
    saved_path = list(sys.path)
    yield
    sys.path[:] = saved_path
    for name in [n for n in sys.modules if n == "demo" or n.startswith("demo.")]:
        del sys.modules[name]


@pytest.fixture
def project(tmp_path: Path, monkeypatch: pytest.MonkeyPatch) -> Path:
    root = tmp_path / "sample_project"
    shutil.copytree(SAMPLE, root, ignore=shutil.ignore_patterns("build", "__pycache__"))
    monkeypatch.setenv("QUORIN_PROJECT_DIR", str(root))
    monkeypatch.setenv("QUORIN_DATABASE", str(tmp_path / "factories.db"))
    monkeypatch.chdir(tmp_path)
    # Edits made within one second could otherwise be hidden by bytecode cached for the old text.
    monkeypatch.setattr(sys, "dont_write_bytecode", True)
    return root.resolve()


@pytest.fixture
def log(caplog: pytest.LogCaptureFixture) -> pytest.LogCaptureFixture:
    caplog.set_level(logging.DEBUG, logger="quorin")
    return caplog


def stored(project: Path) -> Stored:
    """The factory table as SQLite holds it, read without the product's services."""
    with closing(sqlite3.connect(project.parent / "factories.db")) as conn:
        rows = conn.execute("SELECT name, source, status, message FROM factories ORDER BY name")
        return {name: (source, status, message) for name, source, status, message in rows}


def first_run_table(project: Path) -> Stored:
    ok = ("UNKNOWN", "")
    return {
        "add_pads": ("demo/components/pads.py", *ok),
        "heated_ring": ("demo/broken.py", "ERROR", MISSING),
        # Found only by the text search of the failed file, so stored under its absolute path.
        "heated_ring_double": (str(project / "demo" / "broken.py"), "ERROR", MISSING),
        "mmi1x2": ("demo/components/mmi.py", *ok),
        "mmi2x2": ("demo/components/mmi.py", *ok),
        "ring_double": ("demo/cells/rings.py", *ok),
        "ring_single": ("demo/cells/rings.py", *ok),
        "straight_wg": ("demo/cells/waveguides.py", *ok),
        "taper": ("demo/cells/waveguides.py", *ok),
    }


def edit(path: Path, old: str, new: str) -> None:
    text = path.read_text()
    assert old in text, f"{path} no longer holds {old!r}"
    path.write_text(text.replace(old, new, 1))


def waveguides(project: Path) -> Path:
    return project / "demo" / "cells" / "waveguides.py"


def change_taper_and_add_crossing(project: Path) -> None:
    edit(waveguides(project), "width2: float = 2.0", "width2: float = 3.0")
    with waveguides(project).open("a") as file:
        file.write(
            "\n\n@lm.cell\ndef crossing(width: float = 0.5) -> lm.Component:\n"
            "    c = lm.Component()\n    c.add_ref(straight_wg(width=width))\n    return c\n"
        )


def test_first_run_registers_every_cell_of_the_project(
    impl: Any, project: Path, log: pytest.LogCaptureFixture
) -> None:
    added, removed = impl.register_cells()

    assert (added, removed) == (sorted(first_run_table(project)), [])
    assert stored(project) == first_run_table(project)
    active = impl.get_pdk()
    assert lm.get_active_pdk() is active
    assert active.cells["ring_single"] is sys.modules["demo.cells.rings"].ring_single
    assert isinstance(active.cells["mmi2x2"](), lm.Component)
    assert {"straight", "bend_circular", "pad"} <= set(active.cells)
    warnings = [r.getMessage() for r in log.records if r.levelno == logging.WARNING]
    assert warnings == [f"broken.py: {MISSING}"]
    assert f"new factories: {sorted(first_run_table(project))}" in log.messages


@pytest.mark.parametrize("name", ["heated_ring", "heated_ring_double"])
def test_cells_of_a_file_that_fails_to_import_raise_its_error(
    impl: Any, project: Path, name: str
) -> None:
    impl.register_cells()
    cell = impl.get_pdk().cells[name]
    with pytest.raises(ModuleNotFoundError, match=MISSING) as first:
        cell(radius=5.0)
    with pytest.raises(ModuleNotFoundError) as second:
        cell()
    assert first.value is second.value
    assert (cell.__name__, cell.__module__) == (name, "demo.broken")


def test_project_cell_named_like_a_pdk_container_replaces_it(impl: Any, project: Path) -> None:
    impl.register_cells()
    active, base = impl.get_pdk(), impl.get_base_pdk()
    assert active.cells["add_pads"].__module__ == "demo.components.pads"
    assert "add_pads" not in active.containers
    assert "extend_ports" in active.containers
    # The shipped PDK keeps its container: registration changes only the active PDK.
    assert base.containers["add_pads"].__module__ == "lumset.components"
    assert "ring_single" not in base.cells


def test_second_run_finds_nothing_to_write(impl: Any, project: Path) -> None:
    impl.register_cells()
    before = stored(project)
    assert impl.register_cells() == ([], [])
    assert stored(project) == before


def test_full_run_after_edits_writes_new_and_moved_cells_and_removes_deleted(
    impl: Any, project: Path
) -> None:
    impl.register_cells()
    change_taper_and_add_crossing(project)
    (project / "demo" / "components" / "mmi.py").unlink()
    rings = project / "demo" / "cells" / "rings.py"
    head, ring_double = rings.read_text().split("@lm.cell\ndef ring_double", 1)
    rings.write_text(head)
    (project / "demo" / "cells" / "coupled.py").write_text(
        "import lumset as lm\n\nfrom demo.cells.rings import ring_single\n"
        "from demo.cells.waveguides import straight_wg\n\n\n@lm.cell\ndef ring_double" + ring_double
    )

    added, removed = impl.register_cells()

    assert (added, removed) == (["crossing", "ring_double"], ["mmi1x2", "mmi2x2"])
    expected = first_run_table(project)
    del expected["mmi1x2"], expected["mmi2x2"]
    expected["crossing"] = ("demo/cells/waveguides.py", "UNKNOWN", "")
    expected["ring_double"] = ("demo/cells/coupled.py", "UNKNOWN", "")
    assert stored(project) == expected
    active = impl.get_pdk()
    assert "mmi1x2" not in active.cells and "mmi2x2" not in active.cells
    assert active.cells["ring_double"].__module__ == "demo.cells.coupled"
    # The edited module was reloaded, not served from the first run's import.
    assert active.cells["taper"]().ports["o2"].width == 3.0


def delete_mmi(project: Path) -> None:
    (project / "demo" / "components" / "mmi.py").unlink()


def add_ring_triple(project: Path) -> None:
    with (project / "demo" / "cells" / "rings.py").open("a") as file:
        file.write("\n\n@lm.cell\ndef ring_triple() -> lm.Component:\n    return lm.Component()\n")


@pytest.mark.parametrize(
    ("change", "path", "written", "deleted"),
    [
        # Every cell of a file named in paths is written as found, changed or not.
        (change_taper_and_add_crossing, waveguides, ["crossing", "straight_wg", "taper"], []),
        (delete_mmi, lambda p: p / "demo" / "components" / "mmi.py", [], ["mmi1x2", "mmi2x2"]),
        # An edit to a file that is not named is left for a later run.
        (add_ring_triple, waveguides, ["straight_wg", "taper"], []),
    ],
    ids=["edited", "deleted", "other-file-edited"],
)
def test_run_with_paths_touches_only_that_file(
    impl: Any,
    project: Path,
    log: pytest.LogCaptureFixture,
    change: Callable[[Path], None],
    path: Callable[[Path], Path],
    written: list[str],
    deleted: list[str],
) -> None:
    impl.register_cells()
    before = stored(project)
    change(project)
    log.clear()

    assert impl.register_cells(paths=[path(project)]) == (written, deleted)

    after = stored(project)
    untouched = set(before) - set(written) - set(deleted)
    assert {n: after[n] for n in untouched} == {n: before[n] for n in untouched}
    assert set(after) == set(before) - set(deleted) | set(written)
    active = impl.get_pdk()
    assert set(after) <= set(active.cells)
    assert not set(deleted) & set(active.cells)
    assert "ring_triple" not in active.cells
    # The failing file was not asked for, so it was not imported again.
    assert not [r for r in log.records if r.levelno == logging.WARNING]


@pytest.mark.parametrize(
    ("paths", "written", "status"),
    [
        # Registering the fixed file records what this run found.
        (True, ["heated_ring"], ("UNKNOWN", "")),
        # A full run keeps the stored outcome of a record whose file was not named.
        (False, [], ("ERROR", MISSING)),
    ],
    ids=["by-path", "full-run"],
)
def test_file_that_failed_to_import_and_is_fixed(
    impl: Any, project: Path, paths: bool, written: list[str], status: tuple[str, str]
) -> None:
    impl.register_cells()
    broken = project / "demo" / "broken.py"
    (project / "demo" / "thermal_models.py").write_text(
        "from types import SimpleNamespace\n\n"
        "heater_model = SimpleNamespace(SUPPORTS_DOUBLE_HEATERS=False, width=lambda mw: 2.0)\n"
    )

    result = impl.register_cells(paths=[broken] if paths else [])

    assert result == (written, ["heated_ring_double"])
    assert stored(project)["heated_ring"] == ("demo/broken.py", *status)
    active = impl.get_pdk()
    assert active.cells["heated_ring"]().ports["e1"].width == 2.0
    assert "heated_ring_double" not in active.cells


def test_run_as_a_user_would_from_a_folder_of_the_project(project: Path) -> None:
    """No variable set, no logging configured: the project is found upwards from the current
    directory, warnings reach stderr, and the database tells same-named broken files apart."""
    (project / "demo" / "components" / "broken.py").write_text(
        "import lumset as lm\nimport demo.thermal_models\n\n\n@lm.cell\ndef pad_heater(): ...\n"
    )
    script = (
        "import traceback\n"
        "from quorin.core.pdk import get_pdk, register_cells\n"
        "register_cells()\n"
        "try:\n"
        "    get_pdk().cells['pad_heater']()\n"
        "except ImportError as error:\n"
        "    print(traceback.extract_tb(error.__traceback__)[-1].filename)\n"
    )
    environment = {k: v for k, v in os.environ.items() if not k.startswith("QUORIN_")}
    run = subprocess.run(
        [sys.executable, "-B", "-c", script],
        cwd=project / "demo" / "cells",
        env=environment,
        capture_output=True,
        text=True,
        check=True,
    )

    # The warning names the file only: both lines are the same.
    assert run.stderr.splitlines() == [f"broken.py: {MISSING}"] * 2
    assert run.stdout == f"{project / 'demo' / 'components' / 'broken.py'}\n"
    with closing(sqlite3.connect(project / "build" / "quorin.db")) as conn:
        query = "SELECT name, source FROM factories WHERE status = 'ERROR' ORDER BY name"
        errors = conn.execute(query).fetchall()
    assert errors == [
        ("heated_ring", "demo/broken.py"),
        ("heated_ring_double", str(project / "demo" / "broken.py")),
        ("pad_heater", "demo/components/broken.py"),
    ]
    assert not (project / "demo" / "cells" / "build").exists()


def write_garbage(path: Path) -> None:
    path.write_bytes(b"this is not an SQLite database\n" * 200)


def write_notes_database(path: Path) -> None:
    with closing(sqlite3.connect(path)) as conn:
        conn.execute("CREATE TABLE notes(text TEXT)")
        conn.commit()


@pytest.mark.parametrize(
    ("make", "complaint"),
    [
        (write_garbage, "file is not a database"),
        (write_notes_database, "not a factory database (no factory mark, tables notes)"),
    ],
    ids=["garbage", "other-application"],
)
def test_file_that_is_no_factory_database_is_reported_and_left_alone(
    impl: Any, project: Path, make: Callable[[Path], None], complaint: str
) -> None:
    db_file = project.parent / "factories.db"
    make(db_file)
    before = db_file.read_bytes()
    with pytest.raises(database.DatabaseError, match=re.escape(f"{db_file}: {complaint}")):
        impl.register_cells()
    assert db_file.read_bytes() == before


@pytest.mark.parametrize(
    "element",
    [
        lambda file: str(file),
        lambda file: str(file.relative_to(Path.cwd())),
        lambda file: file.relative_to(Path.cwd()),
        lambda file: file.parent / ".." / "cells" / file.name,
    ],
    ids=["str", "relative-str", "relative", "unresolved"],
)
def test_path_that_names_no_record_is_refused_before_anything_changes(
    impl: Any, project: Path, element: Callable[[Path], Any]
) -> None:
    impl.register_cells()
    before = stored(project)
    taper = impl.get_pdk().cells["taper"]
    change_taper_and_add_crossing(project)

    with pytest.raises(
        (TypeError, ValueError), match="expected an absolute, resolved pathlib.Path"
    ):
        impl.register_cells(paths=[element(waveguides(project))])

    assert stored(project) == before
    # The file was not imported again, nor its cells registered.
    assert sys.modules["demo.cells.waveguides"].taper is taper is impl.get_pdk().cells["taper"]
    assert "crossing" not in impl.get_pdk().cells


@pytest.mark.parametrize(
    "lock",
    [
        "BEGIN EXCLUSIVE",  # readers are refused too: the run stops at its first read
        "BEGIN IMMEDIATE",  # readers pass: the run stops at its single write
    ],
)
def test_locked_database_fails_the_run_without_a_partial_write(
    impl: Any, project: Path, monkeypatch: pytest.MonkeyPatch, lock: str
) -> None:
    impl.register_cells()
    before = stored(project)
    change_taper_and_add_crossing(project)
    delete_mmi(project)
    monkeypatch.setattr(database, "BUSY_TIMEOUT", 0.05)
    holder = sqlite3.connect(project.parent / "factories.db", isolation_level=None)
    try:
        holder.execute(lock)
        with pytest.raises(database.DatabaseError, match="database is locked"):
            impl.register_cells()
    finally:
        holder.close()

    assert stored(project) == before
    # Nothing was deleted from the PDK for a write that did not happen.
    assert {"mmi1x2", "mmi2x2"} <= set(impl.get_pdk().cells)
    # Once the lock is gone the same changes go through.
    assert impl.register_cells() == (["crossing"], ["mmi1x2", "mmi2x2"])


def configure(text: str) -> Callable[[Path, pytest.MonkeyPatch], None]:
    return lambda project, _: (project / "pyproject.toml").write_text(text)


PROJECT_DIR_HINT = (
    "set QUORIN_PROJECT_DIR to the project directory (the one holding pyproject.toml), or unset"
    " it to use the nearest pyproject.toml above the current directory"
)
PACKAGE_HINT = "set [tool.quorin] name to the name of the project's package"


@pytest.mark.parametrize(
    ("misconfigure", "error", "text"),
    [
        (
            configure('[project]\nname = "demo"\n[tool.quorin]\npdk = "no_such_pdk"\n'),
            ModuleNotFoundError,
            "No module named 'no_such_pdk'",
        ),
        (
            configure("[project\nname = 'demo'\n"),
            SettingsError,
            "{pyproject}: not a valid TOML file: Expected ']' at the end of a table declaration"
            " (at line 1, column 9)",
        ),
        (
            lambda project, _: (project / "pyproject.toml").unlink(),
            SettingsError,
            f"{{pyproject}}: not found: {PROJECT_DIR_HINT}",
        ),
        (
            lambda project, env: env.setenv("QUORIN_PROJECT_DIR", str(project / "nowhere")),
            SettingsError,
            f"{{project}}/nowhere is not a directory: {PROJECT_DIR_HINT}",
        ),
        (
            # Run from the folder above the project.
            lambda project, env: env.delenv("QUORIN_PROJECT_DIR"),
            SettingsError,
            "no pyproject.toml in {cwd} or any directory above it: run from inside the project, or"
            " set QUORIN_PROJECT_DIR to the project directory",
        ),
        (
            configure('[project]\nname = "demo-x"\n'),
            SettingsError,
            "{pyproject}: [project] name 'demo-x' (package 'demo_x'): the project package"
            f" {{project}}/demo_x is not a directory: {PACKAGE_HINT}",
        ),
        (
            configure('[tool.quorin]\npdk = "generic"\n'),
            SettingsError,
            "{pyproject}: no project name: set [project] name, or [tool.quorin] name to the name"
            " of the project's package",
        ),
        (
            configure('[project]\nname = "demo"\n[tool.quorin]\nname = "my-demo"\n'),
            SettingsError,
            f"{{pyproject}}: [tool.quorin] name 'my-demo' is not a Python package name: {PACKAGE_HINT}",
        ),
    ],
    ids=[
        "unknown-pdk",
        "invalid-toml",
        "no-pyproject",
        "no-directory",
        "outside-any-project",
        "dashed-name-no-package",
        "no-name",
        "name-not-a-package",
    ],
)
def test_bad_configuration_fails_before_anything_is_created(
    impl: Any,
    project: Path,
    monkeypatch: pytest.MonkeyPatch,
    misconfigure: Callable[[Path, pytest.MonkeyPatch], None],
    error: type[Exception],
    text: str,
) -> None:
    cwd = Path.cwd()
    if any((folder / "pyproject.toml").exists() for folder in cwd.parents):
        pytest.skip(f"a pyproject.toml above {cwd}")
    # The database's default place, in the project's build folder.
    monkeypatch.delenv("QUORIN_DATABASE")
    misconfigure(project, monkeypatch)
    before = files_under(project.parent)
    with pytest.raises(error) as info:
        impl.register_cells()
    pyproject = project / "pyproject.toml"
    assert str(info.value) == text.format(project=project, pyproject=pyproject, cwd=cwd)
    assert files_under(project.parent) == before
