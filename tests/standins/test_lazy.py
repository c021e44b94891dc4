import sys
from pathlib import Path

import pytest

from quorin.core.lazy import lazy_import

from .helpers import write

pytestmark = pytest.mark.usefixtures("isolated_imports")


@pytest.fixture
def target(tmp_path: Path) -> str:
    """The name of a module on sys.path that is not imported yet."""
    name = f"lazy_target_{tmp_path.name}".replace("-", "_")
    write(tmp_path, f"{name}.py", "VALUE = 42\ndef scale(x, *, by=1):\n    return x * by\n")
    sys.path.insert(0, str(tmp_path))
    return name


def test_module_proxy(target: str) -> None:
    proxy = lazy_import(target)
    assert target in repr(proxy) and target not in sys.modules
    assert proxy.VALUE == 42
    proxy.VALUE = 7
    assert sys.modules[target].VALUE == 7
    del proxy.VALUE
    assert not hasattr(sys.modules[target], "VALUE")


def test_attribute_proxy(target: str) -> None:
    proxy = lazy_import(target, "scale")
    assert f"{target}.scale" in repr(proxy) and target not in sys.modules
    assert proxy(3, by=2) == 6 and proxy.__name__ == "scale"
    missing = lazy_import("no_such_module_for_lazy", "anything")
    with pytest.raises(ModuleNotFoundError):
        missing()
