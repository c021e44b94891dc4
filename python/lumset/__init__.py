"""lumset: a small layout library.

Layout cells are `Component`s built by cell factories, functions decorated with `cell`. A `Pdk`
bundles the factories of one technology: `cells` build components from parameters, `containers`
wrap an existing component (for example to add bond pads). One PDK at a time is active.

The generic PDKs live in `lumset.generic_tech` and `lumset.gpdk`; they are imported on demand
so that importing this package stays cheap.
"""

import functools

# Kept to the standard library's cheapest modules: the PDK service imports this package at start-up.
from collections.abc import Callable, Iterable
from typing import Any, NamedTuple, overload

__all__ = ["Component", "Pdk", "Port", "cell", "get_active_pdk"]

type Point = tuple[float, float]
type Layer = tuple[int, int]
type CellFactory = Callable[..., Component]


class Port(NamedTuple):
    name: str
    center: Point
    orientation: float
    width: float


class Component:
    """A layout cell: polygons on layers, ports, and references to other components."""

    def __init__(self, name: str = "") -> None:
        self.name = name
        self.polygons: list[tuple[Layer, list[Point]]] = []
        self.ports: dict[str, Port] = {}
        self.references: list[Component] = []

    def add_polygon(self, points: Iterable[Point], layer: Layer) -> None:
        self.polygons.append((layer, list(points)))

    def add_port(self, name: str, center: Point, orientation: float, width: float) -> Port:
        if name in self.ports:
            raise ValueError(f"component {self.name!r} already has a port {name!r}")
        port = self.ports[name] = Port(name, center, orientation, width)
        return port

    def add_ref(self, component: "Component") -> "Component":
        self.references.append(component)
        return component

    def __repr__(self) -> str:
        return (
            f"Component({self.name!r}, polygons={len(self.polygons)}, ports={list(self.ports)}, "
            f"references={len(self.references)})"
        )


@overload
def cell(func: Callable[..., Component], /) -> Callable[..., Component]: ...
@overload
def cell() -> Callable[[Callable[..., Component]], Callable[..., Component]]: ...
def cell(func: Callable[..., Component] | None = None, /) -> Any:
    """Mark a function as a cell factory; usable as `@cell` and `@cell()`.

    The factory must return a `Component`; one left unnamed is named after the factory and the
    arguments it was called with.
    """
    if func is None:
        return cell

    @functools.wraps(func)
    def factory(*args: Any, **kwargs: Any) -> Component:
        component = func(*args, **kwargs)
        if not isinstance(component, Component):
            raise TypeError(
                f"cell {func.__name__!r} returned {type(component).__name__}, not a Component"
            )
        if not component.name:
            component.name = _component_name(func.__name__, args, kwargs)
        return component

    return factory


def _component_name(base: str, args: tuple[Any, ...], kwargs: dict[str, Any]) -> str:
    parts = [base, *(str(a) for a in args), *(f"{k}{v}" for k, v in sorted(kwargs.items()))]
    return "_".join(parts)


class Pdk:
    """A process design kit: named cell and container factories of one technology.

    A plain class keeping all its state in the instance `__dict__`, so that `copy.copy` and
    changing the class of an instance (for example to a read-only subclass) work as for any
    Python object.
    """

    def __init__(
        self,
        name: str,
        cells: dict[str, CellFactory] | None = None,
        containers: dict[str, CellFactory] | None = None,
    ) -> None:
        self.name = name
        self.cells: dict[str, CellFactory] = dict(cells or {})
        self.containers: dict[str, CellFactory] = dict(containers or {})

    def activate(self) -> None:
        global _active_pdk
        _active_pdk = self

    def get_component(self, name: str, *args: Any, **kwargs: Any) -> Component:
        """Build the cell `name` with the given parameters."""
        try:
            factory = self.cells[name]
        except KeyError:
            raise KeyError(f"PDK {self.name!r} has no cell {name!r}") from None
        return factory(*args, **kwargs)

    def __repr__(self) -> str:
        return (
            f"{type(self).__name__}(name={self.name!r}, cells={len(self.cells)}, "
            f"containers={len(self.containers)})"
        )


_active_pdk: Pdk | None = None


def get_active_pdk() -> Pdk | None:
    """The PDK most recently activated, or None before any activation."""
    return _active_pdk
