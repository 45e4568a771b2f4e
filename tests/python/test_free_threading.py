"""On a free-threaded interpreter, importing the module leaves the GIL disabled."""

import os
import subprocess
import sys
import sysconfig
import threading
import time

import pytest

import _zel_core

pytestmark = pytest.mark.skipif(
    not sysconfig.get_config_var("Py_GIL_DISABLED"), reason="needs a free-threaded interpreter"
)


def test_import_keeps_the_gil_disabled():
    # A fresh interpreter: in this one, another extension could have turned the GIL on already.
    env = {k: v for k, v in os.environ.items() if k != "PYTHON_GIL"}
    module_dir = os.path.dirname(os.path.abspath(_zel_core.__file__))
    env["PYTHONPATH"] = module_dir + os.pathsep + env.get("PYTHONPATH", "")
    code = (
        "import sys\n"
        "before = sys._is_gil_enabled()\n"
        "import _zel_core\n"
        "_zel_core.ZelSettingEngine('unused', 'memory').set_value('a', 1)\n"
        "print(before, sys._is_gil_enabled())\n"
    )
    proc = subprocess.run(
        [sys.executable, "-W", "always", "-c", code],
        capture_output=True, text=True, env=env, timeout=60,
    )
    assert proc.returncode == 0, proc.stderr
    assert proc.stdout.split() == ["False", "False"]
    # The interpreter warns when an extension makes it turn the GIL on.
    assert "GIL" not in proc.stderr, proc.stderr


@pytest.mark.skipif(os.environ.get("PYTHON_GIL") == "1", reason="GIL forced on by PYTHON_GIL=1")
def test_this_test_run_is_free_threaded():
    # The thread tests of this run only mean something if the GIL really is off here.
    assert not sys._is_gil_enabled()


def _race(change, check, checks=20_000, seconds=10.0):
    """Runs `change` in a loop on another thread while this one runs `check` `checks` times,
    or for as many as fit in `seconds` on a busy machine."""
    stop = threading.Event()
    started = threading.Event()
    failures = []

    def changer():
        started.set()
        try:
            while not stop.is_set():
                change()
        except BaseException as exc:  # reported below, not lost on the thread
            failures.append(exc)

    thread = threading.Thread(target=changer)
    thread.start()
    started.wait()
    deadline = time.monotonic() + seconds
    try:
        for _ in range(checks):
            check()
            if time.monotonic() > deadline:
                break
    finally:
        stop.set()
        thread.join()
    assert not failures


def test_dict_changed_during_conversion_keeps_its_pairs(mem):
    # Every value equals its key; another thread deletes and re-adds entries, which moves them
    # to the end of the dict's order. A stored copy must pair each key with its own value. (The
    # larger the dict, the longer each copy of it takes, and the likelier the other thread is
    # to change it between two copies made one after the other.)
    others = [f"k{i}" for i in range(300)]
    d = {k: k for k in ["a", "b", *others]}

    def change():
        for k in "ab":
            del d[k]
            d[k] = k

    def check():
        mem.set_value("x", d)
        got = mem.value("x")
        assert all(k == v for k, v in got.items()), [(k, v) for k, v in got.items() if k != v]
        assert set(got) >= set(others)

    _race(change, check, checks=6000)


def test_list_changed_during_conversion_is_one_version_of_it(mem):
    # Every version of the list holds one number throughout, at one of two lengths.
    items = [0] * 40
    version = iter(range(1, 1 << 62))

    def change():
        n = next(version)
        items[:] = [n] * (40 + n % 2)

    def check():
        mem.set_value("x", items)
        got = mem.value("x")
        assert len(got) in (40, 41) and len(set(got)) == 1, got

    _race(change, check)
