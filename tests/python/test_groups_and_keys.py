"""The group stack and how keys are split into segments and resolved."""

import pytest
from hypothesis import given, settings, strategies as st

from _zel_core import ZelSettingEngine

from conftest import assert_unchanged, refused, snapshot


@pytest.mark.parametrize(
    "name,pushed",
    [("a", "a"), ("/a/", "a"), ("//a", "a"), ("a///", "a"), ("/a/b/", "a/b"), ("a//b", "a//b"),
     (" a ", " a "), ("é/ü", "é/ü"), ("a\x00b", "a\x00b")],
)
def test_begin_group_trims_slashes(mem, name, pushed):
    mem.begin_group(name)
    assert mem.group() == pushed
    mem.end_group()
    assert mem.group() == ""


@pytest.mark.parametrize("name", ["", "/", "///"])
def test_begin_group_with_nothing_left_pushes_nothing(mem, name):
    mem.begin_group("outer")
    assert mem.begin_group(name) is None
    assert mem.group() == "outer"
    mem.end_group()
    assert mem.group() == ""


def test_group_stack_push_and_pop(mem):
    assert mem.group() == ""
    assert mem.end_group() is None
    assert mem.group() == ""
    mem.begin_group("a")
    mem.begin_group("b")
    assert mem.group() == "a/b"
    mem.end_group()
    assert mem.group() == "a"
    mem.end_group()
    mem.end_group()
    assert mem.group() == ""
    assert mem.value("") == {}


def test_begin_group_creates_nothing(mem):
    mem.begin_group("ghost")
    mem.begin_group("deeper")
    assert mem.value("") is None
    assert mem.contains("") is False
    mem.end_group()
    mem.end_group()
    assert mem.value("") == {}


def test_group_with_slash_is_one_member(mem):
    mem.begin_group("a/b")
    mem.set_value("k", 1)
    assert mem.value("k") == 1
    assert mem.all_keys() == ["k"]
    mem.end_group()
    assert mem.value("") == {"a/b": {"k": 1}}
    assert mem.value("a/b/k") is None
    assert mem.contains("a/b/k") is False
    assert mem.child_groups() == ["a/b"]

    mem.begin_group("a")
    mem.begin_group("b")
    assert mem.group() == "a/b"
    mem.set_value("k", 2)
    mem.end_group()
    mem.end_group()
    assert mem.value("") == {"a/b": {"k": 1}, "a": {"b": {"k": 2}}}


@pytest.mark.parametrize("key", ["x/y", "/x/y", "x//y", "x/y/", "//x///y//"])
def test_equivalent_keys_name_the_same_place(mem, key):
    mem.set_value(key, 7)
    assert mem.value("") == {"x": {"y": 7}}
    assert mem.value("x/y") == 7
    assert mem.contains(key)
    mem.remove(key)
    assert mem.value("") == {"x": {}}


def test_keys_are_case_and_space_sensitive(mem):
    mem.set_value("Size", 1)
    mem.set_value("size", 2)
    mem.set_value(" size", 3)
    mem.set_value("size ", 4)
    assert mem.value("") == {"Size": 1, "size": 2, " size": 3, "size ": 4}
    assert mem.value("SIZE") is None


@pytest.mark.parametrize("key", ["a.b", "a\\b", "a b", "0", "a\x00b", "ключ", "\U0001F600", "*", ".."])
def test_only_slash_is_special(mem, key):
    mem.set_value(key, 1)
    assert mem.value("") == {key: 1}
    assert mem.child_keys() == [key]


def test_empty_key_under_group_names_the_group(mem):
    mem.set_value("g/x", 1)
    mem.begin_group("g")
    assert mem.value("") == {"x": 1}
    assert mem.value("/") == {"x": 1}
    assert mem.contains("") is True
    mem.set_value("", 5)
    assert mem.value("") == 5
    mem.end_group()
    assert mem.value("") == {"g": 5}


def test_empty_key_under_nested_groups(mem):
    mem.set_value("a/b/c", 1)
    mem.set_value("a/other", 2)
    mem.begin_group("a")
    mem.begin_group("b")
    mem.set_value("//", [1])
    mem.end_group()
    mem.end_group()
    assert mem.value("") == {"a": {"b": [1], "other": 2}}


@pytest.mark.parametrize("key", ["", "/", "///"])
def test_empty_key_without_group_is_an_error(mem, key):
    mem.set_value("a", 1)
    for call in (lambda: mem.set_value(key, 1), lambda: mem.remove(key)):
        with refused(mem, KeyError, "Key is empty") as info:
            call()
        assert str(info.value) == "'Key is empty'"
    assert mem.value(key) == {"a": 1}
    assert mem.contains(key) is True


@pytest.mark.parametrize(
    "content,root",
    [("[1, 2]", [1, 2]), ("5", 5), ('"text"', "text"), ("null", None), ("true", True), ("-2.5", -2.5)],
)
def test_root_not_an_object(open_json, content, root):
    engine = open_json(content)
    before = snapshot(engine)
    assert engine.value("") == root
    assert engine.contains("") is True
    assert engine.value("a") is None
    assert engine.contains("0") is False
    for key in ("a", "a/b"):
        for call in (lambda: engine.set_value(key, 1), lambda: engine.remove(key)):
            with pytest.raises(TypeError) as info:
                call()
            assert info.value.args == ("Root is not an object",)
    engine.begin_group("g")
    with pytest.raises(TypeError) as info:
        engine.set_value("", 1)
    assert info.value.args == ("Root is not an object",)
    assert engine.value("") is None
    engine.end_group()
    assert_unchanged(engine, before)


@pytest.mark.parametrize("blocker", [3, None, "x", True, [1, {"b": 1}], 0.5, ""])
@pytest.mark.parametrize("key", ["a/b", "a/b/c", "a/b/c/d"])
def test_write_through_non_object_fails_unchanged(mem, blocker, key):
    mem.set_value("a", blocker)
    mem.set_value("z", 1)
    for call in (lambda: mem.set_value(key, 1), lambda: mem.remove(key)):
        with refused(mem, TypeError, "Path segment is not an object"):
            call()


def test_write_through_deeper_non_object_creates_nothing(mem):
    mem.set_value("a/b", 1)
    before = snapshot(mem)
    with pytest.raises(TypeError):
        mem.set_value("a/b/c/d/e", 1)
    mem.begin_group("a")
    mem.begin_group("b")
    with pytest.raises(TypeError) as info:
        mem.set_value("x/y", 1)
    assert info.value.args == ("Path segment is not an object",)
    mem.end_group()
    mem.end_group()
    assert_unchanged(mem, before)


def test_group_through_non_object(mem):
    mem.set_value("g", 1)
    mem.begin_group("g")
    assert mem.value("") == 1
    assert mem.contains("") is True
    assert mem.value("x") is None
    with pytest.raises(TypeError) as info:
        mem.set_value("x", 2)
    assert info.value.args == ("Path segment is not an object",)
    mem.set_value("", {"x": 2})
    assert mem.value("x") == 2
    mem.end_group()
    assert mem.value("") == {"g": {"x": 2}}


def test_writes_create_missing_parents(mem):
    mem.set_value("a/b/c", 1)
    assert mem.value("") == {"a": {"b": {"c": 1}}}
    mem.begin_group("g1")
    mem.begin_group("g2")
    mem.set_value("k/l", True)
    mem.end_group()
    mem.end_group()
    assert mem.value("g1") == {"g2": {"k": {"l": True}}}


def test_segments_do_not_index_arrays(mem):
    mem.set_value("list", [10, {"x": 1}])
    assert mem.value("list/0") is None
    assert mem.value("list/1/x") is None
    assert mem.contains("list/0") is False
    with pytest.raises(TypeError) as info:
        mem.set_value("list/0", 1)
    assert info.value.args == ("Path segment is not an object",)
    assert mem.value("list") == [10, {"x": 1}]


SEGMENT = st.text(st.characters(exclude_characters="/", exclude_categories=("Cs",)), min_size=1, max_size=6)


@st.composite
def spelled_key(draw, segments):
    """The segments joined by runs of slashes, with optional slashes around."""
    pieces = [draw(st.sampled_from(["", "/", "//"]))]
    for i, seg in enumerate(segments):
        if i:
            pieces.append(draw(st.sampled_from(["/", "//", "///"])))
        pieces.append(seg)
    pieces.append(draw(st.sampled_from(["", "/", "///"])))
    return "".join(pieces)


@given(st.data(), st.lists(SEGMENT, min_size=1, max_size=5), st.integers(0, 5))
@settings(max_examples=150, deadline=None)
def test_group_and_key_spellings_are_equivalent(data, segments, split):
    """Groups plus a key address the same member as the joined path with no group."""
    split = min(split, len(segments) - 1)
    groups, rest = segments[:split], segments[split:]
    engine = ZelSettingEngine("unused", "memory")
    for name in groups:
        engine.begin_group(data.draw(spelled_key([name])))
    engine.set_value(data.draw(spelled_key(rest)), "v")
    assert engine.value(data.draw(spelled_key(rest))) == "v"
    for _ in groups:
        engine.end_group()
    expected = "v"
    for seg in reversed(segments):
        expected = {seg: expected}
    assert engine.value("") == expected
    assert engine.value("/".join(segments)) == "v"
    assert engine.all_keys() == ["/".join(segments)]
