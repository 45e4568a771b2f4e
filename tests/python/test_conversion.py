"""Conversion between Python objects and stored values, in both directions."""

import collections
import dataclasses
import decimal
import enum
import fractions
import math
import sys
import types
import typing
from collections.abc import Mapping, Sequence

import pytest
from hypothesis import given, settings, strategies as st

from _zel_core import ZelSettingEngine

from conftest import Frozen, nested, refused, strict_equal
from strategies import INTEGERS, any_text, json_leaves, trees


class Color(enum.Enum):
    RED = 1


class Level(enum.IntEnum):
    HIGH = 3


class Perm(enum.IntFlag):
    R = 4
    W = 2


class Mode(enum.StrEnum):
    FAST = "fast"


class MyInt(int):
    pass


class MyFloat(float):
    pass


class MyStr(str):
    pass


class MyBytes(bytes):
    pass


class MyByteArray(bytearray):
    pass


class MyDict(dict):
    pass


class MyList(list):
    pass


class MyTuple(tuple):
    pass


class MySet(set):
    pass


class Doubling(list):
    """A list subclass whose item access differs from its storage."""

    def __getitem__(self, i):
        return list.__getitem__(self, i) * 2


class IndexSeq(Sequence):
    """Items come from __getitem__ by index; iteration would give something else."""

    def __len__(self):
        return 3

    def __getitem__(self, i):
        if not 0 <= i < 3:
            raise IndexError(i)
        return i * 10

    def __iter__(self):
        return iter(["wrong"])


class SeqAndMapping(Sequence, Mapping):
    def __len__(self):
        return 2

    def __getitem__(self, i):
        if isinstance(i, int) and 0 <= i < 2:
            return i
        raise IndexError(i)

    def keys(self):
        return ["k"]


class HasIndex:
    def __index__(self):
        return 5


class HasFloat:
    def __float__(self):
        return 1.5


@dataclasses.dataclass
class Point:
    x: int
    y: list


@dataclasses.dataclass
class Line:
    start: Point
    end: Point
    label: str = "l"


@dataclasses.dataclass
class DictDataclass(dict):
    x: int = 1


@dataclasses.dataclass(slots=True)
class Slotted:
    x: int = 1


@dataclasses.dataclass
class WithPseudoFields:
    VERSION: typing.ClassVar[int] = 3
    seed: dataclasses.InitVar[int] = 0
    x: int = 1
    derived: int = dataclasses.field(init=False, default=2)


class ListWithFields(list):
    __dataclass_fields__ = {"x": None}


class BadFields:
    __dataclass_fields__ = ["x"]


class FieldsStandIn:
    """A hand-written field dict whose values are not field objects: its keys name the fields."""

    __dataclass_fields__ = {"a": None, "b": None}
    b = "class attribute"

    def __init__(self, **extra):
        self.a = [1, {"n": None}]
        self.__dict__.update(extra)


class FieldsStandInOfMapping(Frozen):
    __dataclass_fields__ = {"x": "not a field"}
    x = 5


class FieldsStandInBadName(FieldsStandIn):
    __dataclass_fields__ = {"a": None, 3: None}


class FieldsStandInMissing(FieldsStandIn):
    __dataclass_fields__ = {"a": None, "gone": None}


class Outer:
    class Inner:
        pass

    class Error(Exception):
        pass


class UnprintableError(Exception):
    def __str__(self):
        raise RuntimeError("no str")


class NoisyKey(str):
    """Equal-text keys that a dict still keeps apart."""

    def __hash__(self):
        return id(self)

    def __eq__(self, other):
        return self is other


def _nested_dict(depth):
    return nested(depth, lambda inner: {"k": inner})


_shared = [1]
_set = {3, "a", None, 2.5}

ROUND_TRIPS = [
    (None, None),
    (True, True),
    (False, False),
    (0, 0),
    (1, 1),
    (-1, -1),
    (2**64 - 1, 2**64 - 1),
    (2**63, 2**63),
    (-(2**63), -(2**63)),
    (1.0, 1.0),
    (-0.0, -0.0),
    (0.1, 0.1),
    (1e308, 1e308),
    (5e-324, 5e-324),
    ("", ""),
    ("text", "text"),
    ("é\U0001F600\x00\n", "é\U0001F600\x00\n"),
    ([], []),
    ({}, {}),
    ([1, [2, [3, {}]]], [1, [2, [3, {}]]]),
    ({"b": 1, "a": {"d": [None], "c": True}}, {"a": {"c": True, "d": [None]}, "b": 1}),
    (float("nan"), None),
    (float("inf"), None),
    (float("-inf"), None),
    ([float("nan"), {"x": float("-inf")}], [None, {"x": None}]),
    ((1, 2), [1, 2]),
    ((), []),
    (MyTuple((1, (2,))), [1, [2]]),
    (range(3), [0, 1, 2]),
    (range(10, 0, -4), [10, 6, 2]),
    (collections.deque([1, "a"]), [1, "a"]),
    (memoryview(b"ab"), [97, 98]),
    (IndexSeq(), [0, 10, 20]),
    (Doubling([1, 2]), [2, 4]),
    (MyList([1]), [1]),
    (SeqAndMapping(), [0, 1]),
    (ListWithFields([1, 2]), [1, 2]),
    (frozenset(), []),
    (MyInt(7), 7),
    (Level.HIGH, 3),
    (Perm.R | Perm.W, 6),
    (MyFloat(2.5), 2.5),
    (MyStr("s"), "s"),
    (Mode.FAST, "fast"),
    (MyDict(b=1, a=2), {"a": 2, "b": 1}),
    (collections.OrderedDict([("z", 1), ("y", 2)]), {"y": 2, "z": 1}),
    (collections.Counter("aab"), {"a": 2, "b": 1}),
    (collections.defaultdict(list, {"k": [1]}), {"k": [1]}),
    (types.MappingProxyType({"m": 1}), {"m": 1}),
    (Frozen({"q": [1], "p": None}), {"p": None, "q": [1]}),
    (collections.ChainMap({"a": 1}, {"a": 2, "b": 3}), {"a": 1, "b": 3}),
    ({"a": 1, NoisyKey("a"): 2}, {"a": 2}),
    ({MyStr("k"): 1}, {"k": 1}),
    ([_shared, _shared, {"x": _shared}], [[1], [1], {"x": [1]}]),
    (Point(1, [2]), {"x": 1, "y": [2]}),
    (Line(Point(0, []), Point(1, [None])), {"start": {"x": 0, "y": []}, "end": {"x": 1, "y": [None]},
                                             "label": "l"}),
    (nested(100), nested(100)),
    (_nested_dict(100), _nested_dict(100)),
    (Slotted(), {"x": 1}),
    (WithPseudoFields(seed=5), {"derived": 2, "x": 1}),
    (FieldsStandIn(c=3), {"a": [1, {"n": None}], "b": "class attribute"}),
    (FieldsStandInOfMapping({"y": 1}), {"x": 5}),
]


@pytest.mark.parametrize("value,expected", ROUND_TRIPS, ids=lambda v: type(v).__name__)
def test_round_trip(mem, value, expected):
    mem.set_value("k", value)
    got = mem.value("k")
    assert strict_equal(got, expected), (got, expected)
    assert mem.contains("k") is True


def test_results_are_plain_types(mem):
    mem.set_value("k", MyDict(a=MyList([MyInt(1), MyStr("s"), MyFloat(1.5), (2,)])))
    got = mem.value("k")
    assert type(got) is dict
    assert [type(x) for x in got["a"]] == [int, str, float, list]
    assert type(got["a"]) is list


def test_set_keeps_its_own_iteration_order(mem):
    mem.set_value("s", _set)
    assert mem.value("s") == list(_set)
    big = set(range(100, 0, -7)) | {"x", "y", "z"}
    mem.set_value("t", MySet(big))
    assert mem.value("t") == list(MySet(big))


def test_dict_comes_back_in_key_byte_order(mem):
    mem.set_value("d", {"b": 1, "a": 2, "B": 3, "é": 4, "aa": 5})
    assert list(mem.value("d")) == ["B", "a", "aa", "b", "é"]


def test_dict_subclass_dataclass_uses_its_fields(mem):
    d = DictDataclass(x=5)
    d["other"] = 9
    mem.set_value("k", d)
    assert mem.value("k") == {"x": 5}


class Failing(Exception):
    pass


def _raise(exc):
    raise exc


class KeysRaise(Frozen):
    def keys(self):
        raise KeyError("k")


class ValuesRaise(Frozen):
    def values(self):
        raise ValueError("no values")


class LenRaises(Frozen):
    def __len__(self):
        raise ZeroDivisionError("len")


class KeysAndLenRaise(Frozen):
    def keys(self):
        raise Failing("keys first")

    def __len__(self):
        raise ZeroDivisionError("len")


class SeqLenRaises(Sequence):
    def __len__(self):
        raise RuntimeError("no len")

    def __getitem__(self, i):
        return 1


class SeqItemRaises(Sequence):
    def __len__(self):
        return 3

    def __getitem__(self, i):
        if i == 1:
            raise IndexError("gone")
        return i


class ListItemRaises(list):
    def __getitem__(self, i):
        raise Outer.Error("inner error")


class SetIterRaises(set):
    def __iter__(self):
        raise RuntimeError("no iteration")


class UnprintableSeq(Sequence):
    def __len__(self):
        raise UnprintableError()

    def __getitem__(self, i):
        return 1


class EndlessSeq(Sequence):
    """Each item is a new instance of itself: infinitely deep without any cycle."""

    def __len__(self):
        return 1

    def __getitem__(self, i):
        if i:
            raise IndexError(i)
        return EndlessSeq()


def _missing_field():
    p = Point(1, [])
    del p.x
    return p


class HugeLen(Sequence):
    """Claims as many items as a length can say, then fails on the first one."""

    def __len__(self):
        return sys.maxsize

    def __getitem__(self, i):
        raise IndexError("no such item")


CONVERSION_ERRORS = [
    (2**64, "JSON number out of range"),
    (2**127, "JSON number out of range"),
    (2**128 - 1, "JSON number out of range"),
    (-(2**63) - 1, "JSON number out of range"),
    (-(2**127), "JSON number out of range"),
    (2**128, "OverflowError: Python int larger than 128 bits"),
    (-(2**127) - 1, "OverflowError: Python int larger than 128 bits"),
    (10**100, "OverflowError: Python int larger than 128 bits"),
    ([1, {"a": 2**64}], "JSON number out of range"),
    (b"x", "invalid type: byte array, expected any valid JSON value"),
    (b"", "invalid type: byte array, expected any valid JSON value"),
    (MyBytes(b"x"), "invalid type: byte array, expected any valid JSON value"),
    ({"a": [b"x"]}, "invalid type: byte array, expected any valid JSON value"),
    (bytearray(b"x"), "unexpected type: 'bytearray' object is not an instance of 'bytes'"),
    (MyByteArray(b"x"), "unexpected type: 'MyByteArray' object is not an instance of 'bytes'"),
    (object(), "unsupported type object"),
    (decimal.Decimal("1.5"), "unsupported type Decimal"),
    (fractions.Fraction(1, 2), "unsupported type Fraction"),
    (1j, "unsupported type complex"),
    (Color.RED, "unsupported type Color"),
    (HasIndex(), "unsupported type HasIndex"),
    (HasFloat(), "unsupported type HasFloat"),
    (Outer.Inner(), "unsupported type Outer.Inner"),
    (iter([1]), "unsupported type list_iterator"),
    ((x for x in [1]), "unsupported type generator"),
    (Point, "AttributeError: type object 'Point' has no attribute 'x'"),
    ([1, object()], "unsupported type object"),
    ({1: "x"}, "unexpected type: 'int' object is not an instance of 'str'"),
    ({None: 1}, "unexpected type: 'None' is not an instance of 'str'"),
    ({b"k": 1}, "unexpected type: 'bytes' object is not an instance of 'str'"),
    ({(1,): 1}, "unexpected type: 'tuple' object is not an instance of 'str'"),
    ({"ok": {2.5: 1}}, "unexpected type: 'float' object is not an instance of 'str'"),
    (Frozen({Outer.Inner: 1}), "unexpected type: 'type' object is not an instance of 'str'"),
    (BadFields(), "unexpected type: 'list' object is not an instance of 'dict'"),
    (KeysRaise({}), "KeyError: 'k'"),
    (ValuesRaise({"a": 1}), "ValueError: no values"),
    (LenRaises({"a": 1}), "ZeroDivisionError: len"),
    (KeysAndLenRaise({"a": 1}), "Failing: keys first"),
    (SeqLenRaises(), "RuntimeError: no len"),
    (SeqItemRaises(), "IndexError: gone"),
    (ListItemRaises([1]), "Outer.Error: inner error"),
    (SetIterRaises({1}), "RuntimeError: no iteration"),
    (UnprintableSeq(), "UnprintableError: <exception str() failed>"),
    (_missing_field(), "AttributeError: 'Point' object has no attribute 'x'"),
    (FieldsStandInBadName(), "unexpected type: 'int' object is not an instance of 'str'"),
    (FieldsStandInMissing(), "AttributeError: 'FieldsStandInMissing' object has no attribute 'gone'"),
    (HugeLen(), "IndexError: no such item"),
    ("a\ud800", "UnicodeEncodeError: "),
    ({"k\udfff": 1}, "UnicodeEncodeError: "),
    ([["\ud800"]], "UnicodeEncodeError: "),
]


@pytest.mark.parametrize("value,message", CONVERSION_ERRORS, ids=lambda v: type(v).__name__)
def test_conversion_error(mem, value, message):
    mem.set_value("a", {"b": 1})
    with refused(mem, TypeError) as info:
        mem.set_value("a/b/c", value)
    err = info.value
    assert len(err.args) == 1
    if message.endswith(": "):
        assert err.args[0].startswith(message)
    else:
        assert err.args[0] == message


def test_lone_surrogate_text_names_the_encode_error(mem):
    with pytest.raises(TypeError) as info:
        mem.set_value("k", "x\ud800")
    text = info.value.args[0]
    assert text.startswith("UnicodeEncodeError: ")
    assert "surrogate" in text


def test_failing_instance_check_goes_to_unraisable_hook(mem, monkeypatch):
    class Slippery:
        @property
        def __class__(self):
            raise Failing("who am I")

    seen = []
    monkeypatch.setattr(sys, "unraisablehook", seen.append)
    obj = Slippery()
    with pytest.raises(TypeError) as info:
        mem.set_value("k", obj)
    assert info.value.args == (f"unsupported type {Slippery.__qualname__}",)
    assert [type(u.exc_value) for u in seen] == [Failing, Failing]
    assert all(u.object is obj for u in seen)
    assert mem.value("") == {}


def test_failing_dataclass_lookup_counts_as_absent(mem):
    class Shifty(Frozen):
        def __getattr__(self, name):
            raise Failing(name)

    mem.set_value("k", Shifty({"a": 1}))
    assert mem.value("k") == {"a": 1}


class EmptiesItsHolder(Sequence):
    """Empties the list holding it when its length is asked for (converting it)."""

    def __init__(self, holder):
        self.holder = holder

    def __len__(self):
        self.holder.clear()
        return 0

    def __getitem__(self, i):
        raise IndexError(i)


class DropsFromItsHolder(EmptiesItsHolder):
    def __len__(self):
        self.holder.pop("z", None)
        self.holder["a"] = "changed"
        return 0


@pytest.mark.parametrize(
    "make,expected",
    [
        (lambda: (lambda l: (l.extend([EmptiesItsHolder(l), 1, 2]), l)[1])([]), [[], 1, 2]),
        (lambda: (lambda d: (d.update(a="a", m=DropsFromItsHolder(d), z="z"), d)[1])({}),
         {"a": "a", "m": [], "z": "z"}),
    ],
    ids=["list", "dict"],
)
def test_container_changed_by_its_own_member_converts_as_it_was(mem, make, expected):
    mem.set_value("k", make())
    assert mem.value("k") == expected


def test_mapping_methods_are_used_in_order(mem):
    calls = []

    class Logged(Frozen):
        def keys(self):
            calls.append("keys")
            return ["b", "a", "b"]

        def values(self):
            calls.append("values")
            return [1, 2, 3]

        def __len__(self):
            calls.append("len")
            return 3

    mem.set_value("k", Logged({}))
    assert calls == ["keys", "values", "len"]
    assert mem.value("k") == {"a": 2, "b": 3}


@pytest.mark.parametrize(
    "make",
    [
        lambda: (lambda l: (l.append(l), l)[1])([]),
        lambda: (lambda d: (d.__setitem__("self", d), d)[1])({}),
        lambda: (lambda a: (a.append([{"x": a}]), a)[1])([1]),
        lambda: (lambda d: (d.__setitem__("t", (1, [d])), d)[1])({}),
    ],
    ids=["list", "dict", "indirect", "via-tuple"],
)
def test_self_containing_value(mem, make):
    value = make()
    mem.set_value("keep", 1)
    with refused(mem, TypeError) as info:
        mem.set_value("k", value)
    assert "contains itself" in info.value.args[0]


@pytest.mark.parametrize(
    "value", [nested(100_000), _nested_dict(100_000), nested(10_000), EndlessSeq()],
    ids=["list-100000", "dict-100000", "list-10000", "endless"],
)
def test_too_deep_value(mem, value):
    mem.set_value("keep", 1)
    with refused(mem, TypeError) as info:
        mem.set_value("k", value)
    assert "nested" in info.value.args[0]


def test_reentrant_calls_during_conversion(mem):
    mem.set_value("a", 1)
    seen = {}

    class Reentrant(Frozen):
        def keys(self):
            for name, call in [("begin", lambda: mem.begin_group("x")), ("end", mem.end_group)]:
                try:
                    call()
                except RuntimeError as exc:
                    seen[name] = exc.args
            seen["read"] = mem.value("a")
            mem.set_value("inner", 2)
            seen["group"] = mem.group()
            return super().keys()

    mem.set_value("outer", Reentrant({"v": 3}))
    assert seen == {"begin": ("Already borrowed",), "end": ("Already borrowed",), "read": 1, "group": ""}
    assert mem.value("") == {"a": 1, "inner": 2, "outer": {"v": 3}}
    assert mem.group() == ""
    mem.begin_group("x")
    assert mem.group() == "x"


def test_uncaught_reentry_error_becomes_conversion_error(mem):
    class Grabby(Frozen):
        def keys(self):
            mem.begin_group("x")
            return []

    with pytest.raises(TypeError) as info:
        mem.set_value("k", Grabby({}))
    assert info.value.args == ("RuntimeError: Already borrowed",)
    assert mem.value("") == {}
    assert mem.group() == ""


JSONISH = trees(json_leaves(), any_text(max_size=5), max_leaves=30)


@given(JSONISH)
@settings(max_examples=300, deadline=None)
def test_round_trip_property(value):
    engine = ZelSettingEngine("unused", "memory")
    engine.set_value("k", value)
    assert strict_equal(engine.value("k"), value)


@given(st.lists(st.tuples(INTEGERS, st.floats()), max_size=5))
@settings(max_examples=100, deadline=None)
def test_tuples_and_nonfinite_floats_property(pairs):
    engine = ZelSettingEngine("unused", "memory")
    engine.set_value("k", pairs)
    expected = [[i, f if math.isfinite(f) else None] for i, f in pairs]
    assert strict_equal(engine.value("k"), expected)
