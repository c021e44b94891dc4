"""`_error_cell`: callables that raise the error their cell's module failed with."""

from __future__ import annotations

import inspect
import traceback
from typing import Any

import pytest


def raised_by(cell: Any, *args: Any, **kwargs: Any) -> BaseException:
    with pytest.raises(BaseException) as info:
        cell(*args, **kwargs)
    return info.value


class Text(str):
    pass


@pytest.mark.parametrize("text", ["No module named 'foo'", Text("subclass text")])
def test_text_becomes_one_runtime_error(pdk: Any, text: str) -> None:
    cell = pdk._error_cell("ring_a", "pkg.rings", text)
    first, second = raised_by(cell), raised_by(cell, 1, width=2)
    assert type(first) is RuntimeError and first.args == (text,)
    assert first.args[0] is text
    assert second is first


def test_function_attributes(pdk: Any) -> None:
    cell = pdk._error_cell("ring_a", "pkg.rings", "x")
    assert (cell.__name__, cell.__qualname__, cell.__module__) == ("ring_a", "ring_a", "pkg.rings")
    assert cell.__doc__ is None
    assert cell.__annotations__ == {"args": "Any", "kwargs": "Any", "return": "lm.Component"}
    assert list(cell.__annotations__) == ["args", "kwargs", "return"]
    assert not hasattr(cell, "__wrapped__")
    assert str(inspect.signature(cell)) == "(*args: 'Any', **kwargs: 'Any') -> 'lm.Component'"


def test_instance_raised_itself_with_a_stable_traceback(pdk: Any) -> None:
    try:
        raise KeyError("missing")
    except KeyError as e:
        error = e
    built = [e.name for e in traceback.extract_tb(error.__traceback__)]
    cell = pdk._error_cell("c", "m", error)
    for _ in range(3):
        assert raised_by(cell) is error
        # The caller, the cell's own entry, then the traceback it was built with.
        names = [e.name for e in traceback.extract_tb(error.__traceback__)]
        assert names == ["raised_by", "c", *built]
    assert error.__context__ is None


def test_class_instantiated_on_every_call(pdk: Any) -> None:
    cell = pdk._error_cell("c", "m", LookupError)
    first, second = raised_by(cell), raised_by(cell, "arg")
    assert type(first) is type(second) is LookupError
    assert first is not second and first.args == ()


class NotAnError(Exception):
    def __new__(cls) -> Any:
        return 5


@pytest.mark.parametrize(
    "error, message",
    [
        (42, "raise: exception class must be a subclass of BaseException"),
        (
            NotAnError,
            f"calling {NotAnError!r} should have returned an instance of BaseException,"
            " not <class 'int'>",
        ),
    ],
)
def test_stored_object_that_cannot_be_raised(pdk: Any, error: Any, message: str) -> None:
    cell = pdk._error_cell("c", "m", error)
    with pytest.raises(TypeError) as info:
        cell()
    assert str(info.value) == message


@pytest.mark.parametrize(
    "args, message",
    [
        ((1, "m", "e"), "Argument 'funcname' has incorrect type (expected str, got int)"),
        ((Text("c"), None, "e"), "Argument 'funcname' has incorrect type (expected str, got Text)"),
        (("c", None, "e"), "Argument 'modname' has incorrect type (expected str, got NoneType)"),
    ],
)
def test_names_must_be_exact_str(pdk: Any, args: tuple, message: str) -> None:
    with pytest.raises(TypeError) as info:
        pdk._error_cell(*args)
    assert str(info.value) == message
