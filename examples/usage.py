"""How product code uses the PDK service; also checked by the type checker.

Run from inside a project (or with QUORIN_PROJECT_DIR set):

    python examples/usage.py
"""

from __future__ import annotations

from pathlib import Path

import lumset as lm
from quorin.core.pdk import (
    FrozenPdk,
    activate_pdk_by_name,
    get_base_pdk,
    get_pdk,
    register_cells,
)


def describe(pdk: lm.Pdk) -> str:
    return f"{pdk.name}: {len(pdk.cells)} cells, {len(pdk.containers)} containers"


def main(changed: list[Path] | None = None) -> None:
    pdk: lm.Pdk = get_pdk()
    base: lm.Pdk | FrozenPdk = get_base_pdk()
    print("active:", describe(pdk))
    print("base:  ", describe(base), "(frozen)" if isinstance(base, FrozenPdk) else "")
    added, removed = register_cells(paths=changed or (), reload=True)
    print(f"written: {added}\ndeleted: {removed}")
    same: lm.Pdk = activate_pdk_by_name(pdk.name)
    assert same is pdk


if __name__ == "__main__":
    main()
