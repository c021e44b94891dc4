import os
import sqlite3
from collections.abc import Callable
from contextlib import closing
from pathlib import Path

import pytest

from quorin.core import database as db
from quorin.models import FactoryRecord

from .helpers import files_under


def record(name: str, source: str = "proj/cells.py", status: str = "UNKNOWN") -> FactoryRecord:
    return FactoryRecord(name=name, source=source, status=status, message="")


@pytest.fixture
def stored(project: Path) -> dict[str, FactoryRecord]:
    records = {
        "bend": record("bend", "proj/cells/rings.py"),
        "heater": record("heater", str(project / "proj/broken.py"), "ERROR"),
        "mmi": record("mmi", "proj/mmi.py", "OK"),
        "ring": record("ring", "proj/cells/rings.py"),
    }
    db.update_factories(add=list(records.values()), remove=[])
    return records


def test_round_trip(stored: dict[str, FactoryRecord]) -> None:
    assert type(db.get_all_factories()) is dict and db.get_all_factories() == stored
    found = db.get_factories_by_name("mmi", "missing", "ring", "mmi")
    assert type(found) is dict and list(found.items()) == [
        ("mmi", stored["mmi"]),
        ("ring", stored["ring"]),
    ]
    changed = record("ring", "proj/cells/rings.py", "ERROR")
    db.update_factories(add=[changed, record("taper")], remove=["mmi", "never_stored"])
    kept = {k: v for k, v in stored.items() if k != "mmi"}
    assert db.get_all_factories() == kept | {"ring": changed, "taper": record("taper")}


def test_by_name_with_50000_names(project: Path) -> None:
    names = [f"cell_{i:05d}" for i in range(50_000)]
    db.update_factories(add=[record(n) for n in names], remove=[])
    assert list(db.get_factories_by_name(*names, "not_there")) == names


def test_by_source(project: Path, stored: object) -> None:
    rings, broken = project / "proj/cells/rings.py", project / "proj/broken.py"
    assert db.get_factories_by_source(rings, str(broken), "proj/cells/../mmi.py", "nowhere.py") == {
        "proj/cells/rings.py": ["bend", "ring"],
        str(broken): ["heater"],
        "proj/mmi.py": ["mmi"],
    }


@pytest.mark.parametrize(
    ("add", "remove"),
    [
        ([record("new_1"), FactoryRecord("new_2", ["not text"]), record("new_3")], ["mmi"]),  # type: ignore[arg-type]
        ([record("new_1"), object(), record("new_3")], ["mmi"]),
        ([record("new_1")], ["mmi", 7]),
    ],
)
def test_failed_update_changes_nothing(
    stored: dict[str, FactoryRecord], add: list[FactoryRecord], remove: list[str]
) -> None:
    with pytest.raises((TypeError, AttributeError)):
        db.update_factories(add=add, remove=remove)
    assert db.get_all_factories() == stored


def sqlite_file(*statements: str) -> Callable[[Path], None]:
    def make(path: Path) -> None:
        path.parent.mkdir()
        with closing(sqlite3.connect(path)) as conn:
            for statement in statements:
                conn.execute(statement)
            conn.commit()

    return make


def garbage(path: Path) -> None:
    path.parent.mkdir()
    path.write_bytes(b"not a database " * 100)


FACTORIES = "CREATE TABLE factories(name TEXT PRIMARY KEY, source TEXT, status TEXT, message TEXT)"
MARK = f"PRAGMA application_id = {db.APPLICATION_ID}"
FOREIGN = "not a factory database ({}): move it away, or set QUORIN_DATABASE to another file"


@pytest.mark.parametrize(
    ("make", "complaint"),
    [
        (garbage, "file is not a database"),
        (
            sqlite_file("CREATE TABLE notes(text TEXT)"),
            FOREIGN.format("no factory mark, tables notes"),
        ),
        # An unmarked table of the right shape: another program's, or made by an earlier version.
        (sqlite_file(FACTORIES), FOREIGN.format("no factory mark, tables factories")),
        (sqlite_file("PRAGMA application_id = 7"), FOREIGN.format("application id 0x7")),
        (
            sqlite_file(MARK, "CREATE TABLE factories(name TEXT PRIMARY KEY, cell BLOB)"),
            FOREIGN.format("its factories table is not of the expected shape"),
        ),
        (
            lambda path: path.parent.write_text("a file"),
            "cannot make its directory {build}: File exists",
        ),
        pytest.param(
            lambda path: path.parent.parent.chmod(0o555),
            "cannot make its directory {build}: Permission denied",
            marks=pytest.mark.skipif(os.geteuid() == 0, reason="root may write anywhere"),
        ),
    ],
    ids=[
        "garbage",
        "other-tables",
        "unmarked",
        "other-mark",
        "other-shape",
        "build-file",
        "read-only",
    ],
)
def test_file_that_is_no_factory_database_is_refused_and_left_alone(
    project: Path, make: Callable[[Path], None], complaint: str
) -> None:
    path = db.database_path()
    make(path)
    before = files_under(project)
    for call in (db.get_all_factories, lambda: db.update_factories(add=[record("a")], remove=[])):
        with pytest.raises(db.DatabaseError) as info:
            call()
        assert str(info.value) == f"factory database {path}: {complaint.format(build=path.parent)}"
    assert files_under(project) == before


@pytest.mark.parametrize("existing", [False, True], ids=["new", "empty-file"])
def test_new_or_empty_file_becomes_a_marked_factory_database(project: Path, existing: bool) -> None:
    path = db.database_path()
    if existing:
        path.parent.mkdir()
        path.touch()
    assert db.get_all_factories() == {}
    db.update_factories(add=[record("a")], remove=[])
    with closing(sqlite3.connect(path)) as conn:
        assert conn.execute("PRAGMA application_id").fetchone() == (db.APPLICATION_ID,)
    assert db.get_all_factories() == {"a": record("a")}


def test_locked_database(stored: dict[str, FactoryRecord], monkeypatch: pytest.MonkeyPatch) -> None:
    monkeypatch.setattr(db, "BUSY_TIMEOUT", 0.05)
    with closing(sqlite3.connect(db.database_path(), isolation_level=None)) as holder:
        holder.execute("BEGIN EXCLUSIVE")
        with pytest.raises(db.DatabaseError, match="locked"):
            db.update_factories(add=[record("late")], remove=["ring"])
    assert db.get_all_factories() == stored
