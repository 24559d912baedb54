# shellcheck shell=bash
# Reading the tool's --help texts (as CLI11 lays them out), for the scripts
# that build on them and the tests that check against them. Source it.

# The subcommands a main help text on standard input lists, one a line.
help_subcommands() {
    awk '/^Subcommands:/ { listed = 1; next } listed && NF == 0 { exit } listed { print $1 }'
}

# The option names a help text on standard input lists, one a line, sorted
# ("  -o,--output FILE ..." gives -o and --output).
help_options() {
    awk '/^  -/ { print $1 }' | tr ',' '\n' | sort
}
