"""`_error_cell`: callables that raise the error their cell's module failed with."""

from __future__ import annotations

import ctypes
import inspect
import traceback
from typing import Any

import pytest

from tests.shared import is_extension, text


def raised_by(cell: Any, *args: Any, **kwargs: Any) -> BaseException:
    with pytest.raises(BaseException) as info:
        cell(*args, **kwargs)
    return info.value


class Text(str):
    pass


@pytest.mark.parametrize("text", ["No module named 'foo'", Text("subclass text")])
def test_text_becomes_one_runtime_error(impl: Any, text: str) -> None:
    cell = impl._error_cell("ring_a", "pkg.rings", text)
    first, second = raised_by(cell), raised_by(cell, 1, width=2)
    assert type(first) is RuntimeError and first.args == (text,)
    assert first.args[0] is text
    assert second is first
    # The second raise starts again from the traceback the first one began with.
    assert len(traceback.extract_tb(second.__traceback__)) == 2


def test_function_attributes(impl: Any) -> None:
    cell = impl._error_cell("ring_a", "pkg.rings", "x")
    assert (cell.__name__, cell.__qualname__, cell.__module__) == ("ring_a", "ring_a", "pkg.rings")
    assert cell.__doc__ is None
    assert cell.__annotations__ == {"args": "Any", "kwargs": "Any", "return": "lm.Component"}
    assert list(cell.__annotations__) == ["args", "kwargs", "return"]
    assert not hasattr(cell, "__wrapped__")
    assert str(inspect.signature(cell)) == "(*args: 'Any', **kwargs: 'Any') -> 'lm.Component'"


def test_instance_raised_itself_with_a_stable_traceback(impl: Any) -> None:
    try:
        raise KeyError("missing")
    except KeyError as e:
        error = e
    built = [e.name for e in traceback.extract_tb(error.__traceback__)]
    cell = impl._error_cell("c", "m", error)
    for _ in range(3):
        assert raised_by(cell) is error
        # The caller, the cell's own entry, then the traceback it was built with; the
        # baseline's entry bears the name of its code, not the cell's.
        names = [e.name for e in traceback.extract_tb(error.__traceback__)]
        assert names == ["raised_by", "c" if is_extension(impl) else "cell", *built]
    assert error.__context__ is None


def test_class_instantiated_on_every_call(impl: Any) -> None:
    cell = impl._error_cell("c", "m", LookupError)
    first, second = raised_by(cell), raised_by(cell, "arg")
    assert type(first) is type(second) is LookupError
    assert first is not second and first.args == ()


class NotAnError(Exception):
    def __new__(cls) -> Any:
        return 5


@pytest.mark.parametrize(
    "error, message",
    [
        (
            42,
            (
                "raise: exception class must be a subclass of BaseException",
                "exceptions must derive from BaseException",
            ),
        ),
        (
            NotAnError,
            f"calling {NotAnError!r} should have returned an instance of BaseException,"
            " not <class 'int'>",
        ),
    ],
)
def test_stored_object_that_cannot_be_raised(impl: Any, error: Any, message: Any) -> None:
    cell = impl._error_cell("c", "m", error)
    with pytest.raises(TypeError) as info:
        cell()
    assert str(info.value) == text(impl, message)


@pytest.mark.parametrize(
    "args, message",
    [
        ((1, "m", "e"), "Argument 'funcname' has incorrect type (expected str, got int)"),
        ((Text("c"), None, "e"), "Argument 'funcname' has incorrect type (expected str, got Text)"),
        (("c", None, "e"), "Argument 'modname' has incorrect type (expected str, got NoneType)"),
    ],
)
def test_names_must_be_exact_str(impl: Any, args: tuple, message: str) -> None:
    with pytest.raises(TypeError) as info:
        impl._error_cell(*args)
    assert str(info.value) == message


def python_cell(error: Any) -> Any:
    def cell(*args: Any, **kwargs: Any) -> Any:
        raise error

    return cell


def chained(cell: Any, stored: BaseException, handled_from_stored: bool) -> tuple[Any, ...]:
    """Raises through `cell` while handling an exception; returns the contexts that result."""
    handled = ValueError("handled")
    if handled_from_stored:
        handled.__context__ = stored  # raising `stored` again would close a cycle
    try:
        try:
            raise handled
        except ValueError:
            cell()
    except BaseException as raised:  # noqa: BLE001
        return raised.__context__ is handled, handled.__context__ is stored, type(raised)
    raise AssertionError("the cell returned")


@pytest.mark.parametrize("handled_from_stored", [False, True], ids=["chain", "cycle"])
@pytest.mark.parametrize("stored_class", [False, True], ids=["instance", "class"])
def test_raise_chains_like_a_python_raise(
    impl: Any, stored_class: bool, handled_from_stored: bool
) -> None:
    outcomes = []
    for make in (lambda e: impl._error_cell("c", "m", e), python_cell):
        stored = KeyError("stored")
        cell = make(KeyError if stored_class else stored)
        outcomes.append(chained(cell, stored, handled_from_stored))
    assert outcomes[0] == outcomes[1]
    assert outcomes[0][0] is True


def test_cell_cleared_by_the_collector_stays_safe(pdk: Any) -> None:
    # What a finaliser could meet after the collector broke a cycle through the cell.
    cell = pdk._error_cell("c", "m", KeyError("k"))
    get_slot = ctypes.pythonapi.PyType_GetSlot
    get_slot.restype, get_slot.argtypes = ctypes.c_void_p, [ctypes.py_object, ctypes.c_int]
    tp_clear = ctypes.PYFUNCTYPE(ctypes.c_int, ctypes.py_object)(get_slot(type(cell), 51))
    assert tp_clear(cell) == 0
    assert (cell.__globals__, cell.__module__, cell.__doc__) == (None, None, None)
    with pytest.raises(RuntimeError, match=r"^c\(\) was cleared by the garbage collector$"):
        cell()
