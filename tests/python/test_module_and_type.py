"""Module attributes, the ZelSettingEngine type object and its method table."""

import gc
import importlib.util
import inspect
import os
import subprocess
import sys
import weakref

import pytest

import _zel_core
from _zel_core import ZelSettingEngine

METHOD_SIGNATURES = {
    "begin_group": "($self, name)",
    "end_group": "($self)",
    "group": "($self)",
    "contains": "($self, key)",
    "value": "($self, key)",
    "set_value": "($self, key, value)",
    "remove": "($self, key)",
    "all_keys": "($self)",
    "child_keys": "($self)",
    "child_groups": "($self)",
    "clear": "($self)",
    "sync": "($self)",
    "status": "($self)",
    "is_writable": "($self)",
    "file_name": "($self)",
}


def test_module_exports_only_the_class():
    assert _zel_core.__all__ == ["ZelSettingEngine"]
    assert type(_zel_core.__all__) is list
    assert _zel_core.__doc__ == ""
    public = {name for name in vars(_zel_core) if not name.startswith("__")}
    assert public == {"ZelSettingEngine"}
    assert isinstance(ZelSettingEngine, type)


def test_new_module_object_shares_the_type():
    found = importlib.util.find_spec("_zel_core")
    second = importlib.util.module_from_spec(found)
    found.loader.exec_module(second)
    assert second is not _zel_core
    assert second.ZelSettingEngine is ZelSettingEngine
    assert second.__all__ == ["ZelSettingEngine"]


def test_type_names_and_signature():
    assert ZelSettingEngine.__module__ == "builtins"
    assert ZelSettingEngine.__name__ == "ZelSettingEngine"
    assert ZelSettingEngine.__qualname__ == "ZelSettingEngine"
    assert ZelSettingEngine.__text_signature__ == "(path, driver=None)"
    assert not ZelSettingEngine.__doc__
    assert ZelSettingEngine.__bases__ == (object,)
    assert str(inspect.signature(ZelSettingEngine)) == "(path, driver=None)"


def test_import_raises_no_warning():
    env = dict(os.environ)
    env["PYTHONPATH"] = os.path.dirname(_zel_core.__file__) + os.pathsep + env.get("PYTHONPATH", "")
    code = "import _zel_core; print(_zel_core.ZelSettingEngine.__module__)"
    proc = subprocess.run([sys.executable, "-W", "error", "-c", code], capture_output=True, text=True, env=env)
    assert proc.returncode == 0, proc.stderr
    assert proc.stdout == "builtins\n"


def test_class_attributes_are_exactly_the_methods_and_path():
    names = {n for n in vars(ZelSettingEngine) if not n.startswith("__")}
    assert names == set(METHOD_SIGNATURES) | {"path"}


@pytest.mark.parametrize("name,signature", sorted(METHOD_SIGNATURES.items()))
def test_method_text_signature(name, signature):
    method = getattr(ZelSettingEngine, name)
    assert method.__text_signature__ == signature
    assert not method.__doc__
    params = list(inspect.signature(method).parameters)
    assert params == [p.strip() for p in signature[1:-1].replace("$", "").split(",")]


def test_cannot_subclass():
    with pytest.raises(TypeError):
        type("Sub", (ZelSettingEngine,), {})


def test_class_is_not_immutable():
    ZelSettingEngine.extra_class_attribute = 1
    try:
        assert ZelSettingEngine.extra_class_attribute == 1
    finally:
        del ZelSettingEngine.extra_class_attribute
    assert not hasattr(ZelSettingEngine, "extra_class_attribute")


def test_instance_has_no_dict_and_no_weakrefs(mem):
    with pytest.raises(AttributeError):
        mem.anything = 1
    with pytest.raises(AttributeError):
        mem.__dict__
    with pytest.raises(TypeError):
        weakref.ref(mem)
    assert not gc.is_tracked(mem)


def test_path_attribute_is_read_only(tmp_path):
    path = str(tmp_path / "x.json")
    engine = ZelSettingEngine(path)
    assert engine.path == path == engine.file_name()
    assert type(engine.path) is str
    with pytest.raises(AttributeError):
        engine.path = "other"
    with pytest.raises(AttributeError):
        del engine.path
    assert engine.path == path


def test_foreign_receiver_rejected_by_descriptor(mem):
    with pytest.raises(TypeError):
        ZelSettingEngine.value(object(), "a")
    with pytest.raises(TypeError):
        ZelSettingEngine.sync("not an engine")
    with pytest.raises(TypeError):
        ZelSettingEngine.path.__get__(object())
    assert ZelSettingEngine.value(mem, "a") is None


def _interpreter_api():
    """(create, run, close): concurrent.interpreters where it exists (3.14 on), else the
    private module it is built on. `run` raises AssertionError with the interpreter's traceback
    when the code fails there."""
    try:
        from concurrent import interpreters
    except ImportError:
        interpreters = None
    if interpreters is not None:
        def run(interp, code):
            try:
                interp.exec(code)
            except interpreters.ExecutionFailed as failure:
                raise AssertionError(str(failure)) from None
        return interpreters.create, run, lambda interp: interp.close()
    _interpreters = pytest.importorskip("_interpreters")

    def run(interp, code):
        failure = _interpreters.exec(interp, code)
        if failure is not None:
            raise AssertionError(failure.formatted)
    return _interpreters.create, run, _interpreters.destroy


# Runs in each sub-interpreter: waits until every interpreter has a store open, so that they
# all work at once, then exercises the paths that use the module's state (class, exceptions,
# the lookups of conversions) and reports what it saw in a file.
SUB_INTERPRETER_CODE = """
import collections.abc, dataclasses, json, os, time
import _zel_core

dir, index, count = {dir!r}, {index}, {count}
store = _zel_core.ZelSettingEngine(os.path.join(dir, f"store-{{index}}.json"))
open(os.path.join(dir, f"ready-{{index}}"), "w").close()
deadline = time.monotonic() + 60
while not all(os.path.exists(os.path.join(dir, f"ready-{{i}}")) for i in range(count)):
    assert time.monotonic() < deadline, "the other interpreters never started"
    time.sleep(0.001)

class Pairs(collections.abc.Mapping):
    def __init__(self, items): self._items = dict(items)
    def __getitem__(self, key): return self._items[key]
    def __iter__(self): return iter(self._items)
    def __len__(self): return len(self._items)

@dataclasses.dataclass
class Point:
    x: int
    y: int

for round in range(20):
    store.begin_group(f"round{{round}}")
    for i in range(100):
        store.set_value(f"k{{i}}", [index, round, i])
    store.set_value("mapping", Pairs({{"a": index}}))
    store.set_value("point", Point(index, round))
    store.end_group()
    store.sync()

errors = []
for bad in (lambda: store.set_value("x", object()), lambda: store.set_value("", 1),
            lambda: _zel_core.ZelSettingEngine(os.path.join(dir, "x.json"), driver="nope")):
    try:
        bad()
    except Exception as exc:
        errors.append(type(exc).__name__)

class Driver:
    def read(self, path): return Pairs({{"from": "driver"}})
    def write(self, path, data): self.written = data
driver = Driver()
custom = _zel_core.ZelSettingEngine("custom", driver)
custom.set_value("n", index)
custom.sync()

panic_class = None
try:
    store.value("\\0zel-test-panic")
except BaseException as exc:
    panic_class = id(type(exc))

again = _zel_core.ZelSettingEngine(os.path.join(dir, f"store-{{index}}.json"))
with open(os.path.join(dir, f"result-{{index}}.json"), "w") as out:
    json.dump({{"class": id(_zel_core.ZelSettingEngine), "panic": panic_class,
               "errors": errors, "custom": driver.written,
               "point": again.value("round19/point"), "mapping": again.value("round3/mapping")}}, out)
# Every interpreter saves the same file; this store stays open until the interpreter goes.
kept = _zel_core.ZelSettingEngine(os.path.join(dir, "shared.json"))
for i in range(30):
    kept.set_value("from", [index, i])
    kept.sync()
"""


def test_stores_run_in_several_isolated_interpreters_at_once(tmp_path):
    import json
    import threading

    create, run, close = _interpreter_api()
    count = 3
    interps = [create() for _ in range(count)]
    failures = []

    def work(index):
        try:
            run(interps[index], SUB_INTERPRETER_CODE.format(dir=str(tmp_path), index=index, count=count))
        except BaseException as exc:  # reported below, in the main thread
            failures.append(exc)

    try:
        threads = [threading.Thread(target=work, args=(i,)) for i in range(count)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        assert not failures, failures[0]
        results = [json.loads((tmp_path / f"result-{i}.json").read_text()) for i in range(count)]
        try:
            ZelSettingEngine.value(ZelSettingEngine("main-panic", "memory"), "\0zel-test-panic")
            main_panic = None
        except BaseException as exc:
            main_panic = id(type(exc))
    finally:
        for interp in interps:
            close(interp)

    # Each interpreter had its own class, and its own PanicException where the build can panic.
    classes = {r["class"] for r in results}
    assert len(classes) == count and id(ZelSettingEngine) not in classes
    panics = {r["panic"] for r in results}
    if main_panic is not None:
        assert len(panics) == count and main_panic not in panics
    for index, result in enumerate(results):
        assert result["errors"] == ["TypeError", "KeyError", "ValueError"]
        assert result["custom"] == {"from": "driver", "n": index}
        assert result["point"] == {"x": index, "y": 19}
        assert result["mapping"] == {"a": index}
        saved = ZelSettingEngine(str(tmp_path / f"store-{index}.json"))
        assert saved.all_keys() == sorted(saved.all_keys())
        assert saved.value("round7/k42") == [index, 7, 42]
    # The saves of one file from several interpreters left it whole; the stores left open in
    # the destroyed interpreters were closed with them.
    shared = ZelSettingEngine(str(tmp_path / "shared.json"))
    assert shared.value("from") in [[i, 29] for i in range(count)]
    shared.set_value("from", "main")
    shared.sync()
    assert ZelSettingEngine(str(tmp_path / "shared.json")).value("from") == "main"
