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


def test_importing_in_a_sub_interpreter_fails_cleanly():
    _interpreters = pytest.importorskip("_interpreters")
    interp = _interpreters.create()
    try:
        failure = _interpreters.run_string(interp, "import _zel_core")
    finally:
        _interpreters.destroy(interp)
    assert failure is not None
    assert failure.type.__name__ == "ImportError"
    assert "does not support loading in subinterpreters" in failure.msg
