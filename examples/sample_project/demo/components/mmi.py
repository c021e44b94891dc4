import lumset as lm
from demo.cells.waveguides import taper
from lumset.components import WG


@lm.cell
def mmi1x2(length: float = 5.5, width: float = 2.5, gap: float = 0.25) -> lm.Component:
    c = lm.Component()
    c.add_polygon([(0, -width / 2), (length, -width / 2), (length, width / 2), (0, width / 2)], WG)
    c.add_ref(taper())
    c.add_port("o1", (0, 0), 180, 0.5)
    c.add_port("o2", (length, (gap + 0.5) / 2), 0, 0.5)
    c.add_port("o3", (length, -(gap + 0.5) / 2), 0, 0.5)
    return c


@lm.cell
def mmi2x2(length: float = 10.0, width: float = 2.5, gap: float = 0.25) -> lm.Component:
    c = mmi1x2(length=length, width=width, gap=gap)
    c.name = ""  # named after this factory, not the one it reuses
    c.add_port("o4", (0, -(gap + 0.5) / 2), 180, 0.5)
    return c
