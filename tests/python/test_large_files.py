"""Files past 2 GiB and 4 GiB, made sparse so that they cost no disk space.

A 32-bit build needs 64-bit file offsets to open, size and replace them, and must refuse a file
that cannot fit in its address space rather than wrap its size around.
"""

import errno
import os
import stat
import sys

import pytest

from _zel_core import ZelSettingEngine

BITS_32 = sys.maxsize < 2**32
GIB = 1 << 30
# Past the signed and then the unsigned 32-bit range.
SIZES = [pytest.param(3 * GIB, id="3GiB"), pytest.param(5 * GIB, id="5GiB")]
FILE_DRIVERS = ["json", "json5", "toml", "yaml"]
EFBIG_TEXT = f"{os.strerror(errno.EFBIG)} (os error {errno.EFBIG})"


def sparse(path, head, size):
    with open(path, "wb") as fh:
        fh.write(head)
        fh.truncate(size)
    assert os.stat(path).st_size == size
    return str(path)


@pytest.mark.parametrize("size", SIZES)
def test_json_store_reads_the_start_of_a_huge_file(tmp_path, size):
    # The JSON reader streams, so it gets to the NUL bytes after the document and reports them
    # where they are: the file was opened and read, not refused.
    path = sparse(tmp_path / "big.json", b'{"a": 1}', size)
    with pytest.raises(TypeError, match=r"^JSON parse error: .* at line 1 column 9$"):
        ZelSettingEngine(path)


@pytest.mark.parametrize("driver", FILE_DRIVERS)
@pytest.mark.parametrize("size", SIZES)
def test_sync_replaces_a_huge_file_and_keeps_its_mode(tmp_path, size, driver):
    path = str(tmp_path / "settings")
    store = ZelSettingEngine(path, driver)
    store.set_value("window/width", 800)
    sparse(path, b"", size)
    os.chmod(path, 0o640)
    store.sync()
    assert stat.S_IMODE(os.stat(path).st_mode) == 0o640
    assert os.stat(path).st_size < 100
    assert ZelSettingEngine(path, driver).value("") == {"window": {"width": 800}}
    assert os.listdir(tmp_path) == ["settings"]


@pytest.mark.skipif(not BITS_32, reason="fits a 64-bit address space; reading it takes minutes")
@pytest.mark.parametrize("driver, error", [
    ("json5", (OSError, EFBIG_TEXT)),
    ("toml", (OSError, EFBIG_TEXT)),
    # The YAML reader reports failures to read its input as parse errors.
    ("yaml", (TypeError, f"YAML parse error: {EFBIG_TEXT}")),
])
@pytest.mark.parametrize("size", SIZES)
def test_whole_file_readers_refuse_a_file_larger_than_the_address_space(
        tmp_path, driver, error, size):
    path = sparse(tmp_path / "big", b"a: 1\n", size)
    with pytest.raises(error[0]) as info:
        ZelSettingEngine(path, driver)
    assert type(info.value) is error[0] and str(info.value) == error[1]
