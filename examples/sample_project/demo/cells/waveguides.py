import lumset as lm
from lumset.components import WG


@lm.cell
def straight_wg(length: float = 10.0, width: float = 0.5) -> lm.Component:
    c = lm.Component()
    c.add_polygon([(0, -width / 2), (length, -width / 2), (length, width / 2), (0, width / 2)], WG)
    c.add_port("o1", (0, 0), 180, width)
    c.add_port("o2", (length, 0), 0, width)
    return c


@lm.cell()
def taper(length: float = 10.0, width1: float = 0.5, width2: float = 2.0) -> lm.Component:
    c = lm.Component()
    c.add_polygon(
        [(0, -width1 / 2), (length, -width2 / 2), (length, width2 / 2), (0, width1 / 2)], WG
    )
    c.add_port("o1", (0, 0), 180, width1)
    c.add_port("o2", (length, 0), 0, width2)
    return c
