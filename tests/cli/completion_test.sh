#!/usr/bin/env bash
# The bash completion that `sowfield completion` prints offers exactly the
# subcommands and options that the tool's help lists, and for an option's
# value what that value is: files, JSON files, setting names, nothing.
#
#   completion_test.sh TOOL
set -euo pipefail
# shellcheck source-path=SCRIPTDIR source=../../packaging/help-text.sh
source "$(dirname "$0")/../../packaging/help-text.sh"
tool=$1

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() {
    echo "FAILED: $*" >&2
    failures=$((failures + 1))
}

"$tool" completion >"$scratch/completion.bash"
# shellcheck source=/dev/null
source "$scratch/completion.bash"
mkdir "$scratch/files"
cd "$scratch/files"

# What completing the last word of the line gives, one word a line, sorted.
complete_line() {
    COMP_WORDS=(sowfield "$@")
    COMP_CWORD=$#
    _sowfield
    printf '%s\n' "${COMPREPLY[@]}" | sort
}
sorted() { printf '%s\n' "$@" | sort; }
expect() {
    local want=$1 got=$2 line=$3
    [[ $got == "$want" ]] || fail "sowfield $line<TAB> gave"$'\n'"$got"$'\n'"instead of"$'\n'"$want"
}

commands=$("$tool" --help | help_subcommands)
expect "$(sort <<<"$commands")" "$(complete_line "")" ""
expect "$("$tool" --help | help_options)" "$(complete_line -)" "-"
for command in $commands; do
    expect "$("$tool" "$command" --help | help_options)" "$(complete_line "$command" -)" "$command -"
done

mkdir folder
touch ground.obj tree.glb mine.json
expect "$(sorted folder ground.obj mine.json tree.glb)" "$(complete_line scatter ground.obj "")" "scatter ground.obj "
expect "$(sorted folder ground.obj mine.json tree.glb)" "$(complete_line demo --output = "")" "demo --output="
expect "$(sorted folder mine.json)" "$(complete_line demo --settings "")" "demo --settings "
expect "clone_count=" "$(complete_line demo --set clone_c)" "demo --set clone_c"
expect "zero_angles" "$(complete_line scatter ground.obj tree.glb --press ze)" "scatter ... --press ze"
expect "" "$(complete_line demo --memory-limit "")" "demo --memory-limit "
expect "" "$(complete_line settings "")" "settings "

((failures == 0)) || exit 1
echo "completion matches the help of: sowfield $(tr '\n' ' ' <<<"$commands")"
