"""What publishing a distribution needs: a wheel that installs wherever its tag promises (only
the C library's shared objects, the tag auditwheel gives), exports nothing but the module's
entry point, and carries its metadata, licence and type stubs; an sdist that builds anywhere
and holds no build output."""

from __future__ import annotations

import re

import pytest

from zel_tools.wheels import ALLOWED_NEEDED, SDIST_MUST_HOLD


def _tag_version(tag: str) -> tuple[str, tuple[int, int], str]:
    """("manylinux", (2, 17), "x86_64") of "manylinux_2_17_x86_64"."""
    family, major, minor, machine = re.fullmatch(r"(\w+?linux)_(\d+)_(\d+)_(\w+)", tag).groups()
    return family, (int(major), int(minor)), machine


def test_wheel_is_tagged_for_its_platform(wheel, platform) -> None:
    # The file carries the promised tag; auditwheel finds it (or an older one) consistent.
    assert wheel.path.name.endswith(f"{platform.policy}.whl") or (
        f".{platform.policy}." in wheel.path.name), wheel.path.name
    found = re.search(r'following\s+platform\s+tag:\s+"([^"]+)"', wheel.show)
    assert found, wheel.show
    family, version, machine = _tag_version(found.group(1))
    want_family, want_version, want_machine = _tag_version(platform.policy)
    assert (family, machine) == (want_family, want_machine), found.group(1)
    assert version <= want_version, found.group(1)


def test_module_needs_only_the_c_library(wheel, platform) -> None:
    assert wheel.needed, "the module names no shared object at all: not read from its headers?"
    assert [n for n in wheel.needed if not ALLOWED_NEEDED[platform.libc].match(n)] == []


def test_module_exports_only_its_entry_point(wheel) -> None:
    assert wheel.exported == ["PyInit__zel_core"]


@pytest.mark.parametrize("field", ["License-Expression: MIT", "Requires-Python: >=3.13",
                                   "License-File: LICENSE",
                                   "Description-Content-Type: text/markdown"])
def test_wheel_metadata_has(wheel, field: str) -> None:
    assert field in wheel.metadata


@pytest.mark.parametrize("member", ["_zel_core.pyi", "_zel_core-stubs/__init__.pyi",
                                    ".dist-info/licenses/LICENSE"])
def test_wheel_holds(wheel, member: str) -> None:
    if member.startswith("."):
        assert any(n.endswith(member) for n in wheel.names), member
    else:
        assert member in wheel.names


@pytest.mark.parametrize("member", SDIST_MUST_HOLD)
def test_sdist_holds(sdist, member: str) -> None:
    assert f"{sdist.top}/{member}" in sdist.members


def test_sdist_holds_no_build_output(sdist) -> None:
    assert sdist.stray == []
