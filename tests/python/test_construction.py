"""Constructing a store: driver selection by name or object, and the constant queries."""

import os
import pathlib

import pytest
from hypothesis import assume, given, settings, strategies as st

from _zel_core import ZelSettingEngine

from conftest import DRIVER_TYPE_ERROR, Name, OnlyRead, OnlyWrite, open_file, read_bytes, write_file

FUTURE_NAMES = {"json5", "toml", "yaml"}

@pytest.mark.parametrize(
    "args,kwargs",
    [((), {}), ((None,), {}), ((), {"driver": None}), (("json",), {}), (("JSON",), {}),
     (("Json",), {}), ((Name("jSoN"),), {})],
)
def test_json_driver_variants_read_and_write_the_file(tmp_path, args, kwargs):
    path = write_file(tmp_path / "s.json", '{"a": 1}')
    engine = ZelSettingEngine(path, *args, **kwargs)
    assert engine.value("a") == 1
    engine.set_value("b", 2)
    engine.sync()
    assert read_bytes(path) == b'{\n  "a": 1,\n  "b": 2\n}'


@pytest.mark.parametrize(
    "driver,content",
    [(name, "{a: 1}") for name in ["json5", "JSON5", "Json5", Name("jSoN5")]]
    + [(name, "a = 1\n") for name in ["toml", "TOML", "Toml", "tOmL"]],
)
def test_file_driver_names_are_case_insensitive(tmp_path, driver, content):
    assert open_file(tmp_path, content, driver).value("a") == 1


@pytest.mark.parametrize("driver", [None, "json5", "toml", "yaml"])
def test_missing_file_is_an_empty_object_and_creates_nothing(tmp_path, driver):
    for path in [tmp_path / "missing", tmp_path / "no" / "such" / "dir" / "x"]:
        engine = ZelSettingEngine(str(path), driver)
        assert engine.value("") == {}
        engine.set_value("a", 1)
        del engine
    assert list(tmp_path.iterdir()) == []


def test_both_arguments_by_keyword(tmp_path):
    path = str(tmp_path / "k.json")
    engine = ZelSettingEngine(driver=None, path=path)
    assert engine.file_name() == path
    engine.sync()
    assert read_bytes(path) == b"{}"


@pytest.mark.parametrize("name", ["memory", "MEMORY", "Memory", "mEmOrY", Name("Memory")])
def test_memory_driver_never_touches_the_path(tmp_path, name):
    existing = tmp_path / "existing.json"
    existing.write_bytes(b'{"a": 1}')
    engine = ZelSettingEngine(str(existing), name)
    assert engine.value("") == {}
    engine.set_value("x", 1)
    assert engine.sync() is None
    assert existing.read_bytes() == b'{"a": 1}'

    missing = tmp_path / "sub" / "dir" / "m.json"
    engine = ZelSettingEngine(str(missing), driver=name)
    engine.set_value("x", 1)
    engine.sync()
    assert not (tmp_path / "sub").exists()


@pytest.mark.parametrize(
    "path",
    ["/proc/1/no/such/place", "", "bad\x00path", "/", "relative/only/name"],
    ids=["unreadable", "empty", "nul", "root-dir", "relative"],
)
def test_memory_driver_accepts_any_path(path):
    engine = ZelSettingEngine(path, "memory")
    assert engine.file_name() == path
    assert engine.value("") == {}
    engine.sync()


def test_memory_driver_with_a_directory_path(tmp_path):
    engine = ZelSettingEngine(str(tmp_path), "memory")
    engine.set_value("a", [1])
    engine.sync()
    assert list(tmp_path.iterdir()) == []


@pytest.mark.parametrize(
    "name", ["", " json", "json ", "jso", "yml", "JSONX", "memory\n", "JSÖN", "ｊｓｏｎ", "js\x00on"]
)
def test_unknown_driver_name(json_path, name):
    with pytest.raises(ValueError) as info:
        ZelSettingEngine(json_path, name)
    assert type(info.value) is ValueError
    assert info.value.args == (f"Unknown driver: {name}",)
    assert not os.path.exists(json_path)


def _mixed_case(word):
    flags = st.lists(st.booleans(), min_size=len(word), max_size=len(word))
    return flags.map(lambda up: "".join(c.upper() if u else c for c, u in zip(word, up)))


DRIVER_NAMES = st.one_of(
    st.text(max_size=12),
    st.sampled_from(["json", "memory", "jsonn", "memor"]).flatmap(_mixed_case),
)


@given(DRIVER_NAMES)
@settings(max_examples=200, deadline=None)
def test_driver_name_matches_after_unicode_lower_casing(name):
    lowered = name.lower()
    assume(lowered not in FUTURE_NAMES)
    path = "/nonexistent-dir-for-zel-tests/a.json"
    if lowered in ("json", "memory"):
        engine = ZelSettingEngine(path, name)
        assert engine.value("") == {}
    else:
        with pytest.raises(ValueError) as info:
            ZelSettingEngine(path, name)
        assert str(info.value) == f"Unknown driver: {name}"


@pytest.mark.parametrize(
    "driver",
    [b"json", bytearray(b"json"), 0, 3, 1.5, True, ["json"], ("memory",), {"read": 1, "write": 2},
     object(), OnlyRead(), OnlyWrite(), "json\ud800", "js\udc00on", OnlyRead, str],
    ids=lambda d: type(d).__name__,
)
def test_driver_of_wrong_kind(json_path, driver):
    with pytest.raises(TypeError) as info:
        ZelSettingEngine(json_path, driver)
    assert type(info.value) is TypeError
    assert info.value.args == (DRIVER_TYPE_ERROR,)


@pytest.mark.parametrize("path", [b"x.json", pathlib.Path("x.json"), None, 3])
def test_path_type_checked_before_driver(path):
    with pytest.raises(TypeError) as info:
        ZelSettingEngine(path, driver=42)
    assert str(info.value).startswith("argument 'path': ")


@pytest.mark.parametrize("driver", [None, "memory"])
def test_constant_queries(tmp_path, driver):
    path = "conf/does/not/exist.json"
    engine = ZelSettingEngine(path, driver)
    assert engine.status() == 0 and type(engine.status()) is int
    assert engine.is_writable() is True
    assert engine.file_name() == path
    with pytest.raises(KeyError):
        engine.set_value("", 1)
    assert engine.status() == 0


def test_path_kept_exactly_as_given(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    for path in ["./a/../b.json", "c//d.json", "  spaced .json", "ünï/cödé.json", "x.json"]:
        engine = ZelSettingEngine(path)
        assert engine.file_name() == path
        assert engine.path == path


def test_failed_construction_leaves_no_file(tmp_path):
    path = tmp_path / "dir" / "x.json"
    with pytest.raises(ValueError):
        ZelSettingEngine(str(path), "nope")
    with pytest.raises(TypeError):
        ZelSettingEngine(str(path), 3)
    assert list(tmp_path.iterdir()) == []
