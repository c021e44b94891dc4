import tomllib
from pathlib import Path

import pytest

from quorin import settings
from quorin.core.database import database_path

from .helpers import write


@pytest.mark.parametrize(
    ("variable", "cwd"),
    [
        ("{root}", "."),
        ("x/../workspace", "."),  # relative to the current directory
        (None, "workspace"),
        (None, "workspace/my_proj/cells"),  # the nearest pyproject.toml upwards
    ],
)
def test_project_found_as_packaging_tools_find_it(
    tmp_path: Path, monkeypatch: pytest.MonkeyPatch, variable: str | None, cwd: str
) -> None:
    root = tmp_path / "workspace"
    write(root, "pyproject.toml", '[project]\nname = "my-proj"\n')
    (root / "my_proj" / "cells").mkdir(parents=True)
    monkeypatch.chdir(tmp_path / cwd)
    if variable is None:
        monkeypatch.delenv("QUORIN_PROJECT_DIR")
    else:
        monkeypatch.setenv("QUORIN_PROJECT_DIR", variable.format(root=root))
    monkeypatch.delenv("QUORIN_DATABASE", raising=False)
    assert settings.get_project_dir() == root.resolve()
    # Distribution name "my-proj", package "my_proj", as packaging tools derive it.
    assert (settings.get_pdk_name(), settings.get_project_name(), settings.is_a_pdk()) == (
        "generic",
        "my_proj",
        False,
    )
    assert database_path() == root.resolve() / "build" / "quorin.db"


@pytest.mark.parametrize(
    ("toml", "expected"),
    [
        ('[project]\nname = "demo"\n', ("generic", "demo", False)),
        ('[project]\nname = "demo"\n[tool.quorin]\npdk = "gpdk"\n', ("gpdk", "demo", False)),
        (
            '[project]\nname = "x"\n[tool.quorin]\nname = "mypdk"\nis_pdk = true\n',
            ("generic", "mypdk", True),
        ),
    ],
)
def test_values_read_afresh(project: Path, toml: str, expected: tuple[str, str, bool]) -> None:
    assert settings.get_project_name() == "proj"
    (project / expected[1]).mkdir()
    write(project, "pyproject.toml", toml)
    assert (settings.get_pdk_name(), settings.get_project_name(), settings.is_a_pdk()) == expected


@pytest.mark.parametrize(
    ("toml", "complaint"),
    [
        ("[tool.quorin\npdk = 1", "not a valid TOML file"),
        ("[tool.quorin]\npdk = 3\n", "[tool.quorin] pdk must be a str, got int"),
        ('tool = "quorin"\n', "[tool.quorin] must be a table"),
    ],
)
def test_malformed_pyproject_names_the_file(project: Path, toml: str, complaint: str) -> None:
    write(project, "pyproject.toml", toml)
    with pytest.raises(settings.SettingsError) as info:
        settings.get_pdk_name()
    assert str(info.value).startswith(f"{project / 'pyproject.toml'}: {complaint}")


@pytest.mark.parametrize("new_name", ["bbbb", "a_longer_name"], ids=["same-size", "other-size"])
def test_parsed_once_per_change(
    project: Path, monkeypatch: pytest.MonkeyPatch, new_name: str
) -> None:
    for name in ("aaaa", new_name):
        (project / name).mkdir()
    write(project, "pyproject.toml", '[project]\nname = "aaaa"\n')
    parsed: list[str] = []
    loads = tomllib.loads
    monkeypatch.setattr(tomllib, "loads", lambda text: parsed.append(text) or loads(text))
    assert [settings.get_project_name() for _ in range(3)] == ["aaaa"] * 3
    assert len(parsed) == 1
    # Written within the same clock tick, a same-size edit leaves the same times behind.
    write(project, "pyproject.toml", f'[project]\nname = "{new_name}"\n')
    assert settings.get_project_name() == new_name and settings.is_a_pdk() is False
    assert len(parsed) == 2
    other = project.parent / "other"
    write(other, "pyproject.toml", '[project]\nname = "other"\n')
    (other / "other").mkdir()
    monkeypatch.setenv("QUORIN_PROJECT_DIR", str(other))
    assert settings.get_project_name() == "other"
