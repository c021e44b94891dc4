from __future__ import annotations

import functools
from types import ModuleType, SimpleNamespace
from typing import Any

import pytest

import quorin.core.pdk as pdk_module
from bench import baseline
from tests import fakes

MODULES = {"extension": pdk_module, "baseline": baseline}


@pytest.fixture(autouse=True)
def outside_the_checkout(monkeypatch: pytest.MonkeyPatch, tmp_path_factory: Any) -> None:
    """Whatever a test leaves unset, the project and its database live in a temporary folder."""
    root = tmp_path_factory.mktemp("project")
    monkeypatch.setenv("QUORIN_PROJECT_DIR", str(root))
    monkeypatch.setenv("QUORIN_DATABASE", str(root / "build" / "quorin.db"))


def with_fresh_resolvers(monkeypatch: pytest.MonkeyPatch, module: ModuleType) -> ModuleType:
    """`module`, with resolver caches of its own for this test."""
    for name in ("_get_pdk", "get_base_pdk"):
        wrapper = getattr(module, name)
        monkeypatch.setattr(module, name, functools.cache(wrapper.__wrapped__))
    return module


@pytest.fixture
def pdk(monkeypatch: pytest.MonkeyPatch) -> Any:
    """The extension module: for what only the extension has (its surface, its fast paths)."""
    return with_fresh_resolvers(monkeypatch, pdk_module)


@pytest.fixture(params=list(MODULES))
def impl(request: pytest.FixtureRequest, monkeypatch: pytest.MonkeyPatch) -> Any:
    """The extension, then the plain-Python baseline: behaviour the two must share."""
    return with_fresh_resolvers(monkeypatch, MODULES[request.param])


@pytest.fixture
def under_test(request: pytest.FixtureRequest) -> Any:
    """`impl` where the test asks for it, else the extension: what fakes are installed into."""
    return request.getfixturevalue("impl" if "impl" in request.fixturenames else "pdk")


@pytest.fixture
def services(monkeypatch: pytest.MonkeyPatch, under_test: Any) -> SimpleNamespace:
    """Fakes of every outside component, installed as the module's globals."""
    return fakes.install(monkeypatch, under_test)


@pytest.fixture
def pdk_project(
    monkeypatch: pytest.MonkeyPatch, under_test: Any, services: SimpleNamespace
) -> SimpleNamespace:
    """`services` for a project that is itself a PDK, `services.active` the PDK it resolves to;
    the call graph's records are the test's to set."""
    services.active = fakes.FakePdk("p")
    monkeypatch.setattr(under_test, "_get_pdk", lambda: services.active)
    services.settings.is_pdk = True
    return services
