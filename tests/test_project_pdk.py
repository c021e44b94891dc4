"""Resolution of the project PDK (`_get_pdk`)."""

from __future__ import annotations

import sys
from types import ModuleType, SimpleNamespace
from typing import Any

import pytest

from tests.fakes import FakeImportlib, FakePdk, module_with, raising


def generic_module(name: str) -> Any:
    def get_generic_pdk() -> FakePdk:
        return FakePdk("the library's cached PDK")

    # Past the library's cache: a PDK of the module's name.
    get_generic_pdk.__wrapped__ = lambda: FakePdk(name)  # type: ignore[attr-defined]
    return lambda: module_with(name, get_generic_pdk=get_generic_pdk)


def package(name: str, with_pdk: bool = True) -> Any:
    return lambda: module_with(name, **({"PDK": FakePdk(name)} if with_pdk else {}))


@pytest.fixture
def env(monkeypatch: pytest.MonkeyPatch, impl: Any, services: SimpleNamespace) -> SimpleNamespace:
    sys_modules: dict[str, Any] = {}
    factories = {
        "lumset.generic_tech": generic_module("lumset.generic_tech"),
        "lumset.gpdk": generic_module("lumset.gpdk"),
        "mypdk": package("mypdk"),
        "generic": package("generic"),
        "mypdk.pdk": package("mypdk.pdk"),
    }
    importlib = FakeImportlib(services.calls, sys_modules, factories)
    monkeypatch.setattr(impl, "importlib", importlib)
    monkeypatch.setattr(impl, "sys", SimpleNamespace(modules=sys_modules))
    services.sys_modules = sys_modules
    services.factories = factories
    return services


def imports_made(calls: list[Any]) -> list[Any]:
    return [c for c in calls if c[0] in ("import_module", "reload")]


@pytest.mark.parametrize(
    ("pdk_name", "project_name", "module"),
    [
        ("Generic", "demo", "lumset.generic_tech"),
        ("GENERIC", "demo", "lumset.generic_tech"),
        ("GPDK", "demo", "lumset.gpdk"),
        ("gpdk", "generic2", "lumset.gpdk"),
    ],
)
def test_generic_names_build_a_fresh_generic_pdk(
    impl: Any, env: SimpleNamespace, pdk_name: str, project_name: str, module: str
) -> None:
    env.settings.pdk_name, env.settings.project_name = pdk_name, project_name
    result = impl._get_pdk()
    assert result.name == module
    assert imports_made(env.calls) == [("import_module", module)]


@pytest.mark.parametrize("project_name", ["gpdk", "GENERIC"])
def test_project_named_like_a_generic_pdk_imports_the_package(
    impl: Any, env: SimpleNamespace, project_name: str
) -> None:
    env.settings.pdk_name, env.settings.project_name = "generic", project_name
    assert impl._get_pdk().name == "generic"
    assert imports_made(env.calls) == [("import_module", "generic")]


def test_generic_module_already_imported_is_reloaded(impl: Any, env: SimpleNamespace) -> None:
    env.settings.pdk_name = "gpdk"
    env.sys_modules["lumset.gpdk"] = env.factories["lumset.gpdk"]()
    impl._get_pdk()
    assert imports_made(env.calls) == [("import_module", "lumset.gpdk"), ("reload", "lumset.gpdk")]


def test_package_first_import_has_no_reload(impl: Any, env: SimpleNamespace) -> None:
    result = impl._get_pdk()
    assert result is env.sys_modules["mypdk"].PDK
    assert imports_made(env.calls) == [("import_module", "mypdk")]


def test_uncached_resolution_reloads_package_and_prefers_submodule(
    impl: Any, env: SimpleNamespace
) -> None:
    cached = impl._get_pdk()
    env.sys_modules["mypdk.pdk"] = env.factories["mypdk.pdk"]()
    fresh = impl._get_pdk.__wrapped__()
    assert fresh is env.sys_modules["mypdk.pdk"].PDK
    assert fresh is not cached
    assert imports_made(env.calls)[1:] == [
        ("import_module", "mypdk"),
        ("reload", "mypdk"),
        ("reload", "mypdk.pdk"),
    ]


def test_package_without_pdk_served_by_reloaded_submodule(impl: Any, env: SimpleNamespace) -> None:
    env.factories["mypdk"] = package("mypdk", with_pdk=False)
    env.sys_modules["mypdk"] = env.factories["mypdk"]()
    env.sys_modules["mypdk.pdk"] = env.factories["mypdk.pdk"]()
    assert impl._get_pdk().name == "mypdk.pdk"


def test_package_without_pdk_raises_and_caches_nothing(impl: Any, env: SimpleNamespace) -> None:
    env.factories["mypdk"] = package("mypdk", with_pdk=False)
    with pytest.raises(ImportError) as info:
        impl._get_pdk()
    assert info.value.args == ("Module 'mypdk' does not expose a PDK in its __init__.py.",)
    env.factories["mypdk"] = package("mypdk")
    env.sys_modules.clear()
    assert impl._get_pdk().name == "mypdk"


def test_cached_resolution_reads_settings_once(impl: Any, env: SimpleNamespace) -> None:
    assert impl._get_pdk() is impl._get_pdk()
    assert env.calls.count(("settings.get_pdk_name",)) == 1


def test_outside_errors_pass_through_unchanged(impl: Any, env: SimpleNamespace) -> None:
    boom = LookupError("settings unreadable")
    env.settings.get_pdk_name = raising(boom)
    with pytest.raises(LookupError) as info:
        impl._get_pdk()
    assert info.value is boom
    env.settings.get_pdk_name = lambda: None  # no lower()
    with pytest.raises(AttributeError):
        impl._get_pdk()


def test_real_package_on_disk_is_imported_then_reloaded(
    impl: Any, services: SimpleNamespace, tmp_path: Any, monkeypatch: pytest.MonkeyPatch
) -> None:
    (tmp_path / "diskpdk").mkdir()
    (tmp_path / "diskpdk" / "__init__.py").write_text(
        "import itertools\nPDK = object()\nCOUNT = next(itertools.count())\n"
    )
    monkeypatch.syspath_prepend(str(tmp_path))
    monkeypatch.delitem(sys.modules, "diskpdk", raising=False)
    services.settings.pdk_name = "diskpdk"
    first = impl._get_pdk()
    module: ModuleType = sys.modules["diskpdk"]
    second = impl._get_pdk.__wrapped__()
    assert first is not second and second is module.PDK
    monkeypatch.delitem(sys.modules, "diskpdk")
