"""TOML settings files: loading every kind of value, date-times kept across syncs, what the
writer refuses (and that a refused sync changes no file), read errors, and round trips."""

import datetime
import math
import pathlib
import re
import tomllib

import pytest
from hypothesis import HealthCheck, given, strategies as st

from _zel_core import ZelSettingEngine

from conftest import open_error, read_bytes, strict_equal, sync_and_reopen, write_file
from strategies import DATETIME_MARKER as MARKER, any_text, sharing_tmp_path, toml_leaves, trees

SEED = pathlib.Path(__file__).resolve().parent.parent / "data" / "toml" / "settings.toml"
PARSE_ERROR = re.compile(r"TOML parse error: .+ at line \d+ column \d+")


def dt(text):
    return {MARKER: text}


# ---------------------------------------------------------------- loading


def test_seed_file_loads_every_kind_of_value():
    doc = ZelSettingEngine(str(SEED), "toml").value("")
    assert strict_equal(doc["schedule"], {
        "alarm": dt("07:30:00"), "day": dt("1979-05-27"),
        "local": dt("1979-05-27T07:32:00.5"), "released": dt("1979-05-27T07:32:00Z"),
    })
    assert strict_equal(doc["temperatures"], [-40.5, 1000.0, None, None])
    assert strict_equal(doc["offsets"], [-1, 0, 16, 15, 5])
    assert doc["window"]["theme"] == {"colors": {"background": "#202020", "text": "é\t"},
                                      "name": "C:\\themes\\dark"}
    assert doc["plugins"] == [{"name": "spell", "options": {"languages": ["en", "fr"]}},
                              {"name": "format", "rules": [{"id": 1}]}]
    assert list(doc) == sorted(doc)


@pytest.mark.parametrize(
    "content,expected",
    [
        ("", {}),
        (b"", {}),
        ("# only a comment\n\n", {}),
        ("i = 9223372036854775807\nn = -9223372036854775808\nh = 0xff",
         {"h": 255, "i": 2**63 - 1, "n": -(2**63)}),
        ("f = 1.0\ng = -0.0\ne = 1e3\ni = inf\nn = nan", {"e": 1000.0, "f": 1.0, "g": -0.0, "i": None, "n": None}),
        ("t = true\ns = 'lit\\eral'\nb = \"\\u00e9\\n\"", {"b": "é\n", "s": "lit\\eral", "t": True}),
        ("a.b.c = 1\n[x.y]\nz = [1, 'a', {k = []}]", {"a": {"b": {"c": 1}}, "x": {"y": {"z": [1, "a", {"k": []}]}}}),
        ("[[p]]\nn = 1\n[[p]]\n[p.q]", {"p": [{"n": 1}, {"q": {}}]}),
        ("d = 1979-05-27 07:32:00-07:00\nt = 07:32:00.250", {"d": dt("1979-05-27T07:32:00-07:00"), "t": dt("07:32:00.25")}),
        ("x = 1." + "0" * 127 + "\ny = 0." + "0" * 399 + "1e400", {"x": 1.0, "y": 1.0}),
        ("\ufeffa = 1", {"a": 1}),
    ],
)
def test_loads_valid_toml(open_toml, content, expected):
    assert strict_equal(open_toml(content).value(""), expected)


@pytest.mark.parametrize(
    "content",
    ["a = ", "a = 1\na = 2", "a = [1, 2", "[a\n", "a = \"\\q\"", "a = 9223372036854775808",
     "x = 1979-05-27TZ", "é = 1", "a = {b = 1,\nc = 2}"],
)
def test_malformed_text_raises_type_error(open_toml, content):
    message = open_error(open_toml, content)
    assert PARSE_ERROR.fullmatch(message), message


@pytest.mark.parametrize("levels,ok", [(127, True), (128, False), (100_000, False)])
def test_nesting_limit(open_toml, levels, ok):
    content = "a = " + "[" * (levels - 1) + "]" * (levels - 1)
    if ok:
        value = open_toml(content).value("a")
        for _ in range(levels - 2):
            value = value[0]
        assert value == []
    else:
        with pytest.raises(TypeError, match=r"^TOML parse error: recursion limit exceeded at line 1 column 131$"):
            open_toml(content)


def test_deep_dotted_key_fails_cleanly(open_toml):
    with pytest.raises(TypeError, match=r"^TOML parse error: recursion limit exceeded at line 1 column 1$"):
        open_toml("a" + ".a" * 100_000 + " = 1")


# ---------------------------------------------------------------- saving


def test_set_sync_reopen(tmp_path, open_toml):
    engine = open_toml("title = 'x'\n[window]\nwidth = 800\n")
    engine.set_value("window/height", 600)
    engine.set_value("list", [1, 2.5, "three", [True], {"k": "v"}])
    engine.set_value("plugins", [{"name": "a"}, {"name": "b", "opts": {"on": False}}])
    engine.sync()
    path = tmp_path / "settings.toml"
    expected = {
        "list": [1, 2.5, "three", [True], {"k": "v"}],
        "plugins": [{"name": "a"}, {"name": "b", "opts": {"on": False}}],
        "title": "x",
        "window": {"height": 600, "width": 800},
    }
    assert strict_equal(ZelSettingEngine(str(path), "toml").value(""), expected)
    assert strict_equal(tomllib.loads(read_bytes(path).decode()), expected)


def test_layout(tmp_path):
    engine = ZelSettingEngine(str(tmp_path / "l.toml"), "toml")
    engine.set_value("b", [1, 2])
    engine.set_value("a", "it's")
    engine.set_value("t/x", "y")
    engine.set_value("p", [{"n": 1}])
    engine.sync()
    assert read_bytes(tmp_path / "l.toml") == (
        b"a = \"it's\"\nb = [ 1, 2 ]\n\n[t]\nx = 'y'\n\n[[p]]\nn = 1\n"
    )


def test_date_times_survive_set_sync_reopen(tmp_path, open_toml):
    content = ("d = 1979-05-27\nlt = 07:32:00.5\n[s]\nodt = 1979-05-27T07:32:00-07:00\n"
               "ldt = 1979-05-27T07:32:00\nl = [2000-01-01, 23:59:59]\n")
    engine = open_toml(content)
    before = engine.value("")
    engine.set_value("s/new", 1)
    engine.sync()
    path = tmp_path / "settings.toml"
    after = ZelSettingEngine(str(path), "toml").value("")
    assert after["s"].pop("new") == 1
    assert strict_equal(after, before)
    assert b"d = 1979-05-27\n" in read_bytes(path)
    parsed = tomllib.loads(read_bytes(path).decode())
    assert parsed["d"] == datetime.date(1979, 5, 27)
    assert parsed["lt"] == datetime.time(7, 32, 0, 500000)
    assert parsed["s"]["odt"] == datetime.datetime(
        1979, 5, 27, 7, 32, tzinfo=datetime.timezone(datetime.timedelta(hours=-7)))
    assert parsed["s"]["ldt"] == datetime.datetime(1979, 5, 27, 7, 32)
    assert parsed["s"]["l"] == [datetime.date(2000, 1, 1), datetime.time(23, 59, 59)]


def test_marker_set_from_python_is_written_as_a_date_time(tmp_path):
    path = tmp_path / "m.toml"
    engine = ZelSettingEngine(str(path), "toml")
    when = datetime.datetime(2024, 2, 29, 12, tzinfo=datetime.timezone.utc)
    engine.set_value("when", dt("2024-02-29T12:00:00Z"))
    engine.set_value("iso", dt(when.isoformat()))  # "+00:00"
    engine.set_value("spaced", dt("2024-02-29 12:00:00z"))
    engine.set_value("not_a_date", dt("tomorrow"))
    engine.set_value("not_a_day", dt("2023-02-29"))
    engine.sync()
    parsed = tomllib.loads(read_bytes(path).decode())
    assert parsed["when"] == parsed["iso"] == parsed["spaced"] == when
    assert parsed["not_a_date"] == dt("tomorrow")
    assert parsed["not_a_day"] == dt("2023-02-29")
    reopened = ZelSettingEngine(str(path), "toml").value("")
    assert reopened["iso"] == reopened["spaced"] == dt("2024-02-29T12:00:00Z")
    assert reopened["not_a_day"] == dt("2023-02-29")


@pytest.mark.parametrize(
    "key,value,message",
    [
        ("x", None, "TOML cannot express null (at key x)"),
        ("a/b/c", None, "TOML cannot express null (at key a/b/c)"),
        ("l", [1, [None]], "TOML cannot express null (at key l[1][0])"),
        ("u", 2**64 - 1, "integer 18446744073709551615 is out of TOML's range (at key u)"),
        ("u", [2**63], "integer 9223372036854775808 is out of TOML's range (at key u[0])"),
    ],
)
def test_inexpressible_document_fails_sync_and_keeps_the_file(tmp_path, open_toml, key, value, message):
    path = tmp_path / "settings.toml"
    original = b"keep = 'these bytes'  # comment\n"
    engine = open_toml(original)
    engine.set_value(key, value)
    with pytest.raises(ValueError) as info:
        engine.sync()
    assert type(info.value) is ValueError
    assert info.value.args == (message,)
    assert read_bytes(path) == original
    assert strict_equal(engine.value(key), value)  # the document is unchanged
    engine.remove(key.split("/")[0])
    engine.sync()
    assert ZelSettingEngine(str(path), "toml").value("") == {"keep": "these bytes"}


def test_failed_sync_still_creates_the_directories(tmp_path):
    path = tmp_path / "new" / "dirs" / "s.toml"
    engine = ZelSettingEngine(str(path), "toml")
    engine.set_value("a", None)
    with pytest.raises(ValueError, match=r"^TOML cannot express null \(at key a\)$"):
        engine.sync()
    assert path.parent.is_dir()
    assert not path.exists()


# ---------------------------------------------------------------- round trips


KEY_TEXT = any_text(max_size=6)
TOML_VALUES = trees(toml_leaves(), KEY_TEXT, max_leaves=40)
TOML_DOCUMENTS = st.dictionaries(KEY_TEXT, TOML_VALUES, max_size=5)  # an object: a table


def native(value):
    """What tomllib gives for a value of ours: date-time markers become date and time objects."""
    if isinstance(value, dict):
        if list(value) == [MARKER]:
            text = value[MARKER]
            if "T" in text:
                return datetime.datetime.fromisoformat(text)
            return datetime.date.fromisoformat(text) if ":" not in text else datetime.time.fromisoformat(text)
        return {k: native(v) for k, v in value.items()}
    if isinstance(value, list):
        return [native(v) for v in value]
    return value


@given(TOML_DOCUMENTS)
@sharing_tmp_path(200)
def test_round_trip(tmp_path, document):
    back, written = sync_and_reopen(tmp_path / "rt" / "tree.toml", document, "toml", key="root")
    assert strict_equal(back, document)
    assert strict_equal(tomllib.loads(written.decode()), {"root": native(document)})


# ---------------------------------------------------------------- documents written by hand


BARE_KEY = re.compile(r"[A-Za-z0-9_-]+")
ESCAPES = {'"': '\\"', "\\": "\\\\", "\b": "\\b", "\t": "\\t", "\n": "\\n", "\f": "\\f", "\r": "\\r"}


def basic(draw, text, multi_line=False):
    """A basic string spelling `text`, some characters as \\u or \\U escapes."""
    out = []
    for c in text:
        if c == "\n" and multi_line and draw(st.booleans()):
            out.append("\r\n" if draw(st.booleans()) else "\n")
        elif c in ESCAPES:
            out.append(ESCAPES[c])
        elif ord(c) < 0x20 or ord(c) == 0x7F or draw(st.integers(0, 9)) == 0:
            out.append(f"\\u{ord(c):04x}" if ord(c) < 0x10000 and draw(st.booleans()) else f"\\U{ord(c):08X}")
        else:
            out.append(c)
    if multi_line:  # a line-ending backslash before a character that is not blank
        cut = draw(st.integers(0, len(out)))
        if cut < len(out) and out[cut][0] not in " \t\r\n":
            out.insert(cut, "\\ \n  \n\t")
        return '"""' + draw(st.sampled_from(["", "\n", "\r\n"])) + "".join(out) + '"""'
    return '"' + "".join(out) + '"'


def spelt_string(draw, text, key=False):
    literal_ok = "'" not in text and not any(ord(c) < 0x20 and c != "\t" or ord(c) == 0x7F for c in text)
    if key and BARE_KEY.fullmatch(text) and draw(st.booleans()):
        return text
    if literal_ok and draw(st.booleans()):
        return "'" + text + "'"
    return basic(draw, text, multi_line=not key and draw(st.booleans()))


def spelt_scalar(draw, v):
    if isinstance(v, bool):
        return "true" if v else "false"
    if isinstance(v, int):
        if v >= 0 and draw(st.booleans()):
            return draw(st.sampled_from([f"0x{v:x}", f"0o{v:o}", f"0b{v:b}", f"0x{v:X}"]))
        digits = str(abs(v))
        if draw(st.booleans()):
            digits = "_".join(digits)
        return ("-" if v < 0 else draw(st.sampled_from(["", "+"]))) + digits
    if isinstance(v, float):
        return repr(v) if math.isfinite(v) else draw(st.sampled_from(["inf", "-inf", "+inf", "nan", "-nan"]))
    if isinstance(v, str):
        return spelt_string(draw, v)
    return v.spelling  # a date-time


class Spelt:
    """A date, time or date-time with the spelling the document uses for it."""

    def __init__(self, value, spelling):
        self.value, self.spelling = value, spelling


@st.composite
def spelt_datetimes(draw):
    day = draw(st.dates(min_value=datetime.date(1, 1, 1)))
    clock = draw(st.times())
    time_text = f"{clock.hour:02d}:{clock.minute:02d}:{clock.second:02d}"
    if clock.microsecond or draw(st.booleans()):
        time_text += f".{clock.microsecond:06d}"[: draw(st.integers(7 if clock.microsecond % 10 else 2, 7))]
    kind = draw(st.sampled_from(["date", "time", "local", "offset"]))
    if kind == "date":
        return Spelt(day, day.isoformat())
    if kind == "time":
        return Spelt(clock, time_text)
    text = day.isoformat() + draw(st.sampled_from("Tt ")) + time_text
    value = datetime.datetime.combine(day, clock)
    if kind == "offset":
        minutes = draw(st.integers(-1439, 1439))
        zone = datetime.timezone(datetime.timedelta(minutes=minutes))
        value = value.replace(tzinfo=zone)
        if minutes == 0:
            text += draw(st.sampled_from(["Z", "z", "+00:00", "-00:00"]))
        else:
            text += f"{'-' if minutes < 0 else '+'}{abs(minutes) // 60:02d}:{abs(minutes) % 60:02d}"
    return Spelt(value, text)


# Any float: the document spells inf and nan in their TOML forms.
LEAVES = toml_leaves(floats=st.floats(), strings=any_text(max_size=8), date_times=spelt_datetimes())
TREES = trees(LEAVES, KEY_TEXT, max_leaves=25, max_size=3)
BLANK = st.sampled_from(["", " ", "\t", "  "])
LINE_END = st.sampled_from(["\n", "\n", "\r\n", "  # note\n", "\n\n", "\n# comment é\n"])


def spelt_value(draw, v):
    if isinstance(v, list):
        items = [spelt_value(draw, x) for x in v]
        seps = [draw(st.sampled_from([",", ", ", " ,\n", ", # c\n  "])) for _ in items]
        body = "".join(x + s for x, s in zip(items, seps))
        if items and draw(st.booleans()):
            body = body[: -len(seps[-1])]
        return "[" + draw(st.sampled_from(["", " ", "\n"])) + body + draw(st.sampled_from(["", " ", "\n"])) + "]"
    if isinstance(v, dict):
        pairs = [spelt_string(draw, k, key=True) + draw(BLANK) + "=" + draw(BLANK) + spelt_value(draw, x)
                 for k, x in v.items()]
        return "{" + draw(BLANK) + draw(st.sampled_from([",", ", "])).join(pairs) + draw(BLANK) + "}"
    return spelt_scalar(draw, v)


def spelt_table(draw, table, path, out):
    """Key/value lines (some as dotted keys), then [tables] and [[arrays of tables]] below."""
    later = []
    def lines(table, prefix):
        for k, v in table.items():
            key = prefix + [spelt_string(draw, k, key=True)]
            style = draw(st.integers(0, 3))
            if isinstance(v, dict) and v and style == 0:
                lines(v, key)  # dotted keys
            elif isinstance(v, dict) and style >= 2 and not prefix:
                later.append(("[", key[0], v))
            elif isinstance(v, list) and v and all(isinstance(x, dict) for x in v) and style >= 2 and not prefix:
                later.append(("[[", key[0], v))
            else:
                dots = draw(BLANK) + "." + draw(BLANK)
                out.append(dots.join(key) + draw(BLANK) + "=" + draw(BLANK) + spelt_value(draw, v) + draw(LINE_END))
    lines(table, [])
    for kind, key, v in later:
        for element in (v if kind == "[[" else [v]):
            out.append(kind + draw(BLANK) + ".".join(path + [key]) + draw(BLANK) + kind.replace("[", "]") +
                       draw(LINE_END))
            spelt_table(draw, element, path + [key], out)


@st.composite
def documents(draw):
    tree = draw(st.dictionaries(KEY_TEXT, TREES, max_size=5))
    out = []
    spelt_table(draw, tree, [], out)
    return "".join(out)


def as_loaded(value):
    """What our reader makes of tomllib's value: date-times as markers, inf and nan as None."""
    if isinstance(value, dict):
        return {k: as_loaded(v) for k, v in value.items()}
    if isinstance(value, list):
        return [as_loaded(v) for v in value]
    if isinstance(value, float) and not math.isfinite(value):
        return None
    if isinstance(value, (datetime.date, datetime.time)):
        text = value.isoformat()
        if isinstance(value, (datetime.datetime, datetime.time)) and value.microsecond:
            text = re.sub(r"(\.\d*?)0+(?=$|[+-])", r"\1", text)
        return dt(re.sub(r"\+00:00$", "Z", text))
    return value


@given(documents())
@sharing_tmp_path(300, HealthCheck.too_slow)
def test_loads_what_tomllib_loads(tmp_path, text):
    path = write_file(tmp_path / "doc.toml", text)
    assert strict_equal(ZelSettingEngine(path, "toml").value(""), as_loaded(tomllib.loads(text))), text
