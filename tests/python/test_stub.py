"""The type stub: installed next to the extension, and in agreement with the runtime module."""

import os
import pathlib
import subprocess
import sys

import pytest

import _zel_core


def installed_stub() -> pathlib.Path:
    return pathlib.Path(_zel_core.__file__).parent / "_zel_core.pyi"


def run_stubtest(stub_text: str, workdir: pathlib.Path) -> subprocess.CompletedProcess[str]:
    # mypy ignores a bare module stub in site-packages (it only reads packages there), so the
    # stub is handed over through MYPYPATH; the scratch directory keeps mypy's files out of the
    # repository.
    stub_dir = workdir / "stubs"
    stub_dir.mkdir(exist_ok=True)
    (stub_dir / "_zel_core.pyi").write_text(stub_text)
    return subprocess.run(
        [sys.executable, "-m", "mypy.stubtest", "_zel_core"],
        cwd=workdir,
        env={**os.environ, "MYPYPATH": str(stub_dir)},
        capture_output=True,
        text=True,
        timeout=600,
    )


def test_stub_installed_next_to_extension():
    assert installed_stub().is_file()


def test_stubtest_passes(tmp_path):
    pytest.importorskip("mypy.stubtest", reason="mypy is not installed")
    stub_text = installed_stub().read_text()

    # stubtest reports success without checking anything when it finds no stub for a module
    # whose name starts with "_": first prove that it reads this one by planting a name that
    # does not exist at runtime.
    probe = run_stubtest(stub_text + "\nzel_stub_probe: int\n", tmp_path)
    probe_output = probe.stdout + probe.stderr
    assert probe.returncode != 0 and "zel_stub_probe" in probe_output, probe_output

    result = run_stubtest(stub_text, tmp_path)
    output = result.stdout + result.stderr
    print(output)
    assert result.returncode == 0, output


@pytest.mark.parametrize(
    "call, accepted",
    [
        ('ZelSettingEngine("a.json")', True),
        ('ZelSettingEngine("a.toml", "toml")', True),
        ('ZelSettingEngine("a", Driver())', True),
        ('ZelSettingEngine("a", 3)', False),  # neither a name nor an object with read and write
        ('ZelSettingEngine("a", ReadOnly())', False),
        ('ZelSettingEngine(b"a.json")', False),
    ],
)
def test_the_stub_types_the_driver_argument(tmp_path, monkeypatch, call, accepted):
    pytest.importorskip("mypy.api", reason="mypy is not installed")
    from mypy import api

    stub_dir = tmp_path / "stubs"
    stub_dir.mkdir()
    (stub_dir / "_zel_core.pyi").write_text(installed_stub().read_text())
    source = tmp_path / "use.py"
    source.write_text(
        "from typing import Any\n"
        "from _zel_core import ZelSettingEngine\n"
        "class Driver:\n"
        "    def read(self, path: str) -> Any: ...\n"
        "    def write(self, path: str, data: Any) -> None: ...\n"
        "class ReadOnly:\n"
        "    def read(self, path: str) -> Any: ...\n"
        f"{call}\n"
    )
    monkeypatch.setenv("MYPYPATH", str(stub_dir))
    out, err, status = api.run([str(source), "--no-incremental", "--cache-dir", os.devnull])
    assert (status == 0) == accepted, out + err
