"""Technology-neutral cells and containers shared by the generic PDKs."""

import math

from lumset import Component, cell

WG = (1, 0)
HEATER = (47, 0)
METAL = (49, 0)


@cell
def straight(length: float = 10.0, width: float = 0.5) -> Component:
    c = Component()
    c.add_polygon([(0, -width / 2), (length, -width / 2), (length, width / 2), (0, width / 2)], WG)
    c.add_port("o1", (0, 0), 180, width)
    c.add_port("o2", (length, 0), 0, width)
    return c


@cell
def bend_circular(radius: float = 10.0, angle: float = 90.0, width: float = 0.5) -> Component:
    """A circular arc turning left by `angle` degrees, drawn as a polygon of 2-degree steps."""
    steps = max(2, math.ceil(abs(angle) / 2))
    angles = [math.radians(angle) * i / steps for i in range(steps + 1)]
    outer = [
        ((radius + width / 2) * math.sin(a), radius - (radius + width / 2) * math.cos(a))
        for a in angles
    ]
    inner = [
        ((radius - width / 2) * math.sin(a), radius - (radius - width / 2) * math.cos(a))
        for a in reversed(angles)
    ]
    c = Component()
    c.add_polygon(outer + inner, WG)
    end = math.radians(angle)
    c.add_port("o1", (0, 0), 180, width)
    c.add_port("o2", (radius * math.sin(end), radius - radius * math.cos(end)), angle, width)
    return c


@cell
def pad(size: float = 100.0) -> Component:
    c = Component()
    h = size / 2
    c.add_polygon([(-h, -h), (h, -h), (h, h), (-h, h)], METAL)
    c.add_port("e1", (0, 0), 0, size)
    return c


@cell
def add_pads(component: Component, pitch: float = 150.0) -> Component:
    """Container: `component` with one bond pad per electrical port (name starting with "e")."""
    c = Component(name=f"{component.name}_pads")
    c.add_ref(component)
    electrical = [p for p in component.ports.values() if p.name.startswith("e")]
    for i, port in enumerate(electrical):
        c.add_ref(pad())
        c.add_port(f"pad_{i}", (port.center[0] + i * pitch, -200.0), 270, 100.0)
    for port in component.ports.values():
        if not port.name.startswith("e"):
            c.add_port(port.name, port.center, port.orientation, port.width)
    return c


@cell
def extend_ports(component: Component, length: float = 5.0) -> Component:
    """Container: `component` with a short straight on each optical port."""
    c = Component(name=f"{component.name}_extended")
    c.add_ref(component)
    for port in component.ports.values():
        c.add_ref(straight(length=length, width=port.width))
        c.add_port(port.name, port.center, port.orientation, port.width)
    return c
