#!/usr/bin/env bash
# Installs what building, testing and fuzzing Sowfield needs on Debian 12.
# Safe to run again: it installs only what is missing.
set -euo pipefail

packages=(
    build-essential g++-12 cmake ninja-build pkg-config binutils
    clang-14 libclang-rt-14-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    libtinygltf-dev nlohmann-json3-dev libstb-dev libcli11-dev
    help2man dpkg-dev file curl
    faketime  # scripts/clock-sweep.sh
)
# Node.js (for the glTF validator) may come from another repository that
# bundles npm; ask Debian for it only when the commands are absent.
command -v node >/dev/null 2>&1 || packages+=(nodejs)
command -v npm >/dev/null 2>&1 || packages+=(npm)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The glTF validator that the tests run on every file we write, and three.js,
# whose loader the tests run on our instanced files.
root="$(cd "$(dirname "$0")/.." && pwd)"
if [ -f "$root/tools/package.json" ] &&
    { [ ! -d "$root/tools/node_modules/gltf-validator" ] || [ ! -d "$root/tools/node_modules/three" ]; }; then
    if [ -f "$root/tools/package-lock.json" ]; then
        npm ci --prefix "$root/tools" --no-audit --no-fund --loglevel=error
    else
        npm install --prefix "$root/tools" --no-audit --no-fund --loglevel=error
    fi
fi
