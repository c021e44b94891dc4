import copy
import importlib
import subprocess
import sys
from collections.abc import Callable

import lumset as lm
import pytest


class Frozen(lm.Pdk):
    def __setattr__(self, name: str, value: object) -> None:
        raise AttributeError("frozen")

    def __delattr__(self, name: str) -> None:
        raise AttributeError("frozen")


def test_class_switch_to_a_read_only_subclass() -> None:
    pdk = lm.Pdk("generic", cells={"a": lm.cell(lambda: lm.Component())})
    pdk.__dict__.update(cells=dict(pdk.cells), extra=[1])
    pdk.__class__ = Frozen
    assert type(pdk) is Frozen and repr(pdk).startswith("Frozen(name='generic'")
    with pytest.raises(AttributeError, match="frozen"):
        pdk.name = "other"
    with pytest.raises(AttributeError, match="frozen"):
        del pdk.cells
    assert pdk.name == "generic" and list(pdk.cells) == ["a"]


def test_copy_has_its_own_dict() -> None:
    pdk = lm.Pdk("generic", containers={"c": lm.cell(lambda: lm.Component())})
    clone = copy.copy(pdk)
    assert type(clone) is lm.Pdk and clone is not pdk
    assert clone.__dict__ == pdk.__dict__ and clone.__dict__ is not pdk.__dict__
    clone.name = "changed"
    assert pdk.name == "generic"


def test_activate(monkeypatch: pytest.MonkeyPatch) -> None:
    monkeypatch.setattr(lm, "_active_pdk", None)
    first, second = lm.Pdk("one"), lm.Pdk("two")
    assert lm.get_active_pdk() is None
    first.activate()
    second.activate()
    assert lm.get_active_pdk() is second


def make_square(size: float = 1.0) -> lm.Component:
    c = lm.Component()
    c.add_polygon([(0, 0), (size, 0), (size, size), (0, size)], (1, 0))
    return c


@pytest.mark.parametrize("decorate", [lm.cell, lm.cell()])
def test_cell_decorator(
    decorate: Callable[[Callable[..., lm.Component]], Callable[..., lm.Component]],
) -> None:
    square = decorate(make_square)
    assert (square.__name__, square.__module__) == ("make_square", __name__)
    assert square.__wrapped__ is make_square  # type: ignore[attr-defined]
    assert square().name == "make_square"
    assert square(size=2.0).name == "make_square_size2.0"


def test_cell_must_return_a_component() -> None:
    @lm.cell
    def not_a_cell() -> lm.Component:
        return "text"  # type: ignore[return-value]

    with pytest.raises(TypeError, match="'not_a_cell' returned str"):
        not_a_cell()


@pytest.mark.parametrize(
    ("module", "name"), [("lumset.generic_tech", "generic"), ("lumset.gpdk", "gpdk")]
)
def test_generic_pdks(module: str, name: str) -> None:
    mod = importlib.import_module(module)
    cached = mod.get_generic_pdk()
    assert cached is mod.get_generic_pdk()
    fresh = mod.get_generic_pdk.__wrapped__()
    assert isinstance(fresh, lm.Pdk) and fresh is not cached and fresh.name == name
    assert "add_pads" in fresh.containers
    for factory in [*fresh.cells.values(), *fresh.containers.values()]:
        assert factory.__module__.startswith("lumset.")
    component = fresh.cells["straight"](length=5.0)
    assert isinstance(fresh.containers["add_pads"](component), lm.Component)
    reloaded = importlib.reload(mod)
    assert reloaded.get_generic_pdk.__wrapped__().name == name


def test_import_is_independent_of_quorin() -> None:
    code = "import lumset, sys; print(sorted(m for m in sys.modules if m.startswith('quorin')))"
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True)
    assert out.stdout.strip() == "[]"
