"""The module as the interpreter sees it: globals, function objects, argument errors.

The baseline keeps the extension's namespace and argument checks; binding its arguments, its
function objects and its class are the interpreter's own, so those are the extension's alone.
"""

from __future__ import annotations

import ast
import functools
import inspect
import operator
import pickle
import subprocess
import sys
import weakref
from pathlib import Path
from types import SimpleNamespace
from typing import Any

import pytest

import quorin.core.pdk as pdk
from tests.shared import FUNCTIONS, PRIVATE, PUBLIC

CHECKOUT = Path(__file__).resolve().parents[1]


def test_globals_are_bound_in_order(impl: Any) -> None:
    # In a fresh interpreter: tests here replace and delete globals, which moves them.
    code = (
        f"import {impl.__name__} as p;"
        "print([n for n in vars(p) if not n.startswith('__') or n == '__test__'])"
    )
    out = subprocess.run(
        [sys.executable, "-c", code], capture_output=True, text=True, check=True, cwd=CHECKOUT
    )
    assert ast.literal_eval(out.stdout) == [
        "importlib", "sys", "warnings", "defaultdict", "Callable", "Iterable", "copy", "deepcopy",
        "cache", "Path", "ModuleType", "TYPE_CHECKING", "Any", "cast", "lazy_import", "m", "cg",
        "lm", "log", "settings", "frozendict", "imports", "db", "register_models",
        *PUBLIC, "FrozenPdk", *PRIVATE, "__test__",
    ]  # fmt: skip
    assert impl.__test__ == {} and impl.__doc__ == "PDK Utilties."
    assert impl.cache is functools.cache


@pytest.mark.parametrize("name", FUNCTIONS)
def test_function_objects(name: str) -> None:
    f = getattr(pdk, name)
    inner = getattr(f, "__wrapped__", f)
    assert (f is not inner) == (name in ("get_base_pdk", "_get_pdk"))
    assert inner.__name__ == inner.__qualname__ == name
    assert f.__module__ == "quorin.core.pdk" and f.__doc__.startswith(name + "(")
    assert all(type(v) is str for v in f.__annotations__.values())
    assert list(f.__annotations__)[-1] == "return"
    assert not hasattr(inner, "__wrapped__")
    assert "\n" not in f.__doc__ or f.__doc__.split("\n")[1] == ""


def test_signatures_and_defaults() -> None:
    assert str(inspect.signature(pdk.register_cells)) == (
        "(*, paths: 'Iterable[Path]' = (), reload: 'bool' = True) -> 'tuple[list[str], list[str]]'"
    )
    assert pdk.register_cells.__kwdefaults__ == {"paths": (), "reload": True}
    assert str(inspect.signature(pdk._import_modules)).startswith(
        "(static_records: 'dict[str, m.FactoryRecord]', paths: 'list[Path]', *, reload: 'bool' = True)"
    )
    assert str(inspect.signature(pdk.get_base_pdk)) == "() -> 'lm.Pdk | FrozenPdk'"
    assert str(inspect.signature(pdk.FrozenPdk.__setattr__)) == (
        "(self, name: 'str', value: 'Any') -> 'None'"
    )
    assert pdk.FrozenPdk.__delattr__.__qualname__ == "FrozenPdk.__delattr__"


def test_frozen_pdk_class() -> None:
    cls = pdk.FrozenPdk
    assert cls.__doc__ == "A frozen PDK that prevents modification of its attributes."
    assert cls.__mro__[1] is pdk.lm.Pdk and cls.__module__ == "quorin.core.pdk"
    assert [k for k in vars(cls) if k not in ("__dict__", "__weakref__")] == [
        "__module__", "__doc__", "__setattr__", "__delattr__",
    ]  # fmt: skip


BINDING_ERRORS = [
    ("get_pdk", (1,), {}, "get_pdk() takes no arguments (1 given)"),
    ("get_pdk", (), {"x": 1}, "get_pdk() takes no keyword arguments"),
    ("register_cells", (1,), {}, "register_cells() takes exactly 0 positional arguments (1 given)"),
    ("register_cells", (), {"path": 1}, "register_cells() got an unexpected keyword argument 'path'"),
    ("activate_pdk_by_name", (), {}, "activate_pdk_by_name() takes exactly 1 positional argument (0 given)"),
    ("activate_pdk_by_name", ("a",), {"name": "b"},
     "activate_pdk_by_name() got multiple values for keyword argument 'name'"),
    ("_find_cells", ({},), {}, "_find_cells() takes exactly 2 positional arguments (1 given)"),
    ("_find_cells", (), {"modules": {}}, "_find_cells() takes exactly 2 positional arguments (0 given)"),
    ("_find_cells", ({}, {}, {}), {}, "_find_cells() takes exactly 2 positional arguments (3 given)"),
    ("_sort_paths", (), {"paths": [], "extra": 1}, "_sort_paths() got an unexpected keyword argument 'extra'"),
    ("_clean_containers_also_in_cells", (), {}, "_clean_containers_also_in_cells() takes exactly 1 positional argument (0 given)"),
    ("FrozenPdk.__setattr__", (object(), "x"), {}, "__setattr__() takes exactly 3 positional arguments (2 given)"),
]  # fmt: skip

# Those of `_error_cell`: test_error_cell.
TYPE_ERRORS = [
    ("activate_pdk_by_name", (None,), "Argument 'name' has incorrect type (expected str, got NoneType)"),
    ("_import_modules", ({}, ()), "Argument 'paths' has incorrect type (expected list, got tuple)"),
    ("_import_modules", ([], ()), "Argument 'static_records' has incorrect type (expected dict, got list)"),
    ("_get_database_updates", ({}, None, []),
     "Argument 'present_records' has incorrect type (expected dict, got NoneType)"),
]  # fmt: skip


@pytest.mark.parametrize(("name", "args", "kwargs", "text"), BINDING_ERRORS)
def test_binding_errors(
    name: str, args: tuple[Any, ...], kwargs: dict[str, Any], text: str
) -> None:
    with pytest.raises(TypeError) as info:
        operator.attrgetter(name)(pdk)(*args, **kwargs)
    assert str(info.value) == text


@pytest.mark.parametrize(("name", "args", "text"), TYPE_ERRORS)
def test_argument_type_errors(impl: Any, name: str, args: tuple[Any, ...], text: str) -> None:
    with pytest.raises(TypeError) as info:
        getattr(impl, name)(*args)
    assert str(info.value) == text


def test_subclass_of_builtin_is_refused_with_a_note() -> None:
    class Records(dict):  # type: ignore[type-arg]
        pass

    with pytest.raises(TypeError) as info:
        pdk._filter_records_for_non_pdk_project(Records(), None)
    assert str(info.value) == (
        "Argument 'static_records' has incorrect type (expected dict, got Records)"
    )
    assert "Subclasses of built-in types" in info.value.__notes__[0]


def test_reload_truth_value_fails_before_the_body(impl: Any, services: Any) -> None:
    class Bad:
        def __bool__(self) -> bool:
            raise ZeroDivisionError

    with pytest.raises(ZeroDivisionError):
        impl.register_cells(reload=Bad())
    assert services.calls == []


DELETE = object()
ATTRIBUTE_WRITES = [
    ("__name__", "n"), ("__name__", 1), ("__qualname__", None), ("__module__", None),
    ("__doc__", DELETE), ("__annotations__", {"x": "int"}), ("__annotations__", 1),
    ("__annotations__", DELETE), ("__kwdefaults__", 1), ("__kwdefaults__", DELETE),
    ("__defaults__", [1]), ("__defaults__", None), ("__globals__", {}), ("__builtins__", {}),
]  # fmt: skip


@pytest.mark.parametrize("attr, value", ATTRIBUTE_WRITES)
def test_attributes_are_written_as_on_a_python_function(attr: str, value: Any) -> None:
    def python_function(*args: Any, **kwargs: Any) -> None:
        pass

    def outcome(f: Any) -> Any:
        try:
            if value is DELETE:
                delattr(f, attr)
            else:
                setattr(f, attr, value)
        except (TypeError, AttributeError) as e:
            return type(e).__name__, "readonly" in str(e) or str(e)
        return "ok", getattr(f, attr)

    assert outcome(pdk._error_cell("c", "m", "e")) == outcome(python_function)


def test_calls_take_the_defaults_the_function_has_now(
    impl: Any, services: SimpleNamespace, monkeypatch: pytest.MonkeyPatch
) -> None:
    monkeypatch.setattr(impl._import_modules, "__kwdefaults__", {"reload": 0})
    monkeypatch.setattr(impl._sort_paths, "__defaults__", (["/a"],))
    assert impl._sort_paths() == [Path("/a")]
    impl._import_modules({}, [])
    assert services.calls[-1] == (
        "imports.import_modules",
        (("paths", []), ("reload", False), ("from_project", False)),
    )
    assert "= ['/a']" in str(inspect.signature(impl._sort_paths))
    monkeypatch.setattr(impl._import_modules, "__kwdefaults__", None)
    with pytest.raises(TypeError, match="keyword-only argument.*reload"):
        impl._import_modules({}, [])


def test_functions_are_weakly_referenced_and_pickled_by_name() -> None:
    cell = pdk._error_cell("c", "m", "e")
    assert weakref.ref(cell)() is cell
    assert pickle.loads(pickle.dumps(pdk.get_pdk)) is pdk.get_pdk


def test_functions_bind_as_methods() -> None:
    class Holder:
        method = pdk._error_cell("c", "m", ZeroDivisionError)

    bound = Holder().method
    assert bound.__self__.__class__ is Holder
    with pytest.raises(ZeroDivisionError):
        bound()


def test_deleted_global_raises_name_error(impl: Any, monkeypatch: pytest.MonkeyPatch) -> None:
    monkeypatch.delattr(impl, "settings")
    with pytest.raises(NameError, match="^name 'settings' is not defined$"):
        impl.activate_pdk_by_name("x")
