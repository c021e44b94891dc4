import copy
from pathlib import Path

import pytest

from quorin.core.callgraph import create_callgraph
from quorin.models import FactoryRecord


@pytest.mark.parametrize(
    ("source", "expected"),
    [
        ("proj/a.py", "{root}/proj/a.py"),
        ("./proj/../proj/a.py", "{root}/proj/a.py"),
        ("/x/../y.py", "/y.py"),
    ],
)
def test_absolute_source(project: Path, source: str, expected: str) -> None:
    assert FactoryRecord("a", source).absolute_source() == Path(expected.format(root=project))


def test_equality_and_deepcopy() -> None:
    record = FactoryRecord(name="a", source="proj/a.py")
    clone = copy.deepcopy(record)
    assert clone == record == FactoryRecord("a", "proj/a.py", "UNKNOWN", "") and clone is not record
    clone.status = "ERROR"
    assert record.status == "UNKNOWN" and clone != record


@pytest.mark.parametrize("change", ["source", "project dir", "link"])
def test_absolute_source_follows_changes(
    project: Path, monkeypatch: pytest.MonkeyPatch, change: str
) -> None:
    for name in ("a.py", "b.py"):
        (project / name).touch()
    (project / "link.py").symlink_to("a.py")
    record = FactoryRecord("a", "link.py")
    assert record.absolute_source() == project / "a.py"
    if change == "source":
        record.source = "b.py"
        expected = project / "b.py"
    elif change == "project dir":
        moved = project.parent / "moved"
        project.rename(moved)
        monkeypatch.setenv("QUORIN_PROJECT_DIR", str(moved))
        expected = moved / "a.py"
    else:
        (project / "link.py").unlink()
        (project / "link.py").symlink_to("b.py")
        # Paths are resolved once per registration run; the next run sees the new link.
        assert record.absolute_source() == project / "a.py"
        create_callgraph()
        expected = project / "b.py"
    assert record.absolute_source() == expected
    assert vars(record) == {
        "name": "a",
        "source": record.source,
        "status": "UNKNOWN",
        "message": "",
    }
    assert repr(copy.deepcopy(record)) == repr(record)
