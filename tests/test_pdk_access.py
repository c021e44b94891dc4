"""`get_pdk`, `get_base_pdk`, `FrozenPdk` and `activate_pdk_by_name`."""

from __future__ import annotations

import functools
import inspect
import os
import subprocess
import sys
import warnings
from pathlib import Path
from types import SimpleNamespace
from typing import Any

import pytest
from frozendict import frozendict

from tests import fakes
from tests.fakes import FakePdk


class Pdk(FakePdk):
    pass


@pytest.fixture
def project(
    monkeypatch: pytest.MonkeyPatch, impl: Any, services: SimpleNamespace
) -> SimpleNamespace:
    """A project PDK of a class FrozenPdk can replace, resolved afresh on each uncached call."""
    monkeypatch.setattr(impl, "FrozenPdk", type("FrozenPdk", (Pdk,), dict(vars(impl.FrozenPdk))))
    made: list[Pdk] = []

    def resolve() -> Pdk:
        services.calls.append(("_get_pdk",))
        made.append(Pdk("mypdk", cells={"a": 1}, containers={}))
        made[-1].layers = [1, 2]
        made[-1].info = {"nested": {"x": []}}
        return made[-1]

    monkeypatch.setattr(impl, "_get_pdk", functools.cache(resolve))
    services.made = made
    fakes.ACTIVATIONS.clear()
    return services


def test_non_pdk_project_gets_a_frozen_reloaded_base(impl: Any, project: SimpleNamespace) -> None:
    active = impl.get_pdk()
    base = impl.get_base_pdk()
    assert type(base) is impl.FrozenPdk and base is not active
    assert isinstance(base.cells, frozendict) and dict(base.cells) == {"a": 1}
    assert base.layers == (1, 2) and base.name == "mypdk"
    assert type(base.info) is frozendict and type(base.info["nested"]) is dict  # shallow
    assert type(active.cells) is dict and type(active.layers) is list
    assert project.logger.lines == [
        ("debug", "Froze base PDK: mypdk"),
        ("debug", "Activated PDK: mypdk"),
    ]
    # The project PDK is active last, never the base.
    assert fakes.ACTIVATIONS == [active, active]


def test_first_get_pdk_call_order(impl: Any, project: SimpleNamespace) -> None:
    impl.get_pdk()
    assert [c[0] for c in project.calls] == [
        "_get_pdk",
        "settings.is_a_pdk",
        "_get_pdk",
        "log",
        "log.debug",
        "log",
        "log.debug",
    ]


@pytest.mark.parametrize(("attr", "value"), [("name", "x"), ("cells", {}), ("__class__", Pdk)])
def test_frozen_pdk_refuses_assignment_and_deletion(
    impl: Any, project: SimpleNamespace, attr: str, value: Any
) -> None:
    base = impl.get_base_pdk()
    before = dict(vars(base))
    with pytest.raises(AttributeError) as info:
        setattr(base, attr, value)
    assert info.value.args == ("Frozen PDK cannot be modified.",)
    with pytest.raises(AttributeError, match="^Frozen PDK cannot be modified.$"):
        delattr(base, attr)
    assert vars(base) == before and type(base) is impl.FrozenPdk


def test_frozen_pdk_methods_check_the_name_first(impl: Any) -> None:
    with pytest.raises(
        TypeError, match=r"^Argument 'name' has incorrect type \(expected str, got int\)$"
    ):
        impl.FrozenPdk.__setattr__(object(), 1, 2)
    with pytest.raises(
        TypeError, match=r"^Argument 'name' has incorrect type \(expected str, got bytes\)$"
    ):
        impl.FrozenPdk.__delattr__(object(), b"x")


def test_pdk_project_base_is_the_project_pdk(impl: Any, project: SimpleNamespace) -> None:
    project.settings.is_pdk = 1
    assert impl.get_base_pdk() is impl.get_pdk()
    assert type(impl.get_pdk()) is Pdk
    assert not any("Froze" in text for _, text in project.logger.lines)


def test_resolver_returning_the_cached_object_freezes_a_copy(
    impl: Any, project: SimpleNamespace, monkeypatch: pytest.MonkeyPatch
) -> None:
    shared = Pdk("same", cells={"a": 1})
    monkeypatch.setattr(impl, "_get_pdk", functools.cache(lambda: shared))
    base = impl.get_base_pdk()
    assert base is not shared and type(base) is impl.FrozenPdk
    assert type(shared) is Pdk and type(shared.cells) is dict


def test_second_calls_are_cached_and_quiet(impl: Any, project: SimpleNamespace) -> None:
    first, base = impl.get_pdk(), impl.get_base_pdk()
    project.logger.lines.clear()
    assert impl.get_pdk() is first and impl.get_base_pdk() is base
    assert project.logger.lines == [("debug", "Activated PDK: mypdk")]
    assert first.activations == 3 and len(project.made) == 2


def test_failing_base_build_caches_nothing(impl: Any, project: SimpleNamespace) -> None:
    boom = RuntimeError("no frozendict")
    with pytest.MonkeyPatch.context() as mp:
        mp.setattr(impl, "frozendict", fakes.raising(boom))
        with pytest.raises(RuntimeError) as info:
            impl.get_pdk()
    assert info.value is boom
    assert type(impl.get_base_pdk()) is impl.FrozenPdk


@pytest.mark.parametrize(
    ("name", "configured", "tail"),
    [
        ("mypdk", "mypdk", ""),
        (
            "other",
            "mypdk",
            "The given 'name' argument 'other' will be ignored. Using 'mypdk' instead"
            " (as configured in 'pyproject.toml').",
        ),
        (
            "other",
            None,
            "The given 'name' argument 'other' will be ignored. Using 'None' instead"
            " (as configured in 'pyproject.toml').",
        ),
    ],
)
def test_activate_pdk_by_name_warns_and_delegates(
    impl: Any,
    project: SimpleNamespace,
    monkeypatch: pytest.MonkeyPatch,
    name: str,
    configured: Any,
    tail: str,
) -> None:
    project.settings.pdk_name = configured
    seen: list[tuple[Any, ...]] = []
    monkeypatch.setattr(impl, "warnings", SimpleNamespace(warn=lambda *a, **k: seen.append((a, k))))
    assert impl.activate_pdk_by_name(name=name) is impl.get_pdk()
    message = "activate_pdk_by_name is deprecated, use get_pdk() instead. " + tail
    assert seen == [((message, DeprecationWarning), {"stacklevel": 2})]


def test_activate_pdk_by_name_refusals_warn_nothing(impl: Any, project: SimpleNamespace) -> None:
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        with pytest.raises(TypeError):  # its text: test_surface
            impl.activate_pdk_by_name()
        with pytest.raises(TypeError, match="expected str, got NoneType"):
            impl.activate_pdk_by_name(None)
        with pytest.raises(DeprecationWarning):
            impl.activate_pdk_by_name("mypdk")
    assert project.made == []


def test_get_pdk_logging_failure_leaves_pdk_active(impl: Any, project: SimpleNamespace) -> None:
    impl.get_base_pdk()
    boom = OSError("disk full")
    impl.log = fakes.raising(boom)
    with pytest.raises(OSError) as info:
        impl.get_pdk()
    assert info.value is boom and project.made[0].activations == 2


SCRIPT = """\
from types import SimpleNamespace
import quorin.core.pdk as pdk
pdk.settings = SimpleNamespace(get_pdk_name=lambda: "mypdk")
pdk.get_pdk = lambda: None
pdk.activate_pdk_by_name("other")
"""


def test_deprecation_names_the_calling_line(impl: Any, monkeypatch: pytest.MonkeyPatch) -> None:
    monkeypatch.setattr(impl, "settings", SimpleNamespace(get_pdk_name=lambda: "mypdk"))
    monkeypatch.setattr(impl, "get_pdk", lambda: None)
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        line = inspect.currentframe().f_lineno + 1  # type: ignore[union-attr]
        impl.activate_pdk_by_name("mypdk")
    assert [(w.category, w.filename, w.lineno) for w in caught] == [
        (DeprecationWarning, __file__, line)
    ]


def test_deprecation_shown_for_a_script_under_default_filters(tmp_path: Path) -> None:
    script = tmp_path / "script.py"
    script.write_text(SCRIPT)
    env = {k: v for k, v in os.environ.items() if k != "PYTHONWARNINGS"}
    run = subprocess.run(
        [sys.executable, str(script)], capture_output=True, text=True, env=env, check=True
    )
    assert f"{script}:5: DeprecationWarning: activate_pdk_by_name is deprecated" in run.stderr
