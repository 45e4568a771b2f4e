"""YAML settings files through the public API: scalar typing, documents, anchors and the
alias bound, saving and reopening, and round trips of arbitrary trees."""

import json
import pathlib

import pytest
from hypothesis import given, strategies as st

from _zel_core import ZelSettingEngine

from conftest import open_error, read_bytes, strict_equal, sync_and_reopen
from strategies import any_text, json_leaves, sharing_tmp_path, trees

ROOT = pathlib.Path(__file__).resolve().parent.parent.parent
DATA = ROOT / "tests" / "data" / "yaml"
# The YAML test suite's data (yaml/yaml-test-suite, MIT), kept beside the repository.
SUITE = ROOT / "tests" / "data" / "yaml-test-suite"
PREFIX = "YAML parse error: "
MULTI_DOC = PREFIX + "deserializing from YAML containing more than one document is not supported"


@pytest.mark.parametrize(
    "text,expected",
    [
        ("", None), ("~", None), ("NULL", None), ("True", True), ("FALSE", False), ("yes", "yes"),
        ("0", 0), ("-0", 0), ("+12", 12), ("0x1F", 31), ("-0o17", -15), ("0b101", 5),
        ("18446744073709551615", 2**64 - 1), ("-9223372036854775808", -(2**63)),
        ("0123", "0123"), ("-007", "-007"), ("0x", "0x"), ("1_000", "1_000"),
        ("1" + "0" * 40, "1" + "0" * 40),
        ("1.5", 1.5), ("5.", 5.0), (".5", 0.5), ("-2e3", -2000.0), ("1e+20", 1e20), ("-1e-400", -0.0),
        (".inf", None), ("-.Inf", None), (".NaN", None), ("inf", "inf"), ("nan", "nan"), ("1e400", "1e400"),
        ("'true'", "true"), ('"12"', "12"), ("|\n  a\n  b\n", "a\nb\n"), (">-\n  x\n  y\n", "x y"),
        ("!!int '12'", 12), ("!!float 1", 1.0), ("!!bool 'true'", True), ("!!null null", None), ("!!null", None), ("!!null ''", None),
        ("!!str 12", "12"), ("!!str ~", "~"), ("!!str '12'", "12"),
    ],
)
def test_scalar_typing(open_yaml, text, expected):
    assert strict_equal(open_yaml("v: " + text + "\n").value("v"), expected)


@pytest.mark.parametrize(
    "text,message",
    [
        ("v: 18446744073709551616", "YAML parse error: JSON number out of range at line 1 column 4"),
        ("v: !!int x", "YAML parse error: invalid value for tag !!int at line 1 column 4"),
        ("[1]: x", "YAML parse error: a mapping or sequence cannot be a mapping key at line 1 column 1"),
        ("a: *nope", 'YAML parse error: unknown anchor "nope" at line 1 column 4'),
        ("a: b\n c: d", "YAML parse error: invalid multiline plain key at line 1 column 4"),
        (b"a: \xff", "YAML parse error: invalid leading UTF-8 octet at line 1 column 4"),
        ("[" * 129 + "]" * 129, "YAML parse error: recursion limit exceeded at line 1 column 129"),
        # libfyaml 0.7 cannot destroy its parser after this error: it is left allocated.
        ("? k:\t|", "YAML parse error: cannot use tab for indentation of block entry at line 1 column 5"),
        ("a: 1\n---\nb: 2\n", MULTI_DOC),
        ("---\n---\n", MULTI_DOC),
        ("k:\nx\n", "YAML parse error: wrongly indented node in block collection at line 2 column 1"),
        (" k: |\n x\n", "YAML parse error: wrongly indented line in block scalar at line 2 column 2"),
        ("k: : v", "YAML parse error: invalid nested block mapping on the same line at line 1 column 4"),
        ("%YAML 1.2\nfoo", "YAML parse error: missing document start after directives at line 2 column 1"),
    ],
)
def test_rejected_files(open_yaml, text, message):
    assert open_error(open_yaml, text, PREFIX) == message


@pytest.mark.parametrize("content", ["", "# only a comment\n\n# and another\n", "---\n"])
def test_empty_stream_is_a_null_root(open_yaml, content):
    engine = open_yaml(content)
    assert engine.value("") is None
    assert engine.value("a") is None
    with pytest.raises(TypeError) as info:
        engine.set_value("a", 1)
    assert info.value.args == ("Root is not an object",)


def test_keys_are_text_and_anchors_are_copied(open_yaml):
    engine = open_yaml("1: one\ntrue: t\nbase: &b {x: [1, 2]}\ncopy: *b\nbase: replaced\n")
    assert strict_equal(
        engine.value(""), {"1": "one", "base": "replaced", "copy": {"x": [1, 2]}, "true": "t"}
    )
    settings_file = ZelSettingEngine(str(DATA / "settings.yaml"), "yaml")
    assert settings_file.value("development") == settings_file.value("defaults")
    assert settings_file.value("production/<</timeout") == 30
    assert settings_file.value("window/title") == "café"


# Nine levels of ninefold aliases; ten thousand copies of a 100,000-character string.
WIDE_BOMB = 'a: &a "' + "x" * 100000 + '"\nb: [' + ", ".join(["*a"] * 10000) + "]\n"


@pytest.mark.parametrize(
    "content,message",
    [
        ((DATA / "alias_bomb.yaml").read_bytes(),
         "alias expansion exceeds 1000000 nodes (possible alias bomb) at line 8 column 10"),
        (WIDE_BOMB, "alias expansion exceeds 67108864 bytes (possible alias bomb) at line 2 column 2685"),
    ],
)
def test_alias_bomb_fails_with_the_bound(open_yaml, content, message):
    assert open_error(open_yaml, content, PREFIX) == PREFIX + message


@pytest.mark.parametrize("driver", ["yaml", "YAML", "Yaml", "yAmL"])
def test_set_value_sync_and_reopen(tmp_path, driver):
    path = str(tmp_path / "conf" / "app.yaml")
    engine = ZelSettingEngine(path, driver)
    assert engine.value("") == {}
    engine.begin_group("window")
    engine.set_value("size/width", 800)
    engine.end_group()
    for key, value in [("flag", "true"), ("ratio", 1.0), ("text", "two\nlines\n"), ("none", None),
                       ("empty", []), ("n", -5), ("big", 1e20), ("tab", "a\tb")]:
        engine.set_value(key, value)
    engine.sync()
    assert read_bytes(path) == (
        b"big: 1e+20\nempty: []\nflag: 'true'\nn: -5\nnone: null\nratio: 1.0\n"
        b'tab: "a\\tb"\ntext: |\n  two\n  lines\nwindow:\n  size:\n    width: 800\n'
    )
    reopened = ZelSettingEngine(path, "yaml")
    assert strict_equal(reopened.value(""), engine.value(""))
    assert reopened.value("window/size/width") == 800


@pytest.mark.parametrize(
    "content,root",
    [("- 1\n- [a, {b: ~}]\n", [1, ["a", {"b": None}]]), ("just text", "just text"), ("'1'", "1"),
     ("2.5", 2.5), ("", None)],
)
def test_non_object_roots_survive_sync(tmp_path, open_yaml, content, root):
    engine = open_yaml(content)
    assert strict_equal(engine.value(""), root)
    engine.sync()
    assert strict_equal(ZelSettingEngine(str(tmp_path / "settings.yaml"), "yaml").value(""), root)


@pytest.mark.parametrize(
    "text",
    ["0123", "-007", "00", "+0123", "1e400", "-1E+400", "1" * 39, "1" * 40, "0o17", "0x1F", "+.5",
     "-.INF", ".NaN", "Null", "~", "FALSE"],
)
def test_strings_that_core_schema_readers_type_otherwise_are_quoted(tmp_path, text):
    back, written = sync_and_reopen(tmp_path / "q.yaml", text, "yaml")
    assert written == b"v: '" + text.encode() + b"'\n"
    assert back == text


# Any text a Python str can hold (no lone surrogates), in keys and values.
TEXT = any_text(max_size=12)
AWKWARD = st.sampled_from(
    ["", "true", "~", "null", "1", "0x1F", ".inf", "1e3", "- a", "a: b", "#", "a\n", "\n", " x\n", "\r",
     "\ufeff", "\u2028", "\x85", "\x00", "'", '"', "---", "\t", "😀", "0123", "1" * 40]
)
STRINGS = st.one_of(TEXT, AWKWARD, st.lists(AWKWARD, max_size=3).map("".join))
TREES = trees(json_leaves(STRINGS), STRINGS, max_leaves=25)


@given(TREES)
@sharing_tmp_path(300)
def test_round_trip_of_any_tree(tmp_path, tree):
    back, _ = sync_and_reopen(tmp_path / "rt.yaml", tree, "yaml")
    assert strict_equal(back, tree)


def suite_case_rule(case):
    """What loading a case of the YAML test suite must give: ("error", start of the message)
    or ("load", None). Valid streams that our rules refuse are found from the case's events:
    several documents, and a mapping or sequence (or an alias of one) as a key."""
    if (case / "error").exists():
        return "error", PREFIX
    documents, collection_key = 0, False
    open_nodes = []  # per open collection: [is mapping, next node is a key]
    collection_anchors = set()
    for line in (case / "test.event").read_text(encoding="utf-8").splitlines():
        event, _, rest = line.partition(" ")
        words = rest.split(" ")
        at_key = bool(open_nodes) and open_nodes[-1][0] and open_nodes[-1][1]
        if event == "+DOC":
            documents += 1
        elif event in ("+MAP", "+SEQ"):
            collection_key |= at_key
            collection_anchors.update(w[1:] for w in words if w.startswith("&"))
            open_nodes.append([event == "+MAP", True])
        elif event in ("-MAP", "-SEQ", "=VAL", "=ALI"):
            if event[0] == "-":
                open_nodes.pop()
            if event == "=ALI":
                collection_key |= at_key and words[0][1:] in collection_anchors
            if open_nodes and open_nodes[-1][0]:
                open_nodes[-1][1] = not open_nodes[-1][1]
    if documents > 1:
        return "error", MULTI_DOC
    if collection_key:
        return "error", "YAML parse error: a mapping or sequence cannot be a mapping key"
    return "load", None


def same_as_suite_json(value, expected):
    """Equality with the suite's JSON, which writes an integral float without its fraction
    (450.00 as 450): such a float of ours matches that integer."""
    if isinstance(value, float) and type(expected) is int:
        return value == expected
    if isinstance(value, list) and isinstance(expected, list):
        return len(value) == len(expected) and all(map(same_as_suite_json, value, expected))
    if isinstance(value, dict) and isinstance(expected, dict):
        return value.keys() == expected.keys() and all(
            same_as_suite_json(value[k], expected[k]) for k in value)
    return strict_equal(value, expected)


# Cases whose expected tree gives a block scalar's last line, at the end of the input without
# a line break, a line break all the same; YAML 1.2 keeps only the breaks that are there.
WITHOUT_FINAL_BREAK = {"JEF9/02": [""], "L24T/01": {"foo": "x\n "}}

SUITE_CASES = sorted(p.parent for p in SUITE.rglob("in.yaml")) if SUITE.is_dir() else []


@pytest.mark.skipif(not SUITE_CASES, reason=f"the YAML test suite is not at {SUITE}")
@pytest.mark.parametrize("case", SUITE_CASES, ids=[str(c.relative_to(SUITE)) for c in SUITE_CASES])
def test_yaml_test_suite(case):
    """Every case of the YAML test suite: an invalid stream is rejected, a valid one loads
    (except where our rules refuse it, see suite_case_rule) and equals the case's in.json."""
    rule, message = suite_case_rule(case)
    if rule == "error":
        with pytest.raises(TypeError) as info:
            ZelSettingEngine(str(case / "in.yaml"), "yaml")
        assert info.value.args[0].startswith(message)
        return
    document = ZelSettingEngine(str(case / "in.yaml"), "yaml").value("")
    name = str(case.relative_to(SUITE))
    if name in WITHOUT_FINAL_BREAK:
        assert strict_equal(document, WITHOUT_FINAL_BREAK[name])
    elif (case / "in.json").exists():
        text = (case / "in.json").read_text(encoding="utf-8")
        assert same_as_suite_json(document, json.loads(text) if text.strip() else None)
