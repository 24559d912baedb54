#!/usr/bin/env bash
# An installed tree works on its own: this build is installed into a prefix,
# the prefix is moved elsewhere (so nothing may depend on where it was
# installed) and the tool is run from the PATH in a folder outside the source
# and build folders. No installed file may name the source or build folder.
#
#   installed_tree_test.sh CMAKE BUILD_DIR [SANITIZED]
#
# SANITIZED is 1 for a sanitizer build: its reports name source files, so its
# code holds the source folder by design; such a build is for testing only and
# is never installed for use, so the folder check is left to the other builds.
set -euo pipefail
# shellcheck source-path=SCRIPTDIR source=../../packaging/help-text.sh
source "$(dirname "$0")/../../packaging/help-text.sh"
cmake=$1 build=$(cd "$2" && pwd) source=$(cd "$(dirname "$0")/../.." && pwd) sanitized=${3:-0}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() {
    echo "FAILED: $*" >&2
    exit 1
}

"$cmake" --install "$build" --prefix "$scratch/installed" --strip >/dev/null
mv "$scratch/installed" "$scratch/moved"
prefix=$scratch/moved
mkdir "$scratch/work"
cd "$scratch/work"
export PATH="$prefix/bin:$PATH"

for file in bin/sowfield lib/sowfield/libsowfield.so share/man/man1/sowfield.1.gz \
    share/bash-completion/completions/sowfield share/doc/sowfield/README.md share/doc/sowfield/copyright; do
    [[ -f $prefix/$file ]] || fail "the installed tree has no $file"
done

sowfield demo --quiet --set clone_count=20 -o trees.glb || fail "demo did not run"
info=$(sowfield info trees.glb) || fail "info did not run"
grep -q "points" <<<"$info" || fail "info said: $info"
sowfield settings | grep -q "clone_count" || fail "settings did not list the plug-in's settings"

# The manual page holds a part for every subcommand the help lists.
page=$(gzip -dc "$prefix/share/man/man1/sowfield.1.gz")
commands=$(sowfield --help | help_subcommands)
for command in $commands; do
    grep -qF ".SS \"sowfield $command\"" <<<"$page" || fail "the manual page has no part for $command"
done

# `sowfield view` serves its page and three.js from the installed tree, to
# requests that carry the token it prints, and nothing without it.
view_serves_its_page() {
    cp "$source/tests/data/cli/ground.obj" "$source/tests/data/cli/pebble.obj" .
    sowfield view ground.obj pebble.obj --no-open >view.out 2>view.err &
    local view=$! address="" tries
    for tries in $(seq 100); do
        address=$(grep -o 'http://127\.0\.0\.1:[0-9]*/?token=[0-9a-f]*' view.out || true)
        [[ -n $address ]] && break
        kill -0 "$view" 2>/dev/null || break
        sleep 0.1
    done
    local base=${address%%/\?token=*} token=${address##*token=}
    local page three refused
    page=$(curl -fsS "$address") || true
    three=$(curl -fsS "$base/vendor/three.module.js?token=$token") || true
    refused=$(curl -s -o /dev/null -w '%{http_code}' "$base/vendor/three.module.js") || true
    kill "$view" 2>/dev/null || true
    wait "$view" 2>/dev/null || true
    [[ -n $address ]] || fail "view printed no address ($tries tries):"$'\n'"$(cat view.out view.err)"
    grep -qi "<html" <<<"$page" || fail "view served no page at $address"
    grep -q "REVISION" <<<"$three" || fail "view served no three.js at $base/vendor/three.module.js"
    [[ $refused == 403 ]] || fail "view answered $refused, not 403, to a request without the token"
}
if grep -qx view <<<"$commands"; then view_serves_its_page; fi

if [[ $sanitized != 1 ]] && grep -rlF -e "$build" -e "$source" "$prefix"; then
    fail "the files above name the build or source folder"
fi
echo "installed tree works from $prefix"
