"""Digests of the standard library's code that the record filter's `relative_to` answer relies on.

`digest` computes, in Python, the digest that src/contracts/pathlib/code_digest.cpp computes
natively; `reached` lists the functions the answer depends on, in the order of the rows of
src/contracts/pathlib/known_code.hpp. Run as a script, it prints the row of the running
interpreter, to be added to that table once the shortcut has been checked on that release.
"""

from __future__ import annotations

import _collections_abc
import pathlib._abc
import pathlib._local
import platform
import posixpath
from pathlib import Path
from types import CodeType, FunctionType
from typing import Any

CHECKOUT = Path(__file__).resolve().parents[1]
_FNV_OFFSET = 0xCBF29CE484222325
_FNV_PRIME = 0x100000001B3


class _Digest:
    def __init__(self) -> None:
        self.value = _FNV_OFFSET

    def bytes(self, data: bytes) -> None:
        h = self.value
        for byte in data:
            h = ((h ^ byte) * _FNV_PRIME) & 0xFFFFFFFFFFFFFFFF
        self.value = h

    def field(self, tag: str, data: bytes) -> None:
        self.bytes(f"{tag}{len(data)}:".encode())
        self.bytes(data)


def _add(d: _Digest, o: Any) -> None:
    if o is None or o is True or o is False or o is Ellipsis:
        d.field("o", repr(o).encode())
    elif type(o) is str:
        d.field("s", o.encode())
    elif type(o) is bytes:
        d.field("b", o)
    elif type(o) is int:
        d.field("i", repr(o).encode())
    elif type(o) is float:
        d.field("r", repr(o).encode())
    elif type(o) is complex:
        d.field("j", repr(o).encode())
    elif type(o) is tuple:
        _items(d, "t", o)
    elif type(o) is frozenset:
        items = []
        for item in o:
            one = _Digest()
            _add(one, item)
            items.append(one.value)
        d.field("z", str(len(items)).encode())
        for value in sorted(items):
            d.field("h", str(value).encode())
    elif isinstance(o, CodeType):
        _code(d, o)
    else:
        raise TypeError(f"no digest of a constant of type {type(o).__name__}")


def _items(d: _Digest, tag: str, items: tuple[Any, ...]) -> None:
    d.field(tag, str(len(items)).encode())
    for item in items:
        _add(d, item)


def _code(d: _Digest, c: CodeType) -> None:
    counts = (c.co_argcount, c.co_posonlyargcount, c.co_kwonlyargcount, c.co_flags)
    d.field("C", ",".join(map(str, counts)).encode())
    d.field("n", c.co_name.encode())
    d.field("b", c.co_code)
    d.field("b", c.co_exceptiontable)
    _items(d, "k", c.co_consts)
    _items(d, "m", c.co_names)
    _items(d, "v", c.co_varnames)
    _items(d, "c", c.co_cellvars)
    _items(d, "f", c.co_freevars)


def digest(code: CodeType) -> int:
    d = _Digest()
    _code(d, code)
    return d.value


def _behind(attribute: Any) -> FunctionType:
    for name in ("fget", "__func__"):
        if hasattr(attribute, name):
            return getattr(attribute, name)  # type: ignore[no-any-return]
    return attribute  # type: ignore[no-any-return]


def _static(cls: type, name: str) -> Any:
    return next(vars(k)[name] for k in cls.__mro__ if name in vars(k))


PATH_METHODS = (
    "relative_to", "__eq__", "__str__", "_str_normcase", "parents", "drive", "root", "_tail",
    "_raw_path", "_parse_path", "_format_parsed_parts", "_from_parsed_parts",
    "_from_parsed_string", "with_segments",
)  # fmt: skip
PARENTS_METHODS = ("__init__", "__len__", "__getitem__", "__contains__", "__iter__")


def reached() -> list[FunctionType]:
    """The functions, in the table's order: on the pure path class, its construction and the
    concrete class's, the parents sequence's, and `posixpath.splitdrive`."""
    local: Any = pathlib._local
    pure, concrete, parents = local.PurePosixPath, local.PosixPath, local._PathParents
    found = [_behind(_static(pure, name)) for name in PATH_METHODS]
    found += [_behind(_static(pure, name)) for name in ("__new__", "__init__")]
    found += [_behind(_static(concrete, name)) for name in ("__new__", "__init__")]
    found.append(_static(local.PurePath, "__init__"))  # `super().__init__` of `Path.__init__`
    found += [_behind(_static(parents, name)) for name in PARENTS_METHODS]
    found.append(posixpath.splitdrive)
    return found


def row() -> list[int]:
    return [digest(f.__code__) for f in reached()]


def main() -> None:
    assert pathlib._abc and _collections_abc  # the homes of some of the functions
    digests = ", ".join(f"0x{d:016x}" for d in row())
    print(f'    {{.release = "{platform.python_version()}", .digests = {{{digests}}}}},')


if __name__ == "__main__":
    main()
