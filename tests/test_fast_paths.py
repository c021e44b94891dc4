"""The one switch in the environment that turns the fast path off, and a factory's module read as
Python reads it."""

from __future__ import annotations

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
