#!/usr/bin/env bash
# Sanitizer run: builds the module and the C++ tests with AddressSanitizer and
# UndefinedBehaviorSanitizer in build/asan, runs the C++ tests, then the pytest suite against the
# sanitized module with g++'s libasan preloaded into the venv's interpreter. Fails when a test
# fails or a sanitizer reports an error, or a leak that involves our code.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
zel_setup
cd "$ZEL_ROOT"

asan_lib="$(g++ -print-file-name=libasan.so)"
if [[ "$asan_lib" != /* || ! -e "$asan_lib" ]]; then
    zel_die "g++ has no libasan.so (it comes with g++ through libasan8 / libgcc-*-dev)"
fi
asan_lib="$(readlink -f "$asan_lib")"
# The interpreter does not link libstdc++; the module brings it in later with dlopen, too late
# for ASan's __cxa_throw interceptor to find the real function. Preloading it as well keeps
# C++ exceptions (used inside the module, never across its boundary) working.
cxx_lib="$(readlink -f "$(g++ -print-file-name=libstdc++.so)")"

build=build/asan
site="$ZEL_ROOT/$build/site"

zel_log "sanitized build ($build)"
# Configuring again is cheap and keeps an existing build directory's options current.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DZEL_SANITIZE=ON -DZEL_BUILD_TESTS=ON -DZEL_TEST_HOOKS=ON -DPython_EXECUTABLE="$ZEL_PY" >/dev/null
cmake --build "$build" -j 2
# The module and its stub, side by side, in a directory that goes first on PYTHONPATH.
cmake --install "$build" --prefix "$site" >/dev/null

failed=()

# The C++ tests link the sanitizer runtime themselves; every report there is ours and fails the
# run through the exit status.
zel_log "C++ unit tests under ASan/UBSan"
ASAN_OPTIONS="detect_leaks=1" UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1" \
    zel_ctest "$build" || failed+=("C++ tests under sanitizers")

# Python tests. PYTHONMALLOC=malloc sends every Python object through malloc, so ASan also sees
# use-after-free and overflows on Python objects, and LeakSanitizer sees every pointer (memory
# from the interpreter's own arenas would be invisible to it and give false leaks).
#
# Every interpreter leaks at exit (interned strings and other immortal objects), and a
# LeakSanitizer suppression matches when any frame of a stack matches: `leak:libpython3.13`
# would also hide our own leaks, whose stacks pass through the interpreter. So leaks do not
# change exit statuses (exitcode=0); each process writes its reports to a log, and
# check-sanitizer-logs.sh counts the leaks whose stacks have a frame in our module. Errors other
# than leaks abort the process at once (abort_on_error=1) and always count.
logdir="$(mktemp -d "${TMPDIR:-/tmp}/zel-sanitize.XXXXXX")"
trap 'rm -rf "$logdir"' EXIT
chmod 1777 "$logdir" # tests may run subprocesses as another user
frame_format='    #%n %p %F %L [%m]'
common="abort_on_error=1:print_summary=1:stack_trace_format='$frame_format'"

sanitized() {
    env PYTHONPATH="$site${PYTHONPATH:+:$PYTHONPATH}" PYTHONMALLOC=malloc \
        LD_PRELOAD="$asan_lib $cxx_lib" \
        ASAN_OPTIONS="detect_leaks=1:exitcode=0:$common:log_path=$logdir/asan" \
        UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:$common:log_path=$logdir/ubsan" \
        "$@"
}

# The sanitized build must be the one the tests import, not the one installed in the venv.
imported="$(sanitized "$ZEL_PY" -c 'import _zel_core; print(_zel_core.__file__)')"
[[ "$imported" == "$site"/* ]] || zel_die "the tests would import $imported, not the build in $site"

zel_log "Python tests under ASan/UBSan (libasan: $asan_lib)"
sanitized "$ZEL_PY" -m pytest -p no:cacheprovider tests/python "$@" ||
    failed+=("pytest under sanitizers")

if ! bash scripts/check-sanitizer-logs.sh "$logdir"; then
    failed+=("sanitizer reports")
fi

if ((${#failed[@]})); then
    printf 'FAILED: %s\n' "${failed[@]}" >&2
    exit 1
fi
zel_log "sanitizer run passed"
