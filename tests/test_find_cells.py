from __future__ import annotations

from pathlib import Path
from types import ModuleType
from typing import Any

import pytest

from tests.fakes import Record, module_with
from tests.shared import unpack_text

RINGS = Path("/proj/cells/rings.py")
IMPORT_CALL = (
    "imports.import_modules",
    (("paths", [RINGS]), ("reload", False), ("from_project", False)),
)


def ring_a() -> None: ...


def record(name: str = "ring_a", **kwargs: Any) -> Record:
    return Record(name, "cells/rings.py", **kwargs)


class Ne:
    """A status whose `!=` gives a fixed answer."""

    def __init__(self, answer: Any) -> None:
        self.answer = answer

    def __ne__(self, other: object) -> Any:
        return self.answer


def test_empty_records_do_nothing(impl: Any, services: Any) -> None:
    assert impl._find_cells({}, {}) == {}
    assert services.calls == []


@pytest.mark.parametrize("status", ["ERROR", None, "unknown", "UNKNOWN ", 0, Ne(True), Ne([0])])
def test_resolves_only_what_compares_equal_to_unknown(
    impl: Any, services: Any, status: Any
) -> None:
    static = {"ring_a": record(status=status)}
    assert impl._find_cells(static, {RINGS: module_with("m", ring_a=ring_a)}) == {}
    assert static["ring_a"] == record(status=status)


@pytest.mark.parametrize("status", [Ne(False), Ne(0), Ne("")])
def test_status_is_tested_by_inequality_and_truth(impl: Any, services: Any, status: Any) -> None:
    static = {"ring_a": record(status=status)}
    assert impl._find_cells(static, {RINGS: module_with("m", ring_a=ring_a)}) == {"ring_a": ring_a}


def test_found_functions_in_record_order(impl: Any, services: Any) -> None:
    def ring_b() -> None: ...

    mod = module_with("m", ring_a=ring_a, ring_b=ring_b)
    static = {"ring_b": record("ring_b"), "skip": record(status="OK"), "ring_a": record()}
    result = impl._find_cells(static, {RINGS: mod})
    assert list(result.items()) == [("ring_b", ring_b), ("ring_a", ring_a)]
    assert services.calls == []


def test_missing_module_imported_once_and_kept(impl: Any, services: Any) -> None:
    mod = module_with("m", ring_a=ring_a, ring_b=ring_a)
    services.imports.modules[RINGS] = mod
    modules: dict[Any, Any] = {Path("/other.py"): None}
    result = impl._find_cells({"ring_a": record(), "ring_b": record("ring_b")}, modules)
    assert result == {"ring_a": ring_a, "ring_b": ring_a}
    assert modules == {Path("/other.py"): None, RINGS: mod}
    assert services.calls == [IMPORT_CALL]


def test_module_not_found_per_record(impl: Any, services: Any) -> None:
    static = {"a": record("ring_a", calls=services.calls), "b": record("ring_b")}
    result = impl._find_cells(static, {})
    text = "Module for cell 'ring_a' with path /proj/cells/rings.py not found."
    assert services.calls == [
        ("absolute_source", "ring_a"),
        IMPORT_CALL,
        ("log",),
        ("log.warning", text),
        IMPORT_CALL,
        ("log",),
        ("log.warning", text.replace("ring_a", "ring_b")),
    ]
    assert (static["a"].status, static["a"].message) == ("ERROR", text)
    # Looked up and named by the key; reported by the record's name.
    cell = result["a"]
    assert (cell.__name__, cell.__qualname__, cell.__module__) == ("a", "a", "rings.py")
    with pytest.raises(ModuleNotFoundError) as info:
        cell(1, width=2)
    assert type(info.value) is ModuleNotFoundError and info.value.args == (text,)


@pytest.mark.parametrize("attrs", [{}, {"ring_a": None}, {"ring_b": ring_a}])
def test_cell_not_found(impl: Any, services: Any, attrs: dict[str, Any]) -> None:
    # Looked up and named by the key; reported by the record's name.
    static = {"ring_a": record("shown")}
    result = impl._find_cells(static, {RINGS: module_with("m", shown=ring_a, **attrs)})
    text = "Cell 'shown' not found in '/proj/cells/rings.py'."
    assert (static["ring_a"].status, static["ring_a"].message) == ("ERROR", text)
    assert services.logger.lines == [("warning", text)]
    cell = result["ring_a"]
    assert (cell.__name__, cell.__module__) == ("ring_a", "rings.py")
    with pytest.raises(ImportError) as info:
        cell()
    assert type(info.value) is ImportError and info.value.args == (text,)


class ReadBack(Record):
    """A record whose message reads back differently from what was assigned."""

    def __setattr__(self, name: str, value: Any) -> None:
        super().__setattr__(name, value.upper() if name == "message" else value)


def test_error_cell_is_the_module_global(impl: Any, services: Any, monkeypatch: Any) -> None:
    made: list[tuple[Any, ...]] = []
    monkeypatch.setattr(impl, "_error_cell", lambda *args, **kw: made.append((args, kw)) or "cell")
    result = impl._find_cells({"ring_a": ReadBack("ring_a", "cells/rings.py")}, {})
    assert result == {"ring_a": "cell"}
    [((funcname, modname, error), kw)] = made
    assert (funcname, modname, kw) == ("ring_a", "rings.py", {})
    text = "MODULE FOR CELL 'RING_A' WITH PATH /PROJ/CELLS/RINGS.PY NOT FOUND."
    assert error.args == (text,) and services.logger.lines == [("warning", text)]


class Mapping:
    def __init__(self, items: dict[Any, Any]) -> None:
        self.items_, self.asked = items, []

    def keys(self) -> Any:
        return self.items_.keys()

    def __getitem__(self, key: Any) -> Any:
        return self.items_[key]

    def get(self, key: Any, *default: Any) -> Any:
        self.asked.append((key, default))
        return self.items_.get(key)


def test_import_result_is_any_pair_of_mappings(impl: Any, services: Any) -> None:
    extra = Mapping({RINGS: module_with("m", ring_a=ring_a)})
    services.imports.result = iter([extra, None])
    modules: dict[Any, Any] = {}
    assert impl._find_cells({"ring_a": record()}, modules) == {"ring_a": ring_a}
    assert list(modules) == [RINGS] and extra.asked == [(RINGS, ())]


@pytest.mark.parametrize("count, kind", [(1, tuple), (0, list), (3, tuple)])
def test_import_result_must_be_a_pair(impl: Any, services: Any, count: int, kind: Any) -> None:
    services.imports.result = kind(({},) * count)
    with pytest.raises(ValueError) as info:
        impl._find_cells({"ring_a": record()}, {})
    assert str(info.value) == unpack_text(impl, count)


def test_errors_pass_through_and_keep_earlier_effects(impl: Any, services: Any) -> None:
    boom = KeyError("boom")

    class Failing(Record):
        def absolute_source(self) -> Any:
            raise boom

    static = {"ring_a": record(), "bad": Failing("bad", "x")}
    with pytest.raises(KeyError) as info:
        impl._find_cells(static, {})
    assert info.value is boom and static["ring_a"].status == "ERROR"


def test_records_changed_during_the_loop(impl: Any, services: Any, monkeypatch: Any) -> None:
    static = {"ring_a": record()}
    monkeypatch.setattr(impl, "log", lambda: static.update(extra=record()) or services.logger)
    with pytest.raises(RuntimeError, match="^dictionary changed size during iteration$"):
        impl._find_cells(static, {})


class PropertyModule(ModuleType):
    @property
    def ring_a(self) -> Any:
        return ring_a


def module_getattr(name: str) -> Any:
    if name == "ring_a":
        return ring_a
    raise AttributeError(name)


@pytest.mark.parametrize(
    "mod, key, expected",
    [
        (module_with("m", __getattr__=module_getattr), "ring_a", ring_a),
        (module_with("m", ring_a=1, __getattr__=module_getattr), "ring_a", 1),
        (PropertyModule("m"), "ring_a", ring_a),
        (module_with("m", __getattr__=module_getattr), "ring_b", None),
    ],
)
def test_cell_is_read_as_a_module_attribute(
    impl: Any, services: Any, mod: Any, key: str, expected: Any
) -> None:
    result = impl._find_cells({key: record(key)}, {RINGS: mod})
    if expected is None:
        assert services.logger.lines[0][1].startswith(f"Cell '{key}' not found")
    else:
        assert result == {key: expected}


def test_module_type_attributes_win_over_the_module_dict(impl: Any, services: Any) -> None:
    mod = module_with("m")
    mod.__dict__["__dict__"] = ring_a
    static = {"__dict__": record("x"), "__doc__": record("y")}
    result = impl._find_cells(static, {RINGS: mod})
    assert result["__dict__"] is vars(mod)
    # The module's own None shadows the class's docstring: not found.
    assert static["__doc__"].status == "ERROR"
