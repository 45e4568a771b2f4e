"""The recovery journal of in-place rewrites, and waits on what other programs hold.

A hard-linked settings file is rewritten in place, behind a journal that holds the last
complete document. These tests make real journals by killing a saving process once its
journal exists, then put the file in the state a rewrite cut short leaves (a prefix of the new
bytes), and check that the journal is read only while it applies: never over a later save, a
repair by hand, another file, or a file another user planted.
"""

import fcntl
import json
import os
import signal
import subprocess
import sys
import textwrap
import threading
import time

import pytest

import _zel_core
from _zel_core import ZelSettingEngine

from conftest import NOBODY, read_bytes, write_file

JOURNAL_SUFFIX = ".zel-journal"
OLD = {"version": 1, "name": "old"}


def big_document(tag):
    return {"version": 2, "tag": tag, "items": [f"{tag}-{i}-" + "x" * 60 for i in range(120000)]}


def journal_of(path):
    head, name = os.path.split(path)
    return os.path.join(head, "." + name + JOURNAL_SUFFIX)


def text_of(doc, driver="json", scratch=None):
    """The bytes a save of `doc` writes (the writers are deterministic)."""
    store = ZelSettingEngine(scratch, driver)
    for key, value in doc.items():
        store.set_value(key, value)
    store.sync()
    return read_bytes(scratch)


def child_env():
    env = dict(os.environ)
    module_dir = os.path.dirname(os.path.abspath(_zel_core.__file__))
    env["PYTHONPATH"] = module_dir + os.pathsep + env.get("PYTHONPATH", "")
    return env


SAVER = textwrap.dedent(
    """
    import json, sys
    from _zel_core import ZelSettingEngine
    store = ZelSettingEngine(sys.argv[1])
    for key, value in json.loads(sys.stdin.read()).items():
        store.set_value(key, value)
    print("ready", flush=True)
    sys.stdin.close()
    store.sync()
    print("saved", flush=True)
    """
)


def leave_journal(save_path, doc, journal, path, old_text):
    """Run a process that saves `doc` through `save_path` (a hard-linked file, rewritten in
    place) and kill it once `journal` exists. Retries until a kill lands in time, each time
    from the old document at `path` (an attempt that finished would make the new document the
    next attempt's old one)."""
    for _ in range(20):
        cut_short(path, old_text, len(old_text))
        child = subprocess.Popen([sys.executable, "-c", SAVER, save_path], stdin=subprocess.PIPE,
                                 stdout=subprocess.PIPE, text=True, env=child_env())
        child.stdin.write(json.dumps(doc))
        child.stdin.close()
        assert child.stdout.readline().strip() == "ready"
        deadline = time.monotonic() + 30
        while not os.path.exists(journal) and child.poll() is None and time.monotonic() < deadline:
            pass
        child.kill()
        child.wait(30)
        child.stdout.close()
        if os.path.exists(journal):
            return
    pytest.fail("no kill landed while the journal existed")


def cut_short(path, new_text, keep):
    """Leave the file as a rewrite cut short after `keep` bytes does (same inode)."""
    with open(path, "r+b") as fh:
        fh.truncate(0)
        fh.write(new_text[:keep])


@pytest.fixture
def interrupted(tmp_path):
    """A hard-linked settings file whose in-place rewrite was killed: a real journal of ours
    beside it, and the file holding half of the new bytes."""

    def make(directory=None, name="settings.json", save_through=None):
        directory = directory or str(tmp_path)
        path = os.path.join(directory, name)
        write_file(path, json.dumps(OLD))
        os.link(path, path + ".link")
        new = big_document("new")
        leave_journal(save_through or path, new, journal_of(path), path, json.dumps(OLD).encode())
        new_text = text_of(new, scratch=str(tmp_path / "scratch.json"))
        cut_short(path, new_text, len(new_text) // 2)
        return path

    return make


def test_a_rewrite_cut_short_reads_as_the_old_document(interrupted):
    path = interrupted()
    assert ZelSettingEngine(path).value("") == OLD
    assert os.path.exists(journal_of(path))
    # A rewrite that went on to the end (only the journal's removal was lost) reads as new.
    new_text = text_of(big_document("new"), scratch=path + ".scratch")
    cut_short(path, new_text, len(new_text))
    assert ZelSettingEngine(path).value("tag") == "new"


def _save_after_unlinking_the_second_name(path):
    os.unlink(path + ".link")
    store = ZelSettingEngine(path)
    store.set_value("version", 3)
    store.sync()  # replaced through a new file now
    return {**OLD, "version": 3}


def _save_in_place(path):
    store = ZelSettingEngine(path)
    store.set_value("version", 3)
    store.sync()
    return {**OLD, "version": 3}


def _delete_by_hand(path):
    os.unlink(path)
    return {}


def _edit_in_place_by_hand(path):
    with open(path, "r+b") as fh:  # as an editor does for a file with several names
        fh.truncate(0)
        fh.write(b'{"repaired": true}')
    return {"repaired": True}


def _replace_by_hand(path):
    write_file(path + ".new", '{"replaced": true}')
    os.replace(path + ".new", path)
    return {"replaced": True}


@pytest.mark.parametrize("later", [_save_after_unlinking_the_second_name, _save_in_place,
                                   _delete_by_hand, _edit_in_place_by_hand, _replace_by_hand])
def test_a_leftover_journal_never_hides_what_came_later(interrupted, later):
    path = interrupted()
    expected = later(path)
    assert ZelSettingEngine(path).value("") == expected
    assert ZelSettingEngine(path).value("") == expected  # and it stays so
    if later in (_save_after_unlinking_the_second_name, _save_in_place):
        assert not os.path.exists(journal_of(path))  # every successful save removes ours


@pytest.mark.parametrize("absolute", [False, True], ids=["relative-link", "absolute-link"])
def test_recovery_through_a_symbolic_link(tmp_path, interrupted, absolute):
    real = tmp_path / "real"
    real.mkdir()
    link = str(tmp_path / "conf.json")
    os.symlink(str(real / "app.json") if absolute else "real/app.json", link)
    path = interrupted(directory=str(real), name="app.json", save_through=link)
    assert os.path.exists(journal_of(path))  # beside the file, not beside the link
    assert ZelSettingEngine(link).value("") == OLD
    store = ZelSettingEngine(link)
    store.set_value("version", 4)
    store.sync()
    assert ZelSettingEngine(link).value("version") == 4
    assert not os.path.exists(journal_of(path))


def test_long_names_sharing_a_beginning_do_not_share_a_journal(tmp_path, interrupted):
    stem = "s" * 220
    a = interrupted(name=stem + "-a.json")
    b = str(tmp_path / (stem + "-b.json"))
    write_file(b, '{"b": 1}')
    journals = [n for n in os.listdir(tmp_path) if n.endswith(JOURNAL_SUFFIX)]
    assert len(journals) == 1 and all(len(n.encode()) <= 255 for n in journals)
    assert ZelSettingEngine(b).value("") == {"b": 1}
    os.link(b, str(tmp_path / "b-link"))
    store = ZelSettingEngine(b)
    store.set_value("b", 2)
    store.sync()  # in place, with a journal of its own
    assert ZelSettingEngine(b).value("") == {"b": 2}
    assert ZelSettingEngine(a).value("") == OLD  # A's journal is still there and still A's
    assert [n for n in os.listdir(tmp_path) if n.endswith(JOURNAL_SUFFIX)] == journals


def _plant_plain_json(journal, path):
    write_file(journal, '{"admin": true, "plugin_dir": "/tmp/evil"}')


def _plant_a_fifo(journal, path):
    os.mkfifo(journal, 0o666)


def _plant_a_perfect_journal(journal, path):
    """A journal made by a real interrupted save: every check but the owner's passes."""
    os.rename(path + ".real-journal", journal)


def _plant_a_link_to_a_perfect_journal(journal, path):
    os.symlink(os.path.basename(path) + ".real-journal", journal)


# What the victim's store then loads: its own file, a whole document or the half a rewrite
# cut short left (which fails to parse), never the planted one.
@pytest.mark.parametrize("plant, torn, loads", [
    (_plant_plain_json, False, "{'admin': False}"),
    (_plant_a_fifo, False, "{'admin': False}"),
    (_plant_a_perfect_journal, True, "TypeError JSON parse error"),
    (_plant_a_link_to_a_perfect_journal, True, "TypeError JSON parse error"),
])
def test_a_journal_planted_by_another_user_is_ignored(sticky_dir, interrupted, plant, torn, loads):
    path = interrupted(directory=str(sticky_dir), name="app.json")
    os.rename(journal_of(path), path + ".real-journal")
    os.chown(path + ".real-journal", NOBODY, NOBODY)
    if not torn:
        write_file(path, '{"admin": false}')
    pid = os.fork()
    if pid == 0:  # the other user plants the journal
        try:
            os.setgroups([])
            os.setgid(NOBODY)
            os.setuid(NOBODY)
            plant(journal_of(path), path)
        finally:
            os._exit(0)
    os.waitpid(pid, 0)
    assert os.path.lexists(journal_of(path))
    code = f"""
from _zel_core import ZelSettingEngine
try:
    store = ZelSettingEngine({path!r})
except TypeError as e:
    print("TypeError", str(e).split(":")[0])
    raise SystemExit
print(store.value(""))
store.set_value("admin", "still false")
store.sync()
print(ZelSettingEngine({path!r}).value(""))
"""
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                         env=child_env(), timeout=60)  # a FIFO must not make it wait
    assert out.returncode == 0, out.stderr
    lines = out.stdout.splitlines()
    assert lines[0] == loads
    if not torn:
        assert lines[1:] == ["{'admin': 'still false'}"]
    else:  # the same journal, owned by the file's owner, is ours and applies
        if os.path.islink(journal_of(path)):
            os.unlink(journal_of(path))
            os.rename(path + ".real-journal", journal_of(path))
        os.chown(journal_of(path), 0, 0)
        assert ZelSettingEngine(path).value("") == OLD


LOCK_HOLDER = textwrap.dedent(
    """
    import fcntl, sys, time
    fh = open(sys.argv[1], "rb")
    fcntl.flock(fh, fcntl.LOCK_EX)
    print("locked", flush=True)
    sys.stdin.read()  # held until the parent closes our stdin
    """
)


@pytest.fixture
def locked_linked_file(tmp_path):
    """A hard-linked settings file (rewritten in place) whose lock another process holds."""
    path = str(tmp_path / "settings.json")
    write_file(path, '{"v": "old"}')
    os.link(path, str(tmp_path / "other.json"))
    holder = subprocess.Popen([sys.executable, "-c", LOCK_HOLDER, path], stdin=subprocess.PIPE,
                              stdout=subprocess.PIPE, text=True)
    assert holder.stdout.readline().strip() == "locked"
    yield path, holder
    holder.kill()
    holder.wait(30)
    holder.stdout.close()
    holder.stdin.close()


WAITER = textwrap.dedent(
    """
    import os, signal, sys, threading, time
    from _zel_core import ZelSettingEngine
    store = ZelSettingEngine(sys.argv[1])
    store.set_value("v", "new")
    mode = sys.argv[2]
    if mode == "interrupt":
        # A parent started in the background (`cmd &`) hands down SIGINT ignored, and the
        # interpreter then installs no handler of its own: ask for the usual one.
        signal.signal(signal.SIGINT, signal.default_int_handler)
        threading.Timer(0.3, os.kill, (os.getpid(), signal.SIGINT)).start()
        try:
            store.sync()
            print("synced")
        except KeyboardInterrupt:
            print("interrupted", open(sys.argv[1]).read(), flush=True)
        sys.exit(0)
    done = []
    saver = threading.Thread(target=lambda: done.append(store.sync()))
    saver.start()
    ticks = 0
    end = time.monotonic() + 0.5
    while time.monotonic() < end:  # the interpreter is ours while the save waits
        ticks += 1
    print("waiting" if not done else "not waiting", ticks > 0, flush=True)
    sys.stdin.read()
    saver.join()
    print("synced", open(sys.argv[1]).read(), flush=True)
    """
)


def test_waiting_for_the_file_lock_lets_other_threads_run(locked_linked_file):
    path, holder = locked_linked_file
    waiter = subprocess.Popen([sys.executable, "-c", WAITER, path, "threads"],
                              stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True,
                              env=child_env())
    watchdog = threading.Timer(30, waiter.kill)  # a save that holds the interpreter hangs it
    watchdog.start()
    try:
        assert waiter.stdout.readline().split() == ["waiting", "True"]
        holder.stdin.close()  # the other program lets go of the lock
        out, _ = waiter.communicate("", timeout=30)
    finally:
        watchdog.cancel()
        waiter.kill()
    assert out.split(None, 1) == ["synced", '{\n  "v": "new"\n}\n']
    assert read_bytes(path) == b'{\n  "v": "new"\n}'


def test_a_wait_for_the_file_lock_can_be_interrupted(locked_linked_file):
    path, holder = locked_linked_file
    out = subprocess.run([sys.executable, "-c", WAITER, path, "interrupt"], capture_output=True,
                         text=True, env=child_env(), timeout=60)
    assert out.returncode == 0, out.stderr
    assert out.stdout.strip() == 'interrupted {"v": "old"}'
    assert read_bytes(path) == b'{"v": "old"}'
    assert not os.path.exists(journal_of(path))


def test_a_read_after_a_waiting_writer_waits_and_sees_its_write(locked_linked_file):
    """A save waiting for the file lock reads the document meanwhile; a set_value then waits for
    it, and a read that comes after the writer waits behind it: it sees the new value, never
    the document as it was before the write (nor one the write is halfway through)."""
    path, holder = locked_linked_file
    store = ZelSettingEngine(path)
    store.set_value("v", "saved")
    results = {}

    def start(name, call):
        thread = threading.Thread(target=lambda: results.__setitem__(name, call()))
        thread.start()
        time.sleep(0.3)  # long enough to reach its wait
        return thread

    threads = [start("sync", store.sync), start("set", lambda: store.set_value("v", "new")),
               start("value", lambda: store.value("v"))]
    try:
        assert results == {}  # the saver, the writer and the reader all wait
    finally:
        holder.stdin.close()  # the other program lets go of the lock
        for thread in threads:
            thread.join(30)
    assert results == {"sync": None, "set": None, "value": "new"}
    assert read_bytes(path) == b'{\n  "v": "saved"\n}'


def test_opening_and_saving_a_pipe_never_waits_for_the_other_end(tmp_path):
    fifo = str(tmp_path / "pipe.json")
    os.mkfifo(fifo)
    code = f"""
from _zel_core import ZelSettingEngine
try:
    ZelSettingEngine({fifo!r})
except TypeError as e:
    print(str(e).split(":")[0])
print(ZelSettingEngine({fifo!r}, "yaml").value(""))
store = ZelSettingEngine({fifo!r}, "toml")  # nothing written: an empty document
print(store.value(""))
try:
    store.sync()  # nobody reads the pipe
except OSError as e:
    print(type(e).__name__, e)
"""
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                         env=child_env(), timeout=60)
    assert out.returncode == 0, out.stderr
    assert out.stdout.splitlines() == ["JSON parse error", "None", "{}",
                                       f"OSError {os.strerror(6)} (os error 6)"]


PIPE_READER = textwrap.dedent(
    """
    import os, select, sys, threading
    from _zel_core import ZelSettingEngine

    def read_until_eof(fd):
        data = b""
        while True:
            select.select([fd], [], [], 30)
            try:
                chunk = os.read(fd, 65536)
            except BlockingIOError:
                continue
            if not chunk and data:
                os.close(fd)
                return data
            data += chunk

    fifo = sys.argv[1]
    got = []
    fd = os.open(fifo, os.O_RDONLY | os.O_NONBLOCK)
    reader = threading.Thread(target=lambda: got.append(read_until_eof(fd)))
    writer = ZelSettingEngine(fifo, "toml")
    writer.set_value("k", "v" * 200000)  # more than a pipe holds: the writer waits for the reader
    reader.start()
    writer.sync()
    reader.join(30)
    print(got == [b"k = '" + b"v" * 200000 + b"'\\n"])
    """
)


def test_a_pipe_with_a_reader_receives_the_document(tmp_path):
    fifo = str(tmp_path / "pipe.json")
    os.mkfifo(fifo)
    # In a child: opening a pipe that blocks would hang the test run itself.
    result = subprocess.run([sys.executable, "-c", PIPE_READER, fifo], capture_output=True,
                            text=True, env=child_env(), timeout=60)
    assert result.stdout.strip() == "True", result.stderr


@pytest.mark.parametrize("driver", ["toml", "yaml"])
def test_an_endless_device_stops_at_the_first_impossible_byte(driver):
    # A reader that read on would run into a memory limit: the address-space limit, or, under
    # AddressSanitizer (whose shadow memory needs more address space than that), its own limit.
    env = child_env()
    sanitized = "asan" in env.get("LD_PRELOAD", "")
    if sanitized:
        env["ASAN_OPTIONS"] = env.get("ASAN_OPTIONS", "") + ":hard_rss_limit_mb=4096"
    code = f"""
import resource
if not {sanitized}:
    resource.setrlimit(resource.RLIMIT_AS, (4 << 30, 4 << 30))
from _zel_core import ZelSettingEngine
try:
    ZelSettingEngine("/dev/zero", {driver!r})
except BaseException as e:
    print(type(e).__name__, str(e)[:40])
"""
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, env=env,
                         timeout=60)
    assert out.stdout.startswith(f"TypeError {driver.upper()} parse error: "), out


def test_a_group_other_than_ours_is_kept(tmp_path):
    path = tmp_path / "g.json"
    write_file(path, "{}")
    os.chown(path, os.geteuid(), 12345)  # our own file, another group
    store = ZelSettingEngine(str(path))
    store.set_value("a", 1)
    store.sync()
    st = os.stat(path)
    assert (st.st_uid, st.st_gid) == (os.geteuid(), 12345)
    assert path.read_bytes() == b'{\n  "a": 1\n}'
