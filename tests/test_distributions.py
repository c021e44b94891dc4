"""The module's distribution installs into the product's environment and replaces none of it.

The stand-ins' distribution plays the product. Both distributions, and the module's dependency,
are packed again as wheels from what the running environment has installed (their RECORD files,
every hash checked), so nothing is built; a new environment gets the product first, then the
module.
"""

from __future__ import annotations

import base64
import hashlib
import json
import os
import shutil
import subprocess
import sys
import textwrap
import zipfile
from importlib import machinery, metadata
from pathlib import Path
from typing import Any

import pytest

MODULE, PRODUCT, DEPENDENCY = "quorin-core-pdk", "quorin-standins", "frozendict"
SAMPLE = Path(__file__).resolve().parents[1] / "examples" / "sample_project"
# What the module's distribution may hold besides its metadata: the extension, its stub, and the
# partial stub-only package that carries the stub to type checkers.
EXTENSIONS = {f"quorin/core/pdk{suffix}" for suffix in machinery.EXTENSION_SUFFIXES}
MODULE_FILES = {
    *EXTENSIONS,
    "quorin/core/pdk.pyi",
    "quorin-stubs/core/pdk.pyi",
    "quorin-stubs/py.typed",
}
# Written by the installer, not part of the wheel.
INSTALLER_FILES = {"INSTALLER", "REQUESTED", "RECORD", "direct_url.json"}
# The sanitizer run's settings are for the interpreter under test, not for pip.
SANITIZER_VARIABLES = {"LD_PRELOAD", "PYTHONMALLOC", "ASAN_OPTIONS", "UBSAN_OPTIONS"}


def digest(data: bytes) -> str:
    return base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()


def repacked(name: str, into: Path) -> Path:
    """The installed distribution `name` as a wheel again, from the files its RECORD lists."""
    dist = metadata.distribution(name)
    files = [f for f in dist.files or () if "__pycache__" not in f.parts]
    info = next(f.parts[0] for f in files if f.parts[0].endswith(".dist-info"))
    wheel_tag = next(
        line.split(":", 1)[1].strip()
        for line in (dist.read_text("WHEEL") or "").splitlines()
        if line.startswith("Tag:")
    )
    wheel = into / f"{info.removesuffix('.dist-info')}-{wheel_tag}.whl"
    rows = []
    with zipfile.ZipFile(wheel, "w") as out:
        for file in files:
            if file.parts[0] == info and file.name in INSTALLER_FILES:
                continue
            data = file.read_binary()
            if file.hash is not None:
                assert file.hash.mode == "sha256" and file.hash.value == digest(data), file
            out.writestr(str(file), data)
            rows.append(f"{file},sha256={digest(data)},{len(data)}")
        out.writestr(f"{info}/RECORD", "\n".join([*rows, f"{info}/RECORD,,", ""]))
    return wheel


def pip_install(python: Path, *wheels: Path) -> None:
    env = {k: v for k, v in os.environ.items() if k not in SANITIZER_VARIABLES and k[:4] != "PIP_"}
    env["PIP_CONFIG_FILE"] = os.devnull
    subprocess.run(
        [sys.executable, "-m", "pip", "--python", str(python), "install", "-q", "--no-index"]
        + ["--no-deps", "--disable-pip-version-check", *map(str, wheels)],
        env=env,
        check=True,
        capture_output=True,
        timeout=300,
    )


def records(site: Path) -> dict[str, set[str]]:
    """Distribution name to the paths its RECORD lists, for every distribution in `site`."""
    found = {}
    for dist in metadata.distributions(path=[str(site)]):
        found[dist.metadata["Name"]] = {str(f) for f in dist.files or ()}
    return found


def relative(site: Path, file: str) -> str:
    path = Path(file).resolve()
    return (
        path.relative_to(site.resolve()).as_posix() if path.is_relative_to(site.resolve()) else file
    )


def hashed(site: Path) -> dict[str, str]:
    return {
        p.relative_to(site).as_posix(): digest(p.read_bytes())
        for p in site.rglob("*")
        if p.is_file()
    }


@pytest.fixture(scope="module")
def product_env(tmp_path_factory: pytest.TempPathFactory) -> dict[str, Any]:
    """A new environment with the product and the dependency, then the module installed in it."""
    root = tmp_path_factory.mktemp("distributions")
    wheels = {name: repacked(name, root) for name in (MODULE, PRODUCT, DEPENDENCY)}
    env = root / "env"
    subprocess.run([sys.executable, "-m", "venv", "--without-pip", str(env)], check=True)
    python = env / ("Scripts/python.exe" if os.name == "nt" else "bin/python")
    site = Path(
        subprocess.run(
            [python, "-I", "-c", "import sysconfig; print(sysconfig.get_path('platlib'))"],
            capture_output=True,
            text=True,
            check=True,
        ).stdout.strip()
    )
    pip_install(python, wheels[PRODUCT], wheels[DEPENDENCY])
    before = hashed(site)
    pip_install(python, wheels[MODULE])
    return {"root": root, "python": python, "site": site, "before": before}


def test_the_module_installs_only_its_own_files(product_env: dict[str, Any]) -> None:
    site = product_env["site"]
    installed = records(site)
    module, product = installed[MODULE], installed[PRODUCT]
    assert module & product == set()
    assert {p for p in module if ".dist-info/" not in p} <= MODULE_FILES
    assert len(module & EXTENSIONS) == 1
    after = hashed(site)
    before = product_env["before"]
    assert {p: after.get(p) for p in before} == before
    assert set(after) - set(before) <= module


def test_the_module_runs_from_its_wheel_with_the_product(product_env: dict[str, Any]) -> None:
    work = product_env["root"] / "work"
    project = work / "sample_project"
    shutil.copytree(SAMPLE, project, ignore=shutil.ignore_patterns("build", "__pycache__"))
    env = dict(os.environ, QUORIN_PROJECT_DIR=str(project))
    env["QUORIN_DATABASE"] = str(work / "factories.db")
    code = """
        import json, sysconfig
        import lumset, quorin.core.pdk as pdk, quorin.settings
        added, removed = pdk.register_cells()
        modules = {m.__name__: m.__file__ for m in (pdk, quorin.settings, lumset)}
        cells = sorted(pdk.get_pdk().cells)
        print(json.dumps({"modules": modules, "added": added, "removed": removed, "cells": cells}))
    """
    # -I: neither the checkout nor PYTHONPATH can supply a module; the sanitizer run's variables
    # stay, as its extension needs the preloaded runtime.
    done = subprocess.run(
        [product_env["python"], "-I", "-c", textwrap.dedent(code)],
        cwd=work,
        env=env,
        capture_output=True,
        text=True,
        timeout=120,
    )
    assert done.returncode == 0, done.stderr
    run = json.loads(done.stdout.splitlines()[-1])
    site = product_env["site"]
    owners = {dist: paths for dist, paths in records(site).items() if dist in (MODULE, PRODUCT)}
    places = {
        name: {dist for dist, paths in owners.items() if relative(site, file) in paths}
        for name, file in run["modules"].items()
    }
    assert places == {
        "quorin.core.pdk": {MODULE},
        "quorin.settings": {PRODUCT},
        "lumset": {PRODUCT},
    }
    assert relative(site, run["modules"]["quorin.core.pdk"]) in EXTENSIONS
    assert run["added"] and run["removed"] == []
    assert set(run["added"]) <= set(run["cells"])
