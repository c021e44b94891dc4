from __future__ import annotations

from pathlib import Path
from typing import Any

import pytest

from tests.fakes import FakePdk, Record


def record(name: str, path: Any) -> Record:
    return Record(name, "src.py", path=path)


def test_empty_records_still_read_the_settings(impl: Any, services: Any) -> None:
    static: dict[str, Any] = {}
    result = impl._filter_records_for_non_pdk_project(static, FakePdk("base"))
    assert result == {} and result is not static
    assert services.calls == [("settings.get_project_dir",), ("settings.get_project_name",)]


def test_keeps_project_and_base_cells_in_order(impl: Any, services: Any) -> None:
    base = FakePdk("base", cells={"base_cell": None, "both": None})
    static = {
        "base_cell": record("base_cell", Path("/lib/x.py")),
        "sibling": record("sibling", Path("/proj/other/x.py")),
        "own": record("own", Path("/proj/demo/cells/x.py")),
        "outside": record("outside", Path("/elsewhere/x.py")),
        "top": record("top", Path("/proj/demo")),
        "both": record("both", Path("/proj/demo/y.py")),
        "lookalike": record("lookalike", Path("/proj/demo2/x.py")),
    }
    given = dict(static)
    result = impl._filter_records_for_non_pdk_project(static, base)
    assert list(result) == ["base_cell", "own", "top", "both"]
    assert all(result[n] is static[n] for n in result)
    assert static == given


class SourcePath:
    """A path whose `relative_to` answers as told and logs how it was called."""

    def __init__(self, answer: Any, log: list[Any]) -> None:
        self.answer, self.log = answer, log

    def relative_to(self, *args: Any, **kwargs: Any) -> Any:
        self.log.append((args, kwargs))
        if isinstance(self.answer, BaseException):
            raise self.answer
        return self.answer


class ProjectDir:
    def __truediv__(self, other: Any) -> Any:
        return ("joined", other)


class SubValueError(ValueError):
    pass


@pytest.mark.parametrize(
    "answer, kept", [(None, True), (False, True), (ValueError(), False), (SubValueError(), False)]
)
def test_relative_to_decides(impl: Any, services: Any, answer: Any, kept: bool) -> None:
    services.settings.project_dir = ProjectDir()
    log: list[Any] = []
    static = {"a": record("a", SourcePath(answer, log))}
    result = impl._filter_records_for_non_pdk_project(static, FakePdk("base"))
    assert list(result) == (["a"] if kept else [])
    assert log == [((("joined", "demo"),), {})]


@pytest.mark.parametrize("error", [TypeError("boom"), KeyboardInterrupt()])
def test_other_errors_of_relative_to_pass_through(impl: Any, services: Any, error: Any) -> None:
    static = {"a": record("a", SourcePath(error, []))}
    with pytest.raises(type(error)) as info:
        impl._filter_records_for_non_pdk_project(static, FakePdk("base"))
    assert info.value is error


def test_base_cells_are_read_for_every_record(impl: Any, services: Any) -> None:
    class Base:
        reads = 0

        @property
        def cells(self) -> dict[str, Any]:
            Base.reads += 1
            return {}

    static = {n: record(n, Path("/proj/demo/x.py")) for n in "abc"}
    assert list(impl._filter_records_for_non_pdk_project(static, Base())) == ["a", "b", "c"]
    assert Base.reads == 3


def test_source_without_relative_to(impl: Any, services: Any) -> None:
    with pytest.raises(AttributeError, match="relative_to"):
        impl._filter_records_for_non_pdk_project({"a": record("a", "/proj/demo/x.py")}, None)
