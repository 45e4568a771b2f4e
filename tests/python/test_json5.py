"""JSON5 settings files through the public API: loading, the exact bytes written by sync,
parse and input/output errors, and round trips of random trees through a file."""

import os

import pytest
from hypothesis import given

from _zel_core import ZelSettingEngine

from conftest import open_error, read_bytes, strict_equal, sync_and_reopen
from strategies import any_text, json_leaves, sharing_tmp_path, trees

PREFIX = "JSON5 parse error: "


# ---------------------------------------------------------------- loading


@pytest.mark.parametrize(
    "content,expected",
    [
        ("// settings\n{a: 1, /* inline */ 'b c': [1, 2,], \"d\": {},}", {"a": 1, "b c": [1, 2], "d": {}}),
        ("{café: 'x', $_1: \"y\", \\u0061b: true}", {"café": "x", "$_1": "y", "ab": True}),
        ("{null: null, a: 1, a: 2}", {"null": None, "a": 2}),
        ("['it\\'s', \"say \\\"hi\\\"\", '\\x41\\u00e9\\ud83d\\ude00', 'a\\\nb']", ["it's", 'say "hi"', "Aé😀", "ab"]),
        ("'\\v\\0\\q\u2028'", "\v\x00q\u2028"),
        ("[0x1F, -0x10, +1, .5, 5., 1e2, -0]", [31, -16, 1, 0.5, 5.0, 100.0, 0]),
        ("[Infinity, -Infinity, NaN]", [None, None, None]),
        ("[18446744073709551615, 18446744073709551616, -9223372036854775809]",
         [2**64 - 1, 18446744073709551616.0, -9223372036854775809.0]),
        ("\ufeff\u00a0\u3000 7 // end", 7),
    ],
)
def test_loads_json5(open_json5, content, expected):
    assert strict_equal(open_json5(content).value(""), expected)


# ---------------------------------------------------------------- saving


def test_example_document_bytes(tmp_path):
    path = str(tmp_path / "conf" / "app.json5")
    engine = ZelSettingEngine(path, "json5")
    engine.set_value("b", [1, 2.5])
    engine.set_value("a", {})
    assert not os.path.exists(path)
    engine.sync()
    assert read_bytes(path) == b"{\n  a: {},\n  b: [\n    1,\n    2.5,\n  ],\n}"
    assert strict_equal(ZelSettingEngine(path, "json5").value(""), {"a": {}, "b": [1, 2.5]})


def test_quotes_keys_and_float_forms(tmp_path):
    path = str(tmp_path / "s.json5")
    engine = ZelSettingEngine(path, "json5")
    for key, value in [("a b", "it's"), ("_x1", 'say "hi"'), ("f", 3.0), ("g", 1e20), ("h", 1.5e-7),
                       ("e", {"": "a\\b\nc\u2028"}), ("1st", -0.0), ("ключ", ["x", None, True])]:
        engine.set_value(key, value)
    engine.sync()
    expected = (
        "{\n"
        "  \"1st\": -0,\n"
        "  _x1: 'say \"hi\"',\n"
        "  \"a b\": \"it's\",\n"
        '  e: {\n    "": "a\\\\b\\nc\\u2028",\n  },\n'
        "  f: 3,\n"
        "  g: 100000000000000000000,\n"
        "  h: 0.00000015,\n"
        "  ключ: [\n    \"x\",\n    null,\n    true,\n  ],\n"
        "}"
    )
    assert read_bytes(path) == expected.encode()
    back = ZelSettingEngine(path, "json5").value("")
    assert strict_equal(back, {"1st": 0, "_x1": 'say "hi"', "a b": "it's", "e": {"": "a\\b\nc\u2028"}, "f": 3,
                               "g": 1e20, "h": 1.5e-7, "ключ": ["x", None, True]})


# ---------------------------------------------------------------- errors


@pytest.mark.parametrize(
    "content,message",
    [
        ("", "unexpected end of input at line 1 column 1"),
        ("// nothing\n/* here */ ", "unexpected end of input at line 2 column 12"),
        ("{a:1", "unexpected end of input at line 1 column 5"),
        ("{\n  a: 1\n  b: 2\n}", "unexpected character 'b' at line 3 column 3"),
        ("['a\nb']", "unescaped line break in string at line 1 column 4"),
        ("'\\1'", "invalid escape at line 1 column 2"),
        ("'\\udc00'", "lone surrogate in escape at line 1 column 2"),
        ("{a\\u002d: 1}", "invalid identifier at line 1 column 3"),
        ("[01]", "leading zero in number at line 1 column 2"),
        ("1e400", "number out of range at line 1 column 1"),
        ("'open", "unterminated string at line 1 column 6"),
        ("1 /* open", "unterminated comment at line 1 column 10"),
        ("{} {}", "trailing characters at line 1 column 4"),
        ("[" * 128 + "]" * 128, "recursion limit exceeded at line 1 column 128"),
        ("{a:" * 100_000 + "1" + "}" * 100_000, "recursion limit exceeded at line 1 column 382"),
    ],
)
def test_parse_errors(open_json5, content, message):
    assert open_error(open_json5, content, PREFIX) == PREFIX + message


def test_127_levels_load(open_json5):
    node = open_json5("[" * 127 + "1" + "]" * 127).value("")
    for _ in range(127):
        node = node[0]
    assert node == 1


# ---------------------------------------------------------------- round trip


def after_reload(value):
    """What loading gives back: a float with an integral value that fits an integer comes back
    as exactly that integer (-0.0 as 0); everything else unchanged."""
    if isinstance(value, float) and value.is_integer() and -(2**63) <= value < 2**64:
        return int(value)
    if isinstance(value, list):
        return [after_reload(v) for v in value]
    if isinstance(value, dict):
        return {k: after_reload(v) for k, v in value.items()}
    return value


TEXT = any_text(max_size=8)
TREES = trees(json_leaves(TEXT), TEXT, max_leaves=20)


@given(TREES)
@sharing_tmp_path(300)
def test_round_trip(tmp_path, tree):
    back, _ = sync_and_reopen(tmp_path / "round.json5", tree, "json5")
    assert strict_equal(back, after_reload(tree)), (tree, back)
