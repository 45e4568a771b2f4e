# provision: ready
"""Provisioning of a Debian machine for the build, the tests and the release.

Owns:
  - the Debian packages the build needs, installed with apt-get when missing (as root);
  - the repository's .venv, made from a real CPython 3.13 binary (Debian's /usr/bin/python3.13 or
    a pyenv build), with the tools of pyproject.toml's dependency groups, and the incremental
    `pip install` of the module into it (`setup`);
  - the other interpreters of the tests and wheels (`interpreter`): 3.13t, 3.14, 3.14t, 3.15,
    3.15t, debug and ThreadSanitizer builds, each with a venv holding the tools and the module;
  - Debian root file systems (`debian_tree`) and the machine's Debian mirror.

Every step checks first and does nothing when its work is already done. Logs go to standard
error. The command line (`python3 scripts/zel.py interpreter ...`) prints results on standard
output.

Where the interpreters come from:
  - free-threaded, debug and sanitizer builds are compiled (./configure --disable-gil
    [--with-pydebug | --with-thread-sanitizer], no PGO or LTO, no test modules, make -j2) from
    the upstream tarball of Debian's source package: python3.13 of Debian 13, python3.14 and
    python3.15 of the development suite. The tarball is fetched through a private apt
    configuration (the machine's apt sources and indexes are not touched) and checked against
    the sha256 of the signed .dsc.
  - 3.14 and 3.15 with the GIL are Debian's own binary packages of the development suite, run
    from an extracted tree (see `_tree_python`): no build at all.
  - 3.13 with the GIL is the machine's own (`find_python`).

Kept under CACHE ($ZEL_CACHE_DIR, default /var/cache/zel, never required to exist beforehand):
  python-<upstream version>[-ft][-debug|-tsan]   a compiled interpreter, e.g. python-3.13.5-ft
  amd64-sid, bin/python3.N                 the development suite's tree and its launchers
  venv-<VERSION>                           the venvs, e.g. venv-3.14, venv-3.13t-debug
  src/, logs/, locks/                      verified tarballs, build logs, lock files
ZEL_DEBIAN_MIRROR picks the Debian mirror (default: the one the machine's own apt sources use);
ZEL_PYTHON_BIN the CPython 3.13 of the repository's venv.
"""

from __future__ import annotations

import atexit
import fcntl
import glob
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time
from dataclasses import dataclass
from pathlib import Path
from typing import NoReturn


ROOT = Path(__file__).resolve().parents[2]
CACHE = Path(os.environ.get("ZEL_CACHE_DIR", "/var/cache/zel"))
VENV = ROOT / ".venv"
VENV_PY = VENV / "bin" / "python"

# Debian packages the build needs (cmake and ninja come from PyPI instead: Debian 12's cmake may
# be too old). Debian's own python3.13 additionally needs its -dev and -venv packages.
DEBS = ["build-essential", "pkg-config", "libyaml-dev", "libfyaml-dev", "libutf8proc-dev",
        "libgtest-dev"]

# Debian packages needed to build CPython with the standard modules.
CPYTHON_BUILD_DEBS = ["build-essential", "xz-utils", "libssl-dev", "zlib1g-dev", "libffi-dev",
                      "libbz2-dev", "liblzma-dev", "libsqlite3-dev", "libreadline-dev",
                      "uuid-dev", "libgdbm-dev", "libgdbm-compat-dev", "libncurses-dev",
                      "libexpat1-dev", "libzstd-dev"]

# Per minor version: the Debian suite whose source package is built, and the upstream version it
# held when this was last checked. Another upstream version of the same minor is built too, with
# a warning (the development suite moves on).
SOURCE_SUITE = {"3.13": "trixie", "3.14": "sid", "3.15": "sid"}
KNOWN_VERSION = {"3.13": "3.13.5", "3.14": "3.14.10", "3.15": "3.15.2"}

# At most two parallel compile jobs, for scikit-build-core's and our own cmake --build calls.
os.environ.setdefault("CMAKE_BUILD_PARALLEL_LEVEL", "2")
os.environ["PIP_DISABLE_PIP_VERSION_CHECK"] = "1"


def log(text: str) -> None:
    print(f"[zel] {text}", file=sys.stderr, flush=True)


def die(text: str) -> NoReturn:
    raise SystemExit(f"error: {text}")


def run(*args: str | os.PathLike[str], check: bool = True,
        **kwargs) -> subprocess.CompletedProcess[str]:
    """Runs a program: arguments made strings, text mode, no standard input unless given, in the
    repository unless told otherwise. Output is not captured unless asked for."""
    kwargs.setdefault("cwd", ROOT)
    if "input" not in kwargs:
        kwargs.setdefault("stdin", subprocess.DEVNULL)
    sys.stdout.flush()
    sys.stderr.flush()
    return subprocess.run([str(a) for a in args], check=check, text=True, **kwargs)


def output(*args: str | os.PathLike[str], **kwargs) -> str:
    """What a program prints on standard output, stripped."""
    return run(*args, stdout=subprocess.PIPE, **kwargs).stdout.strip()


def _temp_dir(prefix: str) -> Path:
    """A scratch directory, removed when the process exits."""
    path = Path(tempfile.mkdtemp(prefix=prefix))
    atexit.register(shutil.rmtree, path, True)
    return path


# --- Debian packages -------------------------------------------------------------------------

def missing_debs(packages: list[str] | tuple[str, ...]) -> list[str]:
    """The packages, among those given, that are not installed."""
    missing = []
    for package in packages:
        status = subprocess.run(["dpkg-query", "-W", "-f=${Status}", package],
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                text=True).stdout
        if status != "install ok installed":
            missing.append(package)
    return missing


_APT_LOCK = threading.Lock()


def ensure_debs(*packages: str) -> None:
    """Installs the given Debian packages when any is missing. As root: apt-get update once, then
    install. Otherwise prints the exact command that is needed and fails."""
    with _APT_LOCK:
        missing = missing_debs(packages)
        if not missing:
            return
        if os.geteuid() != 0:
            die(f"missing Debian packages: {' '.join(missing)}\n"
                "Install them as root, then run this command again:\n"
                f"    apt-get install -y {' '.join(missing)}")
        log(f"installing Debian packages: {' '.join(missing)}")
        env = {**os.environ, "DEBIAN_FRONTEND": "noninteractive"}
        # Another apt run (a second process of ours) holds the lock for a while: wait for it.
        wait = ["-o", "DPkg::Lock::Timeout=900"]
        run("apt-get", *wait, "update", "-q", env=env)
        run("apt-get", *wait, "install", "-y", "-q", "--no-install-recommends", *missing, env=env)
        still = missing_debs(packages)
        if still:
            die(f"still missing after apt-get install: {' '.join(still)}")


def debian_mirror() -> str:
    """The Debian mirror of the machine's own apt sources (ZEL_DEBIAN_MIRROR overrides it): the
    first URI of a "deb" entry for the main archive (not the security one), from deb822 files
    and then from the one-line format."""
    if os.environ.get("ZEL_DEBIAN_MIRROR"):
        return os.environ["ZEL_DEBIAN_MIRROR"].rstrip("/")
    uris: list[str] = []
    for path in sorted(glob.glob("/etc/apt/sources.list.d/*.sources")):
        # deb822: stanzas separated by blank lines; only those whose Types include deb.
        for stanza in re.split(r"\n\s*\n", Path(path).read_text(errors="replace")):
            fields: dict[str, list[str]] = {}
            for line in stanza.splitlines():
                if line.lstrip().startswith("#") or ":" not in line:
                    continue
                key, _, value = line.partition(":")
                fields[key.strip().lower()] = value.split()
            if "deb" in fields.get("types", []):
                uris += fields.get("uris", [])
    for path in ["/etc/apt/sources.list", *sorted(glob.glob("/etc/apt/sources.list.d/*.list"))]:
        try:
            text = Path(path).read_text(errors="replace")
        except OSError:
            continue
        for line in text.splitlines():
            # deb [options] URI suite components
            words = re.sub(r"\[[^]]*\]", "", line.split("#", 1)[0]).split()
            if len(words) >= 2 and words[0] == "deb":
                uris.append(words[1])
    for uri in uris:
        if (re.match(r"(https?|ftp)://", uri) and "-security" not in uri
                and re.search(r"/debian/?$", uri)):
            return uri.rstrip("/")
    return "http://deb.debian.org/debian"


def debian_tree(root: Path, suite: str, packages: list[str], options: list[str]) -> Path:
    """A Debian `suite` root file system at `root` holding `packages`, extracted by mmdebstrap
    (`options` added, e.g. --arch=armhf) from the machine's mirror, and made again when the
    package list changes. It is built beside its final place and moved there whole, so an
    interrupted build is never taken for a finished one."""
    want = " ".join([suite, *packages])
    stamp = root / ".zel-packages"
    if stamp.is_file() and stamp.read_text().strip() == want:
        return root
    if os.geteuid() != 0:
        die(f"building the tree {root} needs root (mmdebstrap --mode=root)")
    ensure_debs("mmdebstrap")
    mirror = debian_mirror()
    log(f"extracting Debian {suite} ({' '.join(options) or 'amd64'}) into {root} from {mirror}")
    root.parent.mkdir(parents=True, exist_ok=True)
    partial = root.with_name(root.name + ".tmp")
    shutil.rmtree(partial, ignore_errors=True)
    run("nice", "-n", "10", "mmdebstrap", "--mode=root", "--variant=extract", *options,
        "--include=" + ",".join(packages), suite, partial, mirror)
    (partial / ".zel-packages").write_text(want + "\n")
    shutil.rmtree(root, ignore_errors=True)
    partial.rename(root)
    return root


# --- The repository's venv -------------------------------------------------------------------

def _is_313(python: str | os.PathLike[str]) -> bool:
    try:
        return subprocess.run(
            [str(python), "-c", "import sys; sys.exit(sys.version_info[:2] != (3, 13))"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0
    except OSError:
        return False


def _version_key(path: str) -> tuple[int, ...]:
    name = Path(path).parent.parent.name  # versions/3.13.4/bin/python3.13 -> 3.13.4
    return tuple(int(n) for n in re.findall(r"\d+", name))


def find_python() -> Path:
    """A working CPython 3.13 with the GIL (a real binary, not a pyenv shim): ZEL_PYTHON_BIN,
    Debian's, /usr/local's, then pyenv's newest 3.13.x, then whatever python3.13 on PATH is."""
    candidates = [os.environ.get("ZEL_PYTHON_BIN", ""), "/usr/bin/python3.13",
                  "/usr/local/bin/python3.13"]
    roots = []
    if shutil.which("pyenv"):
        roots.append(subprocess.run(["pyenv", "root"], stdout=subprocess.PIPE,
                                    stderr=subprocess.DEVNULL, text=True).stdout.strip())
    roots += [os.environ.get("PYENV_ROOT", ""), os.path.expanduser("~/.pyenv")]
    for root in roots:
        if root and os.path.isdir(os.path.join(root, "versions")):
            found = glob.glob(os.path.join(root, "versions", "3.13.*", "bin", "python3.13"))
            # Newest first; free-threaded builds (3.13.*t) after the regular ones.
            found.sort(key=lambda p: (not Path(p).parent.parent.name.endswith("t"),
                                      _version_key(p)), reverse=True)
            candidates += found
    seen: set[str] = set()
    for candidate in candidates:
        if not candidate or candidate in seen or not os.access(candidate, os.X_OK):
            continue
        seen.add(candidate)
        if _is_313(candidate):
            return Path(candidate)
    # Last resort: whatever python3.13 on PATH resolves to (a shim may refuse).
    try:
        found = subprocess.run(["python3.13", "-c", "import sys; print(sys.executable)"],
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                               text=True).stdout.strip()
    except OSError:
        found = ""
    if found and os.access(found, os.X_OK):
        return Path(found)
    die("no Python 3.13 found (looked in /usr/bin, /usr/local/bin, pyenv's versions/3.13.* and "
        "on PATH); install python3.13 or set ZEL_PYTHON_BIN to its binary")


def _ensure_venv(base: Path, venv: Path) -> None:
    """A 3.13 venv at `venv` made from `base`, unless a working one is already there."""
    python = venv / "bin" / "python"
    if python.exists() and _is_313(python):
        return
    if venv.exists():
        log(f"replacing the broken or non-3.13 venv at {venv}")
        shutil.rmtree(venv)
    log(f"creating {venv} with {base}")
    run(base, "-m", "venv", venv)


def venv_env(venv: Path, **extra: str) -> dict[str, str]:
    """The environment with the venv's bin directory (its cmake and ninja) first on PATH."""
    return {**os.environ, "PATH": f"{venv / 'bin'}:{os.environ.get('PATH', '')}", **extra}


def ensure_tools(python: Path, groups: list[str], only_binary: bool = False) -> None:
    """Installs into the venv of `python` the tools of the dependency groups it lacks.
    `only_binary`: wheels only (a release whose wheels do not cover a new or free-threaded ABI
    would otherwise be built from source; pip then picks the newest release that has one)."""
    listed = output(python, ROOT / "scripts/zel_tools/requirements.py", "--missing", *groups)
    wanted = listed.splitlines()
    if not wanted:
        return
    log(f"installing into {python.parent.parent}: {' '.join(wanted)}")
    env = {**os.environ, **({"PIP_ONLY_BINARY": ":all:"} if only_binary else {})}
    run(python, "-m", "pip", "install", "-q", *wanted, env=env)


def source_hash() -> str:
    """Hash of everything the module's build reads: the sources, CMakeLists.txt, pyproject.toml.
    Every file's hash and path go in, as `sha256sum` lists them, sorted by path bytes."""
    lines = []
    files = sorted((p for p in (ROOT / "src").rglob("*") if p.is_file()),
                   key=lambda p: os.fsencode(p.relative_to(ROOT)))
    for path in [*files, ROOT / "CMakeLists.txt", ROOT / "pyproject.toml"]:
        digest = hashlib.sha256(path.read_bytes()).hexdigest()
        lines.append(f"{digest}  {path.relative_to(ROOT)}\n")
    return hashlib.sha256("".join(lines).encode()).hexdigest()


def ensure_module(python: Path, env: dict[str, str] | None = None) -> None:
    """Builds and installs the module into the venv of `python`, unless the sources are unchanged
    since its last successful install there and the module is still there. The build directory
    of scikit-build-core (build/ in pyproject.toml) persists, so a rebuild only recompiles what
    changed. The stamp is the sources' hash, so clones sharing a venv reinstall only when their
    sources differ from what was installed last."""
    env = env or venv_env(python.parent.parent)
    stamp = python.parent.parent / ".zel-install-hash"
    digest = source_hash()
    site = Path(output(python, "-c", "import sysconfig; print(sysconfig.get_path('platlib'))",
                       env=env))
    if (stamp.is_file() and stamp.read_text().strip() == digest
            and glob.glob(str(site / "_zel_core.cpython-*.so"))):
        return
    stamp.unlink(missing_ok=True)
    log(f"building and installing _zel_core into {python.parent.parent}")
    # Warnings fail the build here (not in the sdist: other compilers may warn where ours do not).
    run(python, "-m", "pip", "install", "--no-build-isolation", "--no-deps",
        "--config-settings=cmake.define.CMAKE_COMPILE_WARNING_AS_ERROR=ON", ".", env=env)
    # The type stub must sit next to the extension in site-packages.
    if not (glob.glob(str(site / "_zel_core.cpython-*.so")) and (site / "_zel_core.pyi").is_file()):
        die(f"the extension and _zel_core.pyi were not both installed into {site}")
    stamp.write_text(digest + "\n")


def ensure_repo_venv() -> Path:
    """The repository's .venv with its tools (not the module), its bin directory first on PATH."""
    base = find_python()
    debs = list(DEBS)
    # Debian's interpreter ships its headers and venv support in separate packages.
    if str(base).startswith("/usr/bin/"):
        debs += ["python3.13-dev", "python3.13-venv"]
    ensure_debs(*debs)
    _ensure_venv(base, VENV)
    os.environ["PATH"] = f"{VENV / 'bin'}:{os.environ.get('PATH', '')}"
    ensure_tools(VENV_PY, ["venv"])
    return VENV_PY


def setup() -> Path:
    """Everything the build and the tests need, the module installed into .venv; returns its
    python."""
    python = ensure_repo_venv()
    ensure_module(python, dict(os.environ))
    return python


def ctest(build_dir: Path) -> bool:
    """The C++ tests of a build directory through CTest, two at a time, their output kept in
    ctest.log there: only the summary is shown when all pass, the whole log when one fails."""
    log_file = build_dir / "ctest.log"
    with open(log_file, "w") as f:
        code = run("ctest", "--test-dir", build_dir, "-j", "2", "--output-on-failure",
                   stdout=f, stderr=subprocess.STDOUT, check=False).returncode
    lines = log_file.read_text(errors="replace").splitlines()
    print("\n".join(lines if code else lines[-3:]), flush=True)
    return code == 0


def make_venv(base: Path, venv: Path) -> None:
    """A venv at `venv` from interpreter `base`, with pip. Debian's interpreters run from a tree
    of their packages cannot bootstrap pip the usual way, since their ensurepip takes the pip
    wheel of the host's /usr/share/python-wheels, which may be too old for them: their venvs are
    made without pip, which is then installed from the tree's own wheel."""
    venv.parent.mkdir(parents=True, exist_ok=True)
    home = output(base, "-c", "import sys; print(sys.base_prefix)")
    wheels = sorted(glob.glob(os.path.join(home, "share", "python-wheels", "pip-*.whl")))
    if not wheels:
        run(base, "-m", "venv", venv)
        return
    run(base, "-m", "venv", "--without-pip", venv)
    run(venv / "bin" / "python", f"{wheels[-1]}/pip", "install", "-q", "--no-index", wheels[-1])


_CXXFLAGS_PROBE = """
import os, sys, sysconfig
multiarch = sysconfig.get_config_var("MULTIARCH") or ""
include = os.path.join(sys.base_prefix, "include")
version = "python%d.%d%s" % (*sys.version_info[:2], sys.abiflags)
if multiarch and sys.base_prefix != "/usr" and os.path.isfile(
        os.path.join(include, multiarch, version, "pyconfig.h")):
    print("-idirafter " + include)
"""


def python_cxxflags(python: Path) -> str:
    """The compiler flags an extension for `python` needs beyond what CMake finds: a Debian
    interpreter's pyconfig.h includes its multiarch copy by the system's include path, which for
    an interpreter run from a tree of Debian packages lies inside the tree (searched after the
    system's own headers, so that nothing else comes from the tree)."""
    return output(python, "-c", _CXXFLAGS_PROBE)


# --- Other interpreters ----------------------------------------------------------------------

VERSION_RE = re.compile(r"^(3\.1[45]|3\.1[345]t|3\.1[345]t-debug|3\.13t-tsan)$")


@dataclass(frozen=True)
class Flavour:
    """One interpreter build: "3.14", "3.13t", "3.13t-debug", "3.13t-tsan", ..."""

    build: str

    @property
    def core(self) -> str:
        return self.build.removesuffix("-debug").removesuffix("-tsan")

    @property
    def minor(self) -> str:
        return self.core.removesuffix("t")

    @property
    def ft(self) -> bool:
        return self.core.endswith("t")

    @property
    def debug(self) -> bool:
        return self.build.endswith("-debug")

    @property
    def tsan(self) -> bool:
        return self.build.endswith("-tsan")

    @property
    def suffix(self) -> str:
        return ("-ft" if self.ft else "") + ("-debug" if self.debug else "") + (
            "-tsan" if self.tsan else "")

    @property
    def title(self) -> str:
        return " ".join(["CPython", self.minor, *(["free-threaded"] if self.ft else []),
                         *(["debug"] if self.debug else []),
                         *(["ThreadSanitizer"] if self.tsan else [])])

    @property
    def venv(self) -> Path:
        return CACHE / f"venv-{self.build}"


_INTERPRETER_PROBE = """
import sys, sysconfig
assert "%d.%d" % sys.version_info[:2] == sys.argv[1]
assert bool(sysconfig.get_config_var("Py_GIL_DISABLED")) == (sys.argv[2] == "1")
assert hasattr(sys, "gettotalrefcount") == (sys.argv[3] == "1")
args = sysconfig.get_config_var("CONFIG_ARGS") or ""
assert ("-fsanitize=thread" in args or "--with-thread-sanitizer" in args) == (sys.argv[4] == "1")
import bz2, ctypes, curses, dbm.gnu, lzma, readline, sqlite3, ssl, uuid, zlib, pyexpat, ensurepip, venv
"""


def _interpreter_ok(python: Path, flavour: Flavour) -> bool:
    """Whether `python` is a working interpreter of the kind wanted: the minor version, with or
    without the GIL, with the debug reference counts when asked for, and with the extension
    modules that need the Debian -dev packages (a build that silently skipped one of them does
    not count)."""
    if not os.access(python, os.X_OK):
        return False
    env = {**os.environ, "TSAN_OPTIONS": "report_bugs=0:exitcode=0"}
    return subprocess.run(
        [str(python), "-c", _INTERPRETER_PROBE, flavour.minor, str(int(flavour.ft)),
         str(int(flavour.debug)), str(int(flavour.tsan))],
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env).returncode == 0


def _prefix_python(prefix: Path, flavour: Flavour) -> Path:
    """The interpreter binary of a prefix: python3.N with the build's ABI flags (t: free-threaded,
    d: debug; 3.13 names its free-threaded debug build python3.13td), else plain python3.N."""
    minor = flavour.minor
    names = [f"python{minor}"]
    if flavour.ft and flavour.debug:
        names = [f"python{minor}td", f"python{minor}t", *names]
    elif flavour.ft:
        names = [f"python{minor}t", *names]
    elif flavour.debug:
        names = [f"python{minor}d", *names]
    for name in names:
        if os.access(prefix / "bin" / name, os.X_OK):
            return prefix / "bin" / name
    return prefix / "bin" / names[0]


def _cached_python(flavour: Flavour) -> Path | None:
    """The python of a working prefix of the wanted kind already in the cache, newest first."""
    pattern = re.compile(rf"^python-{re.escape(flavour.minor)}\.(\d+){re.escape(flavour.suffix)}$")
    found = []
    if CACHE.is_dir():
        for entry in CACHE.iterdir():
            match = pattern.match(entry.name)
            if match:
                found.append((int(match.group(1)), entry))
    for _, prefix in sorted(found, reverse=True):
        python = _prefix_python(prefix, flavour)
        if _interpreter_ok(python, flavour):
            return python
    return None


def _dsc_sha256(dsc: Path, name: str) -> str:
    """The sha256 that a .dsc gives for one of its files."""
    in_sums = False
    for line in dsc.read_text(errors="replace").splitlines():
        if line.startswith("Checksums-Sha256:"):
            in_sums = True
            continue
        if line and not line[0].isspace():
            in_sums = False
        words = line.split()
        if in_sums and len(words) == 3 and words[2] == name:
            return words[0]
    return ""


_APT_DIRS: dict[str, Path] = {}


def _apt_options(directory: Path) -> list[str]:
    return ["-o", f"Dir::Etc::sourcelist={directory}/sources.list",
            "-o", f"Dir::Etc::sourceparts={directory}/sources.list.d",
            "-o", f"Dir::State::Lists={directory}/lists", "-o", f"Dir::Cache={directory}/cache",
            "-o", "Dir::Cache::pkgcache=", "-o", "Dir::Cache::srcpkgcache=",
            "-o", "APT::Get::List-Cleanup=false", "-o", "Acquire::Languages=none"]


def _chown_apt(*paths: Path) -> None:
    """apt downloads as the unprivileged _apt user where it exists: let it write there."""
    try:
        import pwd
        uid = pwd.getpwnam("_apt").pw_uid
    except (KeyError, ImportError):
        return
    for path in paths:
        os.chown(path, uid, -1)


def _apt_dir(suite: str) -> Path:
    """A private apt configuration for `suite`, updated once per run: its own sources list with
    one deb-src line, its own lists and cache directories; the machine's apt configuration and
    indexes are not changed. The index must verify against apt's default trusted keys or the
    Debian archive keyring named explicitly; an unsigned source is never accepted."""
    if suite in _APT_DIRS:
        return _APT_DIRS[suite]
    mirror = debian_mirror()
    tmp = _temp_dir("zel-apt.")
    for sub in ("sources.list.d", "lists/partial", "cache/archives/partial"):
        (tmp / sub).mkdir(parents=True)
    tmp.chmod(0o755)
    _chown_apt(tmp / "lists/partial", tmp / "cache/archives/partial")
    keyring = Path("/usr/share/keyrings/debian-archive-keyring.gpg")
    for option in ["", f"[signed-by={keyring}]"]:
        if option and not keyring.is_file():
            continue
        line = " ".join(w for w in ["deb-src", option, mirror, suite, "main"] if w)
        (tmp / "sources.list").write_text(line + "\n")
        log(f"private apt source: {line}")
        result = run("apt-get", *_apt_options(tmp), "update", "-q", check=False,
                     stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        if result.returncode == 0 and not re.search(
                r"^(W|E): .*(GPG|signature|not signed|NO_PUBKEY)", result.stdout, re.M):
            log(f"signature check: {option or 'the default trusted keys'}")
            _APT_DIRS[suite] = tmp
            return tmp
        print("\n".join("    " + line for line in result.stdout.splitlines()), file=sys.stderr)
    die(f"apt-get update of the {suite} sources failed (see above)")


def fetch_source(minor: str) -> tuple[Path, str]:
    """python3.N_<version>.orig.tar.xz of the minor's suite in CACHE/src, verified against the
    source package's .dsc: the tarball and its upstream version."""
    srcdir = CACHE / "src"
    srcdir.mkdir(parents=True, exist_ok=True)
    package, suite, known_version = f"python{minor}", SOURCE_SUITE[minor], KNOWN_VERSION[minor]
    known = srcdir / f"{package}_{known_version}.orig.tar.xz"
    known_sum = known.with_name(known.name + ".sha256")
    if (known.is_file() and known_sum.is_file()
            and hashlib.sha256(known.read_bytes()).hexdigest() == known_sum.read_text().strip()):
        log(f"using the cached source {known}")
        return known, known_version

    apt = _apt_dir(suite)
    download = Path(tempfile.mkdtemp(prefix="dl.", dir=apt))
    download.chmod(0o755)
    _chown_apt(download)
    run("apt-get", *_apt_options(apt), "source", "--download-only", "-q", package, cwd=download)
    dscs = sorted(download.glob(f"{package}_*.dsc"))
    origs = sorted(download.glob(f"{package}_*.orig.tar.xz"))
    if not dscs:
        die("no .dsc was downloaded")
    if not origs:
        die("no .orig.tar.xz was downloaded")
    dsc, orig = dscs[0], origs[0]
    upstream = orig.name.removeprefix(f"{package}_").removesuffix(".orig.tar.xz")
    if not re.fullmatch(rf"{re.escape(minor)}\.\d+", upstream):
        die(f"Debian's {package} is upstream {upstream}, not {minor}.x")
    if upstream != known_version:
        log(f"warning: {suite}'s {package} is upstream {upstream}, not {known_version}; "
            "building it")
    want = _dsc_sha256(dsc, orig.name)
    got = hashlib.sha256(orig.read_bytes()).hexdigest()
    if not want:
        die(f"{dsc.name} lists no sha256 for {orig.name}")
    if want != got:
        die(f"{orig.name}: sha256 {got}, but the .dsc says {want}")
    log(f"verified {orig.name} against {dsc.name} (sha256 {got})")
    tarball = srcdir / orig.name
    partial = tarball.with_name(tarball.name + ".part")
    shutil.copyfile(orig, partial)
    partial.rename(tarball)
    tarball.with_name(tarball.name + ".sha256").write_text(got + "\n")
    shutil.rmtree(download, ignore_errors=True)
    return tarball, upstream


def _build_interpreter(tarball: Path, version: str, flavour: Flavour) -> Path:
    """Configures, builds and installs the interpreter of `tarball` (upstream `version`) into its
    prefix; returns its python. The install goes to a staging directory first (DESTDIR) and is
    moved into place only once it works, so an interrupted build never leaves a prefix that
    looks usable."""
    prefix = CACHE / f"python-{version}{flavour.suffix}"
    work = _temp_dir("zel-cpython.")
    logs = CACHE / "logs"
    logs.mkdir(parents=True, exist_ok=True)
    log_file = logs / f"build-{prefix.name}.log"
    log_file.write_text("")
    run("tar", "-xJf", tarball, "-C", work)
    src = work / f"Python-{version}"
    if not src.is_dir():
        die(f"the tarball holds no Python-{version} directory")

    # No test modules (neither Lib/test nor the _test* extensions) and no pip in the prefix: the
    # venvs bring their own pip.
    config = [f"--prefix={prefix}", "--without-ensurepip", "--disable-test-modules"]
    if flavour.ft:
        config.append("--disable-gil")
    if flavour.tsan:
        config.append("--with-thread-sanitizer")
    # Release builds without debugging information (the default OPT adds -g and -O3), which
    # shortens the build by a good part; the debug build keeps its own OPT.
    config.append("--with-pydebug" if flavour.debug else "OPT=-DNDEBUG -O2 -Wall")
    log(f"building {flavour.title} {version} (./configure {' '.join(config)}; log: {log_file})")
    steps = {
        "configure": ["./configure", *config],
        "build": ["make", "-j2"],
        "install": ["make", "-j2", "install", f"DESTDIR={work / 'stage'}"],
    }
    start = time.monotonic()
    for step, command in steps.items():
        with open(log_file, "a") as f:
            code = run("nice", "-n", "10", *command, cwd=src, stdout=f, stderr=subprocess.STDOUT,
                       check=False).returncode
        if code:
            lines = log_file.read_text(errors="replace").splitlines()
            print("\n".join(lines[-60:]), file=sys.stderr)
            die(f"CPython {step} failed (exit {code}); full log: {log_file}")
        log(f"  {step} done ({time.monotonic() - start:.0f}s)")
    text = log_file.read_text(errors="replace").splitlines()
    for i, line in enumerate(text):
        if re.match(r"The necessary bits to build these optional modules were not found|"
                    r"Failed to build these modules", line):
            print("\n".join(text[i:i + 4]), file=sys.stderr)

    # The prefix is compiled in; the staged tree runs from the final place only. Move it there.
    staged = Path(str(work / "stage") + str(prefix))
    if not staged.is_dir():
        die(f"make install left nothing in {staged}")
    # The interpreter's own list of known races in its internals goes with it: reports wholly
    # inside the interpreter are not ours to fix.
    if flavour.tsan:
        (staged / "share" / "tsan").mkdir(parents=True, exist_ok=True)
        for path in (src / "Tools" / "tsan").glob("suppressions*.txt"):
            shutil.copy(path, staged / "share" / "tsan")
    old = prefix.with_name(prefix.name + ".old")
    shutil.rmtree(old, ignore_errors=True)
    if prefix.exists():
        prefix.rename(old)
    prefix.parent.mkdir(parents=True, exist_ok=True)
    shutil.move(str(staged), prefix)
    shutil.rmtree(old, ignore_errors=True)
    base = _prefix_python(prefix, flavour)
    if not _interpreter_ok(base, flavour):
        die(f"the new interpreter in {prefix} does not work (see {log_file})")
    return base


def _ensure_interpreter_venv(base: Path, venv: Path) -> None:
    """A venv made from `base`, replaced when it is broken or was made from another one."""
    python = venv / "bin" / "python"
    if (python.exists() and os.path.realpath(python) == os.path.realpath(base)
            and subprocess.run([str(python), "-c", "import pip"], stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL).returncode == 0):
        return
    if venv.exists() or venv.is_symlink():
        log(f"replacing the venv {venv}")
        shutil.rmtree(venv)
    log(f"creating {venv} with {base}")
    make_venv(base, venv)


# CPython 3.14 and 3.15 with the GIL are Debian's own builds: the binary packages of the
# development suite, extracted into one tree (CACHE/amd64-<suite>, made again when the package
# list changes) and run from there by a launcher script in CACHE/bin, which starts the
# interpreter with the tree's dynamic loader and libraries (the tree's C library is newer than
# the host's) and the tree's /usr as its home. Libraries that the tree lacks (those of our
# module) come from the host, whose C library is the older one. The development suite's index
# may be past its Valid-Until date on a mirror that no longer updates it; its signature is still
# checked.
TREE_SUITE = "sid"
TREE_PACKAGES = ["base-files", "python3.14", "libpython3.14-dev", "python3.14-dev",
                 "python3.14-venv", "python3.14-gdbm", "python3.15", "libpython3.15-dev",
                 "python3.15-dev", "python3.15-venv", "python3.15-gdbm"]


def _tree_python(flavour: Flavour) -> Path:
    """The launcher of the development suite tree's interpreter of `flavour`'s minor."""
    root = debian_tree(CACHE / f"amd64-{TREE_SUITE}", TREE_SUITE, TREE_PACKAGES,
                       ["--aptopt=Acquire::Check-Valid-Until \"false\""])
    lib = root / "usr/lib/x86_64-linux-gnu"
    minor = flavour.minor
    if not (os.access(lib / "ld-linux-x86-64.so.2", os.X_OK)
            and os.access(root / f"usr/bin/python{minor}", os.X_OK)):
        die(f"{root} has no python{minor} or no dynamic loader")
    base = CACHE / "bin" / f"python{minor}"
    base.parent.mkdir(parents=True, exist_ok=True)
    # --argv0: the interpreter takes the launcher (or the venv's link to it) for sys.executable,
    # so that tests starting sys.executable run it the same way.
    partial = base.with_name(base.name + ".tmp")
    partial.write_text(
        "#!/bin/sh\n"
        f"PYTHONHOME='{root}/usr' exec '{lib}/ld-linux-x86-64.so.2' --library-path "
        f"'{lib}:/usr/lib/x86_64-linux-gnu' --argv0 \"$0\" '{root}/usr/bin/python{minor}' \"$@\"\n")
    partial.chmod(0o755)
    partial.rename(base)
    if not _interpreter_ok(base, flavour):
        die(f"{base} ({TREE_SUITE}'s python{minor}) does not work")
    version = output(base, "-c", "import sys; print(sys.version.split()[0])")
    log(f"{flavour.title}: Debian {TREE_SUITE}'s {version}, {base}")
    return base


_MODULE_PROBE = """
import sys, sysconfig, _zel_core
soabi = sysconfig.get_config_var("SOABI")
want = "cpython-%d%d%s" % (*sys.version_info[:2], "t" if sys.argv[1] == "1" else "")
assert soabi.startswith(want + "-") or soabi.startswith(want + "d-"), (soabi, want)
assert _zel_core.__file__.endswith(f".{soabi}.so"), (_zel_core.__file__, soabi)
gil = sys._is_gil_enabled() if hasattr(sys, "_is_gil_enabled") else True
print(f"[zel] {_zel_core.__file__} imports; GIL enabled: {gil}", file=sys.stderr)
"""


def _provide(flavour: Flavour, module: bool) -> Path:
    if not flavour.ft and not flavour.debug and not flavour.tsan and flavour.minor != "3.13":
        base = _tree_python(flavour)
    else:
        cached = _cached_python(flavour)
        if cached:
            log(f"{flavour.title}: {cached}")
            base = cached
        else:
            ensure_debs(*CPYTHON_BUILD_DEBS, *DEBS)
            tarball, upstream = fetch_source(flavour.minor)
            base = _build_interpreter(tarball, upstream, flavour)
    # The module's own build packages (a warm interpreter may predate a change of DEBS).
    ensure_debs(*DEBS)
    # Everything runs several times slower under the sanitizer, pip included: the sanitized
    # interpreter gets no venv, and its user brings the (pure Python) tools it needs.
    if flavour.tsan:
        return base
    venv = flavour.venv
    _ensure_interpreter_venv(base, venv)
    python = venv / "bin" / "python"
    ensure_tools(python, ["dev"], only_binary=True)
    if module:
        flags = python_cxxflags(python)
        extra = {"CXXFLAGS": " ".join(f for f in [flags, os.environ.get("CXXFLAGS", "")] if f)}
        env = venv_env(venv, **(extra if flags else {}))
        ensure_module(python, env)
        if run(python, "-c", _MODULE_PROBE, str(int(flavour.ft)), env=env,
               check=False).returncode:
            die(f"the module built for {flavour.title} does not import as expected")
    return python


def interpreter(version: str, module: bool = True) -> Path:
    """The venv python of interpreter `version` ("3.13t", "3.14", "3.13t-debug", ...; for
    "3.13t-tsan" the interpreter itself, since it gets no venv), made or reused, with the build
    and test tools and, unless `module` is false, the current module installed. One build of an
    interpreter at a time: a second process asking for it waits, then finds it done."""
    if not VERSION_RE.match(version):
        die(f"unknown interpreter {version} (3.13t, 3.14, 3.14t, 3.15, 3.15t, 3.13t-debug, "
            "3.13t-tsan, ...)")
    flavour = Flavour(version)
    locks = CACHE / "locks"
    locks.mkdir(parents=True, exist_ok=True)
    with open(locks / f"{version}.lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        # The sanitized interpreter's reports while it builds, checks itself or installs tools
        # are the interpreter's own and no concern here; the runs of our tests set their own.
        saved = os.environ.get("TSAN_OPTIONS")
        if flavour.tsan:
            os.environ["TSAN_OPTIONS"] = "report_bugs=0:exitcode=0"
        try:
            return _provide(flavour, module)
        finally:
            if flavour.tsan:
                if saved is None:
                    os.environ.pop("TSAN_OPTIONS", None)
                else:
                    os.environ["TSAN_OPTIONS"] = saved
