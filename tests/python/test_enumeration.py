"""Listing keys and groups: all_keys, child_keys and child_groups."""

import pytest
from hypothesis import given, settings, strategies as st

from _zel_core import ZelSettingEngine

from strategies import any_text, trees


def listing(engine):
    return engine.all_keys(), engine.child_keys(), engine.child_groups()


@pytest.mark.parametrize(
    "doc,all_keys,child_keys,child_groups",
    [
        ({"a": {"x": 1}, "a0": 2, "b": 3}, ["a/x", "a0", "b"], ["a0", "b"], ["a"]),
        ({"a": {"x": 1}, "a-b": 1}, ["a/x", "a-b"], ["a-b"], ["a"]),
        ({"empty": {}, "k": 1}, ["k"], ["k"], ["empty"]),
        ({"n": None, "arr": [{"x": 1}], "s": "", "f": False}, ["arr", "f", "n", "s"],
         ["arr", "f", "n", "s"], []),
        ({"a": 1, "B": 2, "é": 3, "z": 4, "~": 5}, ["B", "a", "z", "~", "é"],
         ["B", "a", "z", "~", "é"], []),
        ({"\ufffd": 1, "\U0001F600": 2, "\uff41": 3}, ["\uff41", "\ufffd", "\U0001F600"],
         ["\uff41", "\ufffd", "\U0001F600"], []),
        ({"g": {"h": {"i": {"j": 1}}, "k": 2}, "l": 3}, ["g/h/i/j", "g/k", "l"], ["l"], ["g"]),
        ({"a/b": {"c": 1}, "a": {"b": {"d": 2}}}, ["a/b/d", "a/b/c"], [], ["a", "a/b"]),
        ({}, [], [], []),
    ],
)
def test_listing_from_the_root(mem, doc, all_keys, child_keys, child_groups):
    mem.set_value("root", doc)
    mem.begin_group("root")
    assert listing(mem) == (all_keys, child_keys, child_groups)


def test_listing_is_relative_to_the_group(mem):
    mem.set_value("a/x", 1)
    mem.set_value("a/sub/y", 2)
    mem.set_value("b", 3)
    mem.begin_group("a")
    assert listing(mem) == (["sub/y", "x"], ["x"], ["sub"])
    mem.begin_group("sub")
    assert listing(mem) == (["y"], ["y"], [])
    mem.end_group()
    mem.end_group()
    assert listing(mem) == (["a/sub/y", "a/x", "b"], ["b"], ["a"])


@pytest.mark.parametrize("groups", [["missing"], ["b"], ["a", "x"], ["a", "missing"], ["a/x"]])
def test_listing_under_missing_or_scalar_group_is_empty(mem, groups):
    mem.set_value("a/x", 1)
    mem.set_value("b", [1, 2])
    for g in groups:
        mem.begin_group(g)
    assert listing(mem) == ([], [], [])


def test_group_with_slash_is_looked_up_whole(mem):
    mem.set_value("a/b/x", 1)
    mem.begin_group("a/b")
    assert listing(mem) == ([], [], [])
    mem.set_value("y", 2)
    assert listing(mem) == (["y"], ["y"], [])


@pytest.mark.parametrize("content", ["[1, {\"a\": 2}]", "3", "null", '"s"'])
def test_listing_on_non_object_root(open_json, content):
    engine = open_json(content)
    assert listing(engine) == ([], [], [])


@pytest.mark.parametrize(
    "content,expected",
    [
        ('{"": 1}', ([""], [""], [])),
        ('{"": {"x": 1}}', (["x"], [], [""])),
        ('{"": {"x": 1, "": 2}, "a": 3}', (["", "x", "a"], ["a"], [""])),
        ('{"": {"": {"y": 1}}}', (["y"], [], [""])),
        ('{"g": {"": {"y": 1}, "h": 2}}', (["g//y", "g/h"], [], ["g"])),
        ('{"g": {"": 1, "": 2}}', (["g/"], [], ["g"])),
    ],
)
def test_empty_member_names(open_json, content, expected):
    engine = open_json(content)
    assert listing(engine) == expected


def test_each_call_returns_a_new_list(mem):
    mem.set_value("a", 1)
    mem.set_value("g/x", 1)
    for method in (mem.all_keys, mem.child_keys, mem.child_groups):
        first = method()
        second = method()
        assert first == second and first is not second
        first.append("junk")
        first[0] = "changed"
        assert method() == second
    assert listing(mem) == (["a", "g/x"], ["a"], ["g"])


def test_listing_is_a_snapshot(mem):
    mem.set_value("a", 1)
    keys = mem.all_keys()
    mem.set_value("b", 2)
    mem.remove("a")
    assert keys == ["a"]
    assert mem.all_keys() == ["b"]


def test_deep_subtree_is_listed(mem):
    segments = [f"s{i}" for i in range(1000)]
    mem.set_value("/".join(segments), 1)
    mem.set_value("s0/side", 2)
    keys = mem.all_keys()
    assert keys == ["/".join(segments), "s0/side"]


def model_all_keys(node, prefix=""):
    out = []
    if not isinstance(node, dict):
        return out
    for name in sorted(node, key=lambda k: k.encode()):
        path = name if prefix == "" else prefix + "/" + name
        if isinstance(node[name], dict):
            out += model_all_keys(node[name], path)
        else:
            out.append(path)
    return out


KEYS = any_text(max_size=4)
# Groups only: lists appear as leaves, where a listing must not look into them.
TREES = trees(
    st.one_of(st.none(), st.integers(0, 9), any_text(max_size=2), st.lists(st.integers(-5, 5), max_size=2)),
    KEYS, max_leaves=25, lists=False,
)


@given(st.dictionaries(KEYS, TREES, max_size=6))
@settings(max_examples=150, deadline=None)
def test_listing_matches_a_walk_in_byte_order(doc):
    engine = ZelSettingEngine("unused", "memory")
    engine.set_value("root", doc)
    engine.begin_group("root")
    ordered = sorted(doc, key=lambda k: k.encode())
    assert engine.all_keys() == model_all_keys(doc)
    assert engine.child_keys() == [k for k in ordered if not isinstance(doc[k], dict)]
    assert engine.child_groups() == [k for k in ordered if isinstance(doc[k], dict)]
    assert list(engine.value("")) == ordered
