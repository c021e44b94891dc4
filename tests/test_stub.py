"""The shipped type stub runs as Python and documents what the module documents."""

from __future__ import annotations

import ast
from pathlib import Path
from typing import Any

import pytest

import quorin.core.pdk as pdk
from tests.test_surface import FUNCTIONS

# The copy installed next to the module, so that a stub left out of the wheel fails too.
STUB = Path(pdk.__file__).with_name("pdk.pyi")
DOCUMENTED = ["", *FUNCTIONS, "FrozenPdk", "FrozenPdk.__setattr__", "FrozenPdk.__delattr__"]


@pytest.fixture(scope="module")
def stub() -> dict[str, Any]:
    namespace: dict[str, Any] = {"__name__": "pdk_stub"}
    exec(compile(STUB.read_text(), str(STUB), "exec"), namespace)
    return namespace


def lookup(root: Any, dotted: str) -> Any:
    for part in filter(None, dotted.split(".")):
        root = root[part] if isinstance(root, dict) else getattr(root, part)
    return root


@pytest.mark.parametrize("name", DOCUMENTED)
def test_stub_docstring_is_the_module_docstring(stub: dict[str, Any], name: str) -> None:
    expected = lookup(pdk, name).__doc__
    assert (stub["__doc__"] if not name else lookup(stub, name).__doc__) == expected


def test_stub_declares_the_cached_resolvers_as_functions() -> None:
    # Editors read the stub without running it: a cache-wrapper object there
    # hides the call's signature and result type.
    tree = ast.parse(STUB.read_text())
    functions = {node.name for node in tree.body if isinstance(node, ast.FunctionDef)}
    assert set(FUNCTIONS) <= functions
