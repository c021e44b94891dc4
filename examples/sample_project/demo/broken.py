"""Heater-tuned rings, which need a thermal model package that is not installed."""

import lumset as lm
from demo.cells.rings import ring_single
from demo.thermal_models import heater_model  # no such module: importing this file fails


@lm.cell
def heated_ring(radius: float = 10.0, power_mw: float = 1.0) -> lm.Component:
    c = lm.Component()
    c.add_ref(ring_single(radius=radius))
    c.add_port("e1", (0, radius), 90, heater_model.width(power_mw))
    return c


if heater_model.SUPPORTS_DOUBLE_HEATERS:

    @lm.cell
    def heated_ring_double(radius: float = 10.0) -> lm.Component:
        c = heated_ring(radius=radius)
        c.add_port("e2", (0, -radius), 270, heater_model.width(1.0))
        return c
