"""The shortcuts the module takes around attribute and dict lookups answer as the plain protocol.

Slot reads skip the class lookup while the class stays as it was; the records of one name are
not looked up again while neither mapping changed. These tests change the class or the
mappings behind the module's back, after it has seen them once.
"""

from __future__ import annotations

from collections.abc import Callable
from pathlib import Path
from types import ModuleType
from typing import Any

import pytest

from tests.fakes import FakePdk

PATH = Path("/proj/cells/rings.py")


def ring_a() -> None: ...


class Base:
    __slots__ = ("name", "source", "status", "message")


def slotted_class() -> type:
    """A fresh record class per test, its fields in slots of a base class."""

    class Slotted(Base):
        __slots__ = ()

        def __init__(self, name: str, status: str = "UNKNOWN", message: str = "") -> None:
            self.name, self.source, self.status, self.message = (
                name,
                "cells/rings.py",
                status,
                message,
            )

        def absolute_source(self) -> Path:
            return PATH

        def __eq__(self, other: object) -> bool:
            return all(getattr(self, f) == getattr(other, f) for f in Base.__slots__)

    return Slotted


def find(pdk: Any, record: Any) -> dict[str, Any]:
    module = ModuleType("cells.rings")
    module.ring_a = ring_a  # type: ignore[attr-defined]
    result: dict[str, Any] = pdk._find_cells({"ring_a": record}, {PATH: module})
    return result


def reads_error() -> property:
    return property(lambda self: "ERROR", lambda self, value: None)


def status_property(cls: type) -> None:
    cls.status = reads_error()  # type: ignore[attr-defined]


def base_status_property(cls: type) -> None:
    Base.status = reads_error()  # type: ignore[assignment, attr-defined]


def status_by_getattribute(cls: type) -> None:
    def getattribute(self: Any, name: str) -> Any:
        return "ERROR" if name == "status" else object.__getattribute__(self, name)

    cls.__getattribute__ = getattribute  # type: ignore[method-assign]


@pytest.mark.parametrize("change", [status_property, base_status_property, status_by_getattribute])
def test_a_class_changed_after_use_is_read_anew(
    pdk: Any, services: Any, change: Callable[[type], None]
) -> None:
    cls = slotted_class()
    saved = Base.__dict__["status"]
    try:
        assert find(pdk, cls("ring_a")) == {"ring_a": ring_a}
        record = cls("ring_a")  # its status slot holds "UNKNOWN"
        change(cls)
        # A record that reads as "ERROR" is skipped.
        assert find(pdk, record) == {}
    finally:
        Base.status = saved  # type: ignore[attr-defined]


def test_a_slot_of_another_class_is_refused_as_the_interpreter_does(
    pdk: Any, services: Any
) -> None:
    class Narrow:
        __slots__ = ("status",)  # at the place where the record keeps its name

    cls = slotted_class()
    record = cls("ring_a")
    find(pdk, record)
    cls.status = Narrow.__dict__["status"]  # type: ignore[attr-defined]
    with pytest.raises(TypeError) as raised:
        find(pdk, record)
    with pytest.raises(TypeError) as expected:
        _ = record.status
    assert str(raised.value) == str(expected.value)


def test_a_setter_added_after_use_is_called(pdk: Any, services: Any) -> None:
    cls = slotted_class()

    def compare(stored_status: str) -> Any:
        run, stored = cls("c"), cls("c", stored_status, "kept")
        pdk._get_database_updates({"c": run}, {"c": stored}, [])
        return run

    assert compare("OK").status == "OK"
    written: list[Any] = []
    slot = Base.__dict__["status"]

    def write(self: Any, value: Any) -> None:
        written.append(value)
        slot.__set__(self, value)

    cls.status = property(slot.__get__, write)  # type: ignore[attr-defined]
    run = compare("STORED")
    # The two records' own initialisation, then the stored outcome copied over.
    assert written == ["UNKNOWN", "STORED", "STORED"]
    assert (run.status, run.message) == ("STORED", "kept")


def test_an_empty_slot_raises_as_the_interpreter_does(pdk: Any, services: Any) -> None:
    cls = slotted_class()
    find(pdk, cls("ring_a"))  # the class is known now
    record = cls("ring_a")
    del record.status
    with pytest.raises(AttributeError) as raised:
        pdk._find_cells({"ring_a": record}, {})
    with pytest.raises(AttributeError) as expected:
        _ = record.status
    assert str(raised.value) == str(expected.value)


def test_a_factory_whose_module_was_deleted_counts_as_having_none(pdk: Any, services: Any) -> None:
    services.settings.project_name = "p"

    def made() -> None: ...

    def other() -> None: ...

    other.__module__ = "p.cells"
    del made.__module__  # the function now reads it as None
    lib = FakePdk("lib", cells={"c": other}, containers={"c": made})
    pdk._clean_containers_also_in_cells(lib)
    assert lib.containers == {} and lib.cells == {"c": other}


class Moving:
    """A run record whose `absolute_source()` may run code that changes the mappings."""

    def __init__(self, name: str, on_path: Callable[[], None] | None = None) -> None:
        self.name, self.source, self.status, self.message = name, "a.py", "UNKNOWN", ""
        self.on_path = on_path

    def absolute_source(self) -> Path:
        if self.on_path is not None:
            self.on_path()
        return Path("/proj/a.py")

    def __eq__(self, other: object) -> bool:
        return (self.status, self.message) == (other.status, other.message)  # type: ignore[attr-defined]


@pytest.mark.parametrize("nested", [False, True], ids=["plain", "after-a-nested-call"])
def test_a_record_replaced_midway_is_the_one_updated(pdk: Any, services: Any, nested: bool) -> None:
    static: dict[str, Any] = {}
    present = {"c": Moving("c")}
    present["c"].status, present["c"].message = "STORED", "kept"
    replacement = Moving("c")

    def replace() -> None:
        if nested:
            # Another comparison of the same mappings starts and ends in between.
            pdk._get_database_updates(static, {}, [])
        static["c"] = replacement

    first = Moving("c", replace)
    static["c"] = first
    add, remove = pdk._get_database_updates(static, present, [])
    # The stored outcome goes to the record found after the change, and it is compared.
    assert (replacement.status, replacement.message) == ("STORED", "kept")
    assert (first.status, first.message) == ("UNKNOWN", "")
    assert add == [] and remove == []


def test_the_same_mapping_on_both_sides(pdk: Any, services: Any) -> None:
    records = {"a": Moving("a"), "b": Moving("b")}
    for _ in range(2):
        assert pdk._get_database_updates(records, records, []) == ([], [])
    records["c"] = Moving("c")
    assert pdk._get_database_updates(records, {}, []) == (list(records.values()), [])
