from __future__ import annotations

from typing import Any

import pytest

from tests.fakes import FakePdk

MISSING = object()


def factory(module: Any) -> Any:
    """A callable whose `__module__` is `module`, or that has none."""
    if module is MISSING:
        return object()
    return type("Factory", (), {"__module__": module})()


# container's module, cell's module (project "p"), registry that keeps the name
DECISIONS = [
    ("p.cells", "lib.x", "containers"),
    ("lib.x", "p.cells", "cells"),
    ("lib.x", "lib.y", "cells"),
    ("p.a", "p.b", "containers"),
    ("p", "lib.x", "cells"),  # the prefix needs the dot
    ("pp.x", "lib.x", "cells"),
    (MISSING, "p.cells", "cells"),
    ("", "p.cells", "cells"),
    (None, "p.cells", "cells"),
    ("lib.x", MISSING, "containers"),
    ("lib.x", "", "containers"),
]


@pytest.mark.parametrize("container_mod, cell_mod, kept_in", DECISIONS)
def test_clash_decision(
    impl: Any, services: Any, container_mod: Any, cell_mod: Any, kept_in: str
) -> None:
    services.settings.project_name = "p"
    container, cell = factory(container_mod), factory(cell_mod)
    lib = FakePdk("lib", cells={"k": cell, "c": 1}, containers={"o": 2, "k": container})
    assert impl._clean_containers_also_in_cells(lib) is None
    if kept_in == "cells":
        assert lib.cells == {"k": cell, "c": 1} and lib.containers == {"o": 2}
    else:
        assert lib.cells == {"c": 1} and lib.containers == {"o": 2, "k": container}
    assert services.calls == [("settings.get_project_name",)]


@pytest.mark.parametrize("cells, containers", [({"a": 1}, {}), ({"a": 1}, {"b": 2}), ({}, {})])
def test_without_clash_nothing_changes(
    impl: Any, services: Any, cells: Any, containers: Any
) -> None:
    lib = FakePdk("lib", cells=dict(cells), containers=dict(containers))
    impl._clean_containers_also_in_cells(lib)
    assert (lib.cells, lib.containers) == (cells, containers)
    assert services.calls == [("settings.get_project_name",)]


def test_same_factory_stays_a_container(impl: Any, services: Any) -> None:
    shared = factory("p.cells")
    lib = FakePdk("lib", cells={"k": shared}, containers={"k": shared})
    impl._clean_containers_also_in_cells(lib)
    assert (lib.cells, lib.containers) == ({}, {"k": shared})


class Module:
    """A true `__module__` value that is not a `str`."""

    def __init__(self, answer: bool, log: list[Any]) -> None:
        self.answer, self.log = answer, log

    def __getattr__(self, attr: str) -> Any:
        self.log.append(("get", attr))
        return lambda *args, **kwargs: self.log.append((attr, args, kwargs)) or self.answer


class Name:
    """A project name that formats differently each time."""

    def __init__(self, log: list[Any]) -> None:
        self.log = log

    def __format__(self, spec: str) -> str:
        self.log.append(("format", spec))
        return f"n{len(self.log)}"


def test_prefix_is_made_anew_after_the_method_lookup(impl: Any, services: Any) -> None:
    log: list[Any] = []
    services.settings.project_name = Name(log)
    container, cell = factory(Module(False, log)), factory(Module(True, log))
    lib = FakePdk("lib", cells={"k": cell}, containers={"k": container})
    impl._clean_containers_also_in_cells(lib)
    assert log == [
        ("get", "startswith"),
        ("format", ""),
        ("startswith", ("n2.",), {}),
        ("get", "startswith"),
        ("format", ""),
        ("startswith", ("n5.",), {}),
    ]
    assert (lib.cells, lib.containers) == ({"k": cell}, {})


def test_module_without_startswith_fails_after_earlier_deletions(impl: Any, services: Any) -> None:
    lib = FakePdk(
        "lib",
        cells={"a": 1, "b": factory("lib.x")},
        containers={"a": 1, "b": factory(42), "c": 3},
    )
    with pytest.raises(AttributeError, match="startswith"):
        impl._clean_containers_also_in_cells(lib)
    assert "a" not in lib.cells and "b" in lib.containers
