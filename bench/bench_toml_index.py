"""Benchmark: loading TOML whose table names were chosen to collide in a table index.

Three documents, each loaded with ZelSettingEngine(path, "toml") (best of --repeat runs):
  - ordinary:  the benchmark settings document (bench/_data.py, --size-mb MB);
  - plain:     N [headers] with ordinary names of the same length as the next ones, then a
               sub-table [name.s] of each;
  - colliding: the same with names that all share one std::hash<std::string_view> value
               (bench/toml_colliding_names.py), the worst case for an index keyed by it.
An index with a per-process key loads "colliding" about as fast as "plain".

Run with the venv's interpreter: .venv/bin/python bench/bench_toml_index.py [--tables N]
"""

from __future__ import annotations

import argparse
import gc
import pathlib
import sys
import tempfile
import time

BENCH_DIR = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(BENCH_DIR))

import _data  # noqa: E402
import toml_colliding_names  # noqa: E402
from _zel_core import ZelSettingEngine  # noqa: E402


def write_tables(path: pathlib.Path, keys: list[str]) -> None:
    """Each table, then a sub-table of each: a header that comes back to a table makes the
    reader look that table up in its index."""
    with open(path, "w", encoding="utf-8") as fh:
        for i, key in enumerate(keys):
            fh.write(f"[{key}]\nv = {i}\n")
        for key in keys:
            fh.write(f"[{key}.s]\n")


def best_load(path: pathlib.Path, repeat: int) -> float:
    best = float("inf")
    for _ in range(repeat):
        gc.collect()
        gc.disable()
        start = time.perf_counter()
        store = ZelSettingEngine(str(path), "toml")
        elapsed = time.perf_counter() - start
        gc.enable()
        del store
        best = min(best, elapsed)
    return best


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--tables", type=int, nargs="+", default=[10_000, 50_000])
    parser.add_argument("--size-mb", type=float, default=2.5)
    parser.add_argument("--repeat", type=int, default=5)
    parser.add_argument("--plain-only", action="store_true",
                        help="leave out the colliding documents (ordinary speed only)")
    args = parser.parse_args()

    ordinary, _ = _data.ensure_format(args.size_mb, "toml")
    size = ordinary.stat().st_size / 1e6
    print(f"_zel_core from {ZelSettingEngine.__module__ and sys.modules['_zel_core'].__file__}")
    print(f"{'document':<28}{'size':>9}{'load':>12}")
    print(f"{'ordinary settings':<28}{size:>7.2f}MB{best_load(ordinary, args.repeat) * 1e3:>10.1f}ms",
          flush=True)
    with tempfile.TemporaryDirectory() as tmp:
        for count in args.tables:
            names = toml_colliding_names.colliding_names(count)
            assert len({toml_colliding_names.std_hash(n) for n in names}) == 1
            length = len(names[0])
            plain = [toml_colliding_names.toml_key(b"%0*d" % (length, i)) for i in range(count)]
            documents = [("plain", plain)]
            if not args.plain_only:
                documents.append(("colliding", [toml_colliding_names.toml_key(n) for n in names]))
            for label, keys in documents:
                path = pathlib.Path(tmp) / f"{label}-{count}.toml"
                write_tables(path, keys)
                size = path.stat().st_size / 1e6
                seconds = best_load(path, 1)
                if seconds < 1.0:  # one run is enough to show a quadratic load
                    seconds = min(seconds, best_load(path, args.repeat - 1))
                print(f"{f'{label}, {count} tables':<28}{size:>7.2f}MB{seconds * 1e3:>10.1f}ms",
                      flush=True)


if __name__ == "__main__":
    main()
