import sqlite3
from pathlib import Path

import pytest
from quorin.core import database as db
from quorin.models import FactoryRecord


def record(name: str, source: str = "proj/cells.py", status: str = "UNKNOWN") -> FactoryRecord:
    return FactoryRecord(name=name, source=source, status=status, message="")


@pytest.fixture
def stored(project: Path) -> dict[str, FactoryRecord]:
    records = {
        "ring": record("ring", "proj/cells/rings.py"),
        "mmi": record("mmi", "proj/mmi.py", "OK"),
        "heater": record("heater", str(project / "proj" / "broken.py"), "ERROR"),
        "bend": record("bend", "proj/cells/rings.py"),
    }
    db.update_factories(add=list(records.values()), remove=[])
    return records


def test_default_location_and_override(
    project: Path, tmp_path: Path, monkeypatch: pytest.MonkeyPatch
) -> None:
    db.update_factories(add=[record("a")], remove=[])
    assert (project / "build" / "quorin.db").is_file()
    monkeypatch.setenv("QUORIN_DATABASE", str(tmp_path / "elsewhere" / "factories.db"))
    assert db.get_all_factories() == {}
    db.update_factories(add=[record("b")], remove=[])
    assert list(db.get_all_factories()) == ["b"]


def test_round_trip_replace_and_remove(stored: dict[str, FactoryRecord]) -> None:
    everything = db.get_all_factories()
    assert type(everything) is dict and everything == stored
    changed = record("ring", "proj/cells/rings.py", "ERROR")
    db.update_factories(add=[changed, record("taper")], remove=["mmi", "never_stored"])
    assert db.get_all_factories() == {
        "bend": stored["bend"],
        "heater": stored["heater"],
        "ring": changed,
        "taper": record("taper"),
    }


def test_by_name_returns_existing_in_given_order(stored: dict[str, FactoryRecord]) -> None:
    found = db.get_factories_by_name("mmi", "missing", "ring", "mmi")
    assert type(found) is dict
    assert list(found.items()) == [("mmi", stored["mmi"]), ("ring", stored["ring"])]
    assert db.get_factories_by_name() == {}


def test_by_name_with_50000_names(project: Path) -> None:
    names = [f"cell_{i:05d}" for i in range(50_000)]
    db.update_factories(add=[record(n) for n in names], remove=[])
    found = db.get_factories_by_name(*names, "not_there")
    assert list(found) == names
    assert found["cell_49999"] == record("cell_49999")


@pytest.mark.parametrize(
    ("given", "expected"),
    [
        ("{root}/proj/cells/rings.py", {"proj/cells/rings.py": ["bend", "ring"]}),
        ("proj/cells/rings.py", {"proj/cells/rings.py": ["bend", "ring"]}),
        ("{root}/proj/cells/../mmi.py", {"proj/mmi.py": ["mmi"]}),
        ("{root}/proj/broken.py", {"{root}/proj/broken.py": ["heater"]}),
        ("{root}/proj/unknown.py", {}),
    ],
)
def test_by_source(
    project: Path, stored: dict[str, FactoryRecord], given: str, expected: dict[str, list[str]]
) -> None:
    expected = {k.format(root=project): v for k, v in expected.items()}
    path = given.format(root=project)
    assert db.get_factories_by_source(Path(path)) == expected
    assert db.get_factories_by_source(path) == expected


class Unstorable:
    """Not a record: has no fields to store."""


@pytest.mark.parametrize(
    ("add", "remove"),
    [
        ([record("new_1"), FactoryRecord("new_2", ["not", "text"]), record("new_3")], ["mmi"]),  # type: ignore[arg-type]
        ([record("new_1"), Unstorable(), record("new_3")], ["mmi"]),
        ([record("new_1")], ["mmi", 7]),
    ],
)
def test_failed_update_changes_nothing(
    stored: dict[str, FactoryRecord], add: list[FactoryRecord], remove: list[str]
) -> None:
    with pytest.raises((TypeError, AttributeError)):
        db.update_factories(add=add, remove=remove)
    assert db.get_all_factories() == stored


def test_corrupt_file_gives_a_clear_error(project: Path) -> None:
    path = project / "build" / "quorin.db"
    path.parent.mkdir()
    path.write_bytes(b"this is not an sqlite database, just some text" * 100)
    content = path.read_bytes()
    for call in (db.get_all_factories, lambda: db.update_factories(add=[record("a")], remove=[])):
        with pytest.raises(db.DatabaseError, match=str(path)):
            call()
    assert path.read_bytes() == content


def test_locked_database_gives_a_clear_error(
    stored: dict[str, FactoryRecord], monkeypatch: pytest.MonkeyPatch
) -> None:
    monkeypatch.setattr(db, "BUSY_TIMEOUT", 0.05)
    holder = sqlite3.connect(db.database_path(), isolation_level=None)
    try:
        holder.execute("BEGIN EXCLUSIVE")
        with pytest.raises(db.DatabaseError, match="locked"):
            db.update_factories(add=[record("late")], remove=["ring"])
    finally:
        holder.close()
    assert db.get_all_factories() == stored
