"""Project code run by an import may call back into the module."""

from __future__ import annotations

from pathlib import Path
from types import SimpleNamespace
from typing import Any

import pytest

from tests.fakes import Record, module_with

PATH = Path("/proj/demo/cells.py")


@pytest.fixture
def project(pdk_project: SimpleNamespace) -> SimpleNamespace:
    pdk_project.cg.records = lambda: {"c": Record("c", "demo/cells.py", path=PATH)}
    return pdk_project


@pytest.mark.parametrize("reenter", ["register_cells", "get_pdk"])
def test_import_that_calls_back(impl: Any, project: SimpleNamespace, reenter: str) -> None:
    nested: list[Any] = []

    def import_modules(**kwargs: Any) -> Any:
        if not nested:  # only the outer run's import calls back
            nested.append(None)
            nested[0] = getattr(impl, reenter)()
        return {PATH: module_with("demo.cells", c=print)}, {}

    project.imports.import_modules = import_modules
    # A nested run has already stored the cell, so the outer one finds nothing to write.
    expected = ([], []) if reenter == "register_cells" else (["c"], [])
    assert impl.register_cells() == expected
    assert project.active.cells == {"c": print}
    assert list(project.db.records) == ["c"]
    # The nested call ran to its end: it stored the cell, or handed out the active PDK.
    assert nested == [(["c"], []) if reenter == "register_cells" else project.active]


def test_unbounded_reentry_ends_in_recursion_error(impl: Any, project: SimpleNamespace) -> None:
    project.calls.recording = False

    def import_modules(**kwargs: Any) -> Any:
        return impl.register_cells()

    project.imports.import_modules = import_modules
    with pytest.raises(RecursionError):
        impl.register_cells()
    # The module still works afterwards.
    project.imports.import_modules = lambda **kwargs: ({PATH: module_with("m", c=print)}, {})
    assert impl.register_cells()[0] == ["c"]
