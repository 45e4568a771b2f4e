"""Reading and writing JSON settings files: accepted input, rejected input and exact layout."""

import decimal
import json
import math
import os
import re

import pytest
from hypothesis import given, settings, strategies as st

from _zel_core import ZelSettingEngine

from conftest import CHILD_CALL, open_error, read_bytes, run_child, strict_equal, sync_and_reopen, write_file
from strategies import any_text, json_leaves, sharing_tmp_path, trees

PARSE_PREFIX = "JSON parse error: "
POSITION = re.compile(r" at line (\d+) column (\d+)$")


def parse_error(open_json, content):
    return open_error(open_json, content, PARSE_PREFIX)


# ---------------------------------------------------------------- loading


@pytest.mark.parametrize(
    "content,expected",
    [
        ('{"a": 1}', {"a": 1}),
        (' \t\r\n{"a" : [ 1 , 2 ] }\n\n ', {"a": [1, 2]}),
        ("[1, 2]", [1, 2]),
        ("5", 5),
        ("-5", -5),
        ('"s"', "s"),
        ("null", None),
        ("true", True),
        ('{"a": 1, "a": 2}', {"a": 2}),
        ('{"a": {"x": 1}, "a": 3}', {"a": 3}),
        ('{"b": 1, "a": 2, "B": 3}', {"B": 3, "a": 2, "b": 1}),
        ('{"": 0}', {"": 0}),
        ("1.0", 1.0),
        ("1E2", 100.0),
        ("-1.5e-3", -0.0015),
        ("0", 0),
        ("18446744073709551615", 2**64 - 1),
        ("-9223372036854775808", -(2**63)),
        ("18446744073709551616", 18446744073709551616.0),
        ("-9223372036854775809", -9223372036854775809.0),
        ("1" + "0" * 30, 1e30),
        ("0.30000000000000004", 0.30000000000000004),
        ("1.7976931348623157e308", 1.7976931348623157e308),
        ("5e-324", 5e-324),
        ("2.2250738585072011e-308", 2.2250738585072011e-308),
        ('"\\u00e9\\ud83d\\ude00\\n\\t\\"\\\\\\/\\b\\f\\r\\u0000"', "é😀\n\t\"\\/\b\f\r\x00"),
        ('"\x7f"', "\x7f"),
        ('"é\U0001F600"', "é\U0001F600"),
        ('{"a\\u0000b": 1}', {"a\x00b": 1}),
    ],
)
def test_loads_valid_json(open_json, content, expected):
    engine = open_json(content)
    assert strict_equal(engine.value(""), expected)


def test_empty_file_message(open_json):
    for content in ["", b""]:
        msg = parse_error(open_json, content)
        assert msg == "JSON parse error: EOF while parsing a value at line 1 column 0"


@pytest.mark.parametrize("content", ["   ", "\n\n", " \t "])
def test_blank_file_fails(open_json, content):
    msg = parse_error(open_json, content)
    assert "EOF while parsing a value" in msg
    assert POSITION.search(msg)


@pytest.mark.parametrize(
    "content,line", [("{}{}", 1), ('{"a": 1} x', 1), ("1 2", 1), ("[]\n\n  ]", 3), ("null,", 1)]
)
def test_trailing_text(open_json, content, line):
    msg = parse_error(open_json, content)
    m = re.fullmatch(r"JSON parse error: trailing characters at line (\d+) column (\d+)", msg)
    assert m, msg
    assert int(m.group(1)) == line


def _arrays(depth, inner="1"):
    return "[" * depth + inner + "]" * depth


def _objects(depth, inner="1"):
    return '{"a":' * depth + inner + "}" * depth


@pytest.mark.parametrize("make", [_arrays, _objects], ids=["arrays", "objects"])
def test_nesting_limit(open_json, make):
    engine = open_json(make(127))
    node = engine.value("")
    for _ in range(127):
        node = node[0] if isinstance(node, list) else node["a"]
    assert node == 1
    for depth in (128, 129, 100_000):
        msg = parse_error(open_json, make(depth))
        assert re.fullmatch(r"JSON parse error: recursion limit exceeded at line 1 column \d+", msg), msg


def test_deepest_object_path_loads(open_json):
    engine = open_json(_objects(126, "[]"))
    assert engine.all_keys() == ["/".join(["a"] * 126)]
    assert open_json(_arrays(127, "")).value("") is not None


MALFORMED = [
    "{", "[", "]", "}", '{"a":', '{"a" 1}', '{"a":1,}', "[1,]", "[1 2]", "{a:1}", "'a'", "tru",
    "nul", "nulll", "True", "01", "-01", "1.", ".5", "-", "+1", "1e", "1e+", "NaN", "Infinity",
    "-Infinity", "0x10", '"abc', '"abc\\"', "/* c */ {}", "// c\n{}", '{"a":1 "b":2}', "[,1]",
    '{,"a":1}', '{"a"}', '{1: 2}', "1e400", "-1e400", "1" + "0" * 400,
    '"\\x41"', '"\\u12"', '"\\u12G4"', '"\\U0041"', '"\\a"', '"\\\'"', '"\\ud800"', '"\\udfff"',
    '"\\ud800x"', '"\\ud800\\u0041"', '"\\udc00\\ud800"', '"\\ud83d"',
]


@pytest.mark.parametrize("content", MALFORMED)
def test_malformed_text(open_json, content):
    parse_error(open_json, content)


@pytest.mark.parametrize(
    "content",
    [b'"\xff"', b'"\xc3"', b'"\xc3x"', b'"\xc0\xaf"', b'"\xe0\x80\xaf"', b'"\xed\xa0\x80"',
     b'"\xf4\x90\x80\x80"', b'"\x80"', b'{"\xfe": 1}', b"\xff", b'["ok", "\xe2\x82"]'],
)
def test_invalid_utf8(open_json, content):
    parse_error(open_json, content)


@pytest.mark.parametrize("char", [chr(c) for c in range(0x20)])
def test_raw_control_characters_in_strings(open_json, char):
    parse_error(open_json, '{"k": "a' + char + 'b"}')
    parse_error(open_json, '{"k' + char + '": 1}')


def test_loading_reads_the_file_once(open_json, tmp_path):
    engine = open_json('{"a": 1}')
    write_file(tmp_path / "settings.json", '{"a": 2}')
    assert engine.value("a") == 1


def test_nul_in_path(tmp_path):
    with pytest.raises(OSError) as info:
        ZelSettingEngine(str(tmp_path) + "/a\x00b.json")
    err = info.value
    assert type(err) is OSError
    assert err.args == ("Failed to open config file: file name contained an unexpected NUL byte",)
    assert err.errno is None


@pytest.mark.parametrize("setup", ["file-as-dir", "loop", "too-long"])
def test_open_failure_is_plain_oserror(tmp_path, setup):
    if setup == "file-as-dir":
        write_file(tmp_path / "f", "{}")
        path, code = tmp_path / "f" / "x.json", 20
    elif setup == "loop":
        os.symlink("loop.json", tmp_path / "loop.json")
        path, code = tmp_path / "loop.json", 40
    else:
        path, code = tmp_path / ("n" * 300) / "x.json", 36
    with pytest.raises(OSError) as info:
        ZelSettingEngine(str(path))
    err = info.value
    assert type(err) is OSError
    assert err.args == (f"Failed to open config file: {os.strerror(code)} (os error {code})",)
    assert err.errno is None and err.strerror is None and err.filename is None


def test_unreadable_file_is_plain_oserror(public_dir):
    path = write_file(os.path.join(public_dir, "secret.json"), '{"a": 1}')
    os.chmod(path, 0o600)
    result = run_child(
        CHILD_CALL + f"print(json.dumps(call(lambda: ZelSettingEngine({path!r}).value(''))))",
        as_nobody=True,
    )
    assert result == {"ok": False, "type": "OSError", "args": 1,
                      "msg": "Failed to open config file: Permission denied (os error 13)"}
    memory = run_child(
        CHILD_CALL + f"print(json.dumps(call(lambda: ZelSettingEngine({path!r}, 'memory').value(''))))",
        as_nobody=True,
    )
    assert memory == {"ok": True, "result": {}}


# ---------------------------------------------------------------- writing


def saved(tmp_path, doc_setter):
    path = str(tmp_path / "out.json")
    engine = ZelSettingEngine(path)
    doc_setter(engine)
    engine.sync()
    return read_bytes(path)


def test_example_document_layout(tmp_path):
    def fill(e):
        e.set_value("b", [1, 2.5])
        e.set_value("a", {})

    assert saved(tmp_path, fill) == b'{\n  "a": {},\n  "b": [\n    1,\n    2.5\n  ]\n}'


def test_nested_layout(tmp_path):
    def fill(e):
        e.set_value("z", {"y": [[], [{}], {"k": None}], "x": True})
        e.set_value("e", "")
        e.set_value("n", -3)

    expected = (
        "{\n"
        '  "e": "",\n'
        '  "n": -3,\n'
        '  "z": {\n'
        '    "x": true,\n'
        '    "y": [\n'
        "      [],\n"
        "      [\n"
        "        {}\n"
        "      ],\n"
        "      {\n"
        '        "k": null\n'
        "      }\n"
        "    ]\n"
        "  }\n"
        "}"
    )
    assert saved(tmp_path, fill) == expected.encode()


@pytest.mark.parametrize(
    "content,written",
    [("  5 ", b"5"), ("[]", b"[]"), ("{}", b"{}"), ('"x"', b'"x"'), ("null", b"null"),
     ("false", b"false"), ("[1,[2,{}]]", b"[\n  1,\n  [\n    2,\n    {}\n  ]\n]"), ("-0.0", b"-0.0"),
     ("1e2", b"100.0")],
)
def test_root_of_any_kind_is_written_back(open_json, tmp_path, content, written):
    engine = open_json(content)
    engine.sync()
    assert read_bytes(tmp_path / "settings.json") == written


@pytest.mark.parametrize(
    "text,escaped",
    [
        ("\t\"", b'\\t\\"'),
        ("\x01", b"\\u0001"),
        ("\x1f", b"\\u001f"),
        ("\x00", b"\\u0000"),
        ("\b\f\n\r", b"\\b\\f\\n\\r"),
        ("back\\slash", b"back\\\\slash"),
        ("\x0b\x0e", b"\\u000b\\u000e"),
        ("\x7f", b"\x7f"),
        ("a/b", b"a/b"),
        ("é\u2028\U0001F600", "é\u2028\U0001F600".encode()),
        ("'", b"'"),
    ],
)
def test_string_escapes(tmp_path, text, escaped):
    out = saved(tmp_path, lambda e: e.set_value("s", text))
    assert out == b'{\n  "s": "' + escaped + b'"\n}'
    key_out = saved(tmp_path, lambda e: (e.remove("s"), e.set_value(text.replace("/", "|"), 1)))
    assert key_out == b'{\n  "' + escaped.replace(b"/", b"|") + b'": 1\n}'
    assert ZelSettingEngine(str(tmp_path / "out.json")).value(text.replace("/", "|")) == 1


@pytest.mark.parametrize(
    "number,text",
    [
        (1.0, "1.0"), (3.0, "3.0"), (-2.0, "-2.0"), (2.5, "2.5"), (0.1, "0.1"), (-0.0, "-0.0"),
        (0.0, "0.0"), (1e20, "1e+20"), (1.5e-7, "1.5e-7"), (1e16, "1e+16"), (0.001, "0.001"),
        (1e-7, "1e-7"), (1e300, "1e+300"), (5e-324, "5e-324"),
        (1.7976931348623157e308, "1.7976931348623157e+308"), (0.30000000000000004, "0.30000000000000004"),
        (123456789012345.0, "123456789012345.0"), (2**64 - 1, "18446744073709551615"),
        (-(2**63), "-9223372036854775808"), (0, "0"), (True, "true"),
    ],
)
def test_number_forms(tmp_path, number, text):
    assert saved(tmp_path, lambda e: e.set_value("n", number)) == ('{\n  "n": ' + text + "\n}").encode()


def _number_text(tmp_path, value):
    out = saved(tmp_path, lambda e: e.set_value("n", value)).decode()
    assert out.startswith('{\n  "n": ') and out.endswith("\n}")
    return out[len('{\n  "n": '):-2]


@given(st.floats(allow_nan=False, allow_infinity=False))
@sharing_tmp_path(300)
def test_floats_are_written_shortest_and_read_back_exactly(tmp_path, value):
    text = _number_text(tmp_path, value)
    assert re.fullmatch(r"-?\d+\.\d+|-?\d(\.\d+)?e[+-][1-9]\d*", text), text
    assert float(text) == value and str(float(text)) == str(value)
    assert decimal.Decimal(text) == decimal.Decimal(repr(value))
    reopened = ZelSettingEngine(str(tmp_path / "out.json")).value("n")
    assert strict_equal(reopened, value)


JSON_TREES = trees(json_leaves(), any_text(max_size=6), max_leaves=40)


@given(JSON_TREES)
@sharing_tmp_path(200)
def test_save_and_reload_round_trip(tmp_path, tree):
    back, written = sync_and_reopen(tmp_path / "rt" / "tree.json", tree, key="root")
    assert strict_equal(back, tree)
    assert strict_equal(json.loads(written.decode("utf-8")), {"root": tree})


@given(JSON_TREES, st.booleans(), st.sampled_from([None, 1, 3]))
@sharing_tmp_path(200)
def test_reads_what_another_writer_produced(tmp_path, tree, ascii_only, indent):
    path = write_file(tmp_path / "foreign.json", json.dumps({"t": tree}, ensure_ascii=ascii_only, indent=indent))
    assert strict_equal(ZelSettingEngine(path).value("t"), tree)


# Number spellings: mantissas with many digits and leading zeros in the fraction, exponents in
# the thousands of either sign. The standard library's json gives the value; our rules apply
# to it (64-bit integers stay integers, other integers become floats).
_digits = st.text("0123456789", min_size=1, max_size=400)
number_spellings = st.builds(
    lambda sign, lead, rest, frac, exp: sign + (lead + rest if lead != "0" else "0") + frac + exp,
    st.sampled_from(["", "-"]),
    st.sampled_from("0123456789"),
    st.text("0123456789", max_size=400),
    st.one_of(st.just(""), _digits.map(lambda d: "." + d)),
    st.one_of(st.just(""), st.builds(lambda e, s, n: e + s + str(n), st.sampled_from("eE"),
                                    st.sampled_from(["", "+", "-"]), st.integers(0, 5000))),
)


@settings(max_examples=300, deadline=None)
@given(number_spellings)
def test_every_finite_number_spelling_loads_alike_in_json_json5_and_yaml(tmp_path_factory, text):
    reference = json.loads(text)
    drivers = [("json", '{"x": %s}'), ("json5", "{x: %s}"), ("yaml", "x: %s\n")]
    if isinstance(reference, int) and not -(2**63) <= reference < 2**64:
        reference = float(text)
        drivers.pop()  # YAML has a rule of its own for integers beyond 64 bits: an error
    directory = tmp_path_factory.mktemp("numbers")
    for driver, document in drivers:
        path = directory / f"n.{driver}"
        path.write_text(document % text)
        if isinstance(reference, float) and math.isinf(reference):
            if driver == "yaml":  # YAML keeps a float it cannot hold as the scalar's text
                assert ZelSettingEngine(str(path), driver).value("x") == text
            else:
                with pytest.raises(TypeError, match="number out of range"):
                    ZelSettingEngine(str(path), driver)
            continue
        loaded = ZelSettingEngine(str(path), driver).value("x")
        assert type(loaded) is type(reference), (driver, text)
        assert loaded == reference or (math.isnan(reference) and math.isnan(loaded)), (driver, text)
        if isinstance(reference, float):
            assert math.copysign(1, loaded) == math.copysign(1, reference), (driver, text)
