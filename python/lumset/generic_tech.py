"""The generic PDK: the technology-neutral cells on generic layers."""

import functools

from lumset import Pdk
from lumset.components import add_pads, bend_circular, extend_ports, pad, straight


@functools.cache
def get_generic_pdk() -> Pdk:
    return Pdk(
        "generic",
        cells={"straight": straight, "bend_circular": bend_circular, "pad": pad},
        containers={"add_pads": add_pads, "extend_ports": extend_ports},
    )
