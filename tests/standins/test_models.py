import copy
from pathlib import Path

import pytest

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
