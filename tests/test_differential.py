"""The extension against the plain-Python baseline on random inputs: the same results, the same
changes to the records and mappings passed in, the same log lines."""

from __future__ import annotations

import builtins
import functools
import gc
import sys
import warnings
import weakref
from collections.abc import Callable, Iterator
from contextlib import contextmanager
from pathlib import Path, PurePath
from types import MappingProxyType, ModuleType, SimpleNamespace
from typing import Any

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import quorin.core.pdk as extension
from bench import baseline
from tests import fakes
from tests.fakes import FakePdk, Record

NAMES = ["a", "b", "c", "d"]
SOURCES = ["demo/x.py", "demo/y.py", "other/z.py"]
EXAMPLES = settings(max_examples=150, deadline=None, suppress_health_check=list(HealthCheck))


@contextmanager
def services_for(module: Any) -> Iterator[SimpleNamespace]:
    with pytest.MonkeyPatch.context() as mp:
        yield fakes.install(mp, module)


def plain(value: Any) -> Any:
    """`value` as data that compares across the two runs, told by its type alone: a `__class__`
    read would be Python code."""
    kind = type(value)
    if kind in (str, int, bool, type(None)) or issubclass(kind, type):
        return value
    if kind in (tuple, list, fakes.CallLog):
        return [plain(v) for v in value]
    if kind is dict:
        return {"dict": [(plain(k), plain(v)) for k, v in value.items()]}
    if kind is Record:
        return ("Record", value.name, value.source, value.status, value.message)
    if issubclass(kind, (PurePath, CountedPath)):
        return (kind.__name__, str(value))
    if issubclass(kind, BaseException):
        return (kind.__name__, plain(value.args))
    return kind.__name__


def both(run: Callable[[Any, SimpleNamespace], Any]) -> None:
    """Runs `run` on each module with fresh fakes and asserts the two outcomes agree: results or
    exceptions, log lines, and every outside call, in order."""
    outcomes = []
    for module in (baseline, extension):
        with services_for(module) as services:
            try:
                outcome: Any = ("ok", plain(run(module, services)))
            except Exception as e:  # noqa: BLE001 - the failures are compared too
                outcome = ("raised", type(e), str(e))
            outcomes.append((outcome, services.logger.lines, plain(services.calls)))
    assert outcomes[0] == outcomes[1]


record_specs = st.fixed_dictionaries(
    {
        "source": st.sampled_from(SOURCES),
        "status": st.sampled_from(["UNKNOWN", "ERROR", "OK"]),
        "message": st.sampled_from(["", "boom"]),
        "alias": st.booleans(),  # the record's name differs from its key
    }
)
mappings = st.dictionaries(st.sampled_from(NAMES), record_specs, max_size=4)


def records(spec: dict[str, dict[str, Any]]) -> dict[str, Record]:
    return {
        key: Record(
            key + "_alias" if s["alias"] else key,
            s["source"],
            s["status"],
            s["message"],
            path=Path("/proj") / s["source"],
        )
        for key, s in spec.items()
    }


def state(recs: dict[str, Record]) -> list[tuple[str, str, str, str, str]]:
    return [(k, r.name, r.source, r.status, r.message) for k, r in recs.items()]


@EXAMPLES
@given(static=mappings, present=mappings, chosen=st.lists(st.sampled_from(SOURCES), max_size=2))
def test_database_updates(static: Any, present: Any, chosen: list[str]) -> None:
    def run(module: Any, services: SimpleNamespace) -> Any:
        s, p = records(static), records(present)
        paths = [Path("/proj") / c for c in chosen]
        add, remove = module._get_database_updates(s, p, paths)
        keys = {id(r): k for k, r in s.items()}
        return [keys[id(r)] for r in add], remove, state(s), state(p)

    both(run)


MODULE_MODES = ["missing", "defines", "defines-none", "lacks"]


@EXAMPLES
@given(
    static=mappings,
    modes=st.fixed_dictionaries({src: st.sampled_from(MODULE_MODES) for src in SOURCES}),
    on_demand=st.booleans(),
)
def test_find_cells(static: Any, modes: dict[str, str], on_demand: bool) -> None:
    def module_for(source: str) -> ModuleType | None:
        mode = modes[source]
        if mode == "missing":
            return None
        attrs = {n: (None if mode == "defines-none" else (lambda n=n: n)) for n in NAMES}
        return fakes.module_with(source, **(attrs if mode != "lacks" else {}))

    def run(module: Any, services: SimpleNamespace) -> Any:
        s = records(static)
        prepared = {Path("/proj") / src: module_for(src) for src in SOURCES}
        known = {p: m for p, m in prepared.items() if m is not None}
        given_modules = {} if on_demand else dict(known)
        services.imports.modules = known
        cells = module._find_cells(s, given_modules)
        found = {}
        for name, cell in cells.items():
            try:
                found[name] = ("cell", cell())
            except Exception as e:  # noqa: BLE001 - an error cell raises its error
                found[name] = ("error", type(e), str(e), cell.__name__, cell.__module__)
        return found, state(s), sorted(map(str, given_modules))

    both(run)


FACTORY_MODULES = [None, "", "demo.cells", "demo", "lib.x", "missing"]


@EXAMPLES
@given(
    cells=st.dictionaries(st.sampled_from(NAMES), st.sampled_from(FACTORY_MODULES), max_size=4),
    containers=st.dictionaries(
        st.sampled_from(NAMES), st.sampled_from(FACTORY_MODULES), max_size=4
    ),
    shared=st.sets(st.sampled_from(NAMES)),
)
def test_container_cleanup(cells: Any, containers: Any, shared: set[str]) -> None:
    def factory(label: str, module: Any) -> Any:
        if module == "missing":
            return object()
        return SimpleNamespace(__module__=module, label=label)

    def run(module: Any, services: SimpleNamespace) -> Any:
        made_cells = {k: factory("cell-" + k, m) for k, m in cells.items()}
        made_containers = {k: factory("container-" + k, m) for k, m in containers.items()}
        for k in shared & made_cells.keys() & made_containers.keys():
            made_containers[k] = made_cells[k]
        labels = {
            id(f): f"{n}:{k}"
            for n, d in (("cell", made_cells), ("container", made_containers))
            for k, f in d.items()
        }
        pdk = FakePdk("p", cells=made_cells, containers=made_containers)
        module._clean_containers_also_in_cells(pdk)
        return (
            [(k, labels[id(f)]) for k, f in pdk.cells.items()],
            [(k, labels[id(f)]) for k, f in pdk.containers.items()],
        )

    both(run)


@EXAMPLES
@given(static=mappings, base_names=st.sets(st.sampled_from(NAMES)))
def test_record_filter(static: Any, base_names: set[str]) -> None:
    def run(module: Any, services: SimpleNamespace) -> Any:
        s = records(static)
        base = FakePdk("base", cells=dict.fromkeys(base_names))
        kept = module._filter_records_for_non_pdk_project(s, base)
        return [(k, r is s[k]) for k, r in kept.items()]

    both(run)


class Name(str):
    """A text whose order is Python code: sound, inconsistent, cyclic, raising part-way, or
    changing the lists and dicts that hold it."""

    mode = "sound"
    calls = 0
    __hash__ = str.__hash__

    def __lt__(self, other: object) -> bool:
        Name.calls += 1
        if Name.mode == "inconsistent":
            return hash((str(self), str(other))) % 3 == 0
        if Name.mode == "cyclic":  # rock, paper, scissors
            return (ord(self[-1]) - ord(str(other)[-1])) % 3 == 1
        if Name.mode == "raises" and Name.calls > 9:
            raise ArithmeticError("cannot order")
        if Name.mode == "mutates":
            for holder in gc.get_referrers(self):
                if type(holder) is list:
                    holder.reverse()
                elif type(holder) is dict and Name.calls % 4 == 0:
                    holder.pop(self, None)
        return str.__lt__(self, other)


class TextPath:
    """A resolved path whose text is a Name, all of one depth and length."""

    parts = ("/", "p", "x")

    def __init__(self, text: str) -> None:
        self.text = text

    def resolve(self) -> TextPath:
        return self

    def __str__(self) -> str:
        return self.text


LETTERS = "qwertyuiopasdfgh"


def sort_paths_site(module: Any, services: SimpleNamespace) -> Any:
    given_paths = [TextPath(Name(f"/p/{c}.py")) for c in LETTERS]
    with pytest.MonkeyPatch.context() as mp:
        mp.setattr(module, "Path", lambda p: p)
        return [p.text for p in module._sort_paths(given_paths)]


def database_site(module: Any, services: SimpleNamespace) -> Any:
    def records_of(letters: str, source: str) -> dict[str, Record]:
        return {Name(c): Record(Name(c), source, path=Path("/p") / source) for c in letters}

    static = records_of(LETTERS[:11], "a.py") | records_of(LETTERS[11:13], "b.py")
    present = records_of(LETTERS[4:], "a.py")
    add, remove = module._get_database_updates(static, present, [])
    return [r.name for r in add], remove, state(static)


@pytest.mark.parametrize("site", [sort_paths_site, database_site], ids=["paths", "records"])
@pytest.mark.parametrize("mode", ["sound", "inconsistent", "cyclic", "raises", "mutates"])
def test_orders_of_python_code_sort_as_sorted_does(
    monkeypatch: pytest.MonkeyPatch, site: Any, mode: str
) -> None:
    # Whatever the comparisons answer, the interpreter's sort gives the result (or the error)
    # the plain-Python version gives, comparison for comparison.
    monkeypatch.setattr(Name, "mode", mode)

    def run(module: Any, services: SimpleNamespace) -> Any:
        Name.calls = 0
        return site(module, services), Name.calls

    both(run)


class Twin(str):
    """A key with the hash of an equal `str` key but never equal to it: every lookup of that
    `str` compares it with Python code, so no such lookup may be skipped."""

    compared = 0
    __hash__ = str.__hash__

    def __eq__(self, other: object) -> bool:
        Twin.compared += 1
        return self is other


def test_lookup_that_compares_python_keys_is_made(monkeypatch: pytest.MonkeyPatch) -> None:
    def run(module: Any, services: SimpleNamespace) -> Any:
        monkeypatch.setattr(Twin, "compared", 0)
        # Inserted first, the twin sits where a lookup of "a" probes first.
        static = {
            Twin("a"): Record("t", "x.py"),
            "a": Record("a", "x.py"),
            "b": Record("b", "y.py"),
        }
        present = {"a": Record("a", "x.py", "OK"), Twin("b"): Record("u", "y.py")}
        add, remove = module._get_database_updates(static, present, [])
        return [r.name for r in add], [str(n) for n in remove], Twin.compared

    both(run)


@pytest.mark.parametrize("changed", ["static", "present"])
@pytest.mark.parametrize("by", ["log", "info"])
def test_names_follow_the_mappings_changed_meanwhile(changed: str, by: str) -> None:
    # A change made by the logger factory comes after a set of names was made and before it is
    # sorted; one made by a log line comes before the next sets are made.
    def run(module: Any, services: SimpleNamespace) -> Any:
        static = {"a": Record("a", "x.py"), "b": Record("b", "x.py")}
        present = {"b": Record("b", "y.py"), "c": Record("c", "x.py")}
        mapping = static if changed == "static" else present
        added = iter("cdefgh")

        def change(then: Callable[..., Any]) -> Callable[..., Any]:
            def changed_then(*args: Any) -> Any:
                name = next(added)
                mapping.setdefault(name, Record(name, "z.py"))
                return then(*args)

            return changed_then

        with pytest.MonkeyPatch.context() as mp:
            if by == "log":
                mp.setattr(module, "log", change(module.log))
            else:
                services.logger.info = change(services.logger.info)
            add, remove = module._get_database_updates(static, present, [])
        return [r.name for r in add], remove, sorted(static), sorted(present)

    both(run)


record_names = st.one_of(
    st.sampled_from(["a", "b", "ab", "é"]),
    st.sampled_from([0, -1, 7, 2**70]),  # a number past a machine word is compared by Python
    st.builds(Name, st.sampled_from(["a", "b"])),
)


@EXAMPLES
@given(names=st.lists(record_names, max_size=12), homogeneous=st.booleans())
def test_records_to_write_sort_by_name_as_sorted_does(names: list[Any], homogeneous: bool) -> None:
    # Equal names keep their order; names of one kind are ordered natively, any other mix by
    # the interpreter (or refused by it, the same way).
    if homogeneous:
        names = [n for n in names if type(n) is type(names[0])] if names else names

    def run(module: Any, services: SimpleNamespace) -> Any:
        static = {f"k{i}": Record(name, "x.py") for i, name in enumerate(names)}
        add, _ = module._get_database_updates(static, {}, [])
        keys = {id(r): k for k, r in static.items()}
        return [keys[id(r)] for r in add]

    both(run)


# Python's own semantics at every step: hostile inputs of four kinds, each compared call for call.


class CountedPath:
    """A record path whose hash and equality are Python code that reports every call."""

    def __init__(self, text: str, calls: list[Any]) -> None:
        self.text, self.calls, self.name = text, calls, text.rsplit("/", 1)[-1]

    def __hash__(self) -> int:
        self.calls.append(("hash", self.text))
        return hash(self.text)

    def __eq__(self, other: object) -> bool:
        self.calls.append(("eq", self.text))
        return type(other) is CountedPath and other.text == self.text

    def __str__(self) -> str:
        return self.text

    def __truediv__(self, name: str) -> CountedPath:
        return CountedPath(f"{self.text}/{name}", self.calls)

    def relative_to(self, other: CountedPath) -> str:
        self.calls.append(("relative_to", self.text))
        if not (self.text + "/").startswith(other.text + "/"):
            raise ValueError(self.text)
        return self.text


class Groups(dict):  # type: ignore[type-arg]
    """Stands for `defaultdict(list)`, reporting every group lookup."""

    def __init__(self, calls: list[Any]) -> None:
        super().__init__()
        self.calls = calls

    def __getitem__(self, key: Any) -> Any:
        self.calls.append(("group", plain(key)))
        return self.setdefault(key, [])


def module_defining(source: str) -> ModuleType:
    return fakes.module_with(source, **{f"k{i}": (lambda i=i: i) for i in range(8)})


def counted_records(
    specs: list[tuple[str, bool]], calls: list[Any]
) -> tuple[dict[str, Record], dict[str, CountedPath]]:
    """Records keyed k0, k1, ...; one whose spec says shared takes the path object of the last
    record of its source, any other an equal path object of its own."""
    made: dict[str, CountedPath] = {}
    recs = {}
    for i, (source, shared) in enumerate(specs):
        text = "/proj/" + source
        if not (shared and text in made):
            made[text] = CountedPath(text, calls)
        recs[f"k{i}"] = Record(f"k{i}", source, path=made[text], calls=calls)
    return recs, made


def counted_import(module: Any, services: Any, recs: Any, made: Any, chosen: Any) -> Any:
    services.imports.modules = {p: module_defining(t) for t, p in made.items()}
    paths = [CountedPath("/proj/" + c, services.calls) for c in chosen]
    with pytest.MonkeyPatch.context() as mp:
        mp.setattr(module, "_sort_paths", list)
        return module._import_modules(recs, paths, reload=True)


def counted_errors(module: Any, services: Any, recs: Any, made: Any, chosen: Any) -> Any:
    errors = {p: ("mod", ValueError("boom")) for t, p in made.items() if t[6:] not in chosen}
    with pytest.MonkeyPatch.context() as mp:
        mp.setattr(module, "defaultdict", lambda factory: Groups(services.calls))
        cells, records_made = module._handle_import_errors(recs, errors)
    return sorted(cells), records_made


def counted_find(module: Any, services: Any, recs: Any, made: Any, chosen: Any) -> Any:
    mods = {p: module_defining(t) for t, p in made.items() if t[6:] not in chosen}
    services.imports.modules = {p: module_defining(t) for t, p in made.items()}
    cells = module._find_cells(recs, mods)
    return [(k, c.__name__) for k, c in cells.items()], state(recs)


def counted_filter(module: Any, services: Any, recs: Any, made: Any, chosen: Any) -> Any:
    services.settings.project_dir = CountedPath("/proj", services.calls)
    return list(module._filter_records_for_non_pdk_project(recs, FakePdk("base")))


def counted_updates(module: Any, services: Any, recs: Any, made: Any, chosen: Any) -> Any:
    present = {k: Record(k, r.source, "OK") for k, r in recs.items()}
    paths = [CountedPath("/proj/" + c, services.calls) for c in chosen]
    add, remove = module._get_database_updates(recs, present, paths)
    return [r.name for r in add], remove, state(recs)


COUNTED_SITES = {
    "_import_modules": counted_import,
    "_handle_import_errors": counted_errors,
    "_find_cells": counted_find,
    "_filter_records_for_non_pdk_project": counted_filter,
    "_get_database_updates": counted_updates,
}
record_paths = st.lists(st.tuples(st.sampled_from(SOURCES), st.booleans()), max_size=5)


@pytest.mark.parametrize("site", list(COUNTED_SITES))
@EXAMPLES
@given(specs=record_paths, chosen=st.lists(st.sampled_from(SOURCES), max_size=2))
def test_every_hash_equality_and_group_lookup_is_made(
    site: str, specs: list[tuple[str, bool]], chosen: list[str]
) -> None:
    # A path shared by several records, or equal to another, is hashed, compared and grouped
    # as often as the Python code does it, whoever can see it.
    def run(module: Any, services: SimpleNamespace) -> Any:
        recs, made = counted_records(specs, services.calls)
        return COUNTED_SITES[site](module, services, recs, made, chosen)

    both(run)


class Liar:
    """An object that claims to be of a class it is not of; every claim is an outside call."""

    def __init__(self, claims: type, calls: list[Any]) -> None:
        self.claims, self.calls = claims, calls

    @property  # type: ignore[misc]
    def __class__(self) -> type:  # noqa: PLE0307
        self.calls.append(("__class__", self.claims.__name__))
        return self.claims

    def keys(self) -> list[str]:
        return ["k"]

    def __getitem__(self, key: str) -> int:
        return 1

    def __iter__(self) -> Iterator[int]:
        return iter([1])

    def __str__(self) -> str:
        return "liar"


class DictSub(dict):  # type: ignore[type-arg]
    pass


class ListSub(list):  # type: ignore[type-arg]
    pass


class StrSub(str):
    pass


class ErrorSub(ValueError):
    pass


SUBCLASS = {dict: DictSub, list: ListSub, str: StrSub, ValueError: ErrorSub}
instances = st.tuples(
    st.sampled_from(["exact", "sub", "proxy", "liar"]), st.sampled_from(list(SUBCLASS))
)


def instance(spec: tuple[str, type], alive: list[Any], calls: list[Any]) -> Any:
    """An instance of a class: of the class, of a subclass, a weak proxy of one of a subclass, or
    an object that only claims the class."""
    kind, claim = spec
    made = SUBCLASS[claim] if kind != "exact" else claim
    value = made("x") if claim in (str, ValueError) else made({"k": 1} if claim is dict else [1])
    alive.append(value)
    return (
        weakref.proxy(value) if kind == "proxy" else Liar(claim, calls) if kind == "liar" else value
    )


def isinstance_base_pdk(module: Any, services: Any, specs: list[Any]) -> Any:
    alive: list[Any] = []

    def resolve() -> FakePdk:
        pdk = FakePdk("p")
        for i, spec in enumerate(specs):
            setattr(pdk, f"a{i}", instance(spec, alive, services.calls))
        return pdk

    def frozen(value: Any) -> Any:
        services.calls.append(("frozendict",))
        return MappingProxyType(dict(value))

    with pytest.MonkeyPatch.context() as mp:
        mp.setattr(module, "FrozenPdk", type("FrozenPdk", (FakePdk,), dict(vars(module.FrozenPdk))))
        mp.setattr(module, "_get_pdk", functools.cache(resolve))
        mp.setattr(module, "frozendict", frozen)
        base = module.get_base_pdk.__wrapped__()
    return [
        (k, plain(v) if type(v) is not MappingProxyType else dict(v)) for k, v in vars(base).items()
    ]


def isinstance_error_cell(module: Any, services: Any, specs: list[Any]) -> Any:
    alive: list[Any] = []
    cell = module._error_cell("c", "m", instance(specs[0], alive, services.calls))
    raised = []
    for _ in range(2):
        try:
            cell()
        except Exception as e:  # noqa: BLE001 - what the cell raises is the result
            raised.append(e)
    # The texts of an object that cannot be raised differ by nature; the type does not.
    return [plain(e) if type(e) is not TypeError else "TypeError" for e in raised], (
        raised[0] is raised[1]
    )


ISINSTANCE_SITES = {"get_base_pdk": isinstance_base_pdk, "_error_cell": isinstance_error_cell}


@pytest.mark.parametrize("site", list(ISINSTANCE_SITES))
@EXAMPLES
@given(specs=st.lists(instances, min_size=1, max_size=4))
def test_an_instance_is_what_isinstance_says(site: str, specs: list[tuple[str, type]]) -> None:
    # A weak proxy, or an object whose `__class__` names a class, is an instance of that class.
    def run(module: Any, services: SimpleNamespace) -> Any:
        return ISINSTANCE_SITES[site](module, services, specs)

    both(run)


def walked_records(calls: list[Any], count: int) -> dict[str, Record]:
    return {f"k{i}": Record(f"k{i}", SOURCES[i % 3], calls=calls) for i in range(count)}


def walk_find(module: Any, services: Any, count: int) -> Any:
    recs = walked_records(services.calls, count)
    mods = {Path("/proj") / src: module_defining(src) for src in SOURCES}
    return recs, lambda: (sorted(module._find_cells(recs, mods)), state(recs))


def walk_filter(module: Any, services: Any, count: int) -> Any:
    recs = walked_records(services.calls, count)
    return recs, lambda: list(module._filter_records_for_non_pdk_project(recs, FakePdk("base")))


def walk_import(module: Any, services: Any, count: int) -> Any:
    recs = walked_records(services.calls, count)
    return recs, lambda: module._import_modules(recs, [])


def walk_grouping(module: Any, services: Any, count: int) -> Any:
    recs = walked_records(services.calls, count)
    return recs, lambda: sorted(module._handle_import_errors(recs, {})[0])


def walk_failures(module: Any, services: Any, count: int) -> Any:
    errors = {Path(f"/proj/f{i}.py"): ("mod", ValueError(i)) for i in range(count)}
    return errors, lambda: sorted(module._handle_import_errors({}, errors)[0])


def walk_attributes(module: Any, services: Any, count: int) -> Any:
    pdk = FakePdk("p")
    for i in range(count):
        setattr(pdk, f"a{i}", {"i": i})

    def frozen(value: Any) -> Any:
        services.calls.append(("frozendict", plain(value)))
        return MappingProxyType(value)

    def run() -> Any:
        with pytest.MonkeyPatch.context() as mp:
            mp.setattr(
                module, "FrozenPdk", type("FrozenPdk", (FakePdk,), dict(vars(module.FrozenPdk)))
            )
            mp.setattr(module, "_get_pdk", functools.cache(lambda: pdk))
            mp.setattr(module, "copy", lambda p: p)
            mp.setattr(module, "frozendict", frozen)
            return list(vars(module.get_base_pdk.__wrapped__()))

    return vars(pdk), run


WALK_SITES = {
    "_find_cells": walk_find,
    "_filter_records_for_non_pdk_project": walk_filter,
    "_import_modules": walk_import,
    "_handle_import_errors, records": walk_grouping,
    "_handle_import_errors, failed files": walk_failures,
    "get_base_pdk": walk_attributes,
}


def change(mapping: dict[Any, Any], how: str, index: int) -> Callable[[], None]:
    """A change of `mapping`'s keys: one added, one removed, one replaced by another (the size
    stays), or one removed and put back (it moves to the end)."""

    def apply() -> None:
        key = list(mapping)[index % len(mapping)]
        value = mapping[key]
        if how != "add":
            del mapping[key]
        if how in ("add", "replace"):
            mapping[Path("/proj/new.py") if type(key) is not str else "new"] = value
        if how == "reinsert":
            mapping[key] = value

    return apply


@pytest.mark.parametrize("site", list(WALK_SITES))
@EXAMPLES
@given(
    count=st.integers(1, 4),
    at=st.integers(1, 12),
    how=st.sampled_from(["add", "remove", "replace", "reinsert"]),
    index=st.integers(0, 3),
)
def test_walks_end_as_the_dict_iterator_ends_them(
    site: str, count: int, at: int, how: str, index: int
) -> None:
    # An outside call made during the walk changes the keys of the mapping walked.
    def run(module: Any, services: SimpleNamespace) -> Any:
        mapping, call = WALK_SITES[site](module, services, count)
        services.calls.then(at, change(mapping, how, index))
        return call()

    both(run)


class Replaced:
    """A global put in place of another in the middle of a call: reports every use."""

    def __init__(self, name: str, target: Any, calls: list[Any]) -> None:
        self._name, self._target, self._calls = name, target, calls

    def __getattr__(self, attr: str) -> Any:
        self._calls.append(("replaced", self._name, attr))
        return getattr(self._target, attr)

    def __call__(self, *args: Any, **kwargs: Any) -> Any:
        self._calls.append(("replaced", self._name))
        return self._target(*args, **kwargs)


class ReportingDict(dict):  # type: ignore[type-arg]
    """A mapping whose item reads, membership tests and `update` reads are outside calls."""

    def __init__(self, calls: list[Any], *args: Any) -> None:
        super().__init__(*args)
        self.calls = calls

    def __getitem__(self, key: Any) -> Any:
        self.calls.append(("getitem", plain(key)))
        return super().__getitem__(key)

    def __contains__(self, key: object) -> bool:
        self.calls.append(("contains", plain(key)))
        return super().__contains__(key)

    def __getattribute__(self, name: str) -> Any:
        if name == "update":
            dict.__getattribute__(self, "calls").append(("read update",))
        return dict.__getattribute__(self, name)


def replaced_resolution(module: Any, services: Any, mp: pytest.MonkeyPatch) -> Any:
    sys_modules = ReportingDict(services.calls)
    factories = {
        name: lambda name=name: fakes.module_with(name, PDK=name) for name in ("mypdk", "mypdk.pdk")
    }
    dict.update(sys_modules, {name: made() for name, made in factories.items()})
    mp.setattr(module, "importlib", fakes.FakeImportlib(services.calls, sys_modules, factories))
    mp.setattr(module, "sys", SimpleNamespace(modules=sys_modules))
    return module._get_pdk.__wrapped__()


def replaced_base_pdk(module: Any, services: Any, mp: pytest.MonkeyPatch) -> Any:
    class Pdk(FakePdk):
        """A PDK whose attribute assignments, the class switch among them, are outside calls."""

        def __setattr__(self, name: str, value: Any) -> None:
            services.calls.append(("setattr", name))
            object.__setattr__(self, name, value)

    def resolve() -> FakePdk:
        services.calls.append(("_get_pdk",))
        return Pdk("p", cells={"a": 1})

    mp.setattr(module, "FrozenPdk", type("FrozenPdk", (FakePdk,), dict(vars(module.FrozenPdk))))
    mp.setattr(module, "_get_pdk", functools.cache(resolve))
    return type(module.get_base_pdk.__wrapped__()).__name__


def replaced_registration(module: Any, services: Any, mp: pytest.MonkeyPatch) -> Any:
    services.cg.records = lambda: walked_records(services.calls, 4)
    services.imports.modules = {Path("/proj") / src: module_defining(src) for src in SOURCES[:2]}
    services.imports.errors = {Path("/proj") / SOURCES[2]: ("mod", ValueError("boom"))}
    services.db.by_source = {Path("/proj/demo/x.py"): ["k0", "gone"]}
    services.db.records = {"gone": Record("gone", "demo/x.py")}
    by_name = services.db.get_factories_by_name
    services.db.get_factories_by_name = lambda *n: ReportingDict(services.calls, by_name(*n))
    pdk = FakePdk("p")
    mp.setattr(module, "get_pdk", lambda: pdk)
    mp.setattr(module, "get_base_pdk", lambda: FakePdk("base"))
    return module.register_cells(paths=[Path("/proj/demo/x.py")]), sorted(pdk.cells)


def replaced_import_errors(module: Any, services: Any, mp: pytest.MonkeyPatch) -> Any:
    recs = walked_records(services.calls, 4)
    errors = {Path("/proj") / src: ("mod", ValueError("boom")) for src in SOURCES}
    services.imports.regex = {Path("/proj") / SOURCES[0]: ["k0", "extra"]}
    cells, error_records = module._handle_import_errors(recs, errors)
    return sorted(cells), sorted(error_records)


def replaced_find_cells(module: Any, services: Any, mp: pytest.MonkeyPatch) -> Any:
    recs = walked_records(services.calls, 4)
    services.imports.modules = {Path("/proj") / SOURCES[0]: module_defining(SOURCES[0])}
    return sorted(module._find_cells(recs, {})), state(recs)


def replaced_import(module: Any, services: Any, mp: pytest.MonkeyPatch) -> Any:
    recs = walked_records(services.calls, 4)
    services.imports.modules = {Path("/proj") / src: module_defining(src) for src in SOURCES}
    return module._import_modules(recs, [Path("/proj") / SOURCES[0]], reload=False)


def replaced_filter(module: Any, services: Any, mp: pytest.MonkeyPatch) -> Any:
    recs = walked_records(services.calls, 4)
    return list(module._filter_records_for_non_pdk_project(recs, FakePdk("b", cells={"k2": 1})))


def replaced_updates(module: Any, services: Any, mp: pytest.MonkeyPatch) -> Any:
    static, present = walked_records(services.calls, 3), walked_records(services.calls, 2)
    add, remove = module._get_database_updates(static, present, [Path("/proj") / SOURCES[0]])
    return [r.name for r in add], remove


def replaced_access(module: Any, services: Any, mp: pytest.MonkeyPatch) -> Any:
    pdk = FakePdk("p")

    def step(name: str) -> Callable[[], FakePdk]:
        return lambda: services.calls.append((name,)) or pdk

    warned = SimpleNamespace(warn=lambda *args, **kwargs: services.calls.append(("warn", args)))
    for name in ("get_base_pdk", "_get_pdk"):
        mp.setattr(module, name, step(name))
    mp.setattr(module, "warnings", warned)
    return module.activate_pdk_by_name("other").name


REPLACED_SITES = {
    "_import_modules": (replaced_import, ["imports", "_sort_paths", "Path"]),
    "_filter_records_for_non_pdk_project": (replaced_filter, ["settings"]),
    "_get_database_updates": (replaced_updates, ["log"]),
    "activate_pdk_by_name": (
        replaced_access,
        ["settings", "warnings", "get_pdk", "get_base_pdk", "_get_pdk", "log"],
    ),
    "_get_pdk": (replaced_resolution, ["settings", "importlib", "sys"]),
    "get_base_pdk": (
        replaced_base_pdk,
        ["_get_pdk", "settings", "copy", "frozendict", "FrozenPdk", "cast", "log"],
    ),
    "register_cells": (
        replaced_registration,
        ["cg", "settings", "db", "imports", "_import_modules", "_find_cells", "register_models"],
    ),
    "_handle_import_errors": (
        replaced_import_errors,
        ["defaultdict", "log", "imports", "_error_cell", "m", "deepcopy"],
    ),
    "_find_cells": (replaced_find_cells, ["imports", "log", "_error_cell"]),
}


@pytest.mark.parametrize("site", list(REPLACED_SITES))
@settings(max_examples=40, deadline=None, suppress_health_check=list(HealthCheck))
@given(picks=st.sets(st.integers(0, 6), min_size=1), deleted=st.booleans())
def test_callees_are_read_before_their_arguments(site: str, picks: set[int], deleted: bool) -> None:
    # An outside call (an item read of `sys.modules`, a class switch, any other) replaces or
    # deletes globals: the module must read each where Python reads it, no earlier or later.
    make, used = REPLACED_SITES[site]
    names = sorted({used[p % len(used)] for p in picks})

    def run_replacing_at(at: int) -> Callable[[Any, SimpleNamespace], Any]:
        def run(module: Any, services: SimpleNamespace) -> Any:
            # One patcher for the site's globals and the replaced ones, undone in reverse.
            with pytest.MonkeyPatch.context() as mp:

                def replace() -> None:
                    for name in names:
                        if deleted:
                            mp.delattr(module, name)
                        else:
                            replaced = Replaced(name, getattr(module, name), services.calls)
                            mp.setattr(module, name, replaced)

                services.calls.then(at, replace)
                return make(module, services, mp)

        return run

    for at in range(1, 40):  # every outside call of the run, and none
        both(run_replacing_at(at))


ERROR_CELL_TEXT = "raise: exception class must be a subclass of BaseException"
# The error cell's text for a stored object that is no exception, and Python's own `raise`.
SAME_TEXTS = {"exceptions must derive from BaseException": ERROR_CELL_TEXT}


def attempt(step: Callable[[], Any]) -> Any:
    try:
        return "returned", plain(step())
    except Exception as e:  # noqa: BLE001 - failures are compared too
        return "raised", type(e).__name__, SAME_TEXTS.get(str(e), str(e))


def whole_run(module: Any, services: SimpleNamespace) -> Any:
    """Every function once, each through the branches that read built-in names: a registration
    (a file failing, its pattern search failing too, a foreign file, a moved cell, a clash with a
    container), the freezing of a base PDK and a change refused, a PDK package without a PDK, an
    error cell made from a text, the deprecated entry point."""
    services.cg.records = lambda: {
        "a": Record("a", "demo/a.py"),
        "b": Record("b", "demo/b.py"),
        "z": Record("z", "other/z.py"),
    }
    services.imports.modules = {Path("/proj/demo/a.py"): fakes.module_with("demo.a", a=len)}
    services.imports.errors = {Path("/proj/demo/b.py"): ("demo.b", ImportError("no b"))}
    services.imports.regex = {Path("/proj/demo/b.py"): LookupError("no pattern")}
    services.db.records = {"old": Record("old", "demo/old.py"), "a": Record("a", "demo/x.py")}
    pdk = FakePdk("p", containers={"a": len, "q": 1})
    base = FakePdk("base", cells={"z": 1})
    base.layers = ["m1"]
    factories = {"mypdk": lambda: fakes.module_with("mypdk")}
    resolve = module._get_pdk.__wrapped__
    with pytest.MonkeyPatch.context() as mp:
        mp.setattr(module, "get_pdk", lambda: pdk)
        mp.setattr(module, "_get_pdk", functools.cache(lambda: base))
        frozen = type("FrozenPdk", (FakePdk,), dict(vars(module.FrozenPdk)))
        mp.setattr(module, "FrozenPdk", frozen)
        with warnings.catch_warnings(record=True) as warned:
            warnings.simplefilter("always")
            steps = [
                lambda: module.get_base_pdk.__wrapped__(),
                lambda: setattr(frozen.__new__(frozen), "name", "x"),
                lambda: (module.register_cells(), sorted(pdk.cells), sorted(pdk.containers)),
                lambda: pdk.cells["b"](),
                lambda: module._sort_paths(["/b/c.py", "/a.py"]),
                lambda: module._error_cell("n", "m", "text")(),
                lambda: module.activate_pdk_by_name("other").name,
            ]
            outcomes = [attempt(step) for step in steps]
        importlib = fakes.FakeImportlib(services.calls, {}, factories)
        mp.setattr(module, "importlib", importlib)
        outcomes.append(attempt(resolve))
    categories = [(w.category.__name__, str(w.message)) for w in warned]
    return outcomes, categories, vars(base).get("layers")


BUILTIN_NAMES = [
    *["sorted", "len", "str", "set", "list", "tuple", "dict", "isinstance", "getattr", "hasattr"],
    *["Exception", "ValueError", "ModuleNotFoundError", "ImportError", "RuntimeError"],
    *["AttributeError", "DeprecationWarning"],
]


FUNCTION_NAMES = ["sorted", "len", "isinstance", "getattr", "hasattr"]


@pytest.mark.parametrize(
    "name, where",
    [(n, "module") for n in BUILTIN_NAMES] + [(n, "builtins") for n in FUNCTION_NAMES],
)
def test_a_module_global_shadows_the_builtin_of_its_name(name: str, where: str) -> None:
    # A class is shadowed by a subclass (isinstance, except and raise tell them apart), a function
    # by a wrapper that reports each call; in the module's namespace, or in the builtins
    # themselves, which the module reads as Python code does.
    real = getattr(builtins, name)

    def run(module: Any, services: SimpleNamespace) -> Any:
        def report(*args: Any, **kwargs: Any) -> Any:
            services.calls.append(("builtin", name))
            return real(*args, **kwargs)

        shadow = type(f"Shadow{name}", (real,), {}) if isinstance(real, type) else report
        with pytest.MonkeyPatch.context() as mp:
            mp.setattr(module if where == "module" else builtins, name, shadow, raising=False)
            return whole_run(module, services)

    both(run)


def test_a_deleted_global_is_looked_up_in_the_modules_own_builtins() -> None:
    caller_builtins = {"_sort_paths": lambda paths: [], "__import__": __import__}

    def run(module: Any, services: SimpleNamespace) -> Any:
        with pytest.MonkeyPatch.context() as mp:
            mp.delattr(module, "_sort_paths")
            code = "module._import_modules({}, [])"
            return eval(code, {"module": module, "__builtins__": caller_builtins})

    both(run)


WARNING_FRAME = "<quorin.core.pdk>"


@pytest.mark.parametrize("hook", ["settrace", "setprofile"])
def test_tracers_see_a_module_call_as_a_builtin_call(hook: str) -> None:
    """Outside the module's own code a tracer sees the same events on either version. Of the
    baseline's own frames it keeps the first entered from outside; of the extension, its calls'
    `c_call` and `c_return` or `c_exception`, which a profile function alone hears of. The frame
    that issues the deprecation warning for the caller's line is the module's, on both."""
    own = {baseline.__file__, WARNING_FRAME}
    native = type(extension.get_pdk)

    def name_of(function: Any, code_name: str) -> str:
        return (
            "error cell"
            if code_name == "cell" or function.__module__ != extension.__name__
            else code_name
        )

    def run(module: Any, services: SimpleNamespace) -> Any:
        events: list[Any] = []

        def tracer(frame: Any, event: str, arg: Any) -> Any:
            code = frame.f_code
            if code.co_filename == WARNING_FRAME:
                pass
            elif code.co_filename in own:
                if frame.f_back.f_code.co_filename not in own and event in ("call", "return"):
                    which = "enter" if event == "call" else "leave"
                    events.append((which, "error cell" if code.co_name == "cell" else code.co_name))
            elif event.startswith("c_"):
                if type(arg) is native:
                    which = "enter" if event == "c_call" else "leave"
                    events.append((which, name_of(arg, arg.__name__)))
            else:
                events.append((event, code.co_name, frame.f_lineno))
            return tracer if hook == "settrace" else None

        setter = getattr(sys, hook)
        # A collection during the run would show other tests' finalisers to the tracer.
        gc.collect()
        gc.disable()
        setter(tracer)
        try:
            outcome = whole_run(module, services)
        finally:
            setter(None)
            gc.enable()
        if hook == "settrace":
            # A trace function hears of no call to a built-in function at all.
            events = [e for e in events if e[0] not in ("enter", "leave")]
        return outcome, events

    # Imports and class caches made on first use would show in the first version's events only.
    for module in (baseline, extension):
        with services_for(module) as services:
            whole_run(module, services)
    both(run)


class Mortal(dict):  # type: ignore[type-arg]
    """A mapping whose release is logged with the outside calls."""

    def __init__(self, log: list[Any], label: str, *args: Any) -> None:
        super().__init__(*args)
        self.log, self.label = log, label

    def __del__(self) -> None:
        self.log.append(("released", self.label))


class MortalRecord(Record):
    """A record whose every `absolute_source()` is a new path, released with a log line."""

    def absolute_source(self) -> Any:
        log = self.calls

        class Released(type(Path())):  # type: ignore[misc]
            def __del__(self) -> None:
                log.append(("released", str(self)))  # type: ignore[union-attr]

        return Released("/proj", self.source)


def test_values_are_released_when_python_would_release_them() -> None:
    def run(module: Any, services: SimpleNamespace) -> Any:
        log = services.calls
        made = iter(range(100))

        def import_modules(**kwargs: Any) -> Any:
            log.append(("import_modules",))
            n = next(made)
            return Mortal(log, f"modules {n}"), Mortal(log, f"errors {n}")

        services.imports.import_modules = import_modules
        services.cg.records = lambda: {
            n: MortalRecord(n, f"{d}/{n}.py", calls=log) for n, d in [("a", "demo"), ("z", "other")]
        }
        services.db.get_factories_by_source = lambda *paths: Mortal(log, "by source")
        pdk = FakePdk("p")
        with pytest.MonkeyPatch.context() as mp:
            mp.setattr(module, "get_pdk", lambda: pdk)
            mp.setattr(module, "get_base_pdk", lambda: FakePdk("base"))
            return module.register_cells(paths=[Path("/proj/demo/a.py")])

    both(run)
