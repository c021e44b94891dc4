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


def test_corrupt_file(project: Path) -> None:
    path = project / "build" / "quorin.db"
    path.parent.mkdir()
    path.write_bytes(b"not a database " * 100)
    for call in (db.get_all_factories, lambda: db.update_factories(add=[record("a")], remove=[])):
        with pytest.raises(db.DatabaseError, match=str(path)):
            call()
    assert path.read_bytes() == b"not a database " * 100


def test_locked_database(stored: dict[str, FactoryRecord], monkeypatch: pytest.MonkeyPatch) -> None:
    monkeypatch.setattr(db, "BUSY_TIMEOUT", 0.05)
    holder = sqlite3.connect(db.database_path(), isolation_level=None)
    holder.execute("BEGIN EXCLUSIVE")
    with pytest.raises(db.DatabaseError, match="locked"):
        db.update_factories(add=[record("late")], remove=["ring"])
    holder.close()
    assert db.get_all_factories() == stored
