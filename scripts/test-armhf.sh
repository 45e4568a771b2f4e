#!/usr/bin/env bash
# The C++ and Python suites on 32-bit ARM hard-float (armhf), under user-mode emulation.
# Builds (once) a Debian 13 armhf root file system with Python 3.13 and the libraries, cross-
# compiles the module and the C++ tests against it with arm-linux-gnueabihf-g++, and runs both
# with qemu-arm. Extra arguments go to pytest.
#
#   ZEL_ARMHF_ROOT      where the root file system lives (default /var/cache/zel/armhf-trixie)
#   ZEL_DEBIAN_MIRROR   the Debian mirror to build it from (default: the machine's own)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
cd "$ZEL_ROOT"

root="${ZEL_ARMHF_ROOT:-/var/cache/zel/armhf-trixie}"
suite=trixie
# base-files makes the /lib link that the dynamic loader's path goes through.
packages=(base-files python3.13 libpython3.13-dev python3.13-dev libstdc++6 libyaml-dev
          libfyaml-dev libutf8proc-dev libgtest-dev
          python3-pytest python3-hypothesis)
work="$ZEL_ROOT/build/armhf"

# Host tools: the cross compiler, the emulator, the tree builder; cmake and ninja from the venv.
zel_ensure_debs mmdebstrap qemu-user crossbuild-essential-armhf pkg-config
base="$(zel_find_python)" || zel_die "no Python 3.13 interpreter found"
zel_ensure_venv "$base"
export PATH="$ZEL_VENV/bin:$PATH"
zel_ensure_tools

# The root file system, rebuilt when the package list changes. Built beside its final place and
# moved there whole, so an interrupted build is never taken for a finished one.
want="$suite ${packages[*]}"
if [[ ! -f "$root/.zel-packages" || "$(<"$root/.zel-packages")" != "$want" ]]; then
    ((EUID == 0)) || zel_die "building the armhf tree $root needs root (mmdebstrap --mode=root)"
    mirror="$(zel_debian_mirror)"
    zel_log "building the Debian $suite armhf tree in $root from $mirror"
    mkdir -p "$(dirname "$root")"
    rm -rf "$root.tmp"
    mmdebstrap --mode=root --arch=armhf --variant=extract \
        --include="$(IFS=,; printf '%s' "${packages[*]}")" "$suite" "$root.tmp" "$mirror"
    printf '%s\n' "$want" >"$root.tmp/.zel-packages"
    rm -rf "$root"
    mv "$root.tmp" "$root"
fi

# The interpreter as a program of the host: tests that start sys.executable run this again.
# qemu-arm finds files through its -L prefix when opening them but not when testing that they
# exist, so Python is told where its home is instead of searching for it.
mkdir -p "$work/bin"
launcher="$work/bin/python3.13"
cat >"$launcher.tmp" <<EOF
#!/bin/sh
PYTHONHOME='$root/usr' exec qemu-arm -L '$root' -0 "\$0" '$root/usr/bin/python3.13' "\$@"
EOF
chmod +x "$launcher.tmp"
mv "$launcher.tmp" "$launcher"
soabi="$("$launcher" -c 'import sysconfig; print(sysconfig.get_config_var("SOABI"))')"

export ZEL_ARMHF_ROOT="$root"
export PKG_CONFIG_SYSROOT_DIR="$root"
export PKG_CONFIG_LIBDIR="$root/usr/lib/arm-linux-gnueabihf/pkgconfig:$root/usr/share/pkgconfig"
zel_log "cross-building for armhf in $work/build ($soabi)"
# GoogleTest from the tree's sources: its prebuilt library needs a newer compiler runtime than
# the cross compiler links.
cmake -S . -B "$work/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$ZEL_ROOT/cmake/armhf-toolchain.cmake" \
    -DPython_EXECUTABLE="$launcher" -DPython_INCLUDE_DIR="$root/usr/include/python3.13" \
    -DPython_SOABI="$soabi" -DZEL_BUILD_TESTS=ON -DZEL_GTEST_SOURCE_DIR="$root/usr/src/googletest" \
    >/dev/null
cmake --build "$work/build" -j 2
rm -rf "$work/site"
cmake --install "$work/build" --prefix "$work/site" >/dev/null
export PYTHONPATH="$work/site"
# Every round of the kill test starts an emulated interpreter: fewer rounds than natively.
export ZEL_KILL_ROUNDS="${ZEL_KILL_ROUNDS:-25}"

"$launcher" -c '
import platform, struct, sys, _zel_core
assert struct.calcsize("P") == 4 and sys.maxsize == 2**31 - 1, "not a 32-bit interpreter"
print(f"[zel] {platform.machine()}, {sys.version.split()[0]}, {_zel_core.__file__}")
'

zel_log "C++ tests under qemu-arm"
# The toolchain file names the emulator, so ctest runs each test under it.
zel_ctest "$work/build"

zel_log "pytest under qemu-arm"
"$launcher" -m pytest -p no:cacheprovider tests/python "$@"
zel_log "armhf: all tests passed"
