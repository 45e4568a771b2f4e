#!/usr/bin/env bash
# Reads the sanitizer logs that the processes of a sanitized test run wrote into one directory
# (ASAN_OPTIONS/UBSAN_OPTIONS log_path) and fails when any of them reports an error, or a leak
# whose allocation stack involves our code. Frames must carry their module path ([%m] in
# stack_trace_format). Usage: check-sanitizer-logs.sh LOG_DIR
set -euo pipefail
logdir="${1:?usage: check-sanitizer-logs.sh LOG_DIR}"

# Module paths that mark a stack as ours: the extension, and libraries only it calls.
ours='_zel_core[.]cpython|/libyaml-0[.]2[.]so|/libfyaml[.]so|/libutf8proc[.]so|/libstdc[+][+][.]so'
# Interpreter functions whose allocations the interpreter keeps until exit on purpose: interned
# strings are immortal in 3.13 (PyDict_SetItemString interns its key). Not leaks even when our
# code asked for them; they show up when the interpreter's frames can be unwound.
kept='PyUnicode_Intern|_PyUnicode_InternImmortal|intern_common|PyDict_SetItemString'

reports=0
ignored=0
shopt -s nullglob
for log in "$logdir"/*; do
    result="$(awk -v ours="$ours" -v kept="$kept" '
        function flush() {
            if (block != "") {
                if (is_ours && !is_kept) { print block "\n"; leaks++ } else { ignored++ }
            }
            block = ""; is_ours = 0; is_kept = 0; in_leak = 0
        }
        /^(Direct|Indirect) leak of / { flush(); block = $0; in_leak = 1; next }
        in_leak && /^ *#[0-9]+ / {
            block = block "\n" $0
            if ($0 ~ ours) is_ours = 1
            if ($0 ~ kept) is_kept = 1
            next
        }
        { if (in_leak) flush() }
        /ERROR: / && !/ERROR: LeakSanitizer: detected memory leaks/ { error = 1 }
        # UBSan may print its diagnostic to stderr and only the summary to the log.
        /runtime error: |SUMMARY: UndefinedBehaviorSanitizer/ { error = 1 }
        END { flush(); printf "#summary %d %d %d\n", error, leaks + 0, ignored + 0 }
    ' "$log")"
    read -r _ error leaks skipped <<<"$(tail -n 1 <<<"$result")"
    ignored=$((ignored + skipped))
    if ((error)); then
        printf '\n---- sanitizer error (%s) ----\n' "$(basename "$log")" >&2
        cat "$log" >&2
        reports=$((reports + 1))
    elif ((leaks)); then
        printf '\n---- %d leak(s) involving _zel_core (%s) ----\n' "$leaks" "$(basename "$log")" >&2
        sed '$d' <<<"$result" >&2
        reports=$((reports + 1))
    fi
done
printf '[zel] leak reports outside our code (interpreter, other modules), not counted: %d\n' \
    "$ignored"
if ((reports)); then
    printf '[zel] sanitizer reports involving our code in %d process(es)\n' "$reports" >&2
    exit 1
fi
