"""Reference leaks: every method, on its success path and on each of its error paths, with every
driver, repeated many times, must leave sys.gettotalrefcount() where it was.

Needs a debug interpreter (--with-pydebug gives sys.gettotalrefcount); skipped elsewhere.
`python3 scripts/zel.py refleaks` builds one and runs this file.

How a leak is told from noise: before each sample, CPython's method cache is emptied
(sys._clear_type_cache) and garbage is collected. The cache keeps a reference to every attribute
name it holds and places names by address, so the temporary name strings that
PyObject_HasAttrString and PyObject_GetAttrString make on each call would otherwise add a few
references now and then (calling those functions through _testcapi, without this module, shows
the same). After a warm-up, the operation runs CALLS times in each of ROUNDS rounds. A leak of even
one reference per call adds at least CALLS / (calls per leak) in every round, while a one-off
allocation by the interpreter (a cache that grows once) shows in one round only; so, as CPython's
own refleak hunter does, a case fails when every round grew.
"""

import array
import collections.abc
import dataclasses
import enum
import gc
import pickle
import sys
import sysconfig
import threading
import time

import pytest

from _zel_core import ZelSettingEngine

from conftest import Frozen, OnlyRead, nested, write_file

pytestmark = pytest.mark.skipif(
    not hasattr(sys, "gettotalrefcount"), reason="needs a debug interpreter (sys.gettotalrefcount)"
)

CALLS = 40
ROUNDS = 4
WARMUP_CALLS = 100
PANIC_KEY = "\0zel-test-panic"  # raises PanicException in builds with the test hooks


def total_refs():
    sys._clear_type_cache()
    gc.collect()
    return sys.gettotalrefcount()


def refcount_deltas(fn):
    for _ in range(WARMUP_CALLS):
        fn()
    samples = array.array("q", bytes(8 * (ROUNDS + 1)))  # stores no Python objects
    for r in range(ROUNDS + 1):
        samples[r] = total_refs()
        if r < ROUNDS:
            for _ in range(CALLS):
                fn()
    return [samples[r + 1] - samples[r] for r in range(ROUNDS)]


def assert_no_leak(fn):
    deltas = refcount_deltas(fn)
    assert not all(d > 0 for d in deltas), f"references grew in every round: {deltas}"


def fresh(value):
    """A new copy of value. In a free-threaded build literals are immortal, and a reference
    leaked to an immortal object would not show in the total: calls get mortal copies."""
    if type(value) is str:
        return value.encode("utf-8", "surrogatepass").decode("utf-8", "surrogatepass")
    try:
        return pickle.loads(pickle.dumps(value))
    except Exception:
        return value  # unpicklable (ClassRaises): made at import, so mortal already


class Fresh:
    """A store whose methods are called with fresh copies of their arguments."""

    def __init__(self, store):
        self._store = store

    def __getattr__(self, name):
        attribute = getattr(self._store, name)
        if not callable(attribute):
            return attribute

        def call(*args, **kwargs):
            return attribute(*map(fresh, args), **{k: fresh(v) for k, v in kwargs.items()})

        return call


def construct(*args, **kwargs):
    """ZelSettingEngine(...) with fresh copies of the arguments (the driver object itself is
    kept when it is not a str: tests count its references)."""
    args = [a if isinstance(a, Driver) else fresh(a) for a in args]
    return ZelSettingEngine(*args, **{k: fresh(v) for k, v in kwargs.items()})


def raises(exc_type, fn, *args, **kwargs):
    """Calls fn and requires it to raise exc_type (so the error path really ran)."""
    try:
        fn(*args, **kwargs)
    except exc_type:
        return
    raise AssertionError(f"{fn!r}{args!r} did not raise {exc_type.__name__}")


# -- data ---------------------------------------------------------------------------------------

GOOD_FILES = {
    "json": '{"a": {"b": [1, -2, 3.5, "x", null, true, {"c": "\\u00e9"}]}, '
            '"big": 18446744073709551615, "neg": -9223372036854775808, '
            '"over": 123456789012345678901234567890, "list": [[], {}], "dup": 1, "dup": 2}',
    "json5": "{// comment\n a: {b: [1, -2, .5, 'x', null, true, +1, 0x1F, Infinity, NaN,]},\n"
             " 'q': \"s\", \\u0061b: 'line\\\n cont', }",
    "toml": 'title = "x"\n[a]\nb = [1, 2]\nc = 1.5\nd = 1979-05-27T07:32:00Z\n'
            '[[arr]]\nn = 1\n[[arr]]\nn = 2\n',
    "yaml": "a:\n  b: [1, 2, 3]\n  c: &anchor {x: 1, y: [.inf, .nan, 0123]}\n  d: *anchor\n"
            "list:\n  - one\n  - 2.5\n  - null\n  - !!str 12\ntext: |\n  multi\n  line\n",
}

BAD_FILES = [  # (driver, content, exception)
    ("json", '{"a": }', TypeError),
    ("json", '{"a": 1} x', TypeError),
    ("json", "[" * 128 + "]" * 128, TypeError),
    ("json", b'"\xff"', TypeError),
    ("json", "[1e400]", TypeError),
    ("json5", "{a: }", TypeError),
    ("json5", "[" * 128 + "]" * 128, TypeError),
    ("json5", b"{a: '\xff'}", OSError),
    ("toml", "a = ", TypeError),
    ("toml", "[a]\n[a]\n", TypeError),
    ("toml", b'a = "\xff"', OSError),
    ("yaml", "a: [1, 2", TypeError),
    ("yaml", "a: 1\n---\nb: 2\n", TypeError),
    ("yaml", "a: *nowhere\n", TypeError),
]


class IntKind(enum.IntEnum):
    ONE = 1


class Text(str):
    pass


@dataclasses.dataclass
class Point:
    x: int
    y: list


class Sequence(collections.abc.Sequence):
    def __init__(self, items):
        self.items = items

    def __getitem__(self, index):
        return self.items[index]

    def __len__(self):
        return len(self.items)


class Boom(Exception):
    pass


class KeysRaise(Frozen):
    def keys(self):
        raise Boom("keys")


class LenRaises(Sequence):
    def __len__(self):
        raise Boom("len")


class ItemRaises(Sequence):
    def __getitem__(self, index):
        if index == 1:
            raise Boom("item")
        return [index]


class StrRaises(Exception):
    def __str__(self):
        raise ValueError("no text")


class ValuesRaiseStrRaises(Frozen):
    def values(self):
        raise StrRaises()


class ClassRaises:
    """isinstance() against the abstract classes raises: goes to the unraisable hook."""

    @property
    def __class__(self):
        raise Boom("class")


@dataclasses.dataclass
class MissingField:
    x: int


def missing_field():
    obj = MissingField(1)
    del obj.x
    return obj


def self_referencing():
    items = [1]
    items.append(items)
    return items


GOOD_VALUES = [
    None, True, False, 0, 1, 2**64 - 1, -(2**63), -1, 1.5, -0.0, float("nan"), float("inf"),
    "", "text", "é\U0001f600", [1, [2, "x"]], (1, 2), {"b": 1, "a": {"c": None}}, {3, 4},
    frozenset({"x"}), range(3), IntKind.ONE, Text("sub"), Point(1, [2]), Frozen({"m": [1]}),
    Sequence([1, {"s": 2}]), collections.OrderedDict(z=1, a=2), nested(100),
    {"k": [{"deep": (1.0, Text("t"))}]},
]

BAD_VALUES = [  # all raise TypeError (a conversion error)
    object(), b"x", bytearray(b"x"), {1: "x"}, {None: 1}, 2**64, -(2**63) - 1, 2**128,
    -(2**127) - 1, "\ud800", {"a": "\udc00"}, [1, object()], {"a": [1, {"b": b"x"}]},
    nested(600), KeysRaise({"a": 1}), LenRaises([1]), ItemRaises([1, 2, 3]),
    ValuesRaiseStrRaises({"a": 1}), missing_field(), ClassRaises(),
]


class Driver:
    def __init__(self, data=None, *, read_error=None, write_error=None, on_write=None):
        self.data = {"a": [1, {"b": "c"}], "n": None} if data is None else data
        self.read_error = read_error
        self.write_error = write_error
        self.on_write = on_write

    def read(self, path):
        if self.read_error:
            raise self.read_error("read")  # a new exception each time: a re-raised one grows
        return fresh(self.data)

    def write(self, path, data):
        if self.write_error:
            raise self.write_error("write")
        if self.on_write:
            self.on_write(data)
        return [data, path]  # ignored


class ReadProperty:
    @property
    def read(self):
        raise RuntimeError("no read")

    def write(self, path, data):
        pass


class NotCallable:
    read = 5
    write = 6


class WriteNotCallable:
    def read(self, path):
        return {}

    write = 6


# -- fixtures -------------------------------------------------------------------------------------


@pytest.fixture
def files(tmp_path):
    paths = {}
    for driver, content in GOOD_FILES.items():
        path = tmp_path / f"good.{driver}"
        path.write_text(content)
        paths[driver] = str(path)
    return paths


@pytest.fixture(autouse=True)
def unraisable(monkeypatch):
    """Counts the calls of the unraisable hook (ClassRaises goes there), keeping no objects."""
    hits = array.array("q", [0])

    def hook(info):
        hits[0] += 1

    monkeypatch.setattr(sys, "unraisablehook", hook)
    return hits


def rich_store(tmp_path, driver="memory"):
    store = ZelSettingEngine(str(tmp_path / f"rich.{driver}"), driver)
    store.set_value("a/b", [1, "x", None, {"c": 2.5}])
    store.set_value("a/e", {})
    store.set_value("n", None)
    store.set_value("s", "é")
    store.set_value("big", 2**64 - 1)
    return Fresh(store)


# -- construction -------------------------------------------------------------------------------


@pytest.mark.parametrize("driver", ["json", "json5", "toml", "yaml", "JSON", "Yaml", "memory", None])
def test_construct_missing_file(tmp_path, driver):
    path = str(tmp_path / "missing" / "file")
    assert_no_leak(lambda: construct(path, driver))


@pytest.mark.parametrize("driver", list(GOOD_FILES))
def test_construct_and_read_a_file(files, driver):
    def run():
        store = construct(files[driver], driver)
        store.value("")
        store.all_keys()

    assert_no_leak(run)


@pytest.mark.parametrize("driver,content,exc", BAD_FILES, ids=lambda p: repr(p)[:20])
def test_construct_parse_errors(tmp_path, driver, content, exc):
    path = write_file(tmp_path / f"bad.{driver}", content)
    assert_no_leak(lambda: raises(exc, construct, path, driver))


@pytest.mark.parametrize("driver", ["json", "json5", "toml", "yaml"])
def test_construct_open_errors(tmp_path, driver):
    directory = str(tmp_path)
    with_nul = str(tmp_path / "a\0b")
    # The streaming readers report a failed read as a parse error; the others as what it is.
    read_error = TypeError if driver in ("json", "yaml") else IsADirectoryError
    assert_no_leak(lambda: (raises(read_error, construct, directory, driver),
                            raises(OSError, construct, with_nul, driver)))


@pytest.mark.parametrize(
    "args,kwargs,exc",
    [
        ((), {}, TypeError),
        ((b"p",), {}, TypeError),
        ((None,), {}, TypeError),
        (("p", "memory", 3), {}, TypeError),
        (("p",), {"drive": "memory"}, TypeError),
        (("p",), {"path": "q"}, TypeError),
        ((), {"driver": "memory"}, TypeError),
        (("p", "yml"), {}, ValueError),
        (("p", ""), {}, ValueError),
        (("p", "\ud800"), {}, TypeError),
        (("p", b"json"), {}, TypeError),
        (("p", 5), {}, TypeError),
        (("p", OnlyRead()), {}, TypeError),
        (("p", ReadProperty()), {}, RuntimeError),
        (("p", NotCallable()), {}, TypeError),
        (("p", Driver(read_error=Boom)), {}, Boom),
        (("p", Driver(read_error=StrRaises)), {}, StrRaises),
        (("p", Driver({"a": object()})), {}, TypeError),
        (("p", Driver([1, {"b": b"x"}])), {}, TypeError),
        (("p", Driver(self_referencing())), {}, TypeError),
        (("p", Driver(KeysRaise({}))), {}, TypeError),
    ],
    ids=lambda p: repr(p)[:30],
)
def test_construct_errors(args, kwargs, exc):
    assert_no_leak(lambda: raises(exc, construct, *args, **kwargs))


@pytest.mark.parametrize(
    "data", [{"a": 1}, [1, "x"], "text", None, 7, Frozen({"m": (1, 2)}), Point(1, [2])],
    ids=repr,
)
def test_construct_custom(data):
    driver = Driver(data)
    assert_no_leak(lambda: construct("p", driver).value(""))


def test_driver_object_released_with_the_store():
    driver = Driver()

    def run():
        store = construct("p", driver)
        store.sync()
        del store

    assert_no_leak(run)


# -- methods: success paths ---------------------------------------------------------------------


def test_reads_and_listings(tmp_path):
    store = rich_store(tmp_path)

    def run():
        for key in ["", "a", "a/b", "a/b/0", "n", "s", "big", "missing", "a/missing/x", "/a//b/"]:
            store.value(key)
            store.contains(key)
        store.value(key="a")
        store.contains(key="n")
        store.all_keys(), store.child_keys(), store.child_groups(), store.group()
        store.status(), store.is_writable(), store.file_name(), store.path
        store.begin_group("a")
        store.all_keys(), store.child_keys(), store.child_groups(), store.value(""), store.group()
        store.begin_group("/missing/")
        store.all_keys(), store.value(""), store.contains("")
        store.end_group()
        store.end_group()
        store.end_group()  # on an empty stack

    assert_no_leak(run)


@pytest.mark.parametrize("value", GOOD_VALUES, ids=lambda v: type(v).__name__)
def test_set_value_and_read_back(mem, value):
    mem = Fresh(mem)

    def run():
        mem.set_value("k/v", value)
        mem.set_value(value=value, key="top")
        mem.value("k")
        mem.value("top")

    assert_no_leak(run)


def test_writes(tmp_path):
    store = rich_store(tmp_path)

    def run():
        store.set_value("w/x", 1)
        store.set_value("w", {"y": [1, 2]})
        store.remove("w/y")
        store.remove("w/missing/deeper")
        store.remove("w")
        store.begin_group("g")
        store.set_value("", 5)  # replaces the group itself
        store.remove("")
        store.begin_group("inner")
        store.set_value("k", "v")
        store.clear()
        store.end_group()
        store.end_group()
        store.remove("g")

    assert_no_leak(run)


def test_clear_whole_store(mem):
    mem = Fresh(mem)

    def run():
        mem.set_value("a/b", [1, {"c": "d"}])
        mem.clear()

    assert_no_leak(run)


@pytest.mark.parametrize("driver", ["json", "json5", "toml", "yaml", "memory"])
def test_sync(tmp_path, driver):
    store = rich_store(tmp_path, driver)
    if driver == "toml":  # TOML has no null and no integer above 2**63 - 1
        store.remove("n")
        store.remove("big")
        store.set_value("a/b", [1, "x", {"c": 2.5}])
    assert_no_leak(store.sync)


def test_sync_custom():
    seen = []
    driver = Driver(on_write=seen.append)
    store = Fresh(ZelSettingEngine("p", driver))
    store.set_value("x", {"y": [1, 2.5, "z", None, True]})

    def run():
        store.sync()
        seen.clear()

    assert_no_leak(run)


# -- methods: error paths -----------------------------------------------------------------------


# By index: pytest's own isinstance() checks on a parameter would trip over ClassRaises.
@pytest.mark.parametrize("index", range(len(BAD_VALUES)), ids=[type(v).__name__ for v in BAD_VALUES])
def test_set_value_conversion_errors(mem, index, unraisable):
    mem = Fresh(mem)
    value = BAD_VALUES[index]
    assert_no_leak(lambda: raises(TypeError, mem.set_value, "k", value))
    assert mem.value("") == {}
    assert (unraisable[0] > 0) == isinstance(value, ClassRaises)


def test_argument_errors(mem):
    raw, mem = mem, Fresh(mem)

    def run():
        for method in (mem.value, mem.contains, mem.remove, mem.begin_group):
            raises(TypeError, method)
            raises(TypeError, method, 1)
            raises(TypeError, method, None)
            raises(TypeError, method, b"a")
            raises(TypeError, method, object())
            raises(TypeError, method, 10**30)
            raises(TypeError, method, "a", "b")
            raises(UnicodeEncodeError, method, "\ud800")
        raises(TypeError, mem.value, k="a")
        raises(TypeError, mem.value, "a", key="b")
        raises(TypeError, mem.value, **{"key": "a", "x": 1})
        raises(TypeError, mem.set_value)
        raises(TypeError, mem.set_value, "a")
        raises(TypeError, mem.set_value, "a", 1, 2)
        raises(TypeError, mem.set_value, 1, 1)
        raises(TypeError, mem.set_value, value=1)
        raises(TypeError, mem.sync, 1)
        raises(TypeError, mem.all_keys, "x")
        raises(TypeError, ZelSettingEngine.value, object(), "a")
        raises(TypeError, ZelSettingEngine.sync, "not a store")
        raises(AttributeError, setattr, raw, fresh("path"), fresh("q"))
        raises(AttributeError, setattr, raw, fresh("other"), object())

    assert_no_leak(run)


def test_key_and_path_errors(tmp_path):
    store = Fresh(ZelSettingEngine(str(tmp_path / "x.json"), "memory"))
    store.set_value("scalar", 3)
    list_root = tmp_path / "list.json"
    list_root.write_text("[1, 2]")
    on_list = Fresh(ZelSettingEngine(str(list_root)))
    null_root = tmp_path / "empty.yaml"
    null_root.write_text("")
    on_null = Fresh(ZelSettingEngine(str(null_root), "yaml"))

    def run():
        raises(KeyError, store.set_value, "", 1)
        raises(KeyError, store.set_value, "///", {"a": 1})
        raises(KeyError, store.remove, "")
        raises(TypeError, store.set_value, "scalar/x", [1, 2])
        raises(TypeError, store.remove, "scalar/x/y")
        store.begin_group("scalar")
        raises(TypeError, store.clear)
        store.end_group()
        for other in (on_list, on_null):
            raises(TypeError, other.set_value, "a", {"b": 1})
            raises(TypeError, other.remove, "a")
            raises(TypeError, other.clear)
            other.value("a"), other.value(""), other.all_keys(), other.child_groups()

    assert_no_leak(run)


def test_sync_errors(tmp_path):
    stores = []
    for driver in ["json", "json5", "toml", "yaml"]:
        # A regular file put where a directory is needed after the store was opened.
        under_file = ZelSettingEngine(str(tmp_path / f"file.{driver}" / "sub" / "s"), driver)
        (tmp_path / f"file.{driver}").write_text("x")
        under_file.set_value("a", 1)
        # A directory put where the file goes after the store was opened.
        at_directory = ZelSettingEngine(str(tmp_path / f"dir.{driver}"), driver)
        (tmp_path / f"dir.{driver}").mkdir()
        stores += [(under_file, OSError), (at_directory, IsADirectoryError)]
    toml_null = ZelSettingEngine(str(tmp_path / "n.toml"), "toml")
    toml_null.set_value("a", [1, None])
    toml_big = ZelSettingEngine(str(tmp_path / "big.toml"), "toml")
    toml_big.set_value("a", {"b": 2**63})
    too_deep = ZelSettingEngine(str(tmp_path / "deep.json"))
    too_deep.set_value("/".join(["k"] * 128), 1)
    too_deep_yaml = ZelSettingEngine(str(tmp_path / "deep.yaml"), "yaml")
    too_deep_yaml.set_value("/".join(["k"] * 129), 1)
    stores += [(toml_null, ValueError), (toml_big, ValueError), (too_deep, ValueError),
               (too_deep_yaml, ValueError)]

    def run():
        for store, exc in stores:
            raises(exc, Fresh(store).sync)

    assert_no_leak(run)


def test_custom_write_errors():
    failing = ZelSettingEngine("p", Driver(write_error=Boom))
    failing_str = ZelSettingEngine("p", Driver(write_error=StrRaises))
    not_callable = ZelSettingEngine("p", WriteNotCallable())

    failing, failing_str, not_callable = map(Fresh, (failing, failing_str, not_callable))

    def run():
        raises(Boom, failing.sync)
        raises(StrRaises, failing_str.sync)
        raises(TypeError, not_callable.sync)

    assert_no_leak(run)


def test_reentry_from_custom_write():
    outcomes = []

    def on_write(data):
        try:
            store.begin_group("g")
        except RuntimeError as exc:
            outcomes.append(str(exc))
        try:
            store.end_group()
        except RuntimeError as exc:
            outcomes.append(str(exc))
        store.value("")
        store.all_keys()
        store.set_value("inside", [1, 2])
        store.remove("inside")
        if len(outcomes) % 4 == 2:
            store.sync()  # nested sync: its own begin_group and end_group fail too

    store = Fresh(ZelSettingEngine("p", Driver({"a": 1}, on_write=on_write)))

    def run():
        store.sync()
        assert outcomes and set(outcomes) == {"Already borrowed"}
        outcomes.clear()

    assert_no_leak(run)


def test_reentry_from_a_converted_container(mem):
    mem = Fresh(mem)
    outcomes = []

    class Reentrant(Frozen):
        def keys(self):
            try:
                mem.begin_group("g")
            except RuntimeError as exc:
                outcomes.append(str(exc))
            mem.value("")  # a read during the conversion works
            return list(self._data)

    value = Reentrant({"a": [1]})

    def run():
        mem.set_value("k", value)
        assert outcomes == ["Already borrowed"]
        outcomes.clear()

    assert_no_leak(run)


@pytest.mark.skipif(
    not sysconfig.get_config_var("Py_GIL_DISABLED") or sys._is_gil_enabled(),
    reason="another thread can hold the store exclusively only without the GIL",
)
def test_borrow_conflicts_between_threads(mem):
    mem = Fresh(mem)
    mem.set_value("a", {"b": [1, 2, 3]})

    def run():
        stop = threading.Event()
        seen = {"Already borrowed": 0, "Already mutably borrowed": 0}

        def grouper():
            while not stop.is_set():
                try:
                    mem.begin_group("g")
                    mem.end_group()
                except RuntimeError as exc:
                    seen[str(exc)] += 1

        thread = threading.Thread(target=grouper)
        thread.start()
        deadline = time.monotonic() + 10
        try:
            while not (seen["Already borrowed"] and seen["Already mutably borrowed"]):
                assert time.monotonic() < deadline, f"no conflict in 10 s: {seen}"
                try:
                    mem.value("a")
                except RuntimeError as exc:
                    seen[str(exc)] += 1
        finally:
            stop.set()
            thread.join()
        # The group thread may have stopped between its two calls: close its group.
        while mem.group():
            mem.end_group()

    assert_no_leak(run)


def test_panic_path(mem):
    mem = Fresh(mem)
    try:
        mem.value(PANIC_KEY)
    except BaseException as exc:
        assert type(exc).__name__ == "PanicException"
    else:
        pytest.skip("the module was built without the test hooks")
    assert_no_leak(lambda: raises(BaseException, mem.value, PANIC_KEY))


def test_sub_interpreter_life(tmp_path):
    # A sub-interpreter that imports the module, uses a store (conversions, errors, the panic
    # path) and is destroyed must take its module state with it: the class, PanicException and
    # the lookups. A store left open at the end is closed by the interpreter's teardown.
    _interpreters = pytest.importorskip("_interpreters")
    code = f"""
import collections.abc, _zel_core
class Pairs(collections.abc.Mapping):
    def __getitem__(self, key): return 1
    def __iter__(self): return iter(["k"])
    def __len__(self): return 1
store = _zel_core.ZelSettingEngine({str(tmp_path / "s.json")!r})
store.set_value("a", {{"b": [1, 2.5, "x"], "m": Pairs()}})
assert store.value("a/m") == {{"k": 1}}
try:
    store.set_value("", 1)
except KeyError:
    pass
try:
    store.value({PANIC_KEY!r})
except BaseException:
    pass
"""

    def life():
        interp = _interpreters.create()
        try:
            failure = _interpreters.exec(interp, code)
        finally:
            _interpreters.destroy(interp)
        assert failure is None, failure.formatted

    assert_no_leak(life)


def test_the_measure_sees_a_leak():
    # The check itself: an operation that keeps one reference per call must fail it.
    kept = []
    token = object()
    assert all(d >= CALLS for d in refcount_deltas(lambda: kept.append(token)))
    with pytest.raises(AssertionError, match="grew in every round"):
        assert_no_leak(lambda: kept.append(token))
