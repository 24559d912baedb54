#!/usr/bin/env bash
# Builds and runs every test: the development build (warnings as errors) and
# the AddressSanitizer + UndefinedBehaviorSanitizer build. Fails on any
# failing test or sanitizer report. Run scripts/install-deps.sh once first.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --workflow --preset dev
cmake --workflow --preset asan
