#!/usr/bin/env bash
# The CPython interpreters of the tests and wheels: 3.13, 3.14 and 3.15, each with the GIL and
# free-threaded, taken from Debian's packages. For each interpreter asked for, it makes a venv with
# the build and test tools and installs the current module into it (not with --no-module). Every
# step checks first and does nothing when its work is already done; concurrent runs for the same
# interpreter wait for each other (flock). Logs go to standard error; standard output gets, per
# interpreter and in the order asked for, the path of its venv's python.
#
#   scripts/build-python.sh [--debug] [--no-module] VERSION...
#
#   VERSION     3.13t, 3.14, 3.14t, 3.15 or 3.15t ("t": free-threaded); a suffix -debug
#               (3.13t-debug) or the option --debug (for every VERSION) adds --with-pydebug;
#               3.13t-tsan is the free-threaded build with --with-thread-sanitizer, for which
#               the interpreter's own path is printed: no venv, no tools, no module (see
#               scripts/test_tsan.py)
#   --no-module the venv gets the tools but not the module
#
# Where the interpreters come from:
#   - free-threaded and debug builds are compiled (./configure --disable-gil [--with-pydebug],
#     no PGO or LTO, no test modules, make -j2) from the upstream tarball of Debian's source
#     package: python3.13 of Debian 13, python3.14 and python3.15 of the development suite. The
#     tarball is fetched through a private apt configuration (the machine's apt sources and
#     indexes are not touched) and checked against the sha256 of the signed .dsc.
#   - 3.14 and 3.15 with the GIL are Debian's own binary packages of the development suite, run
#     from an extracted tree (see tree_python below): no build at all.
#   - 3.13 with the GIL is the machine's own (scripts/setup.sh), not this script's.
#
# Kept under $ZEL_CACHE_DIR (default /var/cache/zel, never required to exist beforehand):
#   python-<upstream version>[-ft][-debug|-tsan]   a compiled interpreter, e.g. python-3.13.5-ft
#   amd64-sid, bin/python3.N                 the development suite's tree and its launchers
#   venv-<VERSION>                           the venvs, e.g. venv-3.14, venv-3.13t-debug
#   src/, logs/, locks/                      verified tarballs, build logs, lock files
# ZEL_DEBIAN_MIRROR picks the Debian mirror (default: the one the machine's own apt sources use).
set -euo pipefail
shopt -s extglob nullglob

debug_all=0
module=1
wanted=()
for arg in "$@"; do
    case "$arg" in
    --debug) debug_all=1 ;;
    --no-module) module=0 ;;
    -h | --help)
        sed -n '2,33p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'
        exit 0
        ;;
    3.1[45] | 3.1[345]t | 3.1[345]t-debug | 3.13t-tsan) wanted+=("$arg") ;;
    *)
        printf 'error: unknown argument %s (usage: %s [--debug] [--no-module] VERSION...)\n' \
            "$arg" "$0" >&2
        exit 2
        ;;
    esac
done
((${#wanted[@]})) || { printf 'error: no VERSION given (3.13t, 3.14, ...)\n' >&2; exit 2; }

# Everything below logs to standard error; fd 3 keeps the real standard output for the results.
exec 3>&1 1>&2

temp_dirs=()
cleanup() { ((${#temp_dirs[@]} == 0)) || rm -rf "${temp_dirs[@]}"; }
trap cleanup EXIT

source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

cache="${ZEL_CACHE_DIR:-/var/cache/zel}"

# Per minor version: the Debian suite whose source package is built, and the upstream version it
# held when this was last checked. Another upstream version of the same minor is built too, with
# a warning (the development suite moves on).
declare -A SOURCE_SUITE=([3.13]=trixie [3.14]=sid [3.15]=sid)
declare -A KNOWN_VERSION=([3.13]=3.13.5 [3.14]=3.14.10 [3.15]=3.15.2)

# Debian packages needed to build CPython with the standard modules, and to build our module.
BUILD_DEBS=(build-essential xz-utils libssl-dev zlib1g-dev libffi-dev libbz2-dev liblzma-dev
            libsqlite3-dev libreadline-dev uuid-dev libgdbm-dev libgdbm-compat-dev
            libncurses-dev libexpat1-dev libzstd-dev)

# PyPI tools of the venvs: the repository venv's without orjson, which only the benchmarks use
# and which may have no wheel for these interpreters.
ZEL_TOOL_GROUPS=(dev)

# The interpreter being worked on (set by select_interpreter).
minor="" ft=0 debug=0 tsan=0 build="" flavour="" suffix="" venv=""

select_interpreter() {
    build="$1"
    ((debug_all)) && [[ "$build" != *-debug && "$build" != *-tsan ]] && build+="-debug"
    local s="${build%-debug}"
    s="${s%-tsan}"
    minor="${s%t}"
    ft=0 debug=0 tsan=0 suffix=""
    [[ "$s" == *t ]] && ft=1 && suffix+="-ft"
    [[ "$build" == *-debug ]] && debug=1 && suffix+="-debug"
    [[ "$build" == *-tsan ]] && tsan=1 && suffix+="-tsan"
    flavour="CPython $minor"
    ((ft)) && flavour+=" free-threaded"
    ((debug)) && flavour+=" debug"
    ((tsan)) && flavour+=" ThreadSanitizer"
    venv="$cache/venv-$build"
}

# Succeeds when $1 is a working interpreter of the wanted kind: the minor version, with or without
# the GIL, with the debug reference counts when asked for, and with the extension modules that
# need the Debian -dev packages (a build that silently skipped one of them does not count).
interpreter_ok() {
    local py="$1"
    [[ -x "$py" ]] || return 1
    "$py" - "$minor" "$ft" "$debug" "$tsan" >/dev/null 2>&1 <<'EOF'
import sys, sysconfig
assert "%d.%d" % sys.version_info[:2] == sys.argv[1]
assert bool(sysconfig.get_config_var("Py_GIL_DISABLED")) == (sys.argv[2] == "1")
assert hasattr(sys, "gettotalrefcount") == (sys.argv[3] == "1")
assert ("-fsanitize=thread" in (sysconfig.get_config_var("CONFIG_ARGS") or "")
        or "--with-thread-sanitizer" in (sysconfig.get_config_var("CONFIG_ARGS") or "")) == (sys.argv[4] == "1")
import bz2, ctypes, curses, dbm.gnu, lzma, readline, sqlite3, ssl, uuid, zlib, pyexpat, ensurepip, venv
EOF
}

# The interpreter binary of a prefix: python3.N with the build's ABI flags (t: free-threaded,
# d: debug; 3.13 names its free-threaded debug build python3.13td), else plain python3.N.
prefix_python() {
    local name names=("python$minor")
    ((ft && debug)) && names=("python${minor}td" "python${minor}t" "${names[@]}")
    ((ft && !debug)) && names=("python${minor}t" "${names[@]}")
    ((!ft && debug)) && names=("python${minor}d" "${names[@]}")
    for name in "${names[@]}"; do
        if [[ -x "$1/bin/$name" ]]; then
            printf '%s\n' "$1/bin/$name"
            return 0
        fi
    done
    printf '%s\n' "$1/bin/${names[0]}"
}

# Prints the python of a working prefix of the wanted kind already in the cache, newest first.
cached_python() {
    local p py
    for p in $(printf '%s\n' "$cache"/python-"$minor".+([0-9])"$suffix" | sort -rV); do
        py="$(prefix_python "$p")"
        if interpreter_ok "$py"; then
            printf '%s\n' "$py"
            return 0
        fi
    done
    return 1
}

# The sha256 that a .dsc gives for one of its files.
dsc_sha256() {
    awk -v f="$2" '
        /^Checksums-Sha256:/ { in_sums = 1; next }
        /^[^ ]/ { in_sums = 0 }
        in_sums && $3 == f { print $1; exit }' "$1"
}

# Private apt configurations, one per suite, updated once per run.
declare -A APT_DIRS=()

# Sets `apt` to the directory of a private apt configuration for suite $1: its own sources list with
# one deb-src line, its own lists and cache directories; the machine's apt configuration and
# indexes are not changed. The index must verify against apt's default trusted keys or the
# Debian archive keyring named explicitly; an unsigned source is never accepted.
apt_dir() {
    local suite="$1"
    if [[ -n "${APT_DIRS[$suite]:-}" ]]; then
        apt="${APT_DIRS[$suite]}"
        return 0
    fi
    local mirror tmp
    mirror="$(zel_debian_mirror)"
    tmp="$(mktemp -d "${TMPDIR:-/tmp}/zel-apt.XXXXXX")"
    temp_dirs+=("$tmp")
    mkdir -p "$tmp/sources.list.d" "$tmp/lists/partial" "$tmp/cache/archives/partial"
    # apt downloads as the unprivileged _apt user where it exists: let it write there.
    if id _apt >/dev/null 2>&1; then
        chmod 755 "$tmp"
        chown _apt "$tmp/lists/partial" "$tmp/cache/archives/partial"
    fi
    local keyring=/usr/share/keyrings/debian-archive-keyring.gpg option updated=""
    for option in "" "[signed-by=$keyring]"; do
        [[ -z "$option" || -f "$keyring" ]] || continue
        printf 'deb-src %s %s %s main\n' "$option" "$mirror" "$suite" |
            sed 's/  */ /g' >"$tmp/sources.list"
        zel_log "private apt source: $(<"$tmp/sources.list")"
        local opts
        mapfile -t opts < <(apt_opts "$tmp")
        if apt-get "${opts[@]}" update -q >"$tmp/update.log" 2>&1 &&
            ! grep -qE '^(W|E): .*(GPG|signature|not signed|NO_PUBKEY)' "$tmp/update.log"; then
            updated=yes
            zel_log "signature check: ${option:-the default trusted keys}"
            break
        fi
        sed 's/^/    /' "$tmp/update.log"
    done
    [[ -n "$updated" ]] || zel_die "apt-get update of the $suite sources failed (see above)"
    APT_DIRS[$suite]="$tmp"
    apt="$tmp"
}

apt_opts() {
    printf '%s\n' -o "Dir::Etc::sourcelist=$1/sources.list" -o "Dir::Etc::sourceparts=$1/sources.list.d" \
        -o "Dir::State::Lists=$1/lists" -o "Dir::Cache=$1/cache" -o "Dir::Cache::pkgcache=" \
        -o "Dir::Cache::srcpkgcache=" -o "APT::Get::List-Cleanup=false" -o "Acquire::Languages=none"
}

# Fetches python3.N_<version>.orig.tar.xz of the minor's suite into $cache/src, verified against
# the source package's .dsc. Sets `tarball` and `upstream` (the tarball's upstream version).
fetch_source() {
    local srcdir="$cache/src" package="python$minor" suite="${SOURCE_SUITE[$minor]}"
    mkdir -p "$srcdir"
    local known="$srcdir/${package}_${KNOWN_VERSION[$minor]}.orig.tar.xz"
    if [[ -f "$known" && -f "$known.sha256" ]] &&
        [[ "$(sha256sum "$known" | cut -d' ' -f1)" == "$(<"$known.sha256")" ]]; then
        tarball="$known"
        upstream="${KNOWN_VERSION[$minor]}"
        zel_log "using the cached source $tarball"
        return 0
    fi

    local apt dl
    apt_dir "$suite"
    dl="$(mktemp -d "$apt/dl.XXXXXX")"
    id _apt >/dev/null 2>&1 && chmod 755 "$dl" && chown _apt "$dl"
    local opts
    mapfile -t opts < <(apt_opts "$apt")
    (cd "$dl" && apt-get "${opts[@]}" source --download-only -q "$package") ||
        zel_die "apt-get source --download-only $package ($suite) failed"

    local dsc orig want got
    dsc="$(ls "$dl/${package}"_*.dsc 2>/dev/null | head -n1)"
    [[ -n "$dsc" ]] || zel_die "no .dsc was downloaded"
    orig="$(ls "$dl/${package}"_*.orig.tar.xz 2>/dev/null | head -n1)"
    [[ -n "$orig" ]] || zel_die "no .orig.tar.xz was downloaded"
    upstream="${orig##*/"${package}"_}"
    upstream="${upstream%.orig.tar.xz}"
    [[ "$upstream" == "$minor".+([0-9]) ]] || zel_die "Debian's $package is upstream $upstream, not $minor.x"
    [[ "$upstream" == "${KNOWN_VERSION[$minor]}" ]] ||
        zel_log "warning: $suite's $package is upstream $upstream, not ${KNOWN_VERSION[$minor]}; building it"
    want="$(dsc_sha256 "$dsc" "${orig##*/}")"
    got="$(sha256sum "$orig" | cut -d' ' -f1)"
    [[ -n "$want" ]] || zel_die "$(basename "$dsc") lists no sha256 for ${orig##*/}"
    [[ "$want" == "$got" ]] || zel_die "${orig##*/}: sha256 $got, but the .dsc says $want"
    zel_log "verified ${orig##*/} against $(basename "$dsc") (sha256 $got)"
    tarball="$srcdir/${orig##*/}"
    cp "$orig" "$tarball.part"
    mv "$tarball.part" "$tarball"
    printf '%s\n' "$got" >"$tarball.sha256"
    rm -rf "$dl"
}

# Configures, builds and installs the interpreter of tarball $1 (upstream version $2) into its
# prefix. The install goes to a staging directory first (DESTDIR) and is moved into place only
# once it works, so an interrupted build never leaves a prefix that looks usable. Sets `base` to
# the interpreter's path.
build_interpreter() {
    local tarball="$1" version="$2"
    local prefix="$cache/python-$version$suffix"
    local work
    work="$(mktemp -d "${TMPDIR:-/tmp}/zel-cpython.XXXXXX")"
    temp_dirs+=("$work")
    local log="$cache/logs/build-$(basename "$prefix").log"
    mkdir -p "$cache/logs"
    : >"$log"
    tar -xJf "$tarball" -C "$work"
    local src="$work/Python-$version"
    [[ -d "$src" ]] || zel_die "the tarball holds no Python-$version directory"

    # No test modules (neither Lib/test nor the _test* extensions) and no pip in the prefix: the
    # venvs bring their own pip.
    local config=(--prefix="$prefix" --without-ensurepip --disable-test-modules)
    ((ft)) && config+=(--disable-gil)
    ((tsan)) && config+=(--with-thread-sanitizer)
    # Release builds without debugging information (the default OPT adds -g and -O3), which
    # shortens the build by a good part; the debug build keeps its own OPT.
    if ((debug)); then
        config+=(--with-pydebug)
    else
        config+=(OPT="-DNDEBUG -O2 -Wall")
    fi
    zel_log "building $flavour $version (./configure ${config[*]}; log: $log)"
    local step start=$SECONDS
    for step in configure build install; do
        local rc=0
        case "$step" in
        configure) (cd "$src" && nice -n 10 ./configure "${config[@]}") >>"$log" 2>&1 || rc=$? ;;
        build) (cd "$src" && nice -n 10 make -j2) >>"$log" 2>&1 || rc=$? ;;
        install) (cd "$src" && nice -n 10 make -j2 install DESTDIR="$work/stage") >>"$log" 2>&1 || rc=$? ;;
        esac
        if ((rc != 0)); then
            tail -n 60 "$log"
            zel_die "CPython $step failed (exit $rc); full log: $log"
        fi
        zel_log "  $step done ($((SECONDS - start))s)"
    done
    grep -E "^The necessary bits to build these optional modules were not found|^Failed to build these modules" \
        -A3 "$log" || true

    # The prefix is compiled in; the staged tree runs from the final place only. Move it there.
    local staged="$work/stage$prefix"
    [[ -d "$staged" ]] || zel_die "make install left nothing in $staged"
    # The interpreter's own list of known races in its internals goes with it: reports wholly
    # inside the interpreter are not ours to fix.
    if ((tsan)); then
        mkdir -p "$staged/share/tsan"
        cp "$src"/Tools/tsan/suppressions*.txt "$staged/share/tsan/"
    fi
    rm -rf "$prefix.old"
    [[ -e "$prefix" ]] && mv "$prefix" "$prefix.old"
    mkdir -p "$(dirname "$prefix")"
    mv "$staged" "$prefix"
    rm -rf "$prefix.old" "$work"
    base="$(prefix_python "$prefix")"
    interpreter_ok "$base" || zel_die "the new interpreter in $prefix does not work (see $log)"
}

# A venv made from the interpreter $1, replaced when it is broken or was made from another one.
ensure_venv() {
    local base="$1"
    local vpy="$venv/bin/python"
    if [[ -x "$vpy" && "$(readlink -f "$vpy")" == "$(readlink -f "$base")" ]] &&
        "$vpy" -c 'import pip' >/dev/null 2>&1; then
        return 0
    fi
    [[ -e "$venv" ]] && zel_log "replacing the venv $venv" && rm -rf "$venv"
    zel_log "creating $venv with $base"
    zel_make_venv "$base" "$venv"
}

# CPython 3.14 and 3.15 with the GIL are Debian's own builds: the binary packages of the
# development suite, extracted into one tree ($cache/amd64-<suite>, rebuilt when the package list
# changes) and run from there by a launcher script in $cache/bin, which starts the interpreter with
# the tree's dynamic loader and libraries (the tree's C library is newer than the host's) and the
# tree's /usr as its home. Libraries that the tree lacks (those of our module) come from the host,
# whose C library is the older one. The development suite's index may be past its Valid-Until
# date on a mirror that no longer updates it; its signature is still checked.
TREE_SUITE=sid
TREE_PACKAGES=(base-files python3.14 libpython3.14-dev python3.14-dev python3.14-venv python3.14-gdbm
               python3.15 libpython3.15-dev python3.15-dev python3.15-venv python3.15-gdbm)

# Sets `base` to the launcher of the tree's interpreter.
tree_python() {
    local root="$cache/amd64-$TREE_SUITE"
    local want="$TREE_SUITE ${TREE_PACKAGES[*]}"
    if [[ ! -f "$root/.zel-packages" || "$(<"$root/.zel-packages")" != "$want" ]]; then
        ((EUID == 0)) || zel_die "building the tree $root needs root (mmdebstrap --mode=root)"
        zel_ensure_debs mmdebstrap
        local mirror
        mirror="$(zel_debian_mirror)"
        zel_log "extracting Debian $TREE_SUITE's Python packages into $root from $mirror"
        mkdir -p "$(dirname "$root")"
        rm -rf "$root.tmp"
        nice -n 10 mmdebstrap --mode=root --variant=extract \
            --aptopt='Acquire::Check-Valid-Until "false"' \
            --include="$(IFS=,; printf '%s' "${TREE_PACKAGES[*]}")" "$TREE_SUITE" "$root.tmp" "$mirror"
        printf '%s\n' "$want" >"$root.tmp/.zel-packages"
        rm -rf "$root"
        mv "$root.tmp" "$root"
    fi
    local lib="$root/usr/lib/x86_64-linux-gnu"
    [[ -x "$lib/ld-linux-x86-64.so.2" && -x "$root/usr/bin/python$minor" ]] ||
        zel_die "$root has no python$minor or no dynamic loader"
    base="$cache/bin/python$minor"
    mkdir -p "$cache/bin"
    # --argv0: the interpreter takes the launcher (or the venv's link to it) for sys.executable,
    # so that tests starting sys.executable run it the same way.
    cat >"$base.tmp" <<LAUNCHER
#!/bin/sh
PYTHONHOME='$root/usr' exec '$lib/ld-linux-x86-64.so.2' --library-path '$lib:/usr/lib/x86_64-linux-gnu' --argv0 "\$0" '$root/usr/bin/python$minor' "\$@"
LAUNCHER
    chmod +x "$base.tmp"
    mv "$base.tmp" "$base"
    interpreter_ok "$base" || zel_die "$base ($TREE_SUITE's python$minor) does not work"
    zel_log "$flavour: Debian $TREE_SUITE's $("$base" -c 'import sys; print(sys.version.split()[0])'), $base"
}

# Everything for the interpreter of select_interpreter: prints the venv's python on fd 3.
one() {
    local base
    # The sanitized interpreter's reports while it builds, checks itself or installs tools are
    # the interpreter's own and no concern here; the runs of our tests set their own options.
    ((tsan)) && export TSAN_OPTIONS="report_bugs=0:exitcode=0"
    if ((!ft && !debug)) && [[ "$minor" != 3.13 ]]; then
        tree_python
    elif base="$(cached_python)"; then
        zel_log "$flavour: $base"
    else
        zel_ensure_debs "${BUILD_DEBS[@]}" "${ZEL_DEBS[@]}"
        local tarball upstream
        fetch_source
        build_interpreter "$tarball" "$upstream"
    fi
    # The module's own build packages (a warm interpreter may predate a change of ZEL_DEBS).
    zel_ensure_debs "${ZEL_DEBS[@]}"
    # Everything runs several times slower under the sanitizer, pip included: the sanitized
    # interpreter gets no venv, and its user brings the (pure Python) tools it needs.
    if ((tsan)); then
        printf '%s\n' "$base" >&3
        return 0
    fi
    ensure_venv "$base"

    # From here on the helpers of setup.sh work on this venv instead of the repository's .venv.
    (
        ZEL_VENV="$venv"
        ZEL_PY="$venv/bin/python"
        # The stamp is the hash of the sources, so clones sharing the venv reinstall only when
        # their sources differ from what was installed last.
        ZEL_STAMP="$venv/.zel-install-hash"
        export PATH="$venv/bin:$PATH"
        # Wheels only: a release whose wheels do not cover a new or free-threaded ABI yet would be
        # built from source (hypothesis's newest releases then need a Rust toolchain and
        # crates.io, which cannot be reached); pip picks the newest release that has a wheel
        # that fits instead.
        PIP_ONLY_BINARY=:all: zel_ensure_tools
        ((module && !tsan)) || exit 0
        local flags
        flags="$(zel_python_cxxflags "$ZEL_PY")"
        [[ -z "$flags" ]] || export CXXFLAGS="$flags${CXXFLAGS:+ $CXXFLAGS}"
        zel_ensure_module
        "$ZEL_PY" - "$ft" <<'EOF' || zel_die "the module built for $flavour does not import as expected"
import sys, sysconfig, _zel_core
soabi = sysconfig.get_config_var("SOABI")
want = "cpython-%d%d%s" % (*sys.version_info[:2], "t" if sys.argv[1] == "1" else "")
assert soabi.startswith(want + "-") or soabi.startswith(want + "d-"), (soabi, want)
assert _zel_core.__file__.endswith(f".{soabi}.so"), (_zel_core.__file__, soabi)
gil = sys._is_gil_enabled() if hasattr(sys, "_is_gil_enabled") else True
print(f"[zel] {_zel_core.__file__} imports; GIL enabled: {gil}")
EOF
    )
    printf '%s\n' "$venv/bin/python" >&3
}

mkdir -p "$cache/locks"
for s in "${wanted[@]}"; do
    select_interpreter "$s"
    # One build of an interpreter at a time: a second run for it waits, then finds it done.
    exec 9>"$cache/locks/$build.lock"
    flock 9
    one
    exec 9>&-
done
