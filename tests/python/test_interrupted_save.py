"""A process killed at random moments while it syncs never leaves a broken settings file, and
the temporary files of killed saves do not pile up: for a file replaced through a new one, and
for a hard-linked file rewritten in place behind its journal. ZEL_KILL_ROUNDS sets the number of
kills (150 by default)."""

import json
import os
import random
import signal
import subprocess
import sys
import textwrap
import time

import pytest

from _zel_core import ZelSettingEngine

CHILD = textwrap.dedent(
    """
    import sys
    import time
    from _zel_core import ZelSettingEngine

    path, round_ = sys.argv[1], int(sys.argv[2])
    docs = [{"generation": g, "round": round_,
             "items": [f"{g}-{i}-" + "x" * 40 for i in range(20000)]} for g in ("old", "new")]
    # One store per document: every sync writes its store's whole document, so the loop is
    # nothing but saves, with no conversion of the next document between them.
    stores = [ZelSettingEngine(path) for _ in docs]
    for store, doc in zip(stores, docs):
        store.set_value("doc", doc)
    turn = 0
    while True:
        start = time.monotonic()
        stores[turn % 2].sync()
        if turn == 0:
            # How long one save takes here, for the parent to spread its kill over.
            print("ready", time.monotonic() - start, flush=True)
        turn += 1
    """
)


def expected(generation, round_):
    return {"doc": {"generation": generation, "round": round_,
                    "items": [f"{generation}-{i}-" + "x" * 40 for i in range(20000)]}}


@pytest.mark.skipif(sys.platform != "linux", reason="uses SIGKILL")
@pytest.mark.parametrize("hard_linked", [False, True], ids=["replaced", "rewritten-in-place"])
def test_killed_during_sync_leaves_the_old_or_the_new_document(tmp_path, hard_linked):
    path = tmp_path / "settings.json"
    if hard_linked:
        path.write_text("{}")
        os.link(path, tmp_path / "second-name")
    rng = random.Random(1234)
    seen = set()
    for round_ in range(int(os.environ.get("ZEL_KILL_ROUNDS", "150"))):
        child = subprocess.Popen([sys.executable, "-c", CHILD, str(path), str(round_)],
                                 stdout=subprocess.PIPE, text=True)
        try:
            line = child.stdout.readline()
            assert line.startswith("ready "), line
            # Anywhere within the next few syncs, mid-write included: over four of this child's
            # saves (80 ms at least), as a save that takes 10 to 30 ms natively takes several
            # times that under an emulator or on a loaded machine.
            time.sleep(rng.uniform(0.0, max(0.08, 4 * float(line.split()[1]))))
        finally:
            child.send_signal(signal.SIGKILL)
            child.wait(30)
            child.stdout.close()
        if hard_linked:
            # The file may be cut short: its journal holds the document then. Either way it is
            # one of this round's, which a journal of an earlier kill never shadows.
            loaded = ZelSettingEngine(str(path)).value("")
        else:
            with open(path, encoding="utf-8") as fh:
                loaded = json.load(fh)  # a truncated or mixed file would fail here
        assert loaded in (expected("old", round_), expected("new", round_))
        seen.add(loaded["doc"]["generation"])
        # Each save clears the temporary files of the killed processes before it: at most the
        # last one's remains, and a journal.
        others = [p.name for p in tmp_path.iterdir() if p.name not in ("settings.json", "second-name")]
        assert len([n for n in others if not n.endswith(".zel-journal")]) <= 1, others
    # The kills landed at different points of the cycle.
    assert seen == {"old", "new"}
