"""On a free-threaded interpreter, importing the module leaves the GIL disabled."""

import os
import subprocess
import sys
import sysconfig

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
