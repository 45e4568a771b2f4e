# Shared set-up, sourced by run.sh, test.sh and test-sanitize.sh (not run on its own).
# Owns: the Debian build packages, the .venv made from a real Python 3.13 binary, the PyPI build
# and test tools inside it, and the incremental `pip install` of the module into that venv.
# Every step checks first and does nothing when its work is already done.

ZEL_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
ZEL_VENV="$ZEL_ROOT/.venv"
ZEL_PY="$ZEL_VENV/bin/python"
ZEL_STAMP="$ZEL_VENV/.zel-install-hash"

# Debian packages the build needs (cmake and ninja come from PyPI instead: Debian 12's cmake may
# be too old). Debian's own python3.13 additionally needs its -dev and -venv packages.
ZEL_DEBS=(build-essential pkg-config libyaml-dev libfyaml-dev
          libutf8proc-dev libgtest-dev)

# The dependency groups of pyproject.toml (where every tool is listed) that zel_ensure_tools
# installs into the venv.
ZEL_TOOL_GROUPS=(venv)

# At most two parallel compile jobs, for scikit-build-core's and our own cmake --build calls.
export CMAKE_BUILD_PARALLEL_LEVEL="${CMAKE_BUILD_PARALLEL_LEVEL:-2}"
export PIP_DISABLE_PIP_VERSION_CHECK=1

zel_log() { printf '[zel] %s\n' "$*"; }
zel_die() { printf 'error: %s\n' "$*" >&2; exit 1; }
# The C++ tests of a build directory through CTest, two at a time, their output kept in
# ctest.log there: only the summary is shown when all pass, the whole log when one fails.
zel_ctest() {
    local status=0
    ctest --test-dir "$1" -j 2 --output-on-failure >"$1/ctest.log" 2>&1 || status=$?
    if ((status)); then cat "$1/ctest.log"; else tail -n 3 "$1/ctest.log"; fi
    return "$status"
}

# Print the path of a working Python 3.13 interpreter (a real binary, not a pyenv shim).
# ZEL_PYTHON_BIN overrides the search.
zel_find_python() {
    local candidates=() root c seen=""
    if [[ -n "${ZEL_PYTHON_BIN:-}" ]]; then
        candidates+=("$ZEL_PYTHON_BIN")
    fi
    candidates+=(/usr/bin/python3.13 /usr/local/bin/python3.13)
    local roots=()
    if command -v pyenv >/dev/null 2>&1; then
        roots+=("$(pyenv root 2>/dev/null || true)")
    fi
    roots+=("${PYENV_ROOT:-}" "$HOME/.pyenv")
    for root in "${roots[@]}"; do
        [[ -n "$root" && -d "$root/versions" ]] || continue
        # Newest 3.13.x first; free-threaded builds (3.13.*t) after the regular ones.
        while IFS= read -r c; do
            candidates+=("$c")
        done < <(ls -d "$root"/versions/3.13.*/bin/python3.13 2>/dev/null | sort -rV)
    done
    for c in "${candidates[@]}"; do
        [[ -x "$c" ]] || continue
        case " $seen " in *" $c "*) continue ;; esac
        seen+=" $c"
        if "$c" -c 'import sys; sys.exit(sys.version_info[:2] != (3, 13))' >/dev/null 2>&1; then
            printf '%s\n' "$c"
            return 0
        fi
    done
    # Last resort: whatever python3.13 on PATH resolves to (a shim may refuse, hence 2>/dev/null).
    if c="$(python3.13 -c 'import sys; print(sys.executable)' 2>/dev/null)" && [[ -x "$c" ]]; then
        printf '%s\n' "$c"
        return 0
    fi
    return 1
}

# Print the Debian packages, among those given, that are not installed.
zel_missing_debs() {
    local pkg status
    for pkg in "$@"; do
        status="$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)"
        [[ "$status" == "install ok installed" ]] || printf '%s\n' "$pkg"
    done
}

# Install the given Debian packages when any is missing. As root: apt-get update once, then
# install. Otherwise print the exact command that is needed and fail.
zel_ensure_debs() {
    local missing
    mapfile -t missing < <(zel_missing_debs "$@")
    ((${#missing[@]} == 0)) && return 0
    if ((EUID != 0)); then
        {
            printf 'error: missing Debian packages: %s\n' "${missing[*]}"
            printf 'Install them as root, then run this command again:\n'
            printf '    apt-get install -y %s\n' "${missing[*]}"
        } >&2
        exit 1
    fi
    zel_log "installing Debian packages: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    apt-get install -y -q --no-install-recommends "${missing[@]}" </dev/null
    mapfile -t missing < <(zel_missing_debs "$@")
    ((${#missing[@]} == 0)) || zel_die "still missing after apt-get install: ${missing[*]}"
}

# The Debian mirror of the machine's own apt sources (ZEL_DEBIAN_MIRROR overrides it): the
# first URI of a "deb" entry for the main archive (not the security one), from deb822 files and
# then the one-line format.
zel_debian_mirror() {
    if [[ -n "${ZEL_DEBIAN_MIRROR:-}" ]]; then
        printf '%s\n' "${ZEL_DEBIAN_MIRROR%/}"
        return
    fi
    local uri
    uri="$(
        {
            # deb822: one URI per field value; only stanzas whose Types include deb.
            cat /etc/apt/sources.list.d/*.sources 2>/dev/null | awk '
                function flush() { if (isdeb && uris != "") print uris; isdeb = 0; uris = "" }
                /^[[:space:]]*$/ { flush(); next }
                /^[[:space:]]*#/ { next }
                tolower($1) == "types:" { for (i = 2; i <= NF; i++) if ($i == "deb") isdeb = 1 }
                tolower($1) == "uris:" { for (i = 2; i <= NF; i++) uris = uris " " $i }
                END { flush() }' | tr ' ' '\n'
            # One-line format: deb [options] URI suite components.
            cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
                sed -e 's/#.*//' -e 's/\[[^]]*\]//' | awk '$1 == "deb" { print $2 }'
        } | grep -E '^(https?|ftp)://' | grep -v -- '-security' | grep -E '/debian/?$' | head -n1
    )" || true
    printf '%s\n' "${uri:-http://deb.debian.org/debian}" | sed 's:/*$::'
}

# Create .venv from the given interpreter unless a working 3.13 venv is already there.
zel_ensure_venv() {
    local base="$1"
    if [[ -x "$ZEL_PY" ]] &&
        "$ZEL_PY" -c 'import sys; sys.exit(sys.version_info[:2] != (3, 13))' >/dev/null 2>&1; then
        return 0
    fi
    if [[ -e "$ZEL_VENV" ]]; then
        zel_log "replacing the broken or non-3.13 venv at $ZEL_VENV"
        rm -rf "$ZEL_VENV"
    fi
    zel_log "creating $ZEL_VENV with $base"
    "$base" -m venv "$ZEL_VENV"
}

# Install into the venv the tools of ZEL_TOOL_GROUPS that are not installed yet.
zel_ensure_tools() {
    local listed
    listed="$("$ZEL_PY" "$ZEL_ROOT/scripts/zel_tools/requirements.py" --missing \
        "${ZEL_TOOL_GROUPS[@]}")" || zel_die "could not read the tool lists of pyproject.toml"
    [[ -n "$listed" ]] || return 0
    local reqs=()
    mapfile -t reqs <<<"$listed"
    zel_log "installing into the venv: ${reqs[*]}"
    "$ZEL_PY" -m pip install -q "${reqs[@]}" </dev/null
}

# Hash of everything the module's build reads: the sources, CMakeLists.txt and pyproject.toml.
zel_source_hash() {
    (
        cd "$ZEL_ROOT"
        {
            find src -type f -print0 | LC_ALL=C sort -z | xargs -0 -r sha256sum
            sha256sum CMakeLists.txt pyproject.toml
        } | sha256sum | cut -d' ' -f1
    )
}

# Build and install the module into the venv, unless the sources are unchanged since the last
# successful install and the module is still there. The build directory of scikit-build-core
# (build/ in pyproject.toml) persists, so a rebuild only recompiles what changed.
zel_ensure_module() {
    local hash
    hash="$(zel_source_hash)"
    local site
    site="$("$ZEL_PY" -c 'import sysconfig; print(sysconfig.get_path("platlib"))')"
    if [[ -f "$ZEL_STAMP" && "$(<"$ZEL_STAMP")" == "$hash" ]] &&
        compgen -G "$site/_zel_core.cpython-*.so" >/dev/null; then
        return 0
    fi
    rm -f "$ZEL_STAMP"
    zel_log "building and installing _zel_core into the venv"
    # Warnings fail the build here (not in the sdist: other compilers may warn where ours do not).
    (cd "$ZEL_ROOT" && "$ZEL_PY" -m pip install --no-build-isolation --no-deps \
        --config-settings=cmake.define.CMAKE_COMPILE_WARNING_AS_ERROR=ON . </dev/null)
    # The type stub must sit next to the extension in site-packages.
    compgen -G "$site/_zel_core.cpython-*.so" >/dev/null && [[ -f "$site/_zel_core.pyi" ]] ||
        zel_die "the extension and _zel_core.pyi were not both installed into $site"
    printf '%s\n' "$hash" >"$ZEL_STAMP"
}

# Everything above, in order. Puts the venv's bin directory (cmake, ninja) first on PATH.
zel_setup() {
    local base
    base="$(zel_find_python)" || zel_die "no Python 3.13 found (looked in /usr/bin, /usr/local/bin, \
pyenv's versions/3.13.* and on PATH); install python3.13 or set ZEL_PYTHON_BIN to its binary"
    local debs=("${ZEL_DEBS[@]}")
    # Debian's interpreter ships its headers and venv support in separate packages.
    if [[ "$base" == /usr/bin/* ]]; then
        debs+=(python3.13-dev python3.13-venv)
    fi
    zel_ensure_debs "${debs[@]}"
    zel_ensure_venv "$base"
    export PATH="$ZEL_VENV/bin:$PATH"
    zel_ensure_tools
    zel_ensure_module
}

# Make a venv at $2 from interpreter $1, with pip. Debian's interpreters run from a tree of their
# packages (build-python.sh) cannot bootstrap pip the usual way, since their ensurepip takes the
# pip wheel of the host's /usr/share/python-wheels, which may be too old for them: their venvs
# are made without pip, which is then installed from the tree's own wheel.
zel_make_venv() {
    local base="$1" dir="$2" home wheel="" w
    mkdir -p "$(dirname "$dir")"
    home="$("$base" -c 'import sys; print(sys.base_prefix)')"
    for w in "$home"/share/python-wheels/pip-*.whl; do
        [[ -f "$w" ]] && wheel="$w"
    done
    if [[ -z "$wheel" ]]; then
        "$base" -m venv "$dir"
        return
    fi
    "$base" -m venv --without-pip "$dir"
    "$dir/bin/python" "$wheel/pip" install -q --no-index "$wheel" </dev/null
}

# Prints the compiler flags an extension for interpreter $1 needs beyond what CMake finds: a
# Debian interpreter's pyconfig.h includes its multiarch copy by the system's include path, which
# for an interpreter run from a tree of Debian packages lies inside the tree (searched after the
# system's own headers, so that nothing else comes from the tree).
zel_python_cxxflags() {
    "$1" - <<'PY'
import os, sys, sysconfig
multiarch = sysconfig.get_config_var("MULTIARCH") or ""
include = os.path.join(sys.base_prefix, "include")
version = "python%d.%d%s" % (*sys.version_info[:2], sys.abiflags)
if multiarch and sys.base_prefix != "/usr" and os.path.isfile(
        os.path.join(include, multiarch, version, "pyconfig.h")):
    print("-idirafter " + include)
PY
}
