#!/usr/bin/env bash
# The Debian package of this build holds the tool, the module, the manual
# page, the completion and the documents under /usr, and declares the
# libraries the tool links.
#
#   debian_package_test.sh CPACK BUILD_DIR TOOL
set -euo pipefail
# shellcheck source-path=SCRIPTDIR source=../../packaging/help-text.sh
source "$(dirname "$0")/../../packaging/help-text.sh"
cpack=$1 build=$2 tool=$3

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() {
    echo "FAILED: $*" >&2
    exit 1
}

"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$scratch" >/dev/null
packages=("$scratch"/sowfield_*.deb)
[[ -f ${packages[0]} ]] || fail "cpack made no sowfield_*.deb"
package=${packages[0]}

contents=$(dpkg-deb -c "$package" | awk '{ print $NF }')
expected=(./usr/bin/sowfield ./usr/lib/sowfield/libsowfield.so ./usr/share/man/man1/sowfield.1.gz
    ./usr/share/bash-completion/completions/sowfield ./usr/share/doc/sowfield/README.md
    ./usr/share/doc/sowfield/copyright)
# The page of `sowfield view`, three.js and its notice, once the tool has the view.
commands=$("$tool" --help | help_subcommands)
if grep -qx view <<<"$commands"; then
    expected+=(./usr/share/sowfield/web/index.html ./usr/share/sowfield/web/vendor/three.module.js
        ./usr/share/doc/sowfield/notices/three.js)
fi
for file in "${expected[@]}"; do
    grep -qxF "$file" <<<"$contents" || fail "the package has no $file; it holds:"$'\n'"$contents"
done

depends=$(dpkg-deb -f "$package" Depends)
for library in libc6 libstdc++6 libtinygltf; do
    grep -q "$library" <<<"$depends" || fail "the package does not depend on $library: $depends"
done
echo "$(basename "$package"): $(wc -l <<<"$contents") entries; Depends: $depends"
