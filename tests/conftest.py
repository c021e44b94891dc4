from __future__ import annotations

import functools
from types import SimpleNamespace
from typing import Any

import pytest

import quorin.core.pdk as pdk_module
from tests import fakes


@pytest.fixture(autouse=True)
def outside_the_checkout(monkeypatch: pytest.MonkeyPatch, tmp_path_factory: Any) -> None:
    """Whatever a test leaves unset, the project and its database live in a temporary folder."""
    root = tmp_path_factory.mktemp("project")
    monkeypatch.setenv("QUORIN_PROJECT_DIR", str(root))
    monkeypatch.setenv("QUORIN_DATABASE", str(root / "build" / "quorin.db"))


@pytest.fixture
def pdk(monkeypatch: pytest.MonkeyPatch) -> Any:
    """The extension module, with resolver caches of its own for this test."""
    for name in ("_get_pdk", "get_base_pdk"):
        wrapper = getattr(pdk_module, name)
        monkeypatch.setattr(pdk_module, name, functools.cache(wrapper.__wrapped__))
    return pdk_module


@pytest.fixture
def services(monkeypatch: pytest.MonkeyPatch, pdk: Any) -> SimpleNamespace:
    """Fakes of every outside component, installed as the module's globals."""
    return fakes.install(monkeypatch, pdk)
