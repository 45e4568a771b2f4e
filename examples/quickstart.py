"""A short tour of _zel_core: groups, values, keys, saving and reopening a JSON store."""

import pathlib
import tempfile

from _zel_core import ZelSettingEngine


def main() -> None:
    with tempfile.TemporaryDirectory() as tmp:
        path = str(pathlib.Path(tmp) / "conf" / "app.json")

        # The default driver is JSON; a file that does not exist yet reads as an empty store.
        settings = ZelSettingEngine(path)
        print("opened", settings.file_name(), "- keys:", settings.all_keys())

        # Keys are relative to the current group and split at "/".
        settings.begin_group("window")
        settings.set_value("size/width", 800)
        settings.set_value("size/height", 600)
        settings.set_value("title", "Quickstart")
        print("in group", repr(settings.group()))
        print("  size/width ->", settings.value("size/width"))
        print("  size       ->", settings.value("size"))
        print("  all_keys     :", settings.all_keys())
        print("  child_keys   :", settings.child_keys())
        print("  child_groups :", settings.child_groups())
        settings.end_group()

        settings.set_value("recent", ["a.txt", "b.txt"])
        settings.set_value("zoom", 1.25)
        print("contains window/title:", settings.contains("window/title"))
        print("missing key reads as:", settings.value("no/such/key"))

        # Nothing touches the file until sync(); it creates the directory and the file.
        settings.sync()

        # A second store on the same path reads what the first one saved.
        reopened = ZelSettingEngine(path)
        print("reopened, all_keys:", reopened.all_keys())
        print("reopened, window/size/width:", reopened.value("window/size/width"))

        print("file contents:")
        print(pathlib.Path(path).read_text(encoding="utf-8"))

    # The memory driver keeps everything in memory; sync() writes nothing.
    scratch = ZelSettingEngine("unused-name", driver="memory")
    scratch.set_value("session/user", "ada")
    scratch.sync()
    print("memory store:", scratch.value(""), "- writable:", scratch.is_writable())


if __name__ == "__main__":
    main()
