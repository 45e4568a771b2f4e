"""Saving with sync: directories, failures that keep the old file, permissions and links."""

import gc
import json
import os
import shutil
import stat
import subprocess
import threading

import pytest

from _zel_core import ZelSettingEngine

from conftest import CHILD_CALL, read_bytes, refused, run_child, write_file


@pytest.fixture
def umask():
    old = os.umask(0o027)
    yield 0o027
    os.umask(old)


def test_sync_writes_and_another_store_reads(json_path):
    engine = ZelSettingEngine(json_path)
    engine.set_value("window/size/width", 800)
    assert engine.sync() is None
    assert ZelSettingEngine(json_path).value("window/size/width") == 800


def test_sync_without_changes_writes_the_file(tmp_path):
    path = tmp_path / "new.json"
    engine = ZelSettingEngine(str(path))
    assert not path.exists()
    engine.sync()
    assert path.read_bytes() == b"{}"
    write_file(path, '{"external": 1}')
    engine.sync()
    assert path.read_bytes() == b"{}"


def test_sync_under_a_group_saves_everything(json_path):
    engine = ZelSettingEngine(json_path)
    engine.set_value("top", 1)
    engine.begin_group("g")
    engine.set_value("inner", 2)
    engine.sync()
    assert engine.group() == "g"
    assert read_bytes(json_path) == b'{\n  "g": {\n    "inner": 2\n  },\n  "top": 1\n}'


def test_destroying_without_sync_saves_nothing(open_json, tmp_path):
    engine = open_json('{"a":1}')
    engine.set_value("a", 2)
    del engine
    gc.collect()
    assert read_bytes(tmp_path / "settings.json") == b'{"a":1}'


def test_sync_creates_directories(tmp_path, umask):
    path = tmp_path / "a" / "b" / "c" / "s.json"
    engine = ZelSettingEngine(str(path))
    engine.set_value("k", 1)
    engine.sync()
    assert path.read_bytes() == b'{\n  "k": 1\n}'
    for d in (tmp_path / "a", tmp_path / "a" / "b", tmp_path / "a" / "b" / "c"):
        assert stat.S_IMODE(d.stat().st_mode) == 0o777 & ~umask
    assert stat.S_IMODE(path.stat().st_mode) == 0o666 & ~umask
    assert sorted(os.listdir(path.parent)) == ["s.json"]


def test_relative_and_bare_paths(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    nested = ZelSettingEngine("conf/app.json")
    nested.set_value("a", 1)
    nested.sync()
    bare = ZelSettingEngine("bare.json")
    bare.sync()
    assert nested.file_name() == "conf/app.json"
    assert (tmp_path / "conf" / "app.json").read_bytes() == b'{\n  "a": 1\n}'
    assert (tmp_path / "bare.json").read_bytes() == b"{}"
    assert sorted(os.listdir(tmp_path)) == ["bare.json", "conf"]


def test_memory_sync_creates_nothing(tmp_path):
    engine = ZelSettingEngine(str(tmp_path / "d" / "m.json"), "memory")
    engine.set_value("a", 1)
    assert engine.sync() is None
    assert list(tmp_path.iterdir()) == []


def _block_with_file(tmp_path, name):
    write_file(tmp_path / name, "not a directory")


def _block_with_dir(tmp_path, name):
    os.mkdir(tmp_path / name)


@pytest.mark.parametrize(
    "relpath,make_obstacle,obstacle,exc_type,code",
    [
        ("d/s.json", _block_with_file, "d", FileExistsError, 17),
        ("d/e/s.json", _block_with_file, "d", NotADirectoryError, 20),
        ("d/e/f/s.json", _block_with_file, "d", NotADirectoryError, 20),
        ("s.json", _block_with_dir, "s.json", IsADirectoryError, 21),
        ("d/s.json", lambda t, n: (os.mkdir(t / "d"), os.mkdir(t / "d" / "s.json")), "d", IsADirectoryError, 21),
    ],
)
def test_failed_sync_keeps_document_and_can_be_retried(tmp_path, relpath, make_obstacle, obstacle, exc_type, code):
    path = tmp_path / relpath
    engine = ZelSettingEngine(str(path))
    engine.set_value("a/b", [1, 2.5])
    engine.begin_group("a")
    make_obstacle(tmp_path, obstacle)
    listing = sorted(os.listdir(tmp_path))
    with refused(engine, exc_type, f"{os.strerror(code)} (os error {code})") as info:
        engine.sync()
    err = info.value
    assert (err.errno, err.strerror, err.filename) == (None, None, None)
    assert err.__cause__ is None and err.__context__ is None
    assert sorted(os.listdir(tmp_path)) == listing
    if (tmp_path / obstacle).is_dir():
        assert [p for p in (tmp_path / obstacle).rglob("*") if p.name != "s.json"] == []
    engine.end_group()

    target = tmp_path / obstacle
    shutil.rmtree(target) if target.is_dir() else target.unlink()
    engine.sync()
    assert json.loads(path.read_bytes()) == {"a": {"b": [1, 2.5]}}


def test_partway_failure_keeps_the_old_file(public_dir):
    path = os.path.join(public_dir, "big.json")
    old = b'{\n  "old": true\n}'
    write_file(path, old)
    body = CHILD_CALL + f"""
engine = ZelSettingEngine({path!r})
engine.set_value("big", "x" * 100_000)
first = call(engine.sync)
unchanged = engine.value("old") is True and engine.value("big") == "x" * 100_000
with open({path!r}, "rb") as fh:
    on_disk = fh.read().decode()
listing = sorted(os.listdir({public_dir!r}))
engine.remove("big")
engine.set_value("small", 1)
second = call(engine.sync)
print(json.dumps({{"first": first, "unchanged": unchanged, "on_disk": on_disk,
                   "listing": listing, "second": second}}))
"""
    result = run_child(body, limit_file_size=4096)
    assert result["first"] == {"ok": False, "type": "OSError", "args": 1,
                               "msg": f"{os.strerror(27)} (os error 27)"}
    assert result["unchanged"] is True
    assert result["on_disk"] == old.decode()
    assert result["listing"] == ["big.json"]
    assert result["second"] == {"ok": True, "result": None}
    assert json.loads(read_bytes(path)) == {"old": True, "small": 1}
    assert os.listdir(public_dir) == ["big.json"]


@pytest.fixture
def small_filesystem(tmp_path):
    """A 256 KiB tmpfs of our own (root only), unmounted afterwards."""
    mount_point = tmp_path / "small"
    mount_point.mkdir()
    try:
        made = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=256k,mode=0755", "tmpfs",
                               str(mount_point)], capture_output=True, timeout=30)
    except OSError as exc:
        pytest.skip(f"cannot run mount: {exc}")
    if made.returncode != 0:
        pytest.skip(f"cannot mount a tmpfs here: {made.stderr.decode(errors='replace').strip()}")
    yield str(mount_point)
    subprocess.run(["umount", str(mount_point)], check=True, timeout=30)


@pytest.mark.parametrize("driver", ["json", "json5", "toml", "yaml"])
def test_full_filesystem_keeps_the_old_file(small_filesystem, driver):
    path = os.path.join(small_filesystem, "settings")
    store = ZelSettingEngine(path, driver)
    store.set_value("old", True)
    store.sync()
    old = read_bytes(path)
    # 400 KB of text cannot fit next to the old file on a 256 KiB file system.
    store.set_value("big", "x" * 400_000)
    with pytest.raises(OSError) as info:
        store.sync()
    assert type(info.value) is OSError
    assert str(info.value) == f"{os.strerror(28)} (os error 28)"
    assert read_bytes(path) == old
    assert os.listdir(small_filesystem) == ["settings"]
    # The store still has everything, and saves once there is room.
    assert store.value("big") == "x" * 400_000 and store.value("old") is True
    store.remove("big")
    store.set_value("small", 1)
    store.sync()
    assert ZelSettingEngine(path, driver).value("") == {"old": True, "small": 1}
    assert os.listdir(small_filesystem) == ["settings"]


def test_permission_bits_are_kept(tmp_path):
    path = tmp_path / "p.json"
    write_file(path, "{}")
    os.chmod(path, 0o604)
    engine = ZelSettingEngine(str(path))
    engine.set_value("a", 1)
    engine.sync()
    assert stat.S_IMODE(path.stat().st_mode) == 0o604
    assert path.read_bytes() == b'{\n  "a": 1\n}'
    os.chmod(path, 0o640)
    engine.sync()
    assert stat.S_IMODE(path.stat().st_mode) == 0o640


def test_symlink_stays_a_link(tmp_path):
    real_dir = tmp_path / "real"
    real_dir.mkdir()
    target = real_dir / "target.json"
    write_file(target, '{"a": 1}')
    os.chmod(target, 0o600)
    link = tmp_path / "link.json"
    os.symlink("real/target.json", link)
    engine = ZelSettingEngine(str(link))
    assert engine.value("a") == 1
    engine.set_value("b", 2)
    engine.sync()
    assert os.path.islink(link)
    assert os.readlink(link) == "real/target.json"
    assert target.read_bytes() == b'{\n  "a": 1,\n  "b": 2\n}'
    assert stat.S_IMODE(target.stat().st_mode) == 0o600
    assert sorted(os.listdir(tmp_path)) == ["link.json", "real"]
    assert os.listdir(real_dir) == ["target.json"]


def set_and_sync_as_nobody(path, key, value):
    """In a child without root's rights: open a JSON store on `path`, set `key` to `value` and
    sync. Returns the outcome of sync (as CHILD_CALL gives it) and the document after it."""
    result = run_child(
        CHILD_CALL + f"""
engine = ZelSettingEngine({path!r})
engine.set_value({key!r}, {value!r})
outcome = call(engine.sync)
print(json.dumps({{"outcome": outcome, "doc": engine.value("")}}))
""",
        as_nobody=True,
    )
    return result["outcome"], result["doc"]


def test_readonly_directory_with_writable_file_is_rewritten_in_place(public_dir):
    path = os.path.join(public_dir, "own.json")
    write_file(path, '{"a": 1}')
    os.chmod(path, 0o666)
    inode = os.stat(path).st_ino
    outcome, doc = set_and_sync_as_nobody(path, "b", 2)
    assert outcome == {"ok": True, "result": None}
    assert doc == {"a": 1, "b": 2}
    assert read_bytes(path) == b'{\n  "a": 1,\n  "b": 2\n}'
    assert os.stat(path).st_ino == inode
    assert os.listdir(public_dir) == ["own.json"]


@pytest.mark.parametrize("relpath", ["locked.json", "newdir/locked.json"])
def test_permission_denied_on_sync(public_dir, relpath):
    path = os.path.join(public_dir, relpath)
    outcome, doc = set_and_sync_as_nobody(path, "a", 1)
    assert outcome == {"ok": False, "type": "PermissionError", "args": 1,
                       "msg": f"{os.strerror(13)} (os error 13)"}
    assert doc == {"a": 1}
    assert os.listdir(public_dir) == []


def test_readonly_file_in_readonly_directory(public_dir):
    path = os.path.join(public_dir, "ro.json")
    write_file(path, '{"a": 1}')
    os.chmod(path, 0o644)
    outcome, doc = set_and_sync_as_nobody(path, "a", 2)
    assert outcome["ok"] is False and outcome["type"] == "PermissionError"
    assert doc == {"a": 2}
    assert read_bytes(path) == b'{"a": 1}'
    assert os.listdir(public_dir) == ["ro.json"]


def test_concurrent_syncs_never_expose_a_partial_file(tmp_path):
    path = str(tmp_path / "shared.json")
    docs = [{f"k{i}": "a" * 200 for i in range(300)}, {f"k{i}": [i, i * 0.5] for i in range(500)}]
    engines = []
    for doc in docs:
        e = ZelSettingEngine(path)
        for k, v in doc.items():
            e.set_value(k, v)
        engines.append(e)
    engines[0].sync()
    errors = []
    stop = threading.Event()

    def writer(engine):
        try:
            for _ in range(60):
                engine.sync()
        except BaseException as exc:  # reported below
            errors.append(exc)

    reads = []

    def reader():
        while not stop.is_set():
            with open(path, "rb") as fh:
                data = fh.read()
            try:
                parsed = json.loads(data)
            except ValueError as exc:
                errors.append(exc)
                return
            if parsed not in docs:
                errors.append(AssertionError("unexpected content"))
                return
            reads.append(len(data))

    threads = [threading.Thread(target=writer, args=(e,)) for e in engines + engines[:1]]
    read_thread = threading.Thread(target=reader)
    read_thread.start()
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    stop.set()
    read_thread.join()
    assert errors == []
    assert reads
    assert json.loads(read_bytes(path)) in docs
    assert os.listdir(tmp_path) == ["shared.json"]


def test_document_too_deep_to_load_back_is_not_saved(tmp_path):
    path = tmp_path / "deep.json"
    path.write_bytes(b'{"old": true}')
    store = ZelSettingEngine(str(path))
    store.set_value("/".join(["k"] * 128), 1)  # the root and 127 objects: one too many
    with pytest.raises(ValueError, match="nested more than 127 levels"):
        store.sync()
    assert path.read_bytes() == b'{"old": true}'
    store.remove("k")
    store.set_value("/".join(["k"] * 127), 1)  # 127 levels: loads back
    store.sync()
    assert ZelSettingEngine(str(path)).value("/".join(["k"] * 127)) == 1
