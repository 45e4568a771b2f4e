"""Reading, writing, removing and clearing values in the in-memory document."""

import pytest

from _zel_core import ZelSettingEngine

from conftest import refused


def test_set_then_read_back(mem):
    mem.set_value("a/b", 1)
    assert mem.value("a/b") == 1
    assert mem.value("a") == {"b": 1}
    assert mem.contains("a/b") is True
    assert mem.contains("a") is True
    assert mem.set_value("c", "x") is None


def test_null_versus_missing(mem):
    mem.set_value("n", None)
    assert mem.value("n") is None
    assert mem.contains("n") is True
    assert mem.value("never") is None
    assert mem.contains("never") is False
    assert mem.child_keys() == ["n"]


@pytest.mark.parametrize("key", ["a/b/c", "a/b/c/d", "a/b/"])
def test_reading_through_a_scalar(mem, key):
    mem.set_value("a/b", "x")
    assert mem.value("a/b/c") is None
    assert mem.contains("a/b/c") is False
    assert mem.value(key) == (None if key != "a/b/" else "x")


def test_value_of_empty_key_is_whole_document_in_order(mem):
    for k in ["b", "a", "c/z", "c/y", "B"]:
        mem.set_value(k, 1)
    doc = mem.value("")
    assert list(doc) == ["B", "a", "b", "c"]
    assert list(doc["c"]) == ["y", "z"]


def test_results_are_fresh_copies(mem):
    mem.set_value("g", {"list": [1, 2], "sub": {"x": 1}})
    first = mem.value("g")
    first["list"].append(3)
    first["sub"]["x"] = 99
    first["new"] = 1
    second = mem.value("g")
    assert second == {"list": [1, 2], "sub": {"x": 1}}
    assert second is not mem.value("g")
    assert second["list"] is not mem.value("g/list")


def test_stored_value_is_a_copy_of_the_argument(mem):
    source = {"list": [1, 2], "sub": {"x": 1}}
    mem.set_value("g", source)
    source["list"].append(3)
    source["sub"]["x"] = 99
    assert mem.value("g") == {"list": [1, 2], "sub": {"x": 1}}


def test_set_replaces_whatever_was_there(mem):
    mem.set_value("a/x", 1)
    mem.set_value("a/y/z", 2)
    mem.set_value("a", 5)
    assert mem.value("") == {"a": 5}
    mem.set_value("a", {"new": [1]})
    assert mem.value("") == {"a": {"new": [1]}}
    mem.set_value("a/new", None)
    assert mem.value("") == {"a": {"new": None}}


def test_set_then_deeper_set_fails_unchanged(mem):
    mem.set_value("a", 1)
    with refused(mem, TypeError, "Path segment is not an object"):
        mem.set_value("a/b", 2)


def test_conversion_happens_before_key_checks(mem):
    mem.set_value("a", 1)
    for key in ["", "a/b", "new/path/x"]:
        with refused(mem, TypeError, "unsupported type object"):
            mem.set_value(key, object())


def test_remove(mem):
    mem.set_value("a/x", 1)
    mem.set_value("a/y", 2)
    mem.set_value("b", 3)
    assert mem.remove("a/x") is None
    assert mem.value("") == {"a": {"y": 2}, "b": 3}
    mem.remove("a")
    assert mem.contains("a") is False
    assert mem.value("") == {"b": 3}
    mem.remove("missing")
    assert mem.value("") == {"b": 3}


def test_remove_creates_missing_parents(mem):
    mem.remove("x/y")
    assert mem.value("") == {"x": {}}
    mem.remove("p/q/r")
    assert mem.value("") == {"x": {}, "p": {"q": {}}}


def test_remove_empty_key_under_group_removes_the_group(mem):
    mem.set_value("g/h/x", 1)
    mem.set_value("g/k", 2)
    mem.begin_group("g")
    mem.begin_group("h")
    mem.remove("")
    assert mem.contains("") is False
    mem.end_group()
    assert mem.value("") == {"k": 2}
    mem.remove("/")
    mem.end_group()
    assert mem.value("") == {}


def test_clear_without_group(mem):
    mem.set_value("a/b", 1)
    mem.set_value("c", [1])
    mem.begin_group("x")
    mem.end_group()
    assert mem.clear() is None
    assert mem.value("") == {}
    mem.clear()
    assert mem.value("") == {}


def test_clear_under_nested_groups(mem):
    mem.set_value("a", {"b": {"x": 1}, "y": 2})
    mem.begin_group("a")
    mem.begin_group("b")
    mem.clear()
    assert mem.value("") == {}
    assert mem.contains("") is True
    mem.end_group()
    mem.end_group()
    assert mem.value("") == {"a": {"b": {}, "y": 2}}


def test_clear_creates_missing_groups(mem):
    mem.set_value("keep", 1)
    mem.begin_group("n")
    mem.begin_group("m/o")
    mem.clear()
    mem.end_group()
    mem.end_group()
    assert mem.value("") == {"keep": 1, "n": {"m/o": {}}}


@pytest.mark.parametrize("content", ["[1, 2]", "null", "7", '"s"', "false"])
@pytest.mark.parametrize("groups", [[], ["g"]])
def test_clear_on_non_object_root(open_json, content, groups):
    engine = open_json(content)
    for g in groups:
        engine.begin_group(g)
    with refused(engine, TypeError, "Root is not an object"):
        engine.clear()


@pytest.mark.parametrize("blocker", [1, None, "s", [], [{}], False, 2.5])
@pytest.mark.parametrize("groups", [["a"], ["a", "b"], ["ok", "a"], ["ok", "a", "b"]])
def test_clear_through_non_object_group(mem, blocker, groups):
    mem.set_value("a", blocker)
    mem.set_value("ok/a", blocker)
    mem.set_value("other", 1)
    for g in groups:
        mem.begin_group(g)
    with refused(mem, TypeError, "Path segment is not an object"):
        mem.clear()
    for _ in groups:
        mem.end_group()
    assert mem.value("") == {"a": blocker, "ok": {"a": blocker}, "other": 1}
    mem.set_value("later", 1)
    assert mem.value("later") == 1


def test_unsynced_changes_are_invisible_to_another_store(tmp_path):
    path = str(tmp_path / "s.json")
    first = ZelSettingEngine(path)
    first.set_value("a", 1)
    first.sync()
    first.set_value("a", 2)
    first.remove("zzz/y")
    second = ZelSettingEngine(path)
    assert second.value("") == {"a": 1}
    assert first.value("") == {"a": 2, "zzz": {}}


def test_status_stays_zero_after_failures(mem):
    mem.set_value("a", 1)
    for call in (lambda: mem.set_value("", 1), lambda: mem.set_value("a/b", 1),
                 lambda: mem.set_value("x", b"x"), lambda: mem.value(1)):
        with pytest.raises((KeyError, TypeError)):
            call()
        assert mem.status() == 0
    assert mem.is_writable() is True
