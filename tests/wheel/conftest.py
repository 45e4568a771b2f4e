"""The checks of a built distribution, run by scripts/release.py on every wheel and sdist it makes:

    python -m pytest tests/wheel --wheel PATH --platform NAME
    python -m pytest tests/wheel --sdist PATH

(NAME: x86_64-manylinux, aarch64-manylinux, x86_64-musllinux or aarch64-musllinux). A test whose
distribution was not given is skipped. The facts are read once per session by the release
tooling (`auditwheel show`, the module's ELF headers, the archive's members)."""

from __future__ import annotations

import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "scripts"))

from zel_tools import wheels  # noqa: E402
from zel_tools.common import PLATFORMS  # noqa: E402


def pytest_addoption(parser: pytest.Parser) -> None:
    parser.addoption("--wheel", type=Path, help="the wheel to check")
    parser.addoption("--platform", choices=sorted(PLATFORMS), help="the wheel's platform")
    parser.addoption("--sdist", type=Path, help="the sdist to check")


@pytest.fixture(scope="session")
def platform(request: pytest.FixtureRequest):
    name = request.config.getoption("--platform")
    if name is None:
        pytest.skip("no --platform given")
    return PLATFORMS[name]


@pytest.fixture(scope="session")
def wheel(request: pytest.FixtureRequest) -> wheels.WheelFacts:
    path = request.config.getoption("--wheel")
    if path is None:
        pytest.skip("no --wheel given")
    return wheels.wheel_facts(path)


@pytest.fixture(scope="session")
def sdist(request: pytest.FixtureRequest) -> wheels.SdistFacts:
    path = request.config.getoption("--sdist")
    if path is None:
        pytest.skip("no --sdist given")
    return wheels.sdist_facts(path)
