"""Lookups made afresh where the mappings change behind the module's back, and the one switch in
the environment that turns the fast path off."""

from __future__ import annotations

from collections.abc import Callable
from pathlib import Path
from typing import Any

import pytest

from tests.fakes import FakePdk
from tests.shared import run_python


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


@pytest.mark.parametrize(
    "setting, shortcut",
    [("", True), ("1", True), ("0", False), ("off", False)],
)
def test_one_switch_read_at_import_turns_the_fast_path_off(setting: str, shortcut: bool) -> None:
    done = run_python(
        """
        import os
        from pathlib import PosixPath
        from types import SimpleNamespace
        import quorin.core.pdk as pdk
        from tests.test_relative_to import method_runs

        os.environ["QUORIN_PDK_FAST_PATHS"] = "1" if os.environ["QUORIN_PDK_FAST_PATHS"] != "1" else "0"
        pdk.settings = SimpleNamespace(get_project_dir=lambda: PosixPath("/p"), get_project_name=lambda: "d")
        records = {n: SimpleNamespace(absolute_source=lambda n=n: PosixPath(n)) for n in ("/p/d/a", "/b")}
        with method_runs() as runs:
            kept = pdk._filter_records_for_non_pdk_project(records, SimpleNamespace(cells={}))
        print(list(kept), runs[0])
        """,
        QUORIN_PDK_FAST_PATHS=setting,
    )
    assert (done.returncode, done.stderr) == (0, "")
    assert done.stdout.split() == ["['/p/d/a']", "0" if shortcut else "2"]
