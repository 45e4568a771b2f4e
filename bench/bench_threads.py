"""Benchmark: value('a/b/c') calls per second from one thread and from several threads.

For each thread count N of --threads (2 and 8 by default): one thread with a store; N threads,
each with a store of its own; N threads sharing one store. Each thread calls value('a/b/c') in a tight loop for --seconds, all threads
released together by a barrier. On a free-threaded interpreter two threads should do about twice
the calls of one (and N threads no more than the machine's cores allow); with the GIL they
share one core's worth. The ratio shared/separate shows what
sharing one store costs (its reader lock) beyond the interpreter's own limits.

Run with the interpreter to measure:
    .venv/bin/python bench/bench_threads.py [--seconds 2] [--threads 2 8] [--repeat 1]
"""

from __future__ import annotations

import argparse
import os
import sys
import sysconfig
import tempfile
import threading
import time
from collections.abc import Sequence

from _zel_core import ZelSettingEngine

KEY = "a/b/c"
BATCH = 1000  # calls between two looks at the clock


def make_store(directory: str, name: str) -> ZelSettingEngine:
    store = ZelSettingEngine(os.path.join(directory, name))  # never synced, the file never exists
    store.set_value(KEY, 1)
    for i in range(20):  # a few neighbours, as in a real settings file
        store.set_value(f"a/b/k{i}", i)
        store.set_value(f"group{i}/value", f"text {i}")
    return store


def run(stores: Sequence[ZelSettingEngine], seconds: float) -> list[float]:
    """Calls per second of each thread, one thread per entry of `stores`."""
    barrier = threading.Barrier(len(stores))
    rates = [0.0] * len(stores)
    errors: list[BaseException] = []

    def worker(index: int, store: ZelSettingEngine) -> None:
        value = store.value
        # A key string of the thread's own: a shared one's reference count, changed by every
        # call, would be written by all threads at once (the interpreter's cost, not ours).
        key = "/".join(KEY.split("/"))
        batch = range(BATCH)
        calls = 0
        try:
            barrier.wait()
            start = time.perf_counter()
            end = start + seconds
            while True:
                for _ in batch:
                    value(key)
                calls += BATCH
                now = time.perf_counter()
                if now >= end:
                    break
            rates[index] = calls / (now - start)
        except BaseException as exc:  # reported by the main thread
            errors.append(exc)

    threads = [threading.Thread(target=worker, args=(i, s)) for i, s in enumerate(stores)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    if errors:
        raise errors[0]
    return rates


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--seconds", type=float, default=2.0, help="loop time of each run")
    parser.add_argument("--repeat", type=int, default=1, help="runs of each case (best of)")
    parser.add_argument("--threads", type=int, nargs="+", default=[2, 8],
                        help="thread counts to measure")
    args = parser.parse_args()

    gil = sys._is_gil_enabled() if hasattr(sys, "_is_gil_enabled") else True
    print(f"python: {sys.version}")
    print(f"free-threaded build: {bool(sysconfig.get_config_var('Py_GIL_DISABLED'))}; "
          f"GIL enabled: {gil}")
    print(f"load average: {' '.join(f'{x:.2f}' for x in os.getloadavg())} "
          f"({os.cpu_count()} CPUs); {args.seconds:g} s per run, best of {args.repeat}")
    print()

    with tempfile.TemporaryDirectory() as tmp:
        own = [make_store(tmp, f"s{i}.json") for i in range(max(args.threads))]
        cases = [("1 thread", [own[0]])]
        for n in args.threads:
            cases.append((f"{n} threads, a store each", own[:n]))
            cases.append((f"{n} threads, one shared store", [own[0]] * n))
        totals: dict[str, float] = {}
        print(f"{'case':<32}{'calls/s total':>16}   per thread")
        print("-" * 72)
        for name, stores in cases:
            best: list[float] = []
            for _ in range(args.repeat):
                rates = run(stores, args.seconds)
                if sum(rates) > sum(best):
                    best = rates
            totals[name] = sum(best)
            per_thread = ", ".join(f"{r / 1e6:.2f}" for r in best)
            print(f"{name:<32}{totals[name] / 1e6:>14.2f} M   {per_thread} M", flush=True)

    one = totals["1 thread"]
    print()
    for n in args.threads:
        separate = totals[f"{n} threads, a store each"]
        shared = totals[f"{n} threads, one shared store"]
        print(f"{n} threads: a store each / 1 thread {separate / one:.2f}; "
              f"shared store / a store each {shared / separate:.2f}")
    print(f"load average at the end: {' '.join(f'{x:.2f}' for x in os.getloadavg())}")


if __name__ == "__main__":
    main()
