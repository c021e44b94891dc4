from pathlib import Path

import pytest
from quorin import settings

from .helpers import write


def test_defaults_without_pyproject(tmp_path: Path, monkeypatch: pytest.MonkeyPatch) -> None:
    project_dir = tmp_path / "My_Project"
    project_dir.mkdir()
    monkeypatch.setenv("QUORIN_PROJECT_DIR", str(project_dir / ".." / "My_Project"))
    assert settings.get_project_dir() == project_dir.resolve()
    assert settings.get_pdk_name() == "generic"
    assert settings.get_project_name() == "My_Project"
    assert settings.is_a_pdk() is False


def test_current_directory_without_environment(
    tmp_path: Path, monkeypatch: pytest.MonkeyPatch
) -> None:
    monkeypatch.delenv("QUORIN_PROJECT_DIR", raising=False)
    monkeypatch.chdir(tmp_path)
    assert settings.get_project_dir() == tmp_path.resolve()


@pytest.mark.parametrize(
    ("toml", "pdk", "name", "is_pdk"),
    [
        ('[project]\nname = "demo"\n', "generic", "demo", False),
        ('[project]\nname = "demo"\n[tool.quorin]\npdk = "gpdk"\n', "gpdk", "demo", False),
        (
            '[project]\nname = "demo"\n[tool.quorin]\nname = "mypdk"\nis_pdk = true\n',
            "generic",
            "mypdk",
            True,
        ),
        ("[tool.other]\nx = 1\n", "generic", "workspace", False),
    ],
)
def test_values_from_pyproject(project: Path, toml: str, pdk: str, name: str, is_pdk: bool) -> None:
    write(project, "pyproject.toml", toml)
    assert (settings.get_pdk_name(), settings.get_project_name(), settings.is_a_pdk()) == (
        pdk,
        name,
        is_pdk,
    )


def test_read_afresh_at_every_call(project: Path) -> None:
    assert settings.get_pdk_name() == "generic"
    write(project, "pyproject.toml", '[tool.quorin]\npdk = "mypdk"\n')
    assert settings.get_pdk_name() == "mypdk"


@pytest.mark.parametrize(
    ("toml", "complaint"),
    [
        ("[tool.quorin\npdk = 1", "not a valid TOML file"),
        ("[tool.quorin]\npdk = 3\n", "pdk must be a str, got int"),
        ('[tool.quorin]\nis_pdk = "yes"\n', "is_pdk must be a bool, got str"),
        ('tool = "quorin"\n', "[tool.quorin] must be a table"),
        ('[project]\nname = ["a"]\n', "[project] name must be a str"),
    ],
)
def test_malformed_pyproject_names_the_file(project: Path, toml: str, complaint: str) -> None:
    write(project, "pyproject.toml", toml)
    with pytest.raises(settings.SettingsError) as info:
        settings.get_pdk_name()
        settings.is_a_pdk()
        settings.get_project_name()
    assert str(project / "pyproject.toml") in str(info.value)
    assert complaint in str(info.value)
