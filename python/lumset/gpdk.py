"""The gpdk PDK: the generic cells plus a heated straight, as a foundry PDK would add."""

import functools

from lumset import Component, Pdk, cell
from lumset.components import HEATER, add_pads, bend_circular, pad, straight


@cell
def straight_heater(
    length: float = 100.0, width: float = 0.5, heater_width: float = 2.5
) -> Component:
    c = Component()
    c.add_ref(straight(length=length, width=width))
    h = heater_width / 2
    c.add_polygon([(0, -h), (length, -h), (length, h), (0, h)], HEATER)
    c.add_port("o1", (0, 0), 180, width)
    c.add_port("o2", (length, 0), 0, width)
    c.add_port("e1", (0, 0), 90, heater_width)
    c.add_port("e2", (length, 0), 90, heater_width)
    return c


@functools.cache
def get_generic_pdk() -> Pdk:
    return Pdk(
        "gpdk",
        cells={
            "straight": straight,
            "bend_circular": bend_circular,
            "pad": pad,
            "straight_heater": straight_heater,
        },
        containers={"add_pads": add_pads},
    )
