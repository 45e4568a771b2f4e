#!/usr/bin/env bash
# Free-threaded CPython 3.13 for the thread and reference-leak tests. Builds the interpreter
# (./configure --disable-gil, plus --with-pydebug with --debug) from the upstream tarball of
# Debian 13's python3.13 source package into a cached prefix, makes a venv from it with the build
# and test tools, and installs the current module into that venv (not with --no-module). Every
# step checks first and does nothing when its work is already done. Logs go to standard error;
# the last thing printed on standard output is the path of the venv's python.
#
#   scripts/build-python-ft.sh [--debug] [--no-module]
#
# Environment (all optional):
#   ZEL_CACHE_DIR         where everything is kept (default /var/cache/zel); never required to
#                         exist beforehand
#   ZEL_FT_PREFIX         interpreter prefix (default $ZEL_CACHE_DIR/python-3.13.5-ft)
#   ZEL_FT_DEBUG_PREFIX   same with --debug (default $ZEL_CACHE_DIR/python-3.13.5-ft-debug)
#   ZEL_FT_VENV           venv (default $ZEL_CACHE_DIR/venv-ft)
#   ZEL_FT_DEBUG_VENV     same with --debug (default $ZEL_CACHE_DIR/venv-ft-debug)
#   ZEL_DEBIAN_MIRROR     Debian mirror for the source package (default: the one the machine's own
#                         apt sources use)
set -euo pipefail

debug=0
module=1
for arg in "$@"; do
    case "$arg" in
    --debug) debug=1 ;;
    --no-module) module=0 ;;
    -h | --help)
        sed -n '2,20p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'
        exit 0
        ;;
    *)
        printf 'error: unknown argument %s (usage: %s [--debug] [--no-module])\n' "$arg" "$0" >&2
        exit 2
        ;;
    esac
done

# Everything below logs to standard error; fd 3 keeps the real standard output for the result.
exec 3>&1 1>&2

temp_dirs=()
cleanup() { ((${#temp_dirs[@]} == 0)) || rm -rf "${temp_dirs[@]}"; }
trap cleanup EXIT

source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

FT_VERSION=3.13.5 # the upstream version of python3.13 in Debian 13
FT_SOURCE_SUITE=trixie
cache="${ZEL_CACHE_DIR:-/var/cache/zel}"
if ((debug)); then
    prefix="${ZEL_FT_DEBUG_PREFIX:-$cache/python-$FT_VERSION-ft-debug}"
    venv="${ZEL_FT_DEBUG_VENV:-$cache/venv-ft-debug}"
    flavour="free-threaded debug"
else
    prefix="${ZEL_FT_PREFIX:-$cache/python-$FT_VERSION-ft}"
    venv="${ZEL_FT_VENV:-$cache/venv-ft}"
    flavour="free-threaded"
fi

# Debian packages needed to build CPython with the standard modules, and to build our module.
FT_BUILD_DEBS=(build-essential xz-utils libssl-dev zlib1g-dev libffi-dev libbz2-dev liblzma-dev
               libsqlite3-dev libreadline-dev uuid-dev libgdbm-dev libgdbm-compat-dev
               libncurses-dev libexpat1-dev)

# PyPI tools of the venv: the module's build backend and its tools, and the test tools. (mypy is
# there for the stub test; it runs as pure Python on this interpreter.)
ZEL_TOOLS=(
    [scikit-build-core]="scikit-build-core>=0.10"
    [cmake]="cmake>=3.21"
    [ninja]="ninja"
    [pytest]="pytest>=8"
    [hypothesis]="hypothesis>=6"
    [mypy]="mypy>=1.11"
)

# Succeeds when $1 is a working interpreter of the wanted kind: 3.13, built without the GIL, with
# the debug reference counts when asked for, and with the extension modules that need the
# Debian -dev packages (a build that silently skipped one of them does not count).
interpreter_ok() {
    local py="$1"
    [[ -x "$py" ]] || return 1
    "$py" - "$debug" >/dev/null 2>&1 <<'EOF'
import sys, sysconfig
assert sys.version_info[:2] == (3, 13)
assert sysconfig.get_config_var("Py_GIL_DISABLED") == 1
assert hasattr(sys, "gettotalrefcount") == (sys.argv[1] == "1")
import bz2, ctypes, curses, dbm.gnu, lzma, readline, sqlite3, ssl, uuid, zlib, pyexpat, ensurepip, venv
EOF
}

# The interpreter binary of a prefix (free-threaded builds install python3.13t).
prefix_python() {
    local name
    for name in python3.13t python3.13; do
        if [[ -x "$1/bin/$name" ]]; then
            printf '%s\n' "$1/bin/$name"
            return 0
        fi
    done
    printf '%s\n' "$1/bin/python3.13t"
}

# The sha256 that a .dsc gives for one of its files.
dsc_sha256() {
    awk -v f="$2" '
        /^Checksums-Sha256:/ { in_sums = 1; next }
        /^[^ ]/ { in_sums = 0 }
        in_sums && $3 == f { print $1; exit }' "$1"
}

# Fetches python3.13_<version>.orig.tar.xz of Debian 13 into $cache/src (verified against the
# source package's .dsc), through a private apt configuration: its own sources list with one
# deb-src line, its own lists and cache directories. The machine's apt configuration and indexes
# are not changed. Sets `tarball` to the file's path.
fetch_source() {
    local srcdir="$cache/src"
    mkdir -p "$srcdir"
    tarball="$srcdir/python3.13_$FT_VERSION.orig.tar.xz"
    if [[ -f "$tarball" && -f "$tarball.sha256" ]] &&
        [[ "$(sha256sum "$tarball" | cut -d' ' -f1)" == "$(<"$tarball.sha256")" ]]; then
        zel_log "using the cached source $tarball"
        return 0
    fi

    local mirror tmp
    mirror="$(zel_debian_mirror)"
    tmp="$(mktemp -d "${TMPDIR:-/tmp}/zel-apt.XXXXXX")"
    temp_dirs+=("$tmp")
    mkdir -p "$tmp/sources.list.d" "$tmp/lists/partial" "$tmp/cache/archives/partial" "$tmp/dl"
    # apt downloads as the unprivileged _apt user where it exists: let it write there.
    if id _apt >/dev/null 2>&1; then
        chmod 755 "$tmp"
        chown _apt "$tmp/lists/partial" "$tmp/cache/archives/partial" "$tmp/dl"
    fi
    local apt_opts=(
        -o "Dir::Etc::sourcelist=$tmp/sources.list"
        -o "Dir::Etc::sourceparts=$tmp/sources.list.d"
        -o "Dir::State::Lists=$tmp/lists"
        -o "Dir::Cache=$tmp/cache"
        -o "Dir::Cache::pkgcache="
        -o "Dir::Cache::srcpkgcache="
        -o "APT::Get::List-Cleanup=false"
        -o "Acquire::Languages=none"
    )
    # Signature check: first apt's default trusted keys, then the archive keyring named
    # explicitly; an unsigned source is never accepted.
    local keyring=/usr/share/keyrings/debian-archive-keyring.gpg option updated=""
    for option in "" "[signed-by=$keyring]"; do
        [[ -z "$option" || -f "$keyring" ]] || continue
        printf 'deb-src %s %s %s main\n' "$option" "$mirror" "$FT_SOURCE_SUITE" |
            sed 's/  */ /g' >"$tmp/sources.list"
        zel_log "private apt source: $(<"$tmp/sources.list")"
        if apt-get "${apt_opts[@]}" update -q >"$tmp/update.log" 2>&1 &&
            ! grep -qE '^(W|E): .*(GPG|signature|not signed|NO_PUBKEY)' "$tmp/update.log"; then
            updated=yes
            zel_log "signature check: ${option:-the default trusted keys}"
            break
        fi
        sed 's/^/    /' "$tmp/update.log"
    done
    [[ -n "$updated" ]] || zel_die "apt-get update of the $FT_SOURCE_SUITE sources failed (see above)"

    (cd "$tmp/dl" && apt-get "${apt_opts[@]}" source --download-only -q python3.13) ||
        zel_die "apt-get source --download-only python3.13 failed"

    local dsc orig want got
    dsc="$(ls "$tmp"/dl/python3.13_*.dsc 2>/dev/null | head -n1)"
    [[ -n "$dsc" ]] || zel_die "no .dsc was downloaded"
    orig="$(ls "$tmp"/dl/python3.13_*.orig.tar.xz 2>/dev/null | head -n1)"
    [[ -n "$orig" ]] || zel_die "no .orig.tar.xz was downloaded"
    local version="${orig##*/python3.13_}"
    version="${version%.orig.tar.xz}"
    if [[ "$version" != "$FT_VERSION" ]]; then
        [[ "$version" == 3.13.* ]] || zel_die "Debian's python3.13 is upstream $version, not 3.13.x"
        zel_log "warning: Debian's python3.13 is upstream $version, not $FT_VERSION; building it"
    fi
    want="$(dsc_sha256 "$dsc" "${orig##*/}")"
    got="$(sha256sum "$orig" | cut -d' ' -f1)"
    [[ -n "$want" ]] || zel_die "$(basename "$dsc") lists no sha256 for ${orig##*/}"
    [[ "$want" == "$got" ]] || zel_die "${orig##*/}: sha256 $got, but the .dsc says $want"
    zel_log "verified ${orig##*/} against $(basename "$dsc") (sha256 $got)"
    cp "$orig" "$tarball.part"
    mv "$tarball.part" "$tarball"
    printf '%s\n' "$got" >"$tarball.sha256"
}

# Configures, builds and installs the interpreter into $prefix. The install goes to a staging
# directory first (DESTDIR) and is moved into place only once it works, so an interrupted build
# never leaves a prefix that looks usable.
build_interpreter() {
    local tarball="$1"
    local work
    work="$(mktemp -d "${TMPDIR:-/tmp}/zel-cpython.XXXXXX")"
    temp_dirs+=("$work")
    local log="$cache/logs/build-$(basename "$prefix").log"
    mkdir -p "$cache/logs"
    : >"$log"
    tar -xJf "$tarball" -C "$work"
    local src
    src="$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'Python-3.13*' | head -n1)"
    [[ -n "$src" ]] || zel_die "the tarball holds no Python-3.13* directory"

    local config=(--prefix="$prefix" --disable-gil --without-ensurepip)
    ((debug)) && config+=(--with-pydebug)
    zel_log "building the $flavour interpreter (./configure ${config[*]}; log: $log)"
    local step
    for step in configure build install; do
        local rc=0
        case "$step" in
        configure) (cd "$src" && ./configure "${config[@]}") >>"$log" 2>&1 || rc=$? ;;
        build) (cd "$src" && nice -n 10 make -j2) >>"$log" 2>&1 || rc=$? ;;
        install) (cd "$src" && nice -n 10 make install DESTDIR="$work/stage") >>"$log" 2>&1 || rc=$? ;;
        esac
        if ((rc != 0)); then
            tail -n 60 "$log"
            zel_die "CPython $step failed (exit $rc); full log: $log"
        fi
        zel_log "  $step done (${SECONDS}s since start)"
    done
    grep -E "^The necessary bits to build these optional modules were not found|^Failed to build these modules" \
        -A3 "$log" || true

    # The prefix is compiled in; the staged tree runs from the final place only. Move it there.
    local staged="$work/stage$prefix"
    [[ -d "$staged" ]] || zel_die "make install left nothing in $staged"
    rm -rf "$prefix.old"
    [[ -e "$prefix" ]] && mv "$prefix" "$prefix.old"
    mkdir -p "$(dirname "$prefix")"
    mv "$staged" "$prefix"
    rm -rf "$prefix.old"
    interpreter_ok "$(prefix_python "$prefix")" ||
        zel_die "the new interpreter in $prefix does not work (see $log)"
}

# A venv made from the interpreter of $prefix, replaced when it is broken or was made from
# another interpreter.
ensure_venv() {
    local base="$1"
    local vpy="$venv/bin/python"
    if [[ -x "$vpy" ]] && "$vpy" - "$prefix" "$debug" >/dev/null 2>&1 <<'EOF'; then
import os, sys, sysconfig
assert os.path.realpath(sys.base_prefix) == os.path.realpath(sys.argv[1])
assert sysconfig.get_config_var("Py_GIL_DISABLED") == 1
assert hasattr(sys, "gettotalrefcount") == (sys.argv[2] == "1")
import pip
EOF
        return 0
    fi
    [[ -e "$venv" ]] && zel_log "replacing the venv $venv" && rm -rf "$venv"
    zel_log "creating $venv with $base"
    mkdir -p "$(dirname "$venv")"
    "$base" -m venv "$venv"
}

main() {
    local base
    base="$(prefix_python "$prefix")"
    if interpreter_ok "$base"; then
        zel_log "$flavour CPython: $base"
    else
        zel_ensure_debs "${FT_BUILD_DEBS[@]}" "${ZEL_DEBS[@]}"
        local tarball
        fetch_source
        build_interpreter "$tarball"
        base="$(prefix_python "$prefix")"
    fi
    # The module's own build packages (a warm interpreter may predate a change of ZEL_DEBS).
    zel_ensure_debs "${ZEL_DEBS[@]}"
    ensure_venv "$base"

    # From here on the helpers of setup.sh work on this venv instead of the repository's .venv.
    ZEL_VENV="$venv"
    ZEL_PY="$venv/bin/python"
    # The stamp is the hash of the sources, so clones sharing the venv reinstall only when their
    # sources differ from what was installed last.
    ZEL_STAMP="$venv/.zel-install-hash"
    export PATH="$venv/bin:$PATH"
    # Wheels only: a release whose wheels do not cover the free-threaded ABI yet would be built
    # from source (hypothesis's newest releases then need a Rust toolchain and crates.io, which
    # cannot be reached); pip picks the newest release that has a wheel that fits instead.
    PIP_ONLY_BINARY=:all: zel_ensure_tools
    if ((!module)); then
        printf '%s\n' "$ZEL_PY" >&3
        return 0
    fi
    zel_ensure_module

    "$ZEL_PY" - <<'EOF' || zel_die "the module built for $flavour CPython does not import as expected"
import sys, sysconfig, _zel_core
soabi = sysconfig.get_config_var("SOABI")
assert soabi.startswith("cpython-313t"), soabi
assert _zel_core.__file__.endswith(f".{soabi}.so"), (_zel_core.__file__, soabi)
print(f"[zel] {_zel_core.__file__} imports; GIL enabled: {sys._is_gil_enabled()}")
EOF
    printf '%s\n' "$ZEL_PY" >&3
}

main
