"""Tracebacks pass through the module's functions as through a Python module's."""

from __future__ import annotations

import traceback
import unittest.mock
from collections.abc import Callable
from pathlib import Path
from types import SimpleNamespace
from typing import Any

import pytest

from tests.fakes import FakePdk, Record

BOOM = LookupError("outside failure")


@pytest.fixture(autouse=True)
def fresh_boom() -> None:
    BOOM.__traceback__ = None


def raise_boom(*args: Any, **kwargs: Any) -> Any:
    raise BOOM


def raise_on_demand(**kwargs: Any) -> Any:
    # The on-demand import of `_find_cells` is the only one that does not reload.
    if not kwargs["reload"]:
        raise BOOM
    return {}, {}


def find_cells_directly(pdk: Any, services: SimpleNamespace) -> None:
    services.imports.import_modules = raise_on_demand
    pdk._find_cells({"a": Record("a", "demo/a.py")}, {})


def find_cells_via_register_cells(pdk: Any, services: SimpleNamespace) -> None:
    services.imports.import_modules = raise_on_demand
    services.settings.is_pdk = True
    services.cg.records = lambda: {"a": Record("a", "demo/a.py")}
    pdk.get_pdk = pdk.get_base_pdk = lambda: FakePdk("p")
    pdk.register_cells()


def cached_resolver(pdk: Any, services: SimpleNamespace) -> None:
    services.settings.get_pdk_name = raise_boom
    pdk._get_pdk()


def frozen_pdk_method(pdk: Any, services: SimpleNamespace) -> None:
    frozen = pdk.FrozenPdk.__new__(pdk.FrozenPdk)
    frozen.name = "x"


def argument_error(pdk: Any, services: SimpleNamespace) -> None:
    pdk._find_cells({})


def names_after_caller(error: BaseException) -> list[tuple[str, str]]:
    # The first entry is the scenario's own line, then come the calls it made.
    entries = traceback.extract_tb(error.__traceback__)[2:]
    return [(e.name, Path(e.filename).name) for e in entries]


@pytest.mark.parametrize(
    "scenario, expected",
    [
        (
            find_cells_directly,
            [("_find_cells", "imports.cpp"), ("raise_on_demand", "test_tracebacks.py")],
        ),
        (
            find_cells_via_register_cells,
            [
                ("register_cells", "register_cells.cpp"),
                ("_find_cells", "imports.cpp"),
                ("raise_on_demand", "test_tracebacks.py"),
            ],
        ),
        (cached_resolver, [("_get_pdk", "settings.cpp"), ("raise_boom", "test_tracebacks.py")]),
        (frozen_pdk_method, [("FrozenPdk.__setattr__", "base_pdk.cpp")]),
        # An argument error is the caller's, as for a Python function.
        (argument_error, []),
    ],
    ids=lambda v: getattr(v, "__name__", ""),
)
def test_one_entry_per_function_left(
    pdk: Any,
    services: SimpleNamespace,
    monkeypatch: pytest.MonkeyPatch,
    scenario: Callable[[Any, SimpleNamespace], None],
    expected: list[tuple[str, str]],
) -> None:
    monkeypatch.setattr(pdk, "get_pdk", pdk.get_pdk)
    monkeypatch.setattr(pdk, "get_base_pdk", pdk.get_base_pdk)
    with pytest.raises(BaseException) as info:
        scenario(pdk, services)
    assert names_after_caller(info.value) == expected
    if expected and expected[-1][1] == "test_tracebacks.py":
        assert info.value is BOOM
    for entry in traceback.extract_tb(info.value.__traceback__):
        assert entry.lineno is not None and entry.lineno > 0
        assert not Path(entry.filename).is_absolute() or entry.filename.endswith(".py")


def test_format_exc_shows_the_chain(pdk: Any, services: SimpleNamespace) -> None:
    try:
        find_cells_directly(pdk, services)
    except LookupError:
        text = traceback.format_exc()
    assert "in _find_cells\n" in text and "src/contracts/imports.cpp" in text
    assert text.index("in find_cells_directly") < text.index("in _find_cells")
    assert text.index("in _find_cells") < text.index("in raise_on_demand")


def handle_errors_after_a_caught_failure(pdk: Any, services: SimpleNamespace) -> None:
    path = Path("/proj/demo/a.py")
    services.imports.regex = {path: ValueError("caught inside")}
    # A name that is not a str fails `_error_cell` after the lookup was swallowed.
    pdk._handle_import_errors({1: Record(1, "demo/a.py")}, {path: ("demo.a", BOOM)})  # type: ignore[arg-type]


def filter_after_a_caught_failure(pdk: Any, services: SimpleNamespace) -> None:
    outside = Record("a", "elsewhere/a.py", path=Path("/elsewhere/a.py"))
    failing = Record("b", "demo/b.py")
    failing.absolute_source = raise_boom  # type: ignore[method-assign]
    pdk._filter_records_for_non_pdk_project({"a": outside, "b": failing}, FakePdk("base"))


@pytest.mark.parametrize(
    "scenario, expected",
    [
        (handle_errors_after_a_caught_failure, ["_handle_import_errors"]),
        (filter_after_a_caught_failure, ["_filter_records_for_non_pdk_project", "raise_boom"]),
    ],
    ids=lambda v: getattr(v, "__name__", ""),
)
def test_exceptions_caught_inside_leave_no_trace(
    pdk: Any,
    services: SimpleNamespace,
    scenario: Callable[[Any, SimpleNamespace], None],
    expected: list[str],
) -> None:
    with pytest.raises(Exception) as info:
        scenario(pdk, services)
    assert [name for name, _ in names_after_caller(info.value)] == expected
    assert info.value.__context__ is None


@pytest.mark.parametrize(
    "name, good, bad",
    [
        ("register_cells", ((), {"paths": []}), ((1,), {})),
        ("_find_cells", (({}, {}), {}), (({},), {})),
        ("activate_pdk_by_name", (("x",), {}), ((), {"nom": "x"})),
    ],
)
def test_autospec_checks_the_real_signature(
    pdk: Any, name: str, good: tuple[tuple[Any, ...], dict[str, Any]], bad: tuple[Any, ...]
) -> None:
    function = getattr(pdk, name)
    spec = unittest.mock.create_autospec(function)
    spec(*good[0], **good[1])
    with pytest.raises(TypeError):
        spec(*bad[0], **bad[1])
    assert function.__call__ is function and callable(function)
