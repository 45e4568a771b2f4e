"""A process killed at random moments while it syncs never leaves a broken settings file, and
the temporary files of killed saves do not pile up."""

import json
import random
import signal
import subprocess
import sys
import textwrap
import time

import pytest

CHILD = textwrap.dedent(
    """
    import sys
    from _zel_core import ZelSettingEngine

    path = sys.argv[1]
    docs = [{"generation": g, "items": [f"{g}-{i}-" + "x" * 40 for i in range(20000)]}
            for g in ("old", "new")]
    store = ZelSettingEngine(path)
    turn = 0
    while True:
        store.set_value("doc", docs[turn % 2])
        store.sync()
        if turn == 0:
            print("ready", flush=True)
        turn += 1
    """
)


def expected(generation):
    return {"doc": {"generation": generation,
                    "items": [f"{generation}-{i}-" + "x" * 40 for i in range(20000)]}}


@pytest.mark.skipif(sys.platform != "linux", reason="uses SIGKILL")
def test_killed_during_sync_leaves_the_old_or_the_new_document(tmp_path):
    path = tmp_path / "settings.json"
    rng = random.Random(1234)
    documents = [expected("old"), expected("new")]
    seen = set()
    for _ in range(150):
        child = subprocess.Popen([sys.executable, "-c", CHILD, str(path)],
                                 stdout=subprocess.PIPE, text=True)
        try:
            assert child.stdout.readline().strip() == "ready"
            # Anywhere within the next few syncs, mid-write included.
            time.sleep(rng.uniform(0.0, 0.08))
        finally:
            child.send_signal(signal.SIGKILL)
            child.wait(30)
            child.stdout.close()
        with open(path, encoding="utf-8") as fh:
            loaded = json.load(fh)  # a truncated or mixed file would fail here
        assert loaded in documents
        seen.add(loaded["doc"]["generation"])
        # Each save clears the temporary files of the killed processes before it: at most the
        # last one's remains.
        assert len([p for p in tmp_path.iterdir() if p.name != "settings.json"]) <= 1
    # The kills landed at different points of the cycle.
    assert seen == {"old", "new"}
