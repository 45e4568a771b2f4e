"""Shared fixtures and helpers for the _zel_core test suite."""

import collections.abc
import contextlib
import functools
import json
import os
import shutil
import subprocess
import sys
import tempfile
import textwrap

import pytest

import _zel_core
from _zel_core import ZelSettingEngine

NOBODY = 65534
PROBE_KEY = "\x00probe"
DRIVER_TYPE_ERROR = "Driver must be a string (name) or an object with 'read' and 'write' methods"
NOT_UTF8 = "stream did not contain valid UTF-8"


class Name(str):
    """A str subclass, for arguments that accept one."""


class Frozen(collections.abc.Mapping):
    """A read-only mapping over a copy of `data`: a mapping that is not a dict."""

    def __init__(self, data):
        self._data = dict(data)

    def __getitem__(self, key):
        return self._data[key]

    def __len__(self):
        return len(self._data)

    def __iter__(self):
        return iter(self._data)


class OnlyRead:
    """Half a driver: read without write."""

    def read(self, path):
        return {}


class OnlyWrite:
    """Half a driver: write without read."""

    def write(self, path, data):
        pass


def pytest_report_header(config):
    return f"_zel_core: {_zel_core.__file__}"


def pytest_sessionstart(session):
    # scripts/release.py names the directory it installed a wheel into: a module imported from
    # anywhere else (a build tree, another environment) would make the run meaningless.
    expected = os.environ.get("ZEL_EXPECT_MODULE_DIR")
    found = os.path.dirname(os.path.realpath(_zel_core.__file__))
    if expected and found != os.path.realpath(expected):
        raise pytest.UsageError(f"_zel_core was imported from {found}, not from {expected}")


@pytest.fixture
def mem(tmp_path):
    """An empty memory-only store (its path is never touched)."""
    return ZelSettingEngine(str(tmp_path / "never-created.json"), "memory")


@pytest.fixture
def json_path(tmp_path):
    """Path (as str) of a JSON settings file that does not exist yet."""
    return str(tmp_path / "settings.json")


def write_file(path, content):
    data = content.encode() if isinstance(content, str) else content
    with open(path, "wb") as fh:
        fh.write(data)
    return str(path)


def open_file(directory, content, driver=None, name=None):
    """Write `content` (str or bytes) to a file in `directory` and open a store on it with
    `driver` (None: the default, JSON). The file is settings.<driver> unless `name` is given."""
    path = write_file(os.path.join(directory, name or f"settings.{(driver or 'json').lower()}"), content)
    return ZelSettingEngine(path, driver)


def _opener(driver):
    def fixture(tmp_path):
        return functools.partial(open_file, tmp_path, driver=driver)

    fixture.__doc__ = f"open_file in tmp_path with the {driver or 'default'} driver: opener(content)."
    return pytest.fixture(fixture, name=f"open_{driver or 'json'}")


open_json = _opener(None)
open_json5 = _opener("json5")
open_toml = _opener("toml")
open_yaml = _opener("yaml")


def sync_and_reopen(path, value, driver=None, key="v"):
    """Put `value` at `key` in a store on a new file at `path` (one left there is removed
    first) and sync it; returns what a new store on the file reads at `key`, and its bytes."""
    path = str(path)
    if os.path.exists(path):
        os.remove(path)
    engine = ZelSettingEngine(path, driver)
    engine.set_value(key, value)
    engine.sync()
    return ZelSettingEngine(path, driver).value(key), read_bytes(path)


def open_error(opener, content, prefix=""):
    """Opening `content` with `opener` raises exactly TypeError (a parse error) carrying one
    argument, a message that starts with `prefix`; returns the message."""
    with pytest.raises(TypeError) as info:
        opener(content)
    assert type(info.value) is TypeError
    assert len(info.value.args) == 1
    message = info.value.args[0]
    assert message.startswith(prefix), message
    return message


def snapshot(engine):
    """Everything observable about a store's in-memory state."""
    return (engine.group(), engine.value(""), engine.all_keys())


def assert_usable(engine):
    """The store answers reads, takes an exclusive borrow and (at root) writes."""
    group = engine.group()
    engine.begin_group("probe-group")
    assert engine.group() == (group + "/" if group else "") + "probe-group"
    engine.end_group()
    assert engine.group() == group
    assert engine.status() == 0
    doc = engine.value("")
    if group == "" and isinstance(doc, dict):
        engine.set_value(PROBE_KEY, 1)
        assert engine.value(PROBE_KEY) == 1
        engine.remove(PROBE_KEY)
        assert engine.value("") == doc


def assert_unchanged(engine, before):
    assert snapshot(engine) == before
    assert_usable(engine)
    assert snapshot(engine) == before


def nested(depth, wrap=lambda inner: [inner]):
    """A value `depth` containers deep around 0: lists unless `wrap` makes something else."""
    value = 0
    for _ in range(depth):
        value = wrap(value)
    return value


@contextlib.contextmanager
def refused(engine, exc, message=None):
    """The block raises exactly `exc` (with the single argument `message`, when given) and
    leaves `engine` as it was (see assert_unchanged). Yields pytest's ExceptionInfo."""
    before = snapshot(engine)
    with pytest.raises(exc) as info:
        yield info
    assert type(info.value) is exc
    if message is not None:
        assert info.value.args == (message,)
    assert_unchanged(engine, before)


def strict_equal(a, b):
    """Equality that also compares types (bool vs int vs float) and the sign of zero."""
    if type(a) is not type(b):
        return False
    if isinstance(a, float):
        return a == b and (a != 0.0 or str(a) == str(b))
    if isinstance(a, list):
        return len(a) == len(b) and all(strict_equal(x, y) for x, y in zip(a, b))
    if isinstance(a, dict):
        return a.keys() == b.keys() and all(strict_equal(a[k], b[k]) for k in a)
    return a == b


def read_bytes(path):
    with open(path, "rb") as fh:
        return fh.read()


def _scratch_dir(mode):
    path = tempfile.mkdtemp(prefix="zel-test-")
    os.chmod(path, mode)
    yield path
    shutil.rmtree(path, ignore_errors=True)


@pytest.fixture
def public_dir():
    """A directory that any user can enter (tmp_path is private to root)."""
    yield from _scratch_dir(0o755)


@pytest.fixture
def sticky_dir():
    """A world-writable directory with the sticky bit, like /tmp."""
    yield from _scratch_dir(0o1777)


def run_child(body, *, as_nobody=False, limit_file_size=None):
    """Run `body` in a fresh interpreter; it must print one JSON line as its result.

    With as_nobody the child drops root privileges after importing the module, so
    permission checks apply. With limit_file_size the child may not write files
    larger than that many bytes (SIGXFSZ ignored, so writes fail with EFBIG).
    """
    prologue = ["import json, os, sys", "import _zel_core", "from _zel_core import ZelSettingEngine"]
    if limit_file_size is not None:
        prologue += [
            "import resource, signal",
            "signal.signal(signal.SIGXFSZ, signal.SIG_IGN)",
            f"resource.setrlimit(resource.RLIMIT_FSIZE, ({limit_file_size}, {limit_file_size}))",
        ]
    if as_nobody and os.geteuid() == 0:
        prologue += ["os.setgroups([])", f"os.setgid({NOBODY})", f"os.setuid({NOBODY})"]
    code = "\n".join(prologue) + "\n" + textwrap.dedent(body)
    env = dict(os.environ)
    module_dir = os.path.dirname(os.path.abspath(_zel_core.__file__))
    env["PYTHONPATH"] = module_dir + os.pathsep + env.get("PYTHONPATH", "")
    proc = subprocess.run(
        [sys.executable, "-c", code], capture_output=True, text=True, env=env, timeout=120
    )
    assert proc.returncode == 0, f"child failed ({proc.returncode}):\n{proc.stdout}\n{proc.stderr}"
    return json.loads(proc.stdout.strip().splitlines()[-1])


CHILD_CALL = """
def call(fn, *args):
    try:
        r = fn(*args)
    except BaseException as e:
        return {"ok": False, "type": type(e).__name__, "msg": str(e), "args": len(e.args)}
    return {"ok": True, "result": r}
"""
