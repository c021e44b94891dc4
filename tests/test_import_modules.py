"""`_import_modules`: the import step of a registration run."""

from __future__ import annotations

from pathlib import Path
from types import SimpleNamespace
from typing import Any

import pytest

from tests.fakes import Record, module_with, raising
from tests.shared import unpack_text

RINGS, MMI, PADS = Path("/proj/cells/rings.py"), Path("/proj/mmi.py"), Path("/proj/pads.py")
RINGS_FAILURE = ("proj.cells.rings", ImportError("boom"))


def records(services: SimpleNamespace, *spec: tuple[str, Path]) -> dict[str, Record]:
    return {n: Record(n, str(p), path=p, calls=services.calls) for n, p in spec}


@pytest.fixture
def static(services: SimpleNamespace) -> dict[str, Record]:
    services.imports.modules = {MMI: module_with("proj.mmi"), PADS: module_with("proj.pads")}
    services.imports.errors = {RINGS: RINGS_FAILURE}
    return records(services, ("ring_a", RINGS), ("pads", PADS), ("mmi", MMI), ("ring_b", RINGS))


def import_call(*paths: Path, reload: bool = True) -> tuple[Any, ...]:
    return (
        "imports.import_modules",
        (("paths", list(paths)), ("reload", reload), ("from_project", False)),
    )


def test_imports_each_file_once_in_sorted_order(impl: Any, services: Any, static: Any) -> None:
    modules, errors = impl._import_modules(static, [])
    assert services.calls == [
        ("absolute_source", "ring_a"), ("absolute_source", "pads"),
        ("absolute_source", "mmi"), ("absolute_source", "ring_b"),
        import_call(MMI, PADS, RINGS),
    ]  # fmt: skip
    # Keyed and ordered by the records, not by the import order.
    assert list(modules.items()) == [
        (PADS, services.imports.modules[PADS]),
        (MMI, services.imports.modules[MMI]),
    ]
    assert list(errors.items()) == [(RINGS, RINGS_FAILURE)]
    assert errors[RINGS] is RINGS_FAILURE


@pytest.mark.parametrize(
    "paths, imported",
    [
        pytest.param([MMI, RINGS], [MMI, RINGS], id="subset"),
        pytest.param([Path("/proj/elsewhere.py")], [], id="no-match"),
        pytest.param([str(MMI)], [], id="str-never-matches-path"),
        pytest.param([Path("/proj/cells/../mmi.py")], [], id="other-spelling"),
    ],
)
def test_narrowed_to_requested_paths(
    impl: Any, services: Any, static: Any, paths: list, imported: list
) -> None:
    modules, errors = impl._import_modules(static, paths)
    assert services.calls[-1] == import_call(*imported)
    assert set(modules) | set(errors) == set(imported)


def test_no_records_still_calls_the_service(impl: Any, services: Any) -> None:
    assert impl._import_modules({}, []) == ({}, {})
    assert services.calls == [import_call()]


@pytest.mark.parametrize(
    "kwargs, passed",
    [({}, True), ({"reload": False}, False), ({"reload": 0}, False), ({"reload": ""}, False),
     ({"reload": None}, False), ({"reload": [0]}, True), ({"reload": "no"}, True)],
)  # fmt: skip
def test_reload_passed_as_bool(
    impl: Any, services: Any, static: Any, kwargs: dict, passed: bool
) -> None:
    impl._import_modules(static, [], **kwargs)
    assert services.calls[-1][1][1] == ("reload", passed)
    assert services.calls[-1][1][1][1] is passed


class LoggedMapping:
    """A non-dict answer of the service: logs every `get` with its arguments."""

    def __init__(self, log: list, tag: str, entries: dict) -> None:
        self.log, self.tag, self.entries = log, tag, entries

    def get(self, *args: Any) -> Any:
        self.log.append((self.tag, *args))
        return self.entries.get(args[0])


def test_results_read_through_get_and_filtered(impl: Any, services: Any, static: Any) -> None:
    log: list = []
    mmi_module = module_with("proj.mmi")
    raw_modules = {MMI: mmi_module, PADS: None, RINGS: mmi_module, Path("/proj/x.py"): mmi_module}
    raw_errors = {RINGS: RINGS_FAILURE, PADS: (), MMI: ("proj.mmi", ValueError())}
    services.imports.result = [
        LoggedMapping(log, "m", raw_modules),
        LoggedMapping(log, "e", raw_errors),
    ]
    modules, errors = impl._import_modules(static, [])
    # Every module lookup comes before the first error lookup.
    assert log == [(t, p, None) for t in "me" for p in (RINGS, PADS, MMI)]
    assert list(modules) == [RINGS, MMI]
    assert list(errors) == [RINGS, MMI]


def test_result_keys_are_the_record_paths(impl: Any, services: Any) -> None:
    # The service's key only has to be equal: the record path itself is stored.
    class Key(str):
        pass

    path = Key("/proj/a.py")
    services.imports.result = ({"/proj/a.py": "module"}, {})
    modules, _ = impl._import_modules({"a": Record("a", "a.py", path=path)}, [])
    assert modules == {path: "module"} and type(next(iter(modules))) is Key


def test_sort_paths_read_from_module_globals(
    impl: Any, services: Any, static: Any, monkeypatch: pytest.MonkeyPatch
) -> None:
    seen: list = []
    monkeypatch.setattr(impl, "_sort_paths", lambda paths: seen.append(list(paths)) or ["sorted"])
    impl._import_modules(static, [])
    assert seen == [[RINGS, PADS, MMI]]
    assert services.calls[-1] == (
        "imports.import_modules",
        (("paths", ["sorted"]), ("reload", True), ("from_project", False)),
    )


@pytest.mark.parametrize(
    "count, kind", [(0, tuple), (1, tuple), (3, tuple), (3, iter)], ids=["0", "1", "3", "3-iter"]
)
def test_result_must_unpack_into_two(
    impl: Any, services: Any, static: Any, count: int, kind: Any
) -> None:
    services.imports.result = kind(({},) * count)
    with pytest.raises(ValueError) as info:
        impl._import_modules(static, [])
    assert str(info.value) == unpack_text(impl, count)


def test_any_two_item_iterable_unpacks(impl: Any, services: Any, static: Any) -> None:
    services.imports.result = iter([{MMI: "m"}, {RINGS: "e"}])
    assert impl._import_modules(static, []) == ({MMI: "m"}, {RINGS: "e"})


def test_service_errors_propagate_unchanged(impl: Any, services: Any, static: Any) -> None:
    failure = OSError("disk gone")
    services.imports.import_modules = raising(failure)
    with pytest.raises(OSError) as info:
        impl._import_modules(static, [])
    assert info.value is failure
