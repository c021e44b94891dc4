import math

import lumset as lm
from demo.cells.waveguides import straight_wg
from lumset.components import WG


def _circle(radius: float, width: float, steps: int = 90) -> list[tuple[float, float]]:
    outer = [
        ((radius + width / 2) * math.cos(a), (radius + width / 2) * math.sin(a))
        for a in (2 * math.pi * i / steps for i in range(steps + 1))
    ]
    inner = [
        (
            (radius - width / 2) * x / (radius + width / 2),
            (radius - width / 2) * y / (radius + width / 2),
        )
        for x, y in reversed(outer)
    ]
    return outer + inner


@lm.cell
def ring_single(radius: float = 10.0, gap: float = 0.2, width: float = 0.5) -> lm.Component:
    c = lm.Component()
    bus = c.add_ref(straight_wg(length=2 * radius + 4, width=width))
    c.add_polygon(_circle(radius, width), WG)
    c.add_port("o1", bus.ports["o1"].center, 180, width)
    c.add_port("o2", bus.ports["o2"].center, 0, width)
    c.add_port("gap", (0.0, gap), 90, 0.0)
    return c


@lm.cell
def ring_double(radius: float = 10.0, gap: float = 0.2, width: float = 0.5) -> lm.Component:
    c = lm.Component()
    c.add_ref(ring_single(radius=radius, gap=gap, width=width))
    drop = c.add_ref(straight_wg(length=2 * radius + 4, width=width))
    for name, port in drop.ports.items():
        c.add_port(f"drop_{name}", port.center, port.orientation, port.width)
    return c
