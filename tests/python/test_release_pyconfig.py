"""The pyconfig.h reading and rewriting of the release tooling (scripts/zel_tools/pythons.py),
which makes the headers of the interpreters whose source cannot be had."""

from __future__ import annotations

import importlib.util
import sys
from pathlib import Path

import pytest

_SCRIPTS = Path(__file__).resolve().parents[2] / "scripts"
if not (_SCRIPTS / "zel_tools/pythons.py").is_file():
    pytest.skip("the release tooling is not beside these tests", allow_module_level=True)
if importlib.util.find_spec("zel_tools") is None:
    sys.path.insert(0, str(_SCRIPTS))
from zel_tools import pythons  # noqa: E402
from zel_tools.common import PLATFORMS  # noqa: E402

SAMPLE = """\
#ifndef Py_PYCONFIG_H
#define Py_PYCONFIG_H

/* Define if you have getrandom. */
#define HAVE_GETRANDOM 1

/* Define to 1 for a free-threaded build. */
/* #undef Py_GIL_DISABLED */

#define SIZEOF_LONG 8
#  define  ALIGNOF_LONG   8
#define _GNU_SOURCE
/* #undef WORDS_BIGENDIAN */

#if defined(__linux__)
#define HAVE_LINUX_THING 1
#endif

#endif /*Py_PYCONFIG_H*/
"""


def test_defines_reads_values_flags_and_undefs():
    d = pythons.defines(SAMPLE)
    assert d["HAVE_GETRANDOM"] == "1"
    assert d["SIZEOF_LONG"] == "8"
    assert d["ALIGNOF_LONG"] == "8"
    assert d["_GNU_SOURCE"] == ""
    assert d["Py_GIL_DISABLED"] is None
    assert d["WORDS_BIGENDIAN"] is None
    assert "Py_PYCONFIG_H" in d  # the guard is a define like any other


@pytest.mark.parametrize("changes", [
    {"Py_GIL_DISABLED": "1"},  # an undef becomes a define
    {"HAVE_GETRANDOM": None},  # a define becomes an undef
    {"SIZEOF_LONG": "4", "_GNU_SOURCE": None},  # a value changes; a flag goes
    {"HAVE_NEW_THING": "1"},  # absent: added
    {"HAVE_NEW_THING": None},  # absent and unset: nothing to do
    {},
])
def test_with_changes_gives_exactly_the_changed_settings(changes):
    before = pythons.defines(SAMPLE)
    text = pythons.with_changes(SAMPLE, changes)
    after = pythons.defines(text)
    for name, value in changes.items():
        assert after.get(name) == value
    untouched = set(before) - set(changes)
    assert {k: after[k] for k in untouched} == {k: before[k] for k in untouched}
    # Added settings go last inside the include guard, outside any inner conditional.
    lines = text.rstrip().splitlines()
    assert lines[-1] == "#endif /*Py_PYCONFIG_H*/"
    added = [f"#define {k} {v}" for k, v in changes.items() if k not in before and v]
    assert lines[len(lines) - 1 - len(added):-1] == added
    assert pythons.differences(before, after) == {k: v for k, v in changes.items()
                                                  if before.get(k) != v}


def test_abi_differences_ignore_library_features():
    other = pythons.with_changes(SAMPLE, {"HAVE_GETRANDOM": None, "SIZEOF_LONG": "4",
                                          "Py_GIL_DISABLED": "1"})
    assert pythons.abi_differences(SAMPLE, other) == {"SIZEOF_LONG": ("8", "4"),
                                                      "Py_GIL_DISABLED": (None, "1")}


@pytest.mark.parametrize("version, platform, suffix", [
    ("3.13", "x86_64-manylinux", ".cpython-313-x86_64-linux-gnu.so"),
    ("3.13t", "aarch64-manylinux", ".cpython-313t-aarch64-linux-gnu.so"),
    ("3.14", "x86_64-musllinux", ".cpython-314-x86_64-linux-musl.so"),
    ("3.15t", "aarch64-musllinux", ".cpython-315t-aarch64-linux-musl.so"),
])
def test_ext_suffix(version, platform, suffix):
    assert pythons.ext_suffix(version, PLATFORMS[platform]) == suffix


def test_unknown_version_is_refused():
    with pytest.raises(ValueError):
        pythons.split("3.12")
