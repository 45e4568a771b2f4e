"""Argument binding and argument conversion errors of every method and the constructor."""

import os
import pathlib

import pytest

from _zel_core import ZelSettingEngine

from conftest import refused, snapshot


class Outer:
    class Inner:
        pass


class Text(str):
    pass


# (call, expected TypeError message); `e` is a memory store.
BINDING_ERRORS = [
    (lambda e: e.value(), "ZelSettingEngine.value() missing 1 required positional argument: 'key'"),
    (lambda e: e.contains(), "ZelSettingEngine.contains() missing 1 required positional argument: 'key'"),
    (lambda e: e.remove(), "ZelSettingEngine.remove() missing 1 required positional argument: 'key'"),
    (lambda e: e.begin_group(), "ZelSettingEngine.begin_group() missing 1 required positional argument: 'name'"),
    (lambda e: e.set_value("a"), "ZelSettingEngine.set_value() missing 1 required positional argument: 'value'"),
    (lambda e: e.set_value(value=1), "ZelSettingEngine.set_value() missing 1 required positional argument: 'key'"),
    (lambda e: e.set_value(), "ZelSettingEngine.set_value() missing 2 required positional arguments: 'key' and 'value'"),
    (lambda e: ZelSettingEngine(), "ZelSettingEngine.__new__() missing 1 required positional argument: 'path'"),
    (lambda e: ZelSettingEngine(driver="memory"), "ZelSettingEngine.__new__() missing 1 required positional argument: 'path'"),
    (lambda e: e.value("a", "b"), "ZelSettingEngine.value() takes 1 positional arguments but 2 were given"),
    (lambda e: e.begin_group("a", "b", "c"), "ZelSettingEngine.begin_group() takes 1 positional arguments but 3 were given"),
    (lambda e: e.set_value("a", 1, 2), "ZelSettingEngine.set_value() takes 2 positional arguments but 3 were given"),
    (lambda e: ZelSettingEngine("p", None, 3), "ZelSettingEngine.__new__() takes from 1 to 2 positional arguments but 3 were given"),
    (lambda e: ZelSettingEngine("p", None, 3, 4), "ZelSettingEngine.__new__() takes from 1 to 2 positional arguments but 4 were given"),
    (lambda e: e.value(k="a"), "ZelSettingEngine.value() got an unexpected keyword argument 'k'"),
    (lambda e: e.begin_group(key="a"), "ZelSettingEngine.begin_group() got an unexpected keyword argument 'key'"),
    (lambda e: ZelSettingEngine("p", drivers="memory"), "ZelSettingEngine.__new__() got an unexpected keyword argument 'drivers'"),
    (lambda e: e.value("a", key="b"), "ZelSettingEngine.value() got multiple values for argument 'key'"),
    (lambda e: e.set_value("a", 1, value=2), "ZelSettingEngine.set_value() got multiple values for argument 'value'"),
    (lambda e: ZelSettingEngine("p", path="q"), "ZelSettingEngine.__new__() got multiple values for argument 'path'"),
    (lambda e: ZelSettingEngine("p", "memory", driver=None), "ZelSettingEngine.__new__() got multiple values for argument 'driver'"),
    # too many positional arguments is reported before any keyword is looked at
    (lambda e: e.value("a", "b", k=1), "ZelSettingEngine.value() takes 1 positional arguments but 2 were given"),
    # keywords are taken in the order given; an unexpected one wins over a later missing one
    (lambda e: e.value("a", k=1, key=2), "ZelSettingEngine.value() got an unexpected keyword argument 'k'"),
    (lambda e: e.value("a", key=2, k=1), "ZelSettingEngine.value() got multiple values for argument 'key'"),
    (lambda e: e.set_value(bogus=1), "ZelSettingEngine.set_value() got an unexpected keyword argument 'bogus'"),
    # binding happens before any argument is converted
    (lambda e: e.value(1, 2), "ZelSettingEngine.value() takes 1 positional arguments but 2 were given"),
    (lambda e: e.set_value(None), "ZelSettingEngine.set_value() missing 1 required positional argument: 'value'"),
    (lambda e: ZelSettingEngine(b"p", None, 3), "ZelSettingEngine.__new__() takes from 1 to 2 positional arguments but 3 were given"),
]


@pytest.mark.parametrize("call,message", BINDING_ERRORS)
def test_binding_errors(mem, call, message):
    mem.set_value("a", {"x": 1})
    with refused(mem, TypeError, message):
        call(mem)


def test_keyword_binding_works(mem):
    mem.set_value(value=1, key="a")
    mem.set_value("b", value=[2])
    assert mem.contains(key="a") is True
    assert mem.value(key="b") == [2]
    mem.begin_group(name="g")
    assert mem.group() == "g"
    mem.end_group()
    mem.remove(key="a")
    assert mem.value("") == {"b": [2]}


# (call using argument x, parameter name)
STR_PARAMETERS = [
    (lambda e, x: e.value(x), "key"),
    (lambda e, x: e.contains(x), "key"),
    (lambda e, x: e.remove(x), "key"),
    (lambda e, x: e.set_value(x, 1), "key"),
    (lambda e, x: e.set_value(key=x, value=1), "key"),
    (lambda e, x: e.begin_group(x), "name"),
    (lambda e, x: ZelSettingEngine(x), "path"),
    (lambda e, x: ZelSettingEngine(x, "memory"), "path"),
]

WRONG_VALUES = [
    (1, "'int' object is not an instance of 'str'"),
    (None, "'None' is not an instance of 'str'"),
    (b"a", "'bytes' object is not an instance of 'str'"),
    (1.5, "'float' object is not an instance of 'str'"),
    (["a"], "'list' object is not an instance of 'str'"),
    (True, "'bool' object is not an instance of 'str'"),
    (pathlib.PurePosixPath("a"), "'PurePosixPath' object is not an instance of 'str'"),
    (Outer.Inner(), "'Outer.Inner' object is not an instance of 'str'"),
]


@pytest.mark.parametrize("call,param", STR_PARAMETERS)
@pytest.mark.parametrize("wrong,text", WRONG_VALUES, ids=lambda v: type(v).__name__)
def test_argument_conversion_error(mem, call, param, wrong, text):
    mem.set_value("a", 1)
    with refused(mem, TypeError, f"argument '{param}': {text}") as info:
        call(mem, wrong)
    assert info.value.__cause__ is None


@pytest.mark.parametrize("call,param", STR_PARAMETERS)
def test_lone_surrogate_argument_raises_unicode_error_unchanged(mem, tmp_path, call, param):
    mem.set_value("a", 1)
    with refused(mem, UnicodeEncodeError) as info:
        call(mem, "a\ud800b")
    assert not str(info.value).startswith("argument")


def test_str_subclass_path_is_taken_as_text(tmp_path):
    path = str(tmp_path / "sub.json")
    engine = ZelSettingEngine(Text(path))
    assert engine.file_name() == path and type(engine.file_name()) is str
    engine.sync()
    assert os.path.exists(path)


def test_str_subclass_key_and_name_are_taken_as_text(mem):
    mem.begin_group(Text("g"))
    mem.set_value(Text("k/x"), 1)
    assert mem.group() == "g" and type(mem.group()) is str
    mem.end_group()
    assert mem.value("g/k/x") == 1
    assert mem.all_keys() == ["g/k/x"]
    assert all(type(k) is str for k in mem.all_keys())


NO_ARGUMENT_METHODS = ["end_group", "group", "all_keys", "child_keys", "child_groups",
                       "clear", "sync", "status", "is_writable", "file_name"]


@pytest.mark.parametrize("name", NO_ARGUMENT_METHODS)
def test_no_argument_methods_reject_arguments(tmp_path, name):
    path = tmp_path / "n.json"
    engine = ZelSettingEngine(str(path))
    engine.set_value("a", 1)
    engine.begin_group("g")
    before = snapshot(engine)
    method = getattr(engine, name)
    with pytest.raises(TypeError) as info:
        method(1)
    assert "takes no arguments" in str(info.value)
    with pytest.raises(TypeError):
        method(x=1)
    assert snapshot(engine) == before
    assert not path.exists()


def test_sync_with_argument_writes_nothing(tmp_path):
    path = tmp_path / "d" / "s.json"
    engine = ZelSettingEngine(str(path))
    with pytest.raises(TypeError):
        engine.sync(1)
    assert not os.path.exists(tmp_path / "d")
    engine.sync()
    assert path.read_bytes() == b"{}"
