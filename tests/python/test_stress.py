"""Eight threads on one store, each running a random mix of every method for a bounded time.

Checked: no crash, no deadlock (a watchdog dumps every stack and fails), only the documented
errors, no reader ever sees a half-made change, a file written by concurrent syncs always parses
as one whole document, and each thread's final writes are there at the end.

The group stack belongs to the store, not to a thread, so the keys are laid out for it. Thread i
writes only under "t<i>" and pushes only "g<i>"; a write made while other threads' groups are open
lands under "g.../t<i>/...". Every document, listing and file must therefore match this grammar:

    node  := {"g<n>": node, "t<n>": own}        (the root, and every group opened by a thread)
    own   := {"k<m>": [n, m, seq], "blob": blob, "c": seq or {"x": 1}}
    blob  := {"a": s, "b": s, "x0": s, ...}     (all members equal: it is always set whole)

Meant for a free-threaded interpreter (3 s a test); with the GIL each test runs 0.5 s.
ZEL_STRESS_SECONDS overrides the time and ZEL_STRESS_SEED the random seed.
"""

import collections
import faulthandler
import gc
import json
import os
import random
import re
import sys
import sysconfig
import threading
import time
import traceback

import pytest

from _zel_core import ZelSettingEngine

FREE_THREADED = bool(sysconfig.get_config_var("Py_GIL_DISABLED")) and not sys._is_gil_enabled()
DURATION = float(os.environ.get("ZEL_STRESS_SECONDS", "3" if FREE_THREADED else "0.5"))
SEED = int(os.environ.get("ZEL_STRESS_SEED", str(time.time_ns() % 1_000_000)))
THREADS = 8
KEYS = 6  # scalar keys per thread
MIN_OPS = 200  # per thread, however short the time: a slow build still does real work
BLOB_KEYS = ["a", "b"] + [f"x{q}" for q in range(10)]
WATCHDOG = DURATION + 120  # seconds before a hung test dumps every stack and ends the run

GROUP_RE = re.compile(r"(g\d+(/g\d+)*)?")
# Paths listed by all_keys() under any group a thread may have opened.
KEY_PATH_RE = re.compile(r"(?:g\d+/)*t(\d+)/(?:k(\d+)|c|c/x|blob/(\w+))")
# The errors every method may raise: begin_group/end_group while another thread is inside a
# method, and any other method while another thread is inside begin_group/end_group.
CONFLICT = {"begin_group": "Already borrowed", "end_group": "Already borrowed"}
SHARED_CONFLICT = "Already mutably borrowed"
SEGMENT_ERROR = (TypeError, "Path segment is not an object")


class Violation(AssertionError):
    pass


def check_blob(blob, where):
    if not isinstance(blob, dict) or sorted(blob) != sorted(BLOB_KEYS):
        raise Violation(f"{where}: blob {blob!r} is not whole")
    if len(set(blob.values())) != 1:
        raise Violation(f"{where}: blob {blob!r} is half-changed")


def check_own(node, owner, where):
    if not isinstance(node, dict):
        raise Violation(f"{where}: {node!r} is not an object")
    for name, value in node.items():
        m = re.fullmatch(r"k(\d+)", name)
        if m:
            if not (type(value) is list and len(value) == 3 and value[:2] == [owner, int(m.group(1))]
                    and type(value[2]) is int):
                raise Violation(f"{where}/{name}: {value!r} was not written there by thread {owner}")
        elif name == "blob":
            check_blob(value, f"{where}/blob")
        elif name == "c":
            if not (type(value) is int or value == {"x": 1}):
                raise Violation(f"{where}/c: unexpected {value!r}")
        else:
            raise Violation(f"{where}: unexpected member {name!r}")


def check_node(node, where="<group>"):
    """A whole document, or a group opened by a thread, matches the grammar."""
    if not isinstance(node, dict):
        raise Violation(f"{where}: {node!r} is not an object")
    for name, value in node.items():
        if re.fullmatch(r"g\d+", name):
            check_node(value, f"{where}/{name}")
        elif m := re.fullmatch(r"t(\d+)", name):
            check_own(value, int(m.group(1)), f"{where}/{name}")
        else:
            raise Violation(f"{where}: unexpected member {name!r}")


def check_all_keys(keys):
    if not all(type(k) is str for k in keys):
        raise Violation(f"all_keys() gave a non-str: {keys!r}")
    blobs = collections.defaultdict(set)
    for key in keys:
        m = KEY_PATH_RE.fullmatch(key)
        if not m:
            raise Violation(f"all_keys() lists {key!r}")
        if m.group(3) is not None:
            blobs[key.rsplit("/", 1)[0]].add(m.group(3))
    for prefix, members in blobs.items():
        if sorted(members) != sorted(BLOB_KEYS):
            raise Violation(f"all_keys() shows a half-changed {prefix}: {sorted(members)}")
    if len(set(keys)) != len(keys):
        raise Violation(f"all_keys() repeats a key: {keys!r}")


def check_sorted_names(names, pattern, what):
    if not all(type(n) is str and re.fullmatch(pattern, n) for n in names):
        raise Violation(f"{what} gave {names!r}")
    encoded = [n.encode() for n in names]
    if encoded != sorted(set(encoded)):
        raise Violation(f"{what} is not in ascending order: {names!r}")


def check_file(path):
    """The file parses as one whole document of the grammar (returns it)."""
    with open(path, "rb") as fh:
        data = fh.read()
    try:
        doc = json.loads(data)
    except ValueError as exc:
        raise Violation(f"the synced file does not parse ({exc}): {data[:200]!r}...") from None
    check_node(doc, "<file>")
    return doc


class Worker:
    def __init__(self, store, index, *, json_path=None):
        self.store = store
        self.i = index
        self.rng = random.Random(SEED * 100 + index)
        self.json_path = json_path
        self.path = store.file_name()
        self.seq = 0
        self.pending_pop = False  # this thread's begin_group is still open
        self.final = {}  # k<m> -> seq, or None when removed, after the final phase
        self.final_blob = None
        self.counts = collections.Counter()
        self.problems = []

    # -- calling the store ------------------------------------------------------------------

    def call(self, name, *args, allowed=()):
        """Call a method; returns (True, result), or (False, None) after an allowed error."""
        try:
            result = getattr(self.store, name)(*args)
        except RuntimeError as exc:
            if str(exc) != CONFLICT.get(name, SHARED_CONFLICT) or type(exc) is not RuntimeError:
                self.problem(f"{name}{args!r} raised {exc!r}")
            self.counts["conflict"] += 1
            return False, None
        except BaseException as exc:
            if (type(exc), str(exc)) not in allowed:
                self.problem(f"{name}{args!r} raised {type(exc).__name__}: {exc}")
            return False, None
        self.counts[name] += 1
        return True, result

    def problem(self, text):
        self.problems.append(f"thread {self.i} (seed {SEED}): {text}\n{traceback.format_exc()}")

    def next_seq(self):
        self.seq += 1
        return self.seq

    # -- the random mix -----------------------------------------------------------------------

    def op_set(self):
        m = self.rng.randrange(KEYS)
        self.call("set_value", f"t{self.i}/k{m}", [self.i, m, self.next_seq()])

    def op_set_blob(self):
        s = self.next_seq()
        self.call("set_value", f"t{self.i}/blob", {k: s for k in BLOB_KEYS})

    def op_remove(self):
        if self.rng.random() < 0.2:
            self.call("remove", f"t{self.i}/blob")
        else:
            self.call("remove", f"t{self.i}/k{self.rng.randrange(KEYS)}")

    def op_collide(self):
        # t<i>/c is a number, so a key below it fails, unless another thread opened a group in
        # between and the two calls resolved to different places.
        self.call("set_value", f"t{self.i}/c", self.next_seq())
        self.call("set_value", f"t{self.i}/c/x", 1, allowed=[SEGMENT_ERROR])

    def op_value(self):
        j = self.rng.randrange(THREADS)
        what = self.rng.choice(["key", "own", "blob", "all"])
        if what == "key":
            m = self.rng.randrange(KEYS)
            ok, v = self.call("value", f"t{j}/k{m}")
            if ok and v is not None and v[:2] != [j, m]:
                raise Violation(f"value('t{j}/k{m}') = {v!r}")
        elif what == "own":
            ok, v = self.call("value", f"t{j}")
            if ok and v is not None:
                check_own(v, j, f"value('t{j}')")
        elif what == "blob":
            ok, v = self.call("value", f"t{j}/blob")
            if ok and v is not None:
                check_blob(v, f"value('t{j}/blob')")
        else:
            ok, v = self.call("value", self.rng.choice(["", "/", "//"]))
            if ok and v is not None:
                check_node(v, "value('')")

    def op_contains(self):
        j = self.rng.randrange(THREADS)
        ok, v = self.call("contains", f"t{j}/k{self.rng.randrange(KEYS)}")
        if ok and type(v) is not bool:
            raise Violation(f"contains() gave {v!r}")

    def op_list(self):
        name = self.rng.choice(["all_keys", "child_keys", "child_groups"])
        ok, v = self.call(name)
        if not ok:
            return
        if type(v) is not list:
            raise Violation(f"{name}() gave {v!r}")
        if name == "all_keys":
            check_all_keys(v)
        elif name == "child_keys":
            # Every member of the root and of the threads' groups is an object.
            if v:
                raise Violation(f"child_keys() gave {v!r}")
        else:
            check_sorted_names(v, r"[gt]\d+", "child_groups()")

    def op_group(self):
        ok, v = self.call("group")
        if ok and not (type(v) is str and GROUP_RE.fullmatch(v)):
            raise Violation(f"group() gave {v!r}")

    def op_begin_group(self):
        if self.pending_pop:
            return self.op_end_group()
        name = self.rng.choice([f"g{self.i}", f"/g{self.i}/", f"g{self.i}//"])
        ok, _ = self.call("begin_group", name)
        if not ok:
            return
        self.pending_pop = True
        # This thread's group is open and no thread pops more groups than it pushed, so the
        # stack is not empty here: clear() empties some thread's group, never the root.
        if self.rng.random() < 0.5:
            self.call("clear")
        if self.rng.random() < 0.5:
            self.op_end_group()

    def op_end_group(self):
        if self.pending_pop:
            ok, _ = self.call("end_group")
            if ok:
                self.pending_pop = False

    def op_sync(self):
        ok, _ = self.call("sync")
        if ok and self.json_path is not None:
            check_file(self.json_path)

    def op_constant(self):
        name = self.rng.choice(["status", "is_writable", "file_name"])
        ok, v = self.call(name)
        expected = {"status": 0, "is_writable": True, "file_name": self.path}[name]
        if ok and v != expected:
            raise Violation(f"{name}() gave {v!r}")

    def op_gc(self):
        # A collection stops every thread of a free-threaded interpreter: a thread waiting for
        # an engine lock must not hold that up.
        gc.collect()

    OPS = [  # (weight, operation)
        (14, op_set), (5, op_set_blob), (6, op_remove), (2, op_collide), (20, op_value),
        (8, op_contains), (8, op_list), (4, op_group), (4, op_begin_group), (3, op_end_group),
        (2, op_sync), (3, op_constant), (0.2, op_gc),
    ]

    # -- phases ---------------------------------------------------------------------------------

    def random_phase(self, deadline):
        ops = [op for _, op in self.OPS]
        weights = [w for w, _ in self.OPS]
        done = 0
        while done < MIN_OPS or time.monotonic() < deadline:
            op = self.rng.choices(ops, weights)[0]
            try:
                op(self)
            except Violation as exc:
                self.problem(str(exc))
            done += 1
        self.counts["ops"] = done
        # Close this thread's group; end_group fails while other threads are inside a method.
        while self.pending_pop:
            self.op_end_group()
            if self.pending_pop:
                time.sleep(0.001)

    def final_writes(self):
        # No thread opens a group any more, so every call must succeed, and every key resolves
        # from the root.
        for m in range(KEYS):
            if self.rng.random() < 0.3:
                self.strict("remove", f"t{self.i}/k{m}")
                self.final[f"k{m}"] = None
            else:
                s = self.next_seq()
                self.strict("set_value", f"t{self.i}/k{m}", [self.i, m, s])
                self.final[f"k{m}"] = s
            check_node(self.strict("value", ""), "value('') in the final phase")
        self.final_blob = self.next_seq()
        self.strict("set_value", f"t{self.i}/blob", {k: self.final_blob for k in BLOB_KEYS})
        self.strict("remove", f"t{self.i}/c")

    def final_sync(self):
        self.strict("sync")
        if self.json_path is not None:
            check_file(self.json_path)

    def strict(self, name, *args):
        return getattr(self.store, name)(*args)

    def expected_own(self):
        own = {k: [self.i, int(k[1:]), s] for k, s in self.final.items() if s is not None}
        own["blob"] = {k: self.final_blob for k in BLOB_KEYS}
        return own


def run_workers(store, *, json_path=None):
    """Runs the phases on THREADS threads; returns the workers after checking their errors."""
    workers = [Worker(store, i, json_path=json_path) for i in range(THREADS)]
    barrier = threading.Barrier(THREADS + 1, timeout=DURATION + 60)
    deadline = time.monotonic() + DURATION

    def body(w):
        try:
            barrier.wait()
            w.random_phase(deadline)
            barrier.wait()  # every group is closed
            w.final_writes()
            barrier.wait()  # every final write is in
            w.final_sync()
        except BaseException:
            w.problem("stopped")
            barrier.abort()

    threads = [threading.Thread(target=body, args=(w,), daemon=True) for w in workers]
    faulthandler.dump_traceback_later(WATCHDOG, exit=True)
    try:
        for t in threads:
            t.start()
        try:
            for _ in range(3):
                barrier.wait()
        except threading.BrokenBarrierError:
            pass  # a thread stopped: its problem is reported below
        for t in threads:
            t.join(DURATION + 60)
        if any(t.is_alive() for t in threads):
            faulthandler.dump_traceback(all_threads=True)
            pytest.fail("threads still running after their time: deadlock (stacks above)")
    finally:
        faulthandler.cancel_dump_traceback_later()
    problems = [p for w in workers for p in w.problems]
    assert not problems, f"{len(problems)} problems, the first:\n" + "\n".join(problems[:3])
    return workers


def check_final_state(store, workers):
    assert store.group() == ""
    doc = store.value("")
    check_node(doc, "<final>")
    for w in workers:
        assert doc[f"t{w.i}"] == w.expected_own(), f"thread {w.i} (seed {SEED})"
    return doc


@pytest.mark.parametrize("driver", ["memory", "json"])
def test_threads_share_one_store(tmp_path, driver):
    path = str(tmp_path / "conf" / "shared.json")
    store = ZelSettingEngine(path, driver)
    workers = run_workers(store, json_path=path if driver == "json" else None)
    doc = check_final_state(store, workers)
    if driver == "json":
        # The last syncs started after the last write: the file is the whole final document,
        # and no temporary file is left next to it.
        assert check_file(path) == doc
        assert ZelSettingEngine(path).value("") == doc
        assert os.listdir(tmp_path / "conf") == ["shared.json"]
    else:
        assert not os.path.exists(path)
    totals = sum((w.counts for w in workers), collections.Counter())
    print(f"seed {SEED}, {DURATION} s, free-threaded: {FREE_THREADED}; calls: {dict(totals)}")


class YieldingDriver:
    """A custom driver whose write lets other threads run, and reads the store meanwhile."""

    def __init__(self):
        self.store = None
        self.lock = threading.Lock()
        self.writes = 0
        self.last = None
        self.problems = []

    def read(self, path):
        return {}

    def write(self, path, data):
        try:
            time.sleep(0)
            check_node(data, "<written>")
            if self.store is not None:
                # Another thread may have opened a group that does not exist yet: None.
                current = self.store.value("")
                if current is not None:
                    check_node(current, "value('') inside write")
                self.store.contains("t0/k0")
                time.sleep(0)
                check_all_keys(self.store.all_keys())
            time.sleep(0)
        except Violation as exc:
            self.problems.append(str(exc))
        except RuntimeError as exc:
            # The reads above may meet another thread's begin_group/end_group.
            if str(exc) != SHARED_CONFLICT:
                self.problems.append(repr(exc))
        with self.lock:
            self.writes += 1
            self.last = data


def test_custom_driver_write_yields_while_threads_write_and_sync():
    driver = YieldingDriver()
    store = ZelSettingEngine("custom-path", driver)
    driver.store = store
    workers = run_workers(store)
    assert driver.problems == []
    doc = check_final_state(store, workers)
    # The final syncs ran after the last write: the last data handed over is the document.
    assert driver.last == doc
    assert driver.writes >= THREADS


@pytest.mark.parametrize("driver", ["json", "json5"])
def test_syncs_in_pieces_while_threads_change_the_store(tmp_path, driver):
    # A document of several MiB: each sync writes its text in pieces on a thread of its own
    # while other threads change the store. Every file a sync leaves parses whole, and the
    # sync after the last change writes the final document.
    path = str(tmp_path / "big")
    store = ZelSettingEngine(path, driver)
    ballast = [f"{i:06d}" + "x" * 994 for i in range(3000)]
    store.set_value("ballast", ballast)
    writers_done = threading.Event()
    problems = []

    def syncer():
        syncs = 0
        try:
            while not writers_done.is_set() or syncs < 3:
                store.sync()
                syncs += 1
                written = ZelSettingEngine(path, driver).value("")
                if written["ballast"] != ballast:
                    problems.append(f"sync {syncs}: the ballast changed")
        except BaseException as exc:
            problems.append(repr(exc))

    def writer(i):
        try:
            for n in range(3000):
                store.set_value(f"w{i}/n", n)
                if store.value(f"w{i}/n") != n:
                    problems.append(f"writer {i} read back something else")
        except BaseException as exc:
            problems.append(repr(exc))

    threads = [threading.Thread(target=syncer)]
    threads += [threading.Thread(target=writer, args=(i,)) for i in range(3)]
    for t in threads:
        t.start()
    for t in threads[1:]:
        t.join(timeout=WATCHDOG)
    writers_done.set()
    threads[0].join(timeout=WATCHDOG)
    assert not any(t.is_alive() for t in threads)
    assert problems == []
    store.sync()
    assert ZelSettingEngine(path, driver).value("") == {
        "ballast": ballast, "w0": {"n": 2999}, "w1": {"n": 2999}, "w2": {"n": 2999}}
    assert os.listdir(tmp_path) == ["big"]
