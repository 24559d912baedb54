#!/usr/bin/env bash
# A short run of every libFuzzer target: configures and builds the "fuzz"
# preset (clang 14), replays each target's kept crash inputs, then fuzzes each
# target, one at a time, for FUZZ_SECONDS (default 60) from its seed corpus.
# Fails on any crash, sanitizer report, leak, timeout or broken invariant; the
# input that failed is left in build/fuzz/artifacts/<target>/.
#
# A target is every folder of fuzz/corpus/; each must have its executable.
# New inputs found are written to a scratch folder, not to the seed corpus.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${FUZZ_SECONDS:-60}"
per_input_timeout="${FUZZ_TIMEOUT:-10}"

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j 2

bin=build/fuzz/fuzz
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

failed=0
ran=0
for corpus in fuzz/corpus/*/; do
    target="$(basename "$corpus")"
    exe="$bin/$target"
    if [ ! -x "$exe" ]; then
        echo "fuzz-smoke: $target: no executable at $exe" >&2
        failed=$((failed + 1))
        continue
    fi
    artifacts="build/fuzz/artifacts/$target/"
    mkdir -p "$artifacts" "$scratch/$target"
    options=(-timeout="$per_input_timeout" -rss_limit_mb=2048 -artifact_prefix="$artifacts")

    regressions=(fuzz/regressions/"$target"/*)
    if [ -e "${regressions[0]}" ]; then
        echo "fuzz-smoke: $target: replaying ${#regressions[@]} kept inputs"
        if ! "$exe" "${options[@]}" "${regressions[@]}" >"$scratch/$target.replay.log" 2>&1; then
            tail -n 40 "$scratch/$target.replay.log" >&2
            echo "fuzz-smoke: $target: a kept input fails again" >&2
            failed=$((failed + 1))
            continue
        fi
    fi

    echo "fuzz-smoke: $target: fuzzing for ${seconds}s"
    if "$exe" "${options[@]}" -max_total_time="$seconds" -print_final_stats=1 \
        "$scratch/$target" "$corpus" >"$scratch/$target.log" 2>&1; then
        runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$scratch/$target.log")"
        echo "fuzz-smoke: $target: ${runs:-?} runs, no problem"
        ran=$((ran + 1))
    else
        tail -n 60 "$scratch/$target.log" >&2
        echo "fuzz-smoke: $target: FAILED; input kept in $artifacts" >&2
        failed=$((failed + 1))
    fi
done

echo "fuzz-smoke: $ran passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$ran" -gt 0 ]
