#!/usr/bin/env bash
# Writes the manual page sowfield.1.gz from the tool's own help texts, so the
# page never says anything the tool does not: help2man turns `sowfield --help`
# into the page (its version from `sowfield --version`) and each subcommand's
# --help into a part of COMMANDS.
#
#   man-page.sh TOOL EXTRA.h2m OUTPUT.1.gz
set -euo pipefail
# shellcheck source-path=SCRIPTDIR source=help-text.sh
source "$(dirname "$0")/help-text.sh"
tool=$1 extra=$2 output=$3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Run as `sowfield` found on the PATH, so that the usage lines show the
# command's name and not the build folder.
PATH="$(cd "$(dirname "$tool")" && pwd):$PATH"
export PATH

# The subcommands have no --version of their own: every part takes the tool's.
version=$(sowfield --version)
page() {
    help2man --no-info --no-discard-stderr --version-string="$version" "$@"
}

# One subcommand's page without its header, as a subsection of COMMANDS: its
# headings ("OPTIONS", "Positionals:") become bold paragraphs ("Options:"),
# and each example command starts a line of its own.
command_section() {
    echo ".SS \"sowfield $1\""
    page --name="$1" "sowfield $1" |
        sed -e '1,/^\.SH DESCRIPTION/d' \
            -e 's/^\.SH \(.\)\(.*\)$/.PP\n.B \1\L\2:/' \
            -e 's/^\.SS "\(.*\)"$/.PP\n.B \1/' \
            -e 's/^sowfield /.br\nsowfield /'
}

{
    echo "[COMMANDS]"
    for command in $(sowfield --help | help_subcommands); do command_section "$command"; done
} >"$work/commands.h2m"

page --name="scatter randomised copies of objects over a surface" \
    --include="$extra" --include="$work/commands.h2m" --output="$work/sowfield.1" sowfield
mkdir -p "$(dirname "$output")"
gzip -9n <"$work/sowfield.1" >"$output.tmp"
mv "$output.tmp" "$output"
