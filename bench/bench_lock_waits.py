"""Benchmark: how long value() waits for one store's lock while many threads use it, and how
many writes the store takes per second when only writers contend.

Two runs on one in-memory store, each for --seconds with every thread released by a barrier:
  mixed   --readers threads call value() in a loop, each call timed; --writers threads call
          set_value() in a loop. Printed: median, 99th percentile and maximum time of a value()
          call, and the calls per second of each kind.
  writers --writers * 2 threads call set_value() on keys of their own. Printed: writes per
          second in all, and the slowest write.
The figures mean most on a free-threaded interpreter, where the store's lock is the only thing
the threads wait for; with the GIL they mostly measure the GIL's turns.

Run with the interpreter to measure: python bench/bench_lock_waits.py [--seconds 3]
"""

from __future__ import annotations

import argparse
import statistics
import sys
import sysconfig
import threading
import time

from _zel_core import ZelSettingEngine

KEY = "a/b/c"


def make_store() -> ZelSettingEngine:
    store = ZelSettingEngine("unused.json", "memory")
    store.set_value(KEY, 1)
    for i in range(20):
        store.set_value(f"a/b/k{i}", i)
    return store


def mixed(readers: int, writers: int, seconds: float) -> None:
    store = make_store()
    barrier = threading.Barrier(readers + writers)
    stop = threading.Event()
    waits: list[list[int]] = [[] for _ in range(readers)]
    writes = [0] * writers

    def read(i: int) -> None:
        mine = waits[i]
        clock = time.perf_counter_ns
        value = store.value
        barrier.wait()
        while not stop.is_set():
            for _ in range(50):
                t0 = clock()
                value(KEY)
                mine.append(clock() - t0)

    def write(i: int) -> None:
        n = 0
        barrier.wait()
        while not stop.is_set():
            n += 1
            store.set_value(f"w/{i}", n)
        writes[i] = n

    threads = [threading.Thread(target=read, args=(i,)) for i in range(readers)]
    threads += [threading.Thread(target=write, args=(i,)) for i in range(writers)]
    for t in threads:
        t.start()
    time.sleep(seconds)
    stop.set()
    for t in threads:
        t.join()
    all_waits = sorted(w for per in waits for w in per)
    p99 = all_waits[int(len(all_waits) * 0.99)]
    print(f"mixed: {readers} readers, {writers} writers, {seconds:g} s")
    print(f"  value() time: median {statistics.median(all_waits) / 1e3:.1f} us, "
          f"p99 {p99 / 1e3:.1f} us, max {all_waits[-1] / 1e6:.2f} ms")
    print(f"  value() calls/s {len(all_waits) / seconds:,.0f}; "
          f"set_value() calls/s {sum(writes) / seconds:,.0f}")


def writers_only(count: int, seconds: float) -> None:
    store = make_store()
    barrier = threading.Barrier(count)
    stop = threading.Event()
    writes = [0] * count
    slowest = [0] * count

    def write(i: int) -> None:
        n = worst = 0
        clock = time.perf_counter_ns
        barrier.wait()
        while not stop.is_set():
            n += 1
            t0 = clock()
            store.set_value(f"w/{i}", n)
            worst = max(worst, clock() - t0)
        writes[i], slowest[i] = n, worst

    threads = [threading.Thread(target=write, args=(i,)) for i in range(count)]
    for t in threads:
        t.start()
    time.sleep(seconds)
    stop.set()
    for t in threads:
        t.join()
    print(f"writers: {count} threads, {seconds:g} s")
    print(f"  set_value() calls/s {sum(writes) / seconds:,.0f}; slowest {max(slowest) / 1e6:.2f} ms; "
          f"fewest by one thread {min(writes):,}, most {max(writes):,}")


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seconds", type=float, default=3.0)
    parser.add_argument("--readers", type=int, default=60)
    parser.add_argument("--writers", type=int, default=4)
    args = parser.parse_args()
    free = bool(sysconfig.get_config_var("Py_GIL_DISABLED")) and not sys._is_gil_enabled()
    print(f"Python {sys.version.split()[0]}, {'free-threaded' if free else 'with the GIL'}")
    mixed(args.readers, args.writers, args.seconds)
    writers_only(args.writers * 2, args.seconds)


if __name__ == "__main__":
    main()
