"""Objects with read and write as drivers: selection, loading, saving and re-entry during write."""

import faulthandler
import gc
import sys
import threading
import time
import weakref

import pytest

from _zel_core import ZelSettingEngine


@pytest.fixture
def watchdog():
    """Dumps every thread's stack and ends the run if a test hangs, instead of stalling."""
    faulthandler.dump_traceback_later(60, exit=True)
    yield
    faulthandler.cancel_dump_traceback_later()


class Recorder:
    def __init__(self, data, on_write=None):
        self.data = data
        self.reads = []
        self.writes = []
        self.on_write = on_write

    def read(self, path):
        self.reads.append(path)
        return self.data

    def write(self, path, data):
        self.writes.append((path, data))
        if self.on_write:
            return self.on_write(path, data)
        return "ignored"


def test_read_once_at_construction_with_the_exact_path():
    driver = Recorder({"b": [1, (2, 3)], "a": {"x": None}})
    store = ZelSettingEngine("rel/../odd path.cfg", driver)
    assert driver.reads == ["rel/../odd path.cfg"]
    assert store.value("") == {"a": {"x": None}, "b": [1, [2, 3]]}
    store.value("a")
    store.sync()
    assert driver.reads == ["rel/../odd path.cfg"]
    assert store.is_writable() is True


@pytest.mark.parametrize("returned,expected", [([1, "x"], [1, "x"]), ("text", "text"), (None, None), (7, 7)])
def test_any_convertible_result_is_the_root(returned, expected):
    store = ZelSettingEngine("p", Recorder(returned))
    assert store.value("") == expected


def test_each_sync_hands_a_fresh_converted_copy():
    driver = Recorder({"a": 1})
    store = ZelSettingEngine("conf/x", driver)
    store.begin_group("g")
    store.set_value("k", 2.5)
    store.sync()
    store.sync()
    (p1, d1), (p2, d2) = driver.writes
    assert p1 == p2 == "conf/x"
    assert d1 == d2 == {"a": 1, "g": {"k": 2.5}}
    assert d1 is not d2
    d1["a"] = "changed"
    assert store.value("/a") is None  # under group g: /a is g/a
    store.end_group()
    assert store.value("a") == 1


def test_array_root_is_handed_as_a_list():
    driver = Recorder([1, 2])
    ZelSettingEngine("p", driver).sync()
    assert driver.writes == [("p", [1, 2])]


@pytest.mark.parametrize(
    "driver_factory,exc,message",
    [
        (lambda: type("R", (), {"read": lambda s, p: (_ for _ in ()).throw(KeyError("r")), "write": 1})(),
         KeyError, "'r'"),
        (lambda: type("R", (), {"read": 5, "write": 1})(), TypeError, "'int' object is not callable"),
        (lambda: type("R", (), {"read": lambda s, p: object(), "write": 1})(), TypeError,
         "Failed to depythonize custom driver data: unsupported type object"),
        (lambda: type("R", (), {"read": lambda s, p: {1: 2}, "write": 1})(), TypeError,
         "Failed to depythonize custom driver data: unexpected type: 'int' object is not an instance of 'str'"),
    ],
)
def test_read_failures(driver_factory, exc, message):
    with pytest.raises(exc) as info:
        ZelSettingEngine("p", driver_factory())
    assert str(info.value) == message


def test_read_exception_is_passed_on_unchanged():
    err = LookupError("mine")

    class D:
        def read(self, path):
            raise err

        write = None

    with pytest.raises(LookupError) as info:
        ZelSettingEngine("p", D())
    assert info.value is err


class RaisingProperty:
    looked_up = []

    @property
    def read(self):
        self.looked_up.append("read")
        raise RuntimeError("lookup failed")

    @property
    def write(self):
        self.looked_up.append("write")
        return None


def test_attribute_lookup_errors_pass_through_and_stop_the_tests():
    RaisingProperty.looked_up.clear()
    with pytest.raises(RuntimeError, match="lookup failed"):
        ZelSettingEngine("p", RaisingProperty())
    assert RaisingProperty.looked_up == ["read"]


def test_write_exception_passes_unchanged_and_store_keeps_working():
    err = OSError(5, "disk on fire")

    def fail(path, data):
        raise err

    driver = Recorder({"a": 1}, on_write=fail)
    store = ZelSettingEngine("p", driver)
    with pytest.raises(OSError) as info:
        store.sync()
    assert info.value is err
    store.set_value("b", 2)
    store.begin_group("g")
    store.end_group()
    driver.on_write = None
    store.sync()
    assert driver.writes[-1][1] == {"a": 1, "b": 2}


def test_reentry_from_write(watchdog):
    seen = {}

    def reenter(path, data):
        if len(driver.writes) == 2:  # the nested sync
            seen["nested_data"] = data
            return
        seen["value"] = store.value("a")
        seen["keys"] = store.all_keys()
        seen["group"] = store.group()
        for name, call in [("begin", lambda: store.begin_group("x")), ("end", store.end_group)]:
            with pytest.raises(RuntimeError) as info:
                call()
            seen[name] = str(info.value)
        # Writes are possible: the document lock is not held while write runs, and the data
        # being written is still the document as it was when sync took its snapshot.
        store.set_value("added", 1)
        store.remove("a")
        seen["data_after_writes"] = dict(data)
        store.sync()  # a nested sync saves again, with the changed document
        store.clear()

    driver = Recorder({"a": 5}, on_write=reenter)
    store = ZelSettingEngine("p", driver)
    store.sync()
    assert seen["value"] == 5 and seen["keys"] == ["a"] and seen["group"] == ""
    assert seen["begin"] == seen["end"] == "Already borrowed"
    assert seen["data_after_writes"] == {"a": 5}
    assert seen["nested_data"] == {"added": 1}
    assert [d for _, d in driver.writes] == [{"a": 5}, {"added": 1}]
    assert store.value("") == {}


def test_other_threads_write_and_sync_while_write_runs(watchdog):
    started = threading.Event()
    release = threading.Event()

    def slow(path, data):
        if threading.current_thread() is threading.main_thread():
            started.set()
            assert release.wait(30)
            time.sleep(0)

    driver = Recorder({}, on_write=slow)
    store = ZelSettingEngine("p", driver)
    errors = []

    def other():
        try:
            assert started.wait(30)
            for i in range(200):
                store.set_value(f"t/{i}", i)
                store.remove(f"t/{i - 1}")
                store.clear() if i == 199 else None
            store.sync()
        except BaseException as exc:  # pragma: no cover - reported below
            errors.append(exc)
        finally:
            release.set()

    thread = threading.Thread(target=other)
    thread.start()
    store.sync()
    thread.join(30)
    assert not thread.is_alive()
    assert errors == []
    assert driver.writes[0][1] == {}


def test_driver_object_is_released_with_the_store():
    driver = Recorder({"a": 1})
    before = sys.getrefcount(driver)
    store = ZelSettingEngine("p", driver)
    assert sys.getrefcount(driver) == before + 1
    del store
    gc.collect()
    assert sys.getrefcount(driver) == before


def test_failed_construction_releases_the_driver():
    class D:
        def read(self, path):
            return object()

        def write(self, path, data):
            pass

    driver = D()
    before = sys.getrefcount(driver)
    for _ in range(3):
        with pytest.raises(TypeError):
            ZelSettingEngine("p", driver)
    assert sys.getrefcount(driver) == before


def test_panic_from_python_code_comes_back_as_a_panic(capfd):
    class PanicException(BaseException):  # what another extension built the same way raises
        pass

    class D:
        def read(self, path):
            raise PanicException("boom in another extension")

        write = None

    with pytest.raises(BaseException) as info:
        ZelSettingEngine("p", D())
    err = info.value
    assert type(err).__name__ == "PanicException"
    assert type(err) is not PanicException
    assert type(err).__bases__ == (BaseException,)
    assert err.args == ("boom in another extension",)
    printed = capfd.readouterr().err
    assert "Python stack trace below:" in printed
    assert "boom in another extension" in printed


def test_a_driver_that_keeps_its_own_store_is_collected():
    class SelfKeeping:
        def __init__(self):
            self.payload = bytearray(1 << 20)
            self.store = None

        def read(self, path):
            return {"k": 1}

        def write(self, path, data):
            pass

    refs = []
    for _ in range(20):
        driver = SelfKeeping()
        driver.store = ZelSettingEngine("p", driver)
        assert gc.is_tracked(driver.store)
        refs.append(weakref.ref(driver))
    del driver
    gc.collect()
    assert all(r() is None for r in refs)


def test_a_store_whose_driver_was_cleared_raises_instead_of_crashing():
    # A finalizer running during collection may still reach a store after its driver was
    # cleared: its calls must fail cleanly.
    seen = []

    class Witness:
        def __del__(self):
            try:
                self.store.sync()
            except RuntimeError as e:
                seen.append(str(e))

    class Driver:
        def read(self, path):
            return {}

        def write(self, path, data):
            pass

    d = Driver()
    w = Witness()
    w.store = ZelSettingEngine("p", d)
    d.cycle = (d, w)
    del d, w
    gc.collect()
    assert seen in ([], ["the custom driver was released by the garbage collector"])
