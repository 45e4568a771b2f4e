"""Benchmark: _zel_core against the Python libraries a program would otherwise use, in one run.

Every row does one job with ZelSettingEngine ("ours") and with each peer, on the same generated
settings document (fixed seed; bench/_data.py), and prints the figures side by side with the
ratio peer/ours: above 1 means ours is faster. For memory the ratio is ours/peer: below 1 means
ours uses less. The last line sums up every ratio.

Times are the best of --repeat runs (time.perf_counter, gc.collect() before each run and the
collector off during it, for every contender alike); per-call figures come from timeit. Memory
is measured in a fresh subprocess per contender from /proc/self/status (VmRSS, VmHWM), since
tracemalloc does not see the store's C++ allocations.

Peers (benchmark-only, a missing one prints n/a):
    .venv/bin/python -m pip install orjson rtoml pyjson5 pyyaml tomli-w
Run with the venv's interpreter: .venv/bin/python bench/bench_all.py [--quick]
"""

from __future__ import annotations

import argparse
import gc
import importlib
import importlib.metadata
import itertools
import json
import math
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import time
import timeit
from collections.abc import Callable
from dataclasses import dataclass, field
from typing import Any

BENCH_DIR = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(BENCH_DIR))

import _data  # noqa: E402
from pystore import PySettings  # noqa: E402


def optional(name: str) -> Any:
    try:
        return importlib.import_module(name)
    except ImportError:
        return None


orjson = optional("orjson")
rtoml = optional("rtoml")
pyjson5 = optional("pyjson5")
tomllib = optional("tomllib")
tomli_w = optional("tomli_w")
yaml = optional("yaml")
if yaml is not None and not hasattr(yaml, "CSafeLoader"):  # PyYAML built without libyaml
    yaml = None

import _zel_core  # noqa: E402
from _zel_core import ZelSettingEngine  # noqa: E402

Figure = float | str  # a measurement, or "n/a" (peer not installed) / "error"
NOTES: list[str] = []


def note(text: str) -> None:
    NOTES.append(text)
    print(f"  note: {text}", flush=True)


# ---- measuring ----------------------------------------------------------------------------


def best_of(
    fn: Callable[..., Any], repeat: int, setup: Callable[[], tuple[Any, ...]] | None = None,
    with_free: bool = False,
) -> float:
    """Best wall time of fn(*setup()) over `repeat` runs; setup is not timed, and freeing the
    result only `with_free` (what a user pays for a store opened and closed)."""
    best = math.inf
    for _ in range(repeat):
        args = setup() if setup is not None else ()
        gc.collect()
        gc.disable()
        try:
            start = time.perf_counter()
            result = fn(*args)
            if with_free:
                result = None
            elapsed = time.perf_counter() - start
        finally:
            gc.enable()
        del result, args
        best = min(best, elapsed)
    return best


def per_call(stmt: str, namespace: dict[str, Any], repeat: int) -> float:
    """Seconds per execution of stmt, best of max(repeat, 3) timeit rounds of >= 0.2 s each."""
    timer = timeit.Timer(stmt, globals=namespace)
    number, _ = timer.autorange()
    gc.collect()
    return min(timer.repeat(repeat=max(repeat, 3), number=number)) / number


def attempt(label: str, available: bool, measure: Callable[[], float]) -> Figure:
    if not available:
        return "n/a"
    try:
        return measure()
    except Exception as exc:  # reported in the table and the notes, the run goes on
        note(f"{label} failed: {type(exc).__name__}: {exc}")
        return "error"


def save_durable(path: pathlib.Path, data: bytes) -> None:
    """What sync() does with its text: a temporary file, fsync, rename, fsync of the directory."""
    tmp = path.with_name(path.name + ".tmp")
    with open(tmp, "wb") as fh:
        fh.write(data)
        fh.flush()
        os.fsync(fh.fileno())
    os.replace(tmp, path)
    fd = os.open(path.parent, os.O_RDONLY)
    try:
        os.fsync(fd)
    finally:
        os.close(fd)


def walk(doc: Any, key: str) -> Any:
    node = doc
    for part in key.split("/"):
        node = node[part]
    return node


def tmpfs_dir() -> pathlib.Path | None:
    try:
        mounts = pathlib.Path("/proc/mounts").read_text().splitlines()
    except OSError:
        return None
    for line in mounts:
        fields = line.split()
        if len(fields) > 2 and fields[1] == "/dev/shm" and fields[2] == "tmpfs":
            return pathlib.Path("/dev/shm")
    return None


# ---- memory, one subprocess per contender -------------------------------------------------


def proc_status() -> dict[str, int]:
    out = {}
    for line in pathlib.Path("/proc/self/status").read_text().splitlines():
        name, _, rest = line.partition(":")
        if name in ("VmRSS", "VmHWM"):
            out[name] = int(rest.split()[0]) * 1024
    return out


def memory_child(who: str, path: str) -> None:
    """Load the JSON file `path` with `who`, keep the result, print the RSS growth as JSON."""
    loaders: dict[str, Callable[[], Any]] = {
        "ours": lambda: ZelSettingEngine(path),
        "json": lambda: json.load(open(path, "rb")),
        "orjson": lambda: orjson.loads(pathlib.Path(path).read_bytes()),
    }
    gc.collect()
    before = proc_status()
    try:  # make VmHWM start again from the current RSS
        pathlib.Path("/proc/self/clear_refs").write_text("5")
        reset = True
    except OSError:
        reset = False
    loaded = loaders[who]()
    gc.collect()
    after = proc_status()
    print(
        json.dumps(
            {
                "peak": after["VmHWM"] - before["VmRSS"],
                "held": after["VmRSS"] - before["VmRSS"],
                "reset": reset,
            }
        )
    )
    del loaded


def measure_memory(who: str, path: pathlib.Path) -> dict[str, Any]:
    proc = subprocess.run(
        [sys.executable, __file__, "--memory-child", who, str(path)],
        capture_output=True,
        text=True,
        check=False,
    )
    if proc.returncode != 0:
        raise RuntimeError(proc.stderr.strip().splitlines()[-1] if proc.stderr else "failed")
    result = json.loads(proc.stdout.strip().splitlines()[-1])
    result["peak"], result["held"] = float(result["peak"]), float(result["held"])
    if not result["reset"]:
        note(f"{who}: could not reset VmHWM; its peak includes the start-up's")
    return result


# ---- the table ----------------------------------------------------------------------------


@dataclass
class Row:
    work: str
    unit: str  # "time", "mem" or "factor" (a plain number, no ratio)
    ours: Figure
    peers: list[tuple[str, Figure]] = field(default_factory=list)
    short: str = ""  # the row's name in the summary line

    def ratio(self, peer: Figure) -> float | None:
        if not isinstance(self.ours, float) or not isinstance(peer, float) or self.unit == "factor":
            return None
        if self.unit == "mem":
            return self.ours / peer if peer > 0 else None
        return peer / self.ours if self.ours > 0 else None


def show(value: Figure, unit: str) -> str:
    if isinstance(value, str):
        return value
    if unit == "mem":
        return f"{value / 2**20:.1f} MiB"
    if unit == "factor":
        return f"{value:.2f}x"
    if value >= 1:
        return f"{value:.2f} s"
    if value >= 1e-3:
        return f"{value * 1e3:.1f} ms"
    if value >= 1e-6:
        return f"{value * 1e6:.2f} us"
    return f"{value * 1e9:.0f} ns"


W_WORK, W_OURS, W_PEER, W_FIG, W_RATIO = 38, 11, 37, 11, 8


def print_row(row: Row) -> None:
    ours = show(row.ours, row.unit)
    peers = row.peers or [("", "")]
    for i, (name, value) in enumerate(peers):
        ratio = row.ratio(value) if name else None
        line = (
            f"{row.work if i == 0 else '':<{W_WORK}}{ours if i == 0 else '':>{W_OURS}}  "
            f"{name:<{W_PEER}}{show(value, row.unit) if name else '':>{W_FIG}}"
            f"{f'{ratio:.2f}' if ratio is not None else ('-' if name else ''):>{W_RATIO}}"
        )
        print(line.rstrip(), flush=True)


def print_header() -> None:
    line = (
        f"{'work':<{W_WORK}}{'ours':>{W_OURS}}  {'peer':<{W_PEER}}{'peer':>{W_FIG}}"
        f"{'ratio':>{W_RATIO}}"
    )
    print(line)
    print("-" * len(line), flush=True)


def summary(rows: list[Row]) -> str:
    parts = []
    for row in rows:
        for name, value in row.peers:
            ratio = row.ratio(value)
            if ratio is not None:
                parts.append(f"{row.short} {name.split('(')[0].split()[0]} {ratio:.2f}")
            elif row.unit == "factor" and isinstance(row.ours, float) and isinstance(value, float):
                parts.append(f"{row.short} ours {row.ours:.1f}x/{name.split()[0]} {value:.1f}x")
    return "; ".join(parts)


# ---- rows ---------------------------------------------------------------------------------


class Bench:
    def __init__(self, args: argparse.Namespace, disk: pathlib.Path, shm: pathlib.Path | None):
        self.args = args
        self.repeat: int = args.repeat
        self.disk = disk  # a scratch directory on the same disk as bench/data/
        self.shm = shm  # a scratch directory on tmpfs, if there is one
        self.rows: list[Row] = []

    def add(self, row: Row) -> None:
        self.rows.append(row)
        print_row(row)

    def time(self, label: str, available: bool, fn: Callable[..., Any], setup: Any = None,
             repeat: int | None = None, with_free: bool = False) -> Figure:
        n = self.repeat if repeat is None else repeat
        return attempt(label, available, lambda: best_of(fn, n, setup, with_free))

    def time_free(self, label: str, available: bool, load: Callable[[], Any],
                  repeat: int | None = None) -> Figure:
        """Best time of freeing what load() returned (loading not timed)."""
        def loaded() -> tuple[list[Any]]:
            return ([load()],)

        return self.time(label, available, lambda box: box.clear(), loaded, repeat)

    def open_free_rows(self, title: str, short: str, ours: Callable[[], Any],
                       peers: list[tuple[str, bool, Callable[[], Any]]],
                       repeat: int | None = None) -> None:
        """Rows for what an open costs in full: opening and freeing, and freeing alone."""
        self.add(Row(
            f"{title} open + free", "time",
            self.time(f"ours {short} open+free", True, ours, with_free=True),
            [(name, self.time(f"{name} open+free", available, load, repeat=repeat,
                              with_free=True))
             for name, available, load in peers],
            f"{short}-open+free",
        ))
        self.add(Row(
            f"{title} free", "time", self.time_free(f"ours {short} free", True, ours),
            [(name, self.time_free(f"{name} free", available, load, repeat=repeat))
             for name, available, load in peers],
            f"{short}-free",
        ))

    def time_sync(self, store: ZelSettingEngine) -> float:
        """Best time of store.sync(), the store made dirty by one set_value before each."""
        counter = itertools.count()

        def make_dirty() -> tuple[()]:
            store.set_value("bench_dirty", next(counter))
            return ()

        return best_of(store.sync, self.repeat, make_dirty)

    def scratch_copy(self, src: pathlib.Path, where: pathlib.Path) -> pathlib.Path:
        dst = where / ("copy-" + src.name)
        shutil.copyfile(src, dst)
        return dst

    # -- JSON, the large document --

    def json_rows(self, path: pathlib.Path, keys: list[str]) -> None:
        size = path.stat().st_size / 1e6
        doc = _data.load_json(path)

        # The contenders must read the same values, or the figures mean nothing.
        try:
            store = ZelSettingEngine(str(path))
            if [store.value(k) for k in keys] != [walk(doc, k) for k in keys]:
                note("ours reads different values from the JSON file than the peers")
            del store
        except Exception as exc:
            note(f"ours cannot open the JSON file: {type(exc).__name__}: {exc}")

        def json_load() -> Any:
            with open(path, "rb") as fh:
                return json.load(fh)

        def orjson_load() -> Any:
            return orjson.loads(path.read_bytes())

        self.add(Row(
            f"JSON open ({size:.1f} MB file)", "time",
            self.time("ours open", True, lambda: ZelSettingEngine(str(path))),
            [
                ("orjson.loads(read_bytes)",
                 self.time("orjson open", orjson is not None, orjson_load)),
                ("json.load", self.time("json open", True, json_load)),
            ],
            "json-open",
        ))

        self.open_free_rows(
            "JSON", "json", lambda: ZelSettingEngine(str(path)),
            [("orjson.loads(read_bytes)", orjson is not None, orjson_load),
             ("json.load", True, json_load)])

        def ours_reads() -> Any:
            store = ZelSettingEngine(str(path))
            value = store.value
            return store, [value(k) for k in keys]

        def peer_reads(load: Callable[[], Any]) -> Callable[[], Any]:
            def run() -> Any:
                tree = load()
                return tree, [walk(tree, k) for k in keys]

            return run

        self.add(Row(
            f"JSON open + {len(keys):,} value()", "time",
            self.time("ours open+reads", True, ours_reads),
            [
                ("orjson.loads + dict walk", self.time("orjson reads", orjson is not None,
                                                       peer_reads(orjson_load))),
                ("json.load + dict walk", self.time("json reads", True, peer_reads(json_load))),
            ],
            "json-open+reads",
        ))

        def ours_sync_in(where: pathlib.Path | None) -> Figure:
            if where is None:
                return "n/a"

            def measure() -> float:
                return self.time_sync(ZelSettingEngine(str(self.scratch_copy(path, where))))

            return attempt(f"ours sync in {where}", True, measure)

        tree = dict(doc)
        tree["bench_dirty"] = 0
        option = orjson.OPT_INDENT_2 | orjson.OPT_SORT_KEYS if orjson is not None else 0

        def orjson_text() -> bytes:
            return orjson.dumps(tree, option=option)

        def orjson_save_in(where: pathlib.Path | None) -> Figure:
            if where is None:
                return "n/a"
            out = where / "orjson-out.json"
            figure = self.time(f"orjson save in {where}", orjson is not None,
                               lambda: save_durable(out, orjson.dumps(tree, option=option)))
            out.unlink(missing_ok=True)
            return figure

        ours_shm = ours_sync_in(self.shm)
        ours_disk = ours_sync_in(self.disk)
        self.add(Row("JSON sync, text only [1]", "time", ours_shm,
                     [("orjson.dumps (indent, sort)", self.time("orjson text", orjson is not None,
                                                                orjson_text))],
                     "json-text"))
        self.add(Row("JSON sync to tmpfs [2]", "time", ours_shm,
                     [("orjson.dumps + write [2]", orjson_save_in(self.shm))], "json-sync-tmpfs"))
        self.add(Row("JSON sync to disk [2]", "time", ours_disk,
                     [("orjson.dumps + write [2]", orjson_save_in(self.disk))], "json-sync-disk"))
        del doc, tree
        gc.collect()

        # memory: one subprocess per contender
        mem: dict[str, Any] = {}
        for who, available in (("ours", True), ("orjson", orjson is not None), ("json", True)):
            if not available:
                mem[who] = {"peak": "n/a", "held": "n/a"}
                continue
            try:
                mem[who] = measure_memory(who, path)
            except Exception as exc:
                note(f"{who} memory failed: {exc}")
                mem[who] = {"peak": "error", "held": "error"}
        for what, title in (("peak", "JSON open: peak RSS growth"),
                            ("held", "JSON open: RSS held after open")):
            self.add(Row(title, "mem", mem["ours"][what],
                         [("orjson.loads(read_bytes)", mem["orjson"][what]),
                          ("json.load", mem["json"][what])],
                         f"mem-{what}"))

    # -- calls on a small store --

    def call_rows(self, small_json: pathlib.Path, small_doc: dict[str, Any]) -> None:
        store = ZelSettingEngine(str(small_json))
        store.set_value("a/b/c", 1)
        plain = json.loads(json.dumps(small_doc))
        plain["a"] = {"b": {"c": 1}}
        py = PySettings(json.loads(json.dumps(plain)))
        if store.value("a/b/c") != 1 or py.value("a/b/c") != 1:
            note("value('a/b/c') does not read back 1")

        def calls(label: str, stmt: str, ns: dict[str, Any]) -> Figure:
            return attempt(label, True, lambda: per_call(stmt, ns, self.repeat))

        self.add(Row(
            "value('a/b/c'), small store", "time",
            calls("ours value", "value('a/b/c')", {"value": store.value}),
            [
                ("dict d['a']['b']['c']", calls("dict get", "d['a']['b']['c']", {"d": plain})),
                ("pure-Python store", calls("py value", "value('a/b/c')", {"value": py.value})),
            ],
            "value",
        ))
        self.add(Row(
            "set_value('a/b/c', 1), small store", "time",
            calls("ours set_value", "set_value('a/b/c', 1)", {"set_value": store.set_value}),
            [
                ("dict d['a']['b']['c'] = 1",
                 calls("dict set", "d['a']['b']['c'] = 1", {"d": plain})),
                ("pure-Python store", calls("py set_value", "set_value('a/b/c', 1)",
                                            {"set_value": py.set_value})),
            ],
            "set_value",
        ))

    def bulk_rows(self, count: int) -> None:
        figures: dict[int, tuple[Figure, Figure]] = {}
        for n in (count, 10 * count):
            items = [(f"k{i:06d}", i) for i in range(n)]

            def fill(store: Any) -> Any:
                store.begin_group("g")
                set_value = store.set_value
                for key, value in items:
                    set_value(key, value)
                store.end_group()
                return store

            missing = str(self.disk / "never-written.json")
            ours = self.time(f"ours {n} set_value", True, fill,
                             lambda: (ZelSettingEngine(missing),))
            py = self.time(f"py {n} set_value", True, fill, lambda: (PySettings(),))
            figures[n] = (ours, py)
            self.add(Row(f"{n:,} set_value into group 'g'", "time", ours,
                         [("pure-Python store", py)], f"set{n // 1000}k"))
            del items
        (o1, p1), (o10, p10) = figures[count], figures[10 * count]

        def factor(big: Figure, small: Figure) -> Figure:
            return big / small if isinstance(big, float) and isinstance(small, float) else "n/a"

        self.add(Row(f"  time {10 * count:,} / {count:,}", "factor", factor(o10, o1),
                     [("pure-Python store", factor(p10, p1))], "scaling"))

    # -- the other formats --

    def format_rows(self, fmt: str, title: str, size_mb: float,
                    peers: list[Peer],
                    peer_repeat: int | None = None) -> None:
        try:
            path, expected = _data.ensure_format(size_mb, fmt)
        except Exception as exc:
            note(f"ours cannot write the {fmt} file: {type(exc).__name__}: {exc}")
            self.add(Row(f"{title} open", "time", "error", [(p[0], "n/a") for p in peers],
                         f"{fmt}-open"))
            return
        size = path.stat().st_size / 1e6
        try:
            if ZelSettingEngine(str(path), fmt).value("") != expected:
                note(f"ours does not read back its own {fmt} file")
        except Exception as exc:
            note(f"ours cannot open its own {fmt} file: {type(exc).__name__}: {exc}")
        for name, _, available, _, load, _ in peers:
            if available:
                try:
                    if load(path) != expected:
                        note(f"{name} reads a different tree from the {fmt} file")
                except Exception as exc:
                    note(f"{name} cannot read the {fmt} file: {type(exc).__name__}: {exc}")
        once = " (once)" if peer_repeat == 1 else ""
        self.add(Row(
            f"{title} open ({size:.1f} MB file)", "time",
            self.time(f"ours {fmt} open", True, lambda: ZelSettingEngine(str(path), fmt)),
            [(f"{name}{once}", self.time(f"{name} open", available, lambda load=load: load(path),
                                         repeat=peer_repeat))
             for name, _, available, _, load, _ in peers],
            f"{fmt}-open",
        ))
        self.open_free_rows(
            title, fmt, lambda: ZelSettingEngine(str(path), fmt),
            [(f"{name}{once}", available, lambda load=load: load(path))
             for name, _, available, _, load, _ in peers],
            repeat=peer_repeat)

        def ours_sync() -> float:
            return self.time_sync(ZelSettingEngine(str(self.scratch_copy(path, self.disk)), fmt))

        tree = dict(expected)
        tree["bench_dirty"] = 0
        out = self.disk / f"peer-out.{fmt}"
        self.add(Row(
            f"{title} sync", "time", attempt(f"ours {fmt} sync", True, ours_sync),
            [(f"{name} + write [2]{once}",
              self.time(f"{name} save", available,
                        lambda dump=dump: save_durable(out, dump(tree)), repeat=peer_repeat))
             for _, name, _, available, _, dump in peers],
            f"{fmt}-sync",
        ))
        out.unlink(missing_ok=True)

    # -- a small file in every format --

    def small_rows(self, files: dict[str, pathlib.Path]) -> None:
        def opens(label: str, available: bool, stmt: str, ns: dict[str, Any]) -> Figure:
            return attempt(label, available, lambda: per_call(stmt, ns, self.repeat))

        for fmt, path in files.items():
            ours = opens(f"ours small {fmt}", True, "Z(path, fmt)",
                         {"Z": ZelSettingEngine, "path": str(path), "fmt": fmt})
            peers: list[tuple[str, Figure]] = [
                (name,
                 opens(f"{name} small", available, "load(path)", {"load": load, "path": path}))
                for name, available, load in SMALL_PEERS[fmt]
            ]
            # Each call's result is dropped inside the timed statement: open + free.
            self.add(Row(f"small file open + free: {fmt} ({path.stat().st_size / 1e3:.1f} KB)",
                         "time",
                         ours, peers, f"small-{fmt}"))


# ---- peers' load and dump -----------------------------------------------------------------


def _json_load(p: pathlib.Path) -> Any:
    with open(p, "rb") as fh:
        return json.load(fh)


def _tomllib_load(p: pathlib.Path) -> Any:
    with open(p, "rb") as fh:
        return tomllib.load(fh)


def _yaml_load(p: pathlib.Path) -> Any:
    return yaml.load(p.read_bytes(), Loader=yaml.CSafeLoader)


# (load name, dump name, load available, dump available, load(path), dump(tree) -> bytes)
Peer = tuple[str, str, bool, bool, Callable[[pathlib.Path], Any], Callable[[Any], bytes]]
TOML_PEERS: list[Peer] = [
    ("rtoml.load", "rtoml.dumps", rtoml is not None, rtoml is not None, lambda p: rtoml.load(p),
     lambda d: rtoml.dumps(d).encode()),
    ("tomllib.load", "tomli_w.dumps", tomllib is not None, tomli_w is not None, _tomllib_load,
     lambda d: tomli_w.dumps(d).encode()),
]
JSON5_PEERS: list[Peer] = [
    ("pyjson5.decode", "pyjson5.encode", pyjson5 is not None, pyjson5 is not None,
     lambda p: pyjson5.decode(p.read_text("utf-8")), lambda d: pyjson5.encode(d).encode()),
]
YAML_PEERS: list[Peer] = [
    ("PyYAML CSafeLoader", "PyYAML CSafeDumper", yaml is not None, yaml is not None, _yaml_load,
     lambda d: yaml.dump(d, Dumper=yaml.CSafeDumper, allow_unicode=True).encode()),
]
SMALL_PEERS: dict[str, list[tuple[str, bool, Callable[[pathlib.Path], Any]]]] = {
    "json": [("orjson.loads(read_bytes)", orjson is not None,
              lambda p: orjson.loads(p.read_bytes())),
             ("json.load", True, _json_load)],
    "toml": [("rtoml.load", rtoml is not None, lambda p: rtoml.load(p)),
             ("tomllib.load", tomllib is not None, _tomllib_load)],
    "json5": [("pyjson5.decode", pyjson5 is not None,
               lambda p: pyjson5.decode(p.read_text("utf-8")))],
    "yaml": [("PyYAML CSafeLoader", yaml is not None, _yaml_load)],
}


def small_document(size: int) -> dict[str, Any]:
    """Sections of the document (without None, so that every format holds the same tree) that
    make between 0.9 and 1 times `size` bytes of indented JSON; sections that would overshoot
    are passed over."""
    doc: dict[str, Any] = {}
    for name, section, _ in _data.sections():
        doc[name] = _data.without_null(section)
        length = len(json.dumps(doc, indent=2))
        if length > size:
            del doc[name]
        elif length >= 0.9 * size:
            break
    return doc


def small_files(doc: dict[str, Any]) -> dict[str, pathlib.Path]:
    files = {}
    for fmt in ("json", "toml", "json5", "yaml"):
        path = _data.DATA_DIR / f"small-seed{_data.SEED}.{fmt}"
        _data.write_with_store(path, fmt, doc)
        files[fmt] = path
    return files


# ---- main ---------------------------------------------------------------------------------


def versions() -> str:
    out = []
    for dist, mod in (("orjson", orjson), ("rtoml", rtoml), ("pyjson5", pyjson5),
                      ("tomli-w", tomli_w), ("PyYAML", yaml)):
        try:
            out.append(f"{dist} {importlib.metadata.version(dist)}" if mod is not None
                       else f"{dist} n/a")
        except importlib.metadata.PackageNotFoundError:
            out.append(f"{dist} ?")
    return ", ".join(out)


def loadavg() -> str:
    return " ".join(f"{x:.2f}" for x in os.getloadavg())


def main() -> None:
    if len(sys.argv) == 4 and sys.argv[1] == "--memory-child":
        memory_child(sys.argv[2], sys.argv[3])
        return
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--size-mb", type=float, default=20, help="document size, MB of data")
    parser.add_argument("--yaml-size-mb", type=float, default=10, help="document size for YAML")
    parser.add_argument("--repeat", type=int, default=5, help="runs per figure (best of)")
    parser.add_argument("--reads", type=int, default=1000, help="keys read after opening")
    parser.add_argument("--bulk", type=int, default=100_000,
                        help="set_value calls into one group (also 10 times as many)")
    parser.add_argument("--quick", action="store_true",
                        help="a smoke test: --size-mb 2 --yaml-size-mb 1 --repeat 1")
    parser.add_argument("--fresh", action="store_true",
                        help="rewrite the cached TOML, JSON5 and YAML files")
    parser.add_argument("--json", type=pathlib.Path,
                        help="also write our figures to this file (for bench/compare_builds.py)")
    args = parser.parse_args()
    if args.quick:
        args.size_mb, args.yaml_size_mb, args.repeat = 2, 1, 1

    started = time.perf_counter()
    gil = sys._is_gil_enabled() if hasattr(sys, "_is_gil_enabled") else True
    module = pathlib.Path(_zel_core.__file__)
    module_mtime = module.stat().st_mtime
    print(f"python: {sys.version}")
    print(f"        GIL enabled: {gil}; free-threaded build: "
          f"{bool(__import__('sysconfig').get_config_var('Py_GIL_DISABLED'))}")
    print(f"module: {module} ({time.strftime('%Y-%m-%d %H:%M:%S', time.localtime(module_mtime))})")
    print(f"peers:  {versions()}")
    print(f"load average: {loadavg()} ({os.cpu_count()} CPUs)")

    json_path, keys = _data.ensure_json(args.size_mb, args.reads)
    print(f"document: {args.size_mb:g} MB of data (seed {_data.SEED}), {json_path.name} "
          f"{json_path.stat().st_size / 1e6:.1f} MB; YAML rows: {args.yaml_size_mb:g} MB of data")
    print(f"times: best of {args.repeat}; PyYAML runs once; per-call rows: timeit, "
          f"best of {max(args.repeat, 3)}")
    print("ratio: peer/ours for times (above 1: ours is faster), "
          "ours/peer for memory (below 1: ours uses less)")

    # Every file is written before the first figure, so that no message breaks the table.
    for fmt, size_mb in (("toml", args.size_mb), ("json5", args.size_mb),
                         ("yaml", args.yaml_size_mb)):
        try:
            _data.ensure_format(size_mb, fmt, args.fresh)
        except Exception as exc:  # the row of that format reports it
            print(f"writing the {fmt} file failed: {type(exc).__name__}: {exc}")
    print(flush=True)

    shm_root = tmpfs_dir()
    with tempfile.TemporaryDirectory(dir=_data.DATA_DIR, prefix="scratch-") as disk, \
            tempfile.TemporaryDirectory(dir=shm_root, prefix="zel-bench-") as shm:
        bench = Bench(args, pathlib.Path(disk), pathlib.Path(shm) if shm_root else None)
        print_header()
        bench.json_rows(json_path, keys)

        small = small_document(4096)
        files = small_files(small)
        bench.call_rows(files["json"], small)
        bench.bulk_rows(args.bulk)

        bench.format_rows("toml", "TOML", args.size_mb, TOML_PEERS)
        bench.format_rows("json5", "JSON5", args.size_mb, JSON5_PEERS)
        bench.format_rows("yaml", f"YAML {args.yaml_size_mb:g} MB", args.yaml_size_mb,
                          YAML_PEERS, peer_repeat=1)
        bench.small_rows(files)
        if args.json:
            args.json.write_text(json.dumps(
                {"module": str(module), "rows": [{"work": r.work, "unit": r.unit, "ours": r.ours}
                                                 for r in bench.rows]}, indent=1))

    print()
    print("[1] ours: sync() to a file on tmpfs, the nearest to building the text alone "
          "(a JSON store has no way to give its text without writing it)")
    print("[2] every save: a temporary file, written, fsync, renamed over the file, fsync of "
          "the directory (what sync() does); the store made dirty by one set_value before")
    if NOTES:
        print("notes:")
        for text in NOTES:
            print(f"  - {text}")
    if module.stat().st_mtime != module_mtime:
        print("warning: the installed module was replaced during the run "
              "(memory subprocesses may have used the new one)")
    print(f"load average at the end: {loadavg()}; run took {time.perf_counter() - started:.0f} s")
    print()
    print("summary: " + summary(bench.rows))


if __name__ == "__main__":
    main()
