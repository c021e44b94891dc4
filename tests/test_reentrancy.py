"""Project code run by an import may call back into the module."""

from __future__ import annotations

from pathlib import Path
from types import SimpleNamespace
from typing import Any

import pytest

from tests.fakes import FakePdk, Record, module_with

PATH = Path("/proj/demo/cells.py")


@pytest.fixture
def project(
    pdk: Any, services: SimpleNamespace, monkeypatch: pytest.MonkeyPatch
) -> SimpleNamespace:
    active = FakePdk("p")
    monkeypatch.setattr(pdk, "_get_pdk", lambda: active)
    services.settings.is_pdk = True
    services.cg.records = lambda: {"c": Record("c", "demo/cells.py", path=PATH)}
    services.active = active
    return services


@pytest.mark.parametrize("reenter", ["register_cells", "get_pdk"])
def test_import_that_calls_back(pdk: Any, project: SimpleNamespace, reenter: str) -> None:
    depth = []
    real_import = project.imports.import_modules

    def import_modules(**kwargs: Any) -> Any:
        depth.append(1)
        if len(depth) == 1:
            nested = getattr(pdk, reenter)()
            assert nested is not None
        return {PATH: module_with("demo.cells", c=print)}, {}

    project.imports.import_modules = import_modules
    # A nested run has already stored the cell, so the outer one finds nothing to write.
    expected = ([], []) if reenter == "register_cells" else (["c"], [])
    assert pdk.register_cells() == expected
    assert project.active.cells == {"c": print}
    assert list(project.db.records) == ["c"]
    assert real_import is not None


def test_unbounded_reentry_ends_in_recursion_error(pdk: Any, project: SimpleNamespace) -> None:
    project.calls.recording = False

    def import_modules(**kwargs: Any) -> Any:
        return pdk.register_cells()

    project.imports.import_modules = import_modules
    with pytest.raises(RecursionError):
        pdk.register_cells()
    # The module still works afterwards.
    project.imports.import_modules = lambda **kwargs: ({PATH: module_with("m", c=print)}, {})
    assert pdk.register_cells()[0] == ["c"]
