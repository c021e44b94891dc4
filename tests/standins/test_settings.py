from pathlib import Path

import pytest

from quorin import settings

from .helpers import write


def test_defaults_without_pyproject(tmp_path: Path, monkeypatch: pytest.MonkeyPatch) -> None:
    (tmp_path / "My_Project").mkdir()
    monkeypatch.setenv("QUORIN_PROJECT_DIR", str(tmp_path / "x" / ".." / "My_Project"))
    assert settings.get_project_dir() == (tmp_path / "My_Project").resolve()
    assert (settings.get_pdk_name(), settings.get_project_name(), settings.is_a_pdk()) == (
        "generic",
        "My_Project",
        False,
    )
    monkeypatch.delenv("QUORIN_PROJECT_DIR")
    monkeypatch.chdir(tmp_path)
    assert settings.get_project_dir() == tmp_path.resolve()


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
