import copy
import importlib

import pytest

import lumset as lm


class Frozen(lm.Pdk):
    def __setattr__(self, name: str, value: object) -> None:
        raise AttributeError("frozen")

    def __delattr__(self, name: str) -> None:
        raise AttributeError("frozen")


def test_copy_and_class_switch() -> None:
    pdk = lm.Pdk("generic", cells={"a": lm.cell(lambda: lm.Component())})
    clone = copy.copy(pdk)
    assert type(clone) is lm.Pdk and clone.__dict__ == pdk.__dict__
    assert clone.__dict__ is not pdk.__dict__
    clone.__dict__.update(cells=dict(clone.cells), extra=(1,))
    clone.__class__ = Frozen
    assert repr(clone).startswith("Frozen(name='generic'")
    with pytest.raises(AttributeError, match="frozen"):
        clone.name = "other"
    with pytest.raises(AttributeError, match="frozen"):
        del clone.cells
    assert type(pdk) is lm.Pdk and clone.name == "generic" and list(clone.cells) == ["a"]


def make_square(size: float = 1.0) -> lm.Component:
    c = lm.Component()
    c.add_polygon([(0, 0), (size, 0), (size, size), (0, size)], (1, 0))
    return c


def test_cell_decorator() -> None:
    for square in (lm.cell(make_square), lm.cell()(make_square)):
        assert (square.__name__, square.__module__) == ("make_square", __name__)
        assert (square().name, square(size=2.0).name) == ("make_square", "make_square_size2.0")
    with pytest.raises(TypeError, match="returned str, not a Component"):
        lm.cell(lambda: "text")()  # type: ignore[arg-type, return-value]


@pytest.mark.parametrize(
    ("module", "name"), [("lumset.generic_tech", "generic"), ("lumset.gpdk", "gpdk")]
)
def test_generic_pdks(module: str, name: str, monkeypatch: pytest.MonkeyPatch) -> None:
    mod = importlib.reload(importlib.import_module(module))
    assert mod.get_generic_pdk() is mod.get_generic_pdk()
    fresh: lm.Pdk = mod.get_generic_pdk.__wrapped__()
    assert fresh is not mod.get_generic_pdk() and fresh.name == name
    monkeypatch.setattr(lm, "_active_pdk", None)
    fresh.activate()
    assert lm.get_active_pdk() is fresh
    for factory in [*fresh.cells.values(), *fresh.containers.values()]:
        assert factory.__module__.startswith("lumset.")
    assert isinstance(fresh.containers["add_pads"](fresh.cells["straight"]()), lm.Component)
