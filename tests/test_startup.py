"""Start-up behaviour, each case in a child interpreter of its own.

What the module binds and imports at start-up holds for the baseline too; how a failed or
repeated start-up and the class statement behave is the interpreter's own for Python code.
"""

from __future__ import annotations

import subprocess
import sys
import textwrap
from pathlib import Path
from typing import Any

import pytest

CHECKOUT = Path(__file__).resolve().parents[1]


def run(code: str) -> str:
    done = subprocess.run(
        [sys.executable, "-c", textwrap.dedent(code)],
        capture_output=True,
        text=True,
        timeout=60,
        cwd=CHECKOUT,
    )
    assert done.returncode == 0, done.stderr
    return done.stdout.strip()


def test_reload_and_reimport_return_the_same_module() -> None:
    out = run(
        """
        import importlib, sys
        import quorin.core.pdk as pdk
        pdk.marker = object()
        snapshot = dict(vars(pdk))
        assert importlib.reload(pdk) is pdk
        assert dict(vars(pdk)) == snapshot
        del sys.modules["quorin.core.pdk"]
        import quorin.core.pdk as again
        assert again is pdk and again.marker is snapshot["marker"]
        assert again.get_base_pdk is snapshot["get_base_pdk"]
        print("ok")
        """
    )
    assert out == "ok"


def test_import_calls_nothing_but_lm_pdk(impl: Any) -> None:
    out = run(
        f"""
        import sys
        import quorin.core.lazy as lazy
        real = lazy.lazy_import
        seen = []

        class Spy:
            def __init__(self, args):
                self._args, self._target = args, real(*args)
            def __getattr__(self, name):
                seen.append(("read", self._args[0], name))
                return getattr(self._target, name)
            def __call__(self, *a, **k):
                seen.append(("call", self._args))
                return self._target(*a, **k)

        def spy(*args):
            seen.append(("lazy_import",) + args)
            return Spy(args)

        lazy.lazy_import = spy
        import {impl.__name__}
        for entry in seen:
            print(entry)
        for name in ("quorin.settings", "quorin.logger", "quorin.core.database"):
            print(name, name in sys.modules)
        """
    )
    assert out.splitlines() == [
        "('lazy_import', 'quorin.models')",
        "('lazy_import', 'quorin.core.callgraph')",
        "('lazy_import', 'lumset')",
        "('lazy_import', 'quorin.logger', 'get_logger')",
        "('lazy_import', 'quorin.settings')",
        "('lazy_import', 'frozendict', 'frozendict')",
        "('lazy_import', 'quorin.core.imports')",
        "('lazy_import', 'quorin.core.database')",
        "('lazy_import', 'quorin.core.models', 'register_models')",
        "('read', 'lumset', 'Pdk')",
        "quorin.settings False",
        "quorin.logger False",
        "quorin.core.database False",
    ]


def test_each_lazy_binding_reads_the_global_anew(impl: Any) -> None:
    # A top-level statement reads `lazy_import` when it runs: a call that replaces the global
    # makes the next binding use the replacement.
    out = run(
        f"""
        import sys
        import quorin.core.lazy as lazy
        real = lazy.lazy_import

        def second(*args):
            print("second", args[0])
            return real(*args)

        def first(*args):
            print("first", args[0])
            sys.modules["{impl.__name__}"].lazy_import = second
            return real(*args)

        lazy.lazy_import = first
        import {impl.__name__}
        """
    )
    assert out.splitlines()[:3] == [
        "first quorin.models",
        "second quorin.core.callgraph",
        "second lumset",
    ]


def test_type_checking_branch_binds_eagerly(impl: Any) -> None:
    out = run(
        f"""
        import typing
        typing.TYPE_CHECKING = True
        import {impl.__name__} as pdk, lumset, frozendict, quorin.logger, quorin.settings
        names = [n for n in vars(pdk) if not n.startswith("__")]
        print(names[names.index("cast") + 1:names.index("get_pdk")])
        assert "lazy_import" not in vars(pdk)
        assert pdk.lm is lumset and pdk.frozendict is frozendict.frozendict
        assert pdk.log is quorin.logger.get_logger and pdk.settings is quorin.settings
        """
    )
    assert out == (
        "['lm', 'frozendict', 'cg', 'db', 'm', 'settings', 'imports', 'register_models', 'log']"
    )


def test_failed_start_up_can_be_retried() -> None:
    out = run(
        """
        import sys
        sys.modules["lumset"] = None
        try:
            import quorin.core.pdk
        except ImportError as e:
            print(type(e).__name__, "quorin.core.pdk" in sys.modules)
        del sys.modules["lumset"]
        import quorin.core.pdk as pdk
        print(pdk.FrozenPdk.__mro__[1].__module__)
        """
    )
    assert out.splitlines() == ["ModuleNotFoundError False", "lumset"]


def test_second_interpreter_is_refused() -> None:
    pytest.importorskip("_interpreters")
    out = run(
        """
        import _interpreters
        import quorin.core.pdk
        interp = _interpreters.create("legacy")
        failure = _interpreters.run_string(interp, "import quorin.core.pdk")
        print(failure.type.__name__, failure.msg)
        """
    )
    assert out == (
        "ImportError Interpreter change detected - this module can only be loaded into one "
        "interpreter per process."
    )


def test_class_statement_protocol() -> None:
    out = run(
        """
        import lumset
        real = lumset.Pdk
        class Entry:
            def __mro_entries__(self, bases):
                return (real,)
        entry = lumset.Pdk = Entry()
        import quorin.core.pdk as pdk
        print(pdk.FrozenPdk.__orig_bases__ == (entry,), pdk.FrozenPdk.__mro__[1] is real)
        """
    )
    assert out == "True True"


def test_metaclass_conflict_fails_the_import() -> None:
    out = run(
        """
        import sys, lumset
        class M1(type): pass
        class M2(type): pass
        class A(metaclass=M1): pass
        class B(metaclass=M2): pass
        class Entry:
            def __mro_entries__(self, bases):
                return (A, B)
        lumset.Pdk = Entry()
        try:
            import quorin.core.pdk
        except TypeError as e:
            print(e, "quorin.core.pdk" in sys.modules)
        """
    )
    assert out == (
        "metaclass conflict: the metaclass of a derived class must be a (non-strict) subclass "
        "of the metaclasses of all its bases False"
    )


@pytest.mark.parametrize("as_error", [False, True])
def test_another_running_version_is_warned_of(as_error: bool) -> None:
    out = run(
        f"""
        import sys, warnings
        sys.version_info = (3, 14, 0, "final", 0)
        with warnings.catch_warnings(record=True) as caught:
            warnings.simplefilter("error" if {as_error} else "always")
            try:
                import quorin.core.pdk as pdk
                print(pdk.get_pdk.__name__, caught[0].category.__name__, caught[0].message)
            except RuntimeWarning as e:
                print("refused:", e, "quorin.core.pdk" in sys.modules)
        """
    )
    text = (
        "compile time Python version 3.13 of module 'quorin.core.pdk' does not match runtime "
        "version 3.14"
    )
    assert out == (f"refused: {text} False" if as_error else f"get_pdk RuntimeWarning {text}")
