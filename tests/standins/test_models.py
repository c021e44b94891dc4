import copy
from pathlib import Path

import pytest
from quorin.models import FactoryRecord


@pytest.mark.parametrize("source", ["proj/cells/a.py", "./proj/../proj/cells/a.py"])
def test_relative_source_is_resolved_against_project_dir(project: Path, source: str) -> None:
    record = FactoryRecord(name="a", source=source)
    assert record.absolute_source() == project / "proj" / "cells" / "a.py"


def test_absolute_source_is_resolved_in_place(project: Path, tmp_path: Path) -> None:
    real = tmp_path / "real.py"
    real.write_text("")
    (tmp_path / "link.py").symlink_to(real)
    record = FactoryRecord(name="a", source=str(tmp_path / "link.py"))
    assert record.absolute_source() == real.resolve()


def test_equality_and_deepcopy() -> None:
    record = FactoryRecord(name="a", source="proj/a.py")
    assert record == FactoryRecord("a", "proj/a.py", "UNKNOWN", "")
    clone = copy.deepcopy(record)
    assert clone == record and clone is not record
    clone.status = "ERROR"
    assert record.status == "UNKNOWN"
    assert clone != record
