"""Arbitrary arguments and misbehaving collaborators: a result or an exception, never a crash
and never a SystemError (which would mean the module lost track of an error)."""

from __future__ import annotations

import contextlib
import functools
import gc
import os
from collections.abc import Iterator
from pathlib import Path
from typing import Any

from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import quorin.core.pdk as pdk
from tests import fakes
from tests.shared import FUNCTIONS

PARAMS = ["paths", "reload", "name", "funcname", "modname", "error", "static_records", "errors",
          "modules", "present_records", "pdk", "base_pdk", "bogus"]  # fmt: skip


class Hostile:
    """Misbehaves in one chosen way; otherwise passes for a record, a module, a PDK or a path."""

    def __init__(self, mode: str, victim: Any = None) -> None:
        object.__setattr__(self, "mode", mode)
        object.__setattr__(self, "victim", victim)

    def _act(self, what: str) -> Any:
        mode = self.mode
        if mode == "raise":
            raise KeyError(what)
        if mode == "base-exception":
            raise GeneratorExit(what)
        if mode == "mutate" and isinstance(self.victim, dict):
            self.victim[object()] = self
            return "mutated"
        if mode == "mutate" and isinstance(self.victim, list):
            self.victim.clear()
            return self
        if mode == "wrong-type":
            return [1, {2: 3}]
        if mode == "none":
            return None
        return self

    def __getattr__(self, name: str) -> Any:
        if name.startswith("__"):
            raise AttributeError(name)
        result = self._act(name)
        return (lambda *a, **k: self._act(name)) if result is self else result

    def __call__(self, *args: Any, **kwargs: Any) -> Any:
        return self._act("call")

    def __eq__(self, other: object) -> Any:
        return self._act("eq")

    def __hash__(self) -> int:
        if self.mode == "raise":
            raise TypeError("unhashable")
        return id(self) >> 4

    def __bool__(self) -> bool:
        if self.mode == "raise":
            raise ValueError("no truth")
        return self.mode != "none"

    def __iter__(self) -> Iterator[Any]:
        self._act("iter")
        return iter([self, self])

    def __len__(self) -> int:
        return 2

    def __getitem__(self, key: Any) -> Any:
        return self._act("getitem")

    def __contains__(self, key: Any) -> bool:
        return bool(self._act("contains"))

    def __truediv__(self, other: Any) -> Any:
        return self._act("truediv")

    def __format__(self, spec: str) -> str:
        result = self._act("format")
        return result if isinstance(result, str) else "hostile"

    def __fspath__(self) -> Any:
        return self._act("fspath")


MODES = ["raise", "base-exception", "mutate", "wrong-type", "none", "ok"]


class Text(str):
    """A name or path text whose order is hostile Python code."""

    __hash__ = str.__hash__

    def __new__(cls, text: str, mode: str) -> Text:
        self = super().__new__(cls, text)
        self.mode = mode
        return self

    def __lt__(self, other: object) -> bool:
        if self.mode == "raise":
            raise KeyError("lt")
        if self.mode == "mutate":
            for holder in gc.get_referrers(self):
                if type(holder) is list:
                    holder.clear()
                elif type(holder) is dict:
                    holder.pop(self, None)
        return hash((str(self), str(other))) % 2 == 0  # no consistent order at all


texts = st.builds(Text, st.sampled_from(["a", "b", "/proj/demo/a.py"]), st.sampled_from(MODES))

plain = st.one_of(
    st.none(), st.booleans(), st.integers(-3, 3), st.text(max_size=4), st.binary(max_size=2),
    st.builds(Path, st.sampled_from(["/proj/demo/a.py", "rel.py", "/"])), texts,
)  # fmt: skip


@st.composite
def values(draw: st.DrawFn, depth: int = 2) -> Any:
    kind = draw(st.sampled_from(["plain", "hostile", "list", "dict", "tuple", "record"]))
    if kind == "plain" or depth == 0:
        return draw(plain)
    if kind == "hostile":
        return Hostile(draw(st.sampled_from(MODES)))
    if kind == "record":
        return fakes.Record(
            draw(st.one_of(st.text(max_size=3), texts)),
            "demo/a.py",
            draw(st.sampled_from(["UNKNOWN", "ERROR"])),
        )
    items = draw(st.lists(values(depth - 1), max_size=3))
    if kind == "list":
        return items
    if kind == "tuple":
        return tuple(items)
    result: dict[Any, Any] = {}
    for item in items:
        with contextlib.suppress(TypeError, KeyError):
            key = st.one_of(st.sampled_from(["a", "b", Path("/proj/demo/a.py"), 1]), texts)
            result[draw(key)] = item
    # A hostile value that changes the very dict it sits in while being used.
    if draw(st.booleans()):
        result["m"] = Hostile("mutate", result)
    return result


SERVICES = ["settings", "imports", "db", "cg", "m", "log", "register_models", "lm", "frozendict"]


@contextlib.contextmanager
def replaced(globals_: dict[str, Any]) -> Iterator[None]:
    saved = {name: getattr(pdk, name) for name in globals_}
    for name, value in globals_.items():
        setattr(pdk, name, value)
    try:
        yield
    finally:
        for name, value in saved.items():
            setattr(pdk, name, value)


# QUORIN_HOSTILE_EXAMPLES raises the count for a longer search than the suite's.
@settings(
    max_examples=int(os.environ.get("QUORIN_HOSTILE_EXAMPLES", "400")),
    deadline=None,
    suppress_health_check=list(HealthCheck),
)
@given(
    name=st.sampled_from(FUNCTIONS),
    args=st.lists(values(), max_size=4),
    kwargs=st.dictionaries(st.sampled_from(PARAMS), values(), max_size=3),
    hostile_services=st.dictionaries(st.sampled_from(SERVICES), st.sampled_from(MODES), max_size=4),
)
def test_any_call_returns_or_raises_cleanly(
    name: str, args: list[Any], kwargs: dict[str, Any], hostile_services: dict[str, str]
) -> None:
    globals_: dict[str, Any] = {
        "_get_pdk": functools.cache(pdk._get_pdk.__wrapped__),
        "get_base_pdk": functools.cache(pdk.get_base_pdk.__wrapped__),
    }
    for service, mode in hostile_services.items():
        globals_[service] = Hostile(mode)
    with replaced(globals_):
        try:
            getattr(pdk, name)(*args, **kwargs)
        except BaseException as e:  # noqa: BLE001 - any other exception is a clean outcome
            assert not isinstance(e, SystemError), f"{name} lost track of an error: {e}"
