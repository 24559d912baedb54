#!/usr/bin/env bash
# Builds and runs every test: the development build (warnings as errors) and
# the AddressSanitizer + UndefinedBehaviorSanitizer build. Fails on any
# failing test or sanitizer report.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake --workflow --preset dev
cmake --workflow --preset asan
