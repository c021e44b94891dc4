"""The plain-Python reference of the PDK module, run against fake services."""

import functools
import traceback
from dataclasses import dataclass
from pathlib import Path as P
from types import ModuleType, SimpleNamespace

import pytest
from frozendict import frozendict

from bench import baseline


@dataclass
class Record:
    name: str
    source: str
    status: str = "UNKNOWN"
    message: str = ""
    extra: object = None

    def absolute_source(self):
        return P(self.source)


class Imports:
    """Import service with a fixed set of loadable and failing files."""

    def __init__(self, modules=(), errors=(), regex=()):
        self.modules, self.errors, self.regex, self.calls = dict(modules), dict(errors), regex, []

    def import_modules(self, **kwargs):
        self.calls.append(kwargs)
        wanted = kwargs["paths"]
        return tuple(
            {p: v for p, v in d.items() if p in wanted} for d in (self.modules, self.errors)
        )

    def get_cells_from_regex(self, path):
        return dict(self.regex)[path]  # KeyError stands for a failed search


class Logger(list):
    def __getattr__(self, level):
        return lambda text: self.append((level, text))


def module(name, **attrs):
    mod = ModuleType(name)
    vars(mod).update(attrs)
    return mod


@pytest.fixture
def lines(monkeypatch):
    logger = Logger()
    monkeypatch.setattr(baseline, "log", lambda: logger)
    return logger


@pytest.fixture(autouse=True)
def settings(monkeypatch):
    for name in ("_get_pdk", "get_base_pdk"):  # fresh resolver caches per test
        monkeypatch.setattr(baseline, name, functools.cache(getattr(baseline, name).__wrapped__))
    fake = SimpleNamespace(get_pdk_name=lambda: "mypdk", get_project_name=lambda: "proj")
    fake.get_project_dir, fake.is_a_pdk = lambda: P("/work"), lambda: False
    monkeypatch.setattr(baseline, "settings", fake)
    monkeypatch.setattr(baseline, "m", SimpleNamespace(FactoryRecord=Record))
    return fake


RESOLUTIONS = [  # configured name, project name, already imported, calls, result
    ("Generic", "demo", [], ["import lumset.generic_tech"], "generic_tech"),
    ("GPDK", "demo", ["lumset.gpdk"], ["import lumset.gpdk", "reload lumset.gpdk"], "gpdk"),
    ("generic", "GPDK", [], ["import generic"], "package"),
    ("x", "d", ["x", "x.pdk"], ["import x", "reload x", "reload x.pdk"], "submodule"),
]


@pytest.mark.parametrize("pdk_name, project, loaded, calls, result", RESOLUTIONS)
def test_get_pdk_resolution(monkeypatch, settings, pdk_name, project, loaded, calls, result):
    def generic(name):
        return module(name, get_generic_pdk=SimpleNamespace(__wrapped__=lambda: name[7:]))

    mods = {n: generic(n) for n in ("lumset.generic_tech", "lumset.gpdk")}
    mods |= {n: module(n, PDK="package") for n in ("generic", "x")}
    mods["x.pdk"] = module("x.pdk", PDK="submodule")
    made = []
    fake = SimpleNamespace(import_module=lambda n: made.append(f"import {n}") or mods[n])
    fake.reload = lambda mod: made.append(f"reload {mod.__name__}") or mod
    monkeypatch.setattr(baseline, "importlib", fake)
    monkeypatch.setattr(baseline, "sys", SimpleNamespace(modules={n: mods[n] for n in loaded}))
    settings.get_pdk_name, settings.get_project_name = lambda: pdk_name, lambda: project
    assert baseline._get_pdk() == result and made == calls


def test_package_without_pdk(monkeypatch):
    monkeypatch.setattr(baseline, "sys", SimpleNamespace(modules={}))
    monkeypatch.setattr(baseline, "importlib", SimpleNamespace(import_module=module))
    with pytest.raises(ImportError) as info:
        baseline._get_pdk()
    assert info.value.args == ("Module 'mypdk' does not expose a PDK in its __init__.py.",)


IGNORED = (
    "The given 'name' argument 'other' will be ignored. "
    "Using 'mypdk' instead (as configured in 'pyproject.toml')."
)


@pytest.mark.parametrize("name, extra", [("mypdk", ""), ("other", IGNORED)])
def test_activate_pdk_by_name_warns(monkeypatch, name, extra):
    monkeypatch.setattr(baseline, "get_pdk", lambda: "the pdk")
    with pytest.warns(DeprecationWarning) as record:
        assert baseline.activate_pdk_by_name(name=name) == "the pdk"
    assert (
        str(record[0].message)
        == "activate_pdk_by_name is deprecated, use get_pdk() instead. " + extra
    )
    assert record[0].filename == __file__


@pytest.mark.parametrize("same_object", [False, True])
def test_base_pdk_is_frozen(monkeypatch, lines, same_object):
    def make_pdk(name):
        pdk = object.__new__(baseline.FrozenPdk.__mro__[1])
        pdk.__dict__.update(name=name, cells={"a": 1}, layers=[1, 2], activated=[])
        pdk.__dict__["activate"] = lambda: pdk.activated.append(name)
        return pdk

    project = make_pdk("proj")
    base = project if same_object else make_pdk("base")
    monkeypatch.setattr(baseline, "_get_pdk", functools.cache(lambda: project))
    baseline._get_pdk.__wrapped__ = lambda: base

    frozen = baseline.get_pdk() and baseline.get_base_pdk()
    assert type(frozen) is baseline.FrozenPdk and frozen is not project
    assert type(frozen.cells) is frozendict and frozen.layers == (1, 2)
    assert type(project.cells) is dict and project.activated == ["proj", "proj"]
    assert lines == [("debug", f"Froze base PDK: {frozen.name}"), ("debug", "Activated PDK: proj")]
    for action in (lambda: setattr(frozen, "name", "x"), lambda: delattr(frozen, "cells")):
        with pytest.raises(AttributeError, match=r"^Frozen PDK cannot be modified\.$"):
            action()


def test_sort_paths_orders_by_depth_length_text():
    given = ["/p/sub/a.py", P("/p/aa.py"), P("/p/b.py"), P("/p/pkg/__init__.py"), P("/p/pkg/z.py")]
    expected = ["/p/b.py", "/p/aa.py", "/p/pkg/z.py", "/p/sub/a.py", "/p/pkg/__init__.py"]
    assert baseline._sort_paths(given) == [P(p) for p in expected]
    assert baseline._sort_paths(["x.py", "x.py"]) == [P.cwd() / "x.py"] * 2


@pytest.mark.parametrize("reload, passed", [(True, True), (0, False), (None, False), ("y", True)])
def test_import_modules(monkeypatch, reload, passed):
    rings, mmi, other = P("/proj/cells/rings.py"), P("/proj/mmi.py"), P("/proj/x.py")
    failure = ("proj.cells.rings", ImportError("boom"))
    fake = Imports(modules={mmi: "mmi module", other: None}, errors={rings: failure})
    monkeypatch.setattr(baseline, "imports", fake)
    records = {
        n: Record(n, str(p)) for n, p in zip("ambx", [rings, mmi, rings, other], strict=True)
    }

    result = baseline._import_modules(records, [], reload=reload)
    assert result == ({mmi: "mmi module"}, {rings: failure})
    assert fake.calls == [{"paths": [other, mmi, rings], "reload": passed, "from_project": False}]
    assert baseline._import_modules(records, [str(mmi), other]) == ({}, {})
    assert fake.calls[-1]["paths"] == [other]


def test_handle_import_errors(monkeypatch, lines):
    rings, other = P("/proj/cells/rings.py"), P("/proj/other.py")
    static = {n: Record(n, str(rings)) for n in ("ring_a", "ring_b")}
    static["taper"] = Record("taper", str(other), extra=[1])
    monkeypatch.setattr(baseline, "imports", Imports(regex={rings: ["ring_a", "ring_c", "taper"]}))
    boom = ValueError("boom")

    cells, records = baseline._handle_import_errors(
        static, {rings: ("M", boom), other: ("O", boom)}
    )

    assert lines == [("warning", "rings.py: boom"), ("warning", "other.py: boom")]
    # taper is claimed by both files: the later one wins
    modnames = {n: c.__module__ for n, c in cells.items()}
    assert modnames == {"ring_a": "M", "ring_b": "M", "ring_c": "M", "taper": "O"}
    assert records["ring_c"] == Record("ring_c", str(rings), "ERROR", "boom")
    assert records["taper"] == Record("taper", str(other), "ERROR", "boom", extra=[1])
    assert records["taper"].extra is not static["taper"].extra
    assert static["taper"].status == "UNKNOWN"


def test_error_cell_raises_stored_error_with_stable_traceback():
    cell = baseline._error_cell("ring_a", "pkg.rings", "no foo")
    assert (cell.__name__, cell.__qualname__, cell.__module__) == ("ring_a", "ring_a", "pkg.rings")
    per_call = baseline._error_cell("c", "m", KeyError)
    raised, depths = [], []
    for fn, exc_type in [(cell, RuntimeError)] * 3 + [(per_call, KeyError)] * 2:
        with pytest.raises(exc_type) as info:
            fn(1, width=2)
        raised.append(info.value)
        depths.append(len(traceback.extract_tb(info.value.__traceback__)))
    assert raised[0] is raised[2] and raised[0].args == ("no foo",)
    assert depths[:3] == [2, 2, 2]  # this frame and the cell's, never more
    assert raised[3] is not raised[4]  # an exception class is instantiated per call


def test_find_cells(monkeypatch, lines):
    here, lazy, gone = P("/p/here.py"), P("/p/lazy.py"), P("/p/gone.py")
    fake = Imports(modules={lazy: module("lazy", ring=len, empty=None)})
    monkeypatch.setattr(baseline, "imports", fake)
    static = {"ring": Record("ring", str(here)), "skip": Record("skip", str(gone), "ERROR")}
    static["lazy_ring"] = Record("ring", str(lazy))  # looked up by key, reported by name
    static["empty"] = Record("shown", str(lazy))
    static["lost"] = Record("lost", str(gone))
    modules = {here: module("here", ring=abs)}

    cells = baseline._find_cells(static, modules)

    assert list(cells) == ["ring", "lazy_ring", "empty", "lost"] and cells["ring"] is abs
    assert lazy in modules and [c["paths"] for c in fake.calls] == [[lazy], [gone]]
    assert (static["skip"].message, static["lost"].status) == ("", "ERROR")
    missing = "Module for cell 'lost' with path /p/gone.py not found."
    assert [text for _, text in lines] == [
        "Cell 'ring' not found in '/p/lazy.py'.",
        "Cell 'shown' not found in '/p/lazy.py'.",
        missing,
    ]
    with pytest.raises(ModuleNotFoundError, match=f"^{missing}$"):
        cells["lost"]()
    assert (cells["empty"].__name__, cells["empty"].__module__) == ("empty", "lazy.py")


def test_get_database_updates(lines):
    src = "/p/a.py"
    static = {n: Record(n, src) for n in ("new", "same", "changed")}
    static |= {"moved": Record("moved", "/p/b.py", "ERROR", "m"), "key": Record("by_name", src)}
    static |= {"asked": Record("asked", "/p/c.py", "ERROR")}
    static["changed"].extra = 2
    present = {n: Record(n, src, "OK", "kept") for n in ("moved", "same", "changed", "old")}
    present |= {"key": Record("by_name", "/p/z.py"), "asked": Record("asked", "/p/c.py")}

    add, remove = baseline._get_database_updates(static, present, [P("/p/c.py")])

    keys = ["asked", "key", "changed", "moved", "new"]  # ordered by record name
    assert [id(r) for r in add] == [id(static[k]) for k in keys] and remove == ["old"]
    outcome = [(static[k].status, static[k].message) for k in ("moved", "asked", "same", "changed")]
    assert outcome == [("ERROR", "m"), ("ERROR", ""), ("OK", "kept"), ("OK", "kept")]
    assert lines == [
        ("info", "new factories: ['new']"),
        ("info", "updated factories: ['asked', 'by_name', 'changed', 'moved']"),
        ("info", "removed factories: ['old']"),
    ]


CLASHES = [  # container's module, cell's module (None: no __module__), which one stays
    (None, "proj.cells", "cell"),
    ("", "lib.x", "cell"),
    ("lib.x", None, "container"),
    ("proj.cells", "lib.x", "container"),
    ("lib.x", "proj.cells", "cell"),
    ("lib.x", "lib.y", "cell"),
    ("proj.a", "proj.b", "container"),
    ("proj", "lib.x", "cell"),
]


@pytest.mark.parametrize("container_mod, cell_mod, kept", CLASHES)
def test_clean_containers_also_in_cells(container_mod, cell_mod, kept):
    container, cell = (
        object() if mod is None else SimpleNamespace(__module__=mod)
        for mod in (container_mod, cell_mod)
    )
    pdk = SimpleNamespace(containers={"k": container, "c": 1}, cells={"k": cell, "x": 2})
    baseline._clean_containers_also_in_cells(pdk)
    expected = (["k", "c"], ["x"]) if kept == "container" else (["c"], ["k", "x"])
    assert (list(pdk.containers), list(pdk.cells)) == expected

    same = SimpleNamespace(containers={"k": container}, cells={"k": container})
    baseline._clean_containers_also_in_cells(same)
    assert (same.containers, same.cells) == ({"k": container}, {})


def test_filter_records_for_non_pdk_project():
    sources = ["/elsewhere/x.py", "/work/proj/a/b.py", "/work/other/b.py", "/work/proj"]
    static = {
        n: Record(n, s)
        for n, s in zip(["base_cell", "mine", "sibling", "root"], sources, strict=True)
    }
    base_pdk = SimpleNamespace(cells={"base_cell"})
    filtered = baseline._filter_records_for_non_pdk_project(static, base_pdk)
    assert list(filtered) == ["base_cell", "mine", "root"] and len(static) == 4
    assert all(filtered[k] is static[k] for k in filtered)


def test_register_cells_with_paths(monkeypatch, lines):
    a_py, b_py = P("/work/proj/a.py"), P("/work/proj/b.py")
    static = {"ring": Record("ring", str(a_py)), "taper": Record("taper", str(b_py))}
    stored = {n: Record(n, str(a_py)) for n in ("ring", "stale", "gone")}
    pdk = SimpleNamespace(name="proj", activate=lambda: None, cells={"gone": 1}, containers={})
    errors = {b_py: ("proj.b", ImportError("bad"))}
    imports = Imports({a_py: module("proj.a", ring=abs)}, errors, regex={b_py: ["taper"]})
    calls = []

    def note(*entry, result=None):
        calls.append(entry)
        return result

    db = SimpleNamespace(
        get_factories_by_name=lambda *n: note(
            "name", *n, result={k: stored[k] for k in n if k in stored}
        ),
        get_factories_by_source=lambda *p: note("source", *p, result={a_py: ["ring", "gone"] * 2}),
        update_factories=lambda *, add, remove: note("update", [r.name for r in add], remove),
    )
    cg = SimpleNamespace(create_callgraph=lambda: "G")
    cg.get_static_records = lambda G, *, paths: note("static", G, paths, result=static)
    monkeypatch.setattr(baseline, "get_pdk", lambda: pdk)
    monkeypatch.setattr(baseline, "get_base_pdk", lambda: SimpleNamespace(cells={}))
    for name, value in dict(imports=imports, db=db, cg=cg, register_models=note).items():
        monkeypatch.setattr(baseline, name, value)

    added, removed = baseline.register_cells(paths=(p for p in [a_py, b_py]), reload=0)

    assert (added, removed) == (["ring", "taper"], ["gone"])
    assert calls == [
        ("static", "G", [a_py, b_py]),
        ("name", "ring", "taper"),
        ("source", a_py, b_py),
        ("name", "gone", "gone"),  # listed twice, not fetched again when already present
        ("update", ["ring", "taper"], ["gone"]),
    ]
    assert imports.calls[0]["reload"] is False
    assert pdk.cells["ring"] is abs and "gone" not in pdk.cells
    with pytest.raises(ImportError, match="^bad$"):
        pdk.cells["taper"]()
