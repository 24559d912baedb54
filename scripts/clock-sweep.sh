#!/usr/bin/env bash
# Runs every test program under many clock values. The plug-in's shared
# generator is seeded from the clock when the library loads, so a test that
# holds for some clocks only fails here, not at random in someone's build.
#
#     scripts/clock-sweep.sh [BUILD_DIR] [CLOCKS] [GTEST_FILTER]
#
# BUILD_DIR defaults to build/dev, CLOCKS (how many clock values) to 24.
# The clock is set with faketime (Debian package faketime).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/dev}
clocks=${2:-24}
filter=${3:-*}

command -v faketime >/dev/null || { echo "clock-sweep: faketime is not installed" >&2; exit 2; }

# Every test program: the tool and loader tests load the module, and the
# unit tests link the plug-in's code, generator included.
mapfile -t programs < <(find "$build/tests" -type f -executable -name '*_test' | sort)
((${#programs[@]})) || { echo "clock-sweep: no test programs under $build" >&2; exit 2; }

failed=0
for ((k = 0; k < clocks; ++k)); do
    # Clocks a prime number of seconds apart, so the seeds differ in every bit.
    when=$(date -u -d "@$((1500000000 + k * 104729))" '+%Y-%m-%d %H:%M:%S')
    for program in "${programs[@]}"; do
        if ! faketime -f "@$when" "$program" --gtest_brief=1 --gtest_filter="$filter" >"$build/clock-sweep.log" 2>&1; then
            echo "FAILED at clock $when: $program"
            grep -E '^\[  FAILED  \]|Failure' "$build/clock-sweep.log" | head -20
            failed=1
        fi
    done
done
((failed == 0)) && echo "clock-sweep: ${#programs[@]} programs passed at $clocks clock values"
exit "$failed"
