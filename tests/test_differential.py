"""The extension against the plain-Python baseline on random inputs: the same results, the same
changes to the records and mappings passed in, the same log lines."""

from __future__ import annotations

import gc
from collections.abc import Callable, Iterator
from contextlib import contextmanager
from pathlib import Path
from types import ModuleType, SimpleNamespace
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


def both(run: Callable[[Any, SimpleNamespace], Any]) -> None:
    """Runs `run` on each module with fresh fakes and asserts the two outcomes agree."""
    outcomes = []
    for module in (baseline, extension):
        with services_for(module) as services:
            try:
                outcome: Any = ("ok", run(module, services))
            except Exception as e:  # noqa: BLE001 - the failures are compared too
                outcome = ("raised", type(e), str(e))
            outcomes.append((outcome, services.logger.lines))
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
