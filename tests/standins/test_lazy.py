import sys
from pathlib import Path

import pytest
from frozendict import frozendict
from quorin.core.lazy import lazy_import

from .helpers import write

pytestmark = pytest.mark.usefixtures("isolated_imports")


@pytest.fixture
def target(tmp_path: Path) -> str:
    """The name of a not yet imported module on sys.path."""
    name = f"lazy_target_{tmp_path.name}".replace("-", "_")
    write(tmp_path, f"{name}.py", "VALUE = 42\n\ndef scale(x, *, by=1):\n    return x * by\n")
    sys.path.insert(0, str(tmp_path))
    return name


def test_module_proxy_imports_on_first_attribute_read(target: str) -> None:
    proxy = lazy_import(target)
    assert target in repr(proxy)
    assert target not in sys.modules
    assert proxy.VALUE == 42
    assert target in sys.modules


def test_module_proxy_writes_through(target: str) -> None:
    proxy = lazy_import(target)
    proxy.VALUE = 7
    assert sys.modules[target].VALUE == 7
    del proxy.VALUE
    assert not hasattr(sys.modules[target], "VALUE")


def test_attribute_proxy_calls_on_first_use(target: str) -> None:
    proxy = lazy_import(target, "scale")
    assert f"{target}.scale" in repr(proxy)
    assert target not in sys.modules
    assert proxy(3, by=2) == 6
    assert proxy.__name__ == "scale"


def test_module_replaced_in_sys_modules_is_followed(target: str) -> None:
    proxy = lazy_import(target)
    assert proxy.VALUE == 42
    replacement = type(sys)(target)
    replacement.VALUE = 1  # type: ignore[attr-defined]
    sys.modules[target] = replacement
    assert proxy.VALUE == 1


def test_missing_module_fails_at_use_not_at_binding() -> None:
    proxy = lazy_import("no_such_module_for_lazy", "anything")
    with pytest.raises(ModuleNotFoundError):
        proxy()


def test_class_behind_attribute_proxy() -> None:
    assert lazy_import("frozendict", "frozendict")({"a": 1}) == frozendict(a=1)
    assert lazy_import("quorin.logger", "get_logger")().name == "quorin"
