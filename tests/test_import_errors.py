"""`_handle_import_errors`: error cells and error records for files that failed to import."""

from __future__ import annotations

import copy
from pathlib import Path
from types import SimpleNamespace
from typing import Any

import pytest

from tests.fakes import Record, raising
from tests.shared import text, unpack_text

RINGS, OTHER = Path("/proj/cells/rings.py"), Path("/proj/other.py")
BOOM = ImportError("boom")


def records(*spec: tuple[str, Path]) -> dict[str, Record]:
    return {n: Record(n, str(p.relative_to("/proj")), path=p) for n, p in spec}


def new_record_call(name: str, source: str, message: str) -> tuple:
    fields = (("name", name), ("source", source), ("status", "ERROR"), ("message", message))
    return ("FactoryRecord", (), fields)


def test_cells_and_records_of_a_failed_file(impl: Any, services: SimpleNamespace) -> None:
    static = records(("ring_a", RINGS), ("ring_b", RINGS), ("mmi", OTHER))
    before = copy.deepcopy(static)
    services.imports.regex = {RINGS: ["ring_a", "ring_c"]}

    cells, error_records = impl._handle_import_errors(static, {RINGS: ("proj.cells.rings", BOOM)})

    assert services.logger.lines == [("warning", "rings.py: boom")]
    assert set(cells) == set(error_records) == {"ring_a", "ring_b", "ring_c"}
    for name, cell in cells.items():
        assert (cell.__name__, cell.__qualname__, cell.__module__) == (
            name,
            name,
            "proj.cells.rings",
        )
        with pytest.raises(ImportError) as info:
            cell()
        assert info.value is BOOM
    assert error_records["ring_a"] == Record("ring_a", "cells/rings.py", "ERROR", "boom")
    assert error_records["ring_b"] == Record("ring_b", "cells/rings.py", "ERROR", "boom")
    assert error_records["ring_a"] is not static["ring_a"]
    # A name only the pattern search found gets a new record with the full path.
    assert error_records["ring_c"] == Record("ring_c", str(RINGS), "ERROR", "boom")
    assert new_record_call("ring_c", str(RINGS), "boom") in services.calls
    assert static == before


class LoggedRecord:
    """A record that logs every read of its name and every field it is given."""

    def __init__(self, calls: list, name: str, path: Path) -> None:
        object.__setattr__(self, "calls", calls)
        object.__setattr__(self, "_name", name)
        object.__setattr__(self, "path", path)

    @property
    def name(self) -> str:
        self.calls.append(("name", self._name))
        return self._name

    def absolute_source(self) -> Path:
        self.calls.append(("absolute_source", self._name))
        return self.path

    def __setattr__(self, attr: str, value: Any) -> None:
        self.calls.append(("set", self._name, attr, value))
        object.__setattr__(self, attr, value)


def test_outside_calls_in_order(
    impl: Any, services: SimpleNamespace, monkeypatch: pytest.MonkeyPatch
) -> None:
    calls = services.calls
    static = {n: LoggedRecord(calls, n, p) for n, p in [("a", RINGS), ("b", OTHER)]}
    services.imports.regex = {OTHER: ["c"]}
    error_cell = impl._error_cell

    def logged_error_cell(*args: Any, **kwargs: Any) -> Any:
        calls.append(("_error_cell", args, kwargs))
        return error_cell(*args, **kwargs)

    def logged_deepcopy(record: Any) -> Any:
        calls.append(("deepcopy", record._name))
        return LoggedRecord(calls, record._name, record.path)

    monkeypatch.setattr(impl, "_error_cell", logged_error_cell)
    monkeypatch.setattr(impl, "deepcopy", logged_deepcopy)
    impl._handle_import_errors(static, {RINGS: ("m1", BOOM), OTHER: ("m2", "text")})

    per_name = {
        "b": [("_error_cell", ("b", "m2", "text"), {}), ("deepcopy", "b"),
              ("set", "b", "status", "ERROR"), ("set", "b", "message", "text")],
        "c": [("_error_cell", ("c", "m2", "text"), {}),
              new_record_call("c", str(OTHER), "text")],
    }  # fmt: skip
    names = {"c"}
    names.update(["b"])
    assert calls == [
        ("absolute_source", "a"), ("absolute_source", "b"),
        ("log",), ("log.warning", "rings.py: boom"),
        ("imports.get_cells_from_regex", RINGS), ("name", "a"),
        ("_error_cell", ("a", "m1", BOOM), {}),
        ("deepcopy", "a"), ("set", "a", "status", "ERROR"), ("set", "a", "message", "boom"),
        ("log",), ("log.warning", "other.py: text"),
        ("imports.get_cells_from_regex", OTHER), ("name", "b"),
    ] + [call for name in names for call in per_name[name]]  # fmt: skip


def test_results_follow_set_order(impl: Any, services: SimpleNamespace) -> None:
    static = records(*[(f"static_{i}", RINGS) for i in range(20)])
    regex = [f"regex_{i}" for i in range(20)][::-1] + ["static_3"]
    services.imports.regex = {RINGS: regex}
    cells, error_records = impl._handle_import_errors(static, {RINGS: ("m", BOOM)})
    expected = set(regex)
    expected.update(static)
    assert list(cells) == list(error_records) == list(expected)


def test_no_errors(impl: Any, services: SimpleNamespace) -> None:
    static = {n: Record(n, n + ".py", calls=services.calls) for n in ("a", "b")}
    assert impl._handle_import_errors(static, {}) == ({}, {})
    assert services.calls == [("absolute_source", "a"), ("absolute_source", "b")]


@pytest.mark.parametrize("missing", ["search-fails", "no-imports-global"])
def test_failed_search_counts_as_no_names(
    impl: Any, services: SimpleNamespace, monkeypatch: pytest.MonkeyPatch, missing: str
) -> None:
    static = records(("ring_a", RINGS))
    services.imports.regex = {RINGS: LookupError("no"), OTHER: LookupError("no")}
    if missing == "no-imports-global":
        monkeypatch.delattr(impl, "imports")
    cells, _ = impl._handle_import_errors(static, {RINGS: ("m", BOOM), OTHER: ("m", BOOM)})
    assert list(cells) == ["ring_a"]
    assert services.logger.lines == [("warning", "rings.py: boom"), ("warning", "other.py: boom")]


class Interrupt(BaseException):
    pass


@pytest.mark.parametrize(
    "regex, error, message",
    [
        (Interrupt("stop"), Interrupt, "stop"),
        (None, TypeError, "'NoneType' object is not iterable"),
        (5, TypeError, "'int' object is not iterable"),
        ([7], TypeError, "Argument 'funcname' has incorrect type (expected str, got int)"),
    ],
)
def test_bad_search_results(
    impl: Any, services: SimpleNamespace, regex: Any, error: type, message: Any
) -> None:
    services.imports.regex = {RINGS: regex}
    with pytest.raises(error) as info:
        impl._handle_import_errors({}, {RINGS: ("m", BOOM)})
    assert str(info.value) == text(impl, message)
    if isinstance(regex, BaseException):
        assert info.value is regex


def test_name_of_another_files_record(impl: Any, services: SimpleNamespace) -> None:
    static = records(("ring_a", RINGS), ("mmi", OTHER))
    services.imports.regex = {RINGS: ["mmi"]}
    _, error_records = impl._handle_import_errors(static, {RINGS: ("m", BOOM)})
    assert error_records["mmi"] == Record("mmi", "other.py", "ERROR", "boom")
    assert static["mmi"].status == "UNKNOWN"


def test_later_failed_file_wins(impl: Any, services: SimpleNamespace) -> None:
    static = records(("shared", RINGS))
    services.imports.regex = {OTHER: ["shared", "only_other"]}
    late = ValueError("late")
    cells, error_records = impl._handle_import_errors(
        static, {RINGS: ("m1", BOOM), OTHER: ("m2", late)}
    )
    assert list(cells)[0] == list(error_records)[0] == "shared"
    assert cells["shared"].__module__ == "m2"
    assert error_records["shared"].message == "late"


@pytest.mark.parametrize(
    "failure, error, message",
    [
        (("m",), ValueError, 1),
        (("m", BOOM, 1), ValueError, 3),
        (3, TypeError, ("'int' object is not iterable", "cannot unpack non-iterable int object")),
        (
            (b"m", BOOM),
            TypeError,
            "Argument 'modname' has incorrect type (expected str, got bytes)",
        ),
    ],
)
def test_bad_failure_values(
    impl: Any, services: SimpleNamespace, failure: Any, error: type, message: Any
) -> None:
    services.imports.regex = {RINGS: ["ring_a"]}
    with pytest.raises(error) as info:
        impl._handle_import_errors({}, {RINGS: failure})
    expected = unpack_text(impl, message) if type(message) is int else text(impl, message)
    assert str(info.value) == expected


class Shown:
    def __format__(self, spec: str) -> str:
        return "formatted"

    def __str__(self) -> str:
        return "plain"


def test_warning_formats_and_message_uses_str(impl: Any, services: SimpleNamespace) -> None:
    services.imports.regex = {RINGS: ["ring_a"]}
    _, error_records = impl._handle_import_errors({}, {RINGS: ("m", Shown())})
    assert services.logger.lines == [("warning", "rings.py: formatted")]
    assert error_records["ring_a"].message == "plain"


def test_errors_propagate_unchanged_after_logging(impl: Any, services: SimpleNamespace) -> None:
    failure = KeyError("no record")
    services.m.FactoryRecord = raising(failure)
    services.imports.regex = {RINGS: ["new"]}
    with pytest.raises(KeyError) as info:
        impl._handle_import_errors({}, {RINGS: ("m", BOOM)})
    assert info.value is failure
    assert services.logger.lines == [("warning", "rings.py: boom")]
