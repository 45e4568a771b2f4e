#!/usr/bin/env bash
# Fuzzing: builds the libFuzzer targets with clang in build/fuzz and runs each for a fixed time
# on a working corpus seeded from fuzz/corpus/ and tests/data/. Fails when a target finds a
# crash, a round-trip fault, a timeout or an out-of-memory; the input is kept in build/fuzz/crashes/.
#
#   bash scripts/fuzz.sh [--seconds N] [--jobs J] [--parallel P] [json json5 toml yaml]
#
# --seconds: time per target (default 30). --jobs: libFuzzer processes per target (default 1).
# --parallel: targets run at once (default 1). Targets run under `nice -n 10`.
# ZEL_FUZZ_RAW_BYTES=1 also feeds invalid UTF-8 to the JSON5 and TOML readers.
# ZEL_FUZZ_BUILD: the build directory (default build/fuzz).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
cd "$ZEL_ROOT"

seconds=30
njobs=1
parallel=1
targets=()
usage() { sed -n '2,11p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//' >&2; exit 2; }
while (($#)); do
    case "$1" in
        --seconds) seconds="${2:?}"; shift 2 ;;
        --jobs) njobs="${2:?}"; shift 2 ;;
        --parallel) parallel="${2:?}"; shift 2 ;;
        json | json5 | toml | yaml) targets+=("$1"); shift ;;
        *) usage ;;
    esac
done
[[ "$seconds" =~ ^[1-9][0-9]*$ && "$njobs" =~ ^[1-9][0-9]*$ && "$parallel" =~ ^[1-9][0-9]*$ ]] ||
    usage
((${#targets[@]})) || targets=(json json5 toml yaml)

# Tools: clang with its sanitizer and libFuzzer runtime, the libraries the core links, and
# cmake and ninja (from the venv when there is one, as the other scripts use).
# The runtime package is versioned like the clang that Debian's unversioned package brings
# (14 on Debian 12, 19 on Debian 13).
zel_ensure_debs "${ZEL_DEBS[@]}" clang
clang_major="$(clang -dumpversion | cut -d. -f1)"
[[ "$clang_major" =~ ^[0-9]+$ ]] || zel_die "cannot tell clang's version"
zel_ensure_debs "libclang-rt-$clang_major-dev"
if base="$(zel_find_python)"; then
    zel_ensure_venv "$base"
    export PATH="$ZEL_VENV/bin:$PATH"
    zel_ensure_tools
fi
command -v cmake >/dev/null && command -v ninja >/dev/null || zel_die "cmake and ninja are needed"

build="${ZEL_FUZZ_BUILD:-$ZEL_ROOT/build/fuzz}"
zel_log "building the fuzz targets (${targets[*]}) in $build"
cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DZEL_PYTHON=OFF -DZEL_FUZZ=ON \
    >/dev/null
cmake --build "$build" -j 2 --target "${targets[@]/#/fuzz_}"

mkdir -p "$build/crashes" "$build/logs"

# Runs one target; its outcome goes to $build/logs/<format>.result as "status cpu-seconds".
run_target() {
    local format="$1"
    local corpus="$build/corpus-$format" log="$build/logs/$format.log" work="$build/work-$format"
    local max_len=4096
    # Larger for YAML, so that anchors defined early can be aliased many times.
    [[ "$format" == yaml ]] && max_len=8192
    mkdir -p "$corpus"
    # Seeds: the committed ones and the tests' files (regressions included). Alias bombs are
    # left out: each run of one spends a second on the expansion bound, and the reader's
    # tests cover them.
    cp -n fuzz/corpus/"$format"/* "$corpus"/ 2>/dev/null || true
    find "tests/data/$format" -type f ! -name '*bomb*' -exec cp -n {} "$corpus"/ \; 2>/dev/null || true
    # YAML also starts from the YAML test suite's streams (tests/data/yaml-test-suite).
    if [[ "$format" == yaml ]]; then
        (cd tests/data/yaml-test-suite && find . -name in.yaml) | while read -r stream; do
            stream="${stream#./}"
            name="${stream%/in.yaml}"
            cp -n "tests/data/yaml-test-suite/$stream" "$corpus/suite-${name//\//-}.yaml"
        done
    fi

    local args=(-max_total_time="$seconds" -max_len="$max_len" -timeout=10 -rss_limit_mb=2048
        -dict="$ZEL_ROOT/fuzz/$format.dict" -artifact_prefix="$build/crashes/$format-"
        -print_final_stats=1)
    if ((njobs > 1)); then args+=(-jobs="$njobs" -workers="$njobs"); fi
    # With -jobs, libFuzzer writes each worker's log as fuzz-N.log in the working directory.
    rm -rf "$work"
    mkdir -p "$work"
    local status=0
    (cd "$work" && nice -n 10 "$build/fuzz_$format" "${args[@]}" "$corpus") >"$log" 2>&1 ||
        status=$?
    # This function runs in a background subshell: its children's CPU time is the target's.
    # (`times` straight into a file: in a pipe it would run in a fresh fork and see nothing.)
    times >"$log.times"
    local cpu
    cpu="$(sed -n 2p "$log.times" | awk '{ split($1, u, /[ms]/); split($2, s, /[ms]/);
        printf "%.0f", u[1] * 60 + u[2] + s[1] * 60 + s[2] }')"
    rm -f "$log.times"
    echo "$status $cpu" >"$build/logs/$format.result"
}

pids=()
for format in "${targets[@]}"; do
    rm -f "$build/logs/$format.result"
    zel_log "fuzzing $format for ${seconds}s (jobs $njobs, log $build/logs/$format.log)"
    run_target "$format" &
    pids+=($!)
    while (($(jobs -rp | wc -l) >= parallel)); do wait -n || true; done
done
wait "${pids[@]}" 2>/dev/null || true

failed=()
printf '\n%-6s %-8s %-10s %-12s %s\n' target result cpu-s runs corpus
for format in "${targets[@]}"; do
    read -r status cpu <"$build/logs/$format.result" || { status=2; cpu=0; }
    log="$build/logs/$format.log"
    runs="$(cat "$log" "$build/work-$format"/fuzz-*.log 2>/dev/null |
        awk '/stat::number_of_executed_units/ { n += $NF } END { print n + 0 }')" || true
    case "$status" in
        0) result=ok ;;
        *)
            result="FAILED"
            failed+=("$format")
            ;;
    esac
    printf '%-6s %-8s %-10s %-12s %s\n' "$format" "$result" "$cpu" "$runs" \
        "$(find "$build/corpus-$format" -type f | wc -l) files"
done

if ((${#failed[@]})); then
    for format in "${failed[@]}"; do
        printf '\n----- %s: the report in %s -----\n' "$format" "$build/logs/$format.log" >&2
        # From the first report line (a fault of ours, a sanitizer, a libFuzzer stop) on.
        { cat "$build/logs/$format.log" "$build/work-$format"/fuzz-*.log 2>/dev/null || true; } |
            awk '/^==== fuzz_|ERROR: |runtime error|ALARM|out-of-memory/ { on = 1 }
                 on && n < 60 { print; n++ }' >&2 || true
        ls -1 "$build/crashes/$format-"* 2>/dev/null | sed 's/^/kept: /' >&2 || true
    done
    printf 'FAILED: %s\n' "${failed[*]}" >&2
    exit 1
fi
zel_log "fuzzing passed"
