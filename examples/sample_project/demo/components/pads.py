import lumset as lm
from lumset.components import pad


@lm.cell
def add_pads(component: lm.Component, pitch: float = 100.0) -> lm.Component:
    """The project's own pad frame: a pad row at a tighter pitch than the PDK's container."""
    c = lm.Component(name=f"{component.name}_padded")
    c.add_ref(component)
    for i in range(2):
        c.add_ref(pad(size=80.0))
        c.add_port(f"pad_{i}", (i * pitch, -150.0), 270, 80.0)
    return c
