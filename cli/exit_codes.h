// The tool's exit status, one per class of failure, so that scripts can tell
// a typo from a bad file from a refused run without reading messages.
#pragma once

namespace sowfield::cli {

enum ExitCode : int {
    exit_ok = 0,
    exit_usage = 2,         // the command line (or a settings file) is wrong: unknown option or setting name
    exit_bad_input = 3,     // an input file cannot be read, or the output would overwrite an input
    exit_plugin = 4,        // the plug-in module cannot be found or loaded
    exit_refused = 5,       // the plug-in refused the run, or its panel was cancelled or refused an answer
    exit_write_failed = 6,  // the output (or saved settings) could not be written
    exit_memory = 7,        // the memory guard refused the run
    exit_interrupted = 130  // Ctrl-C or SIGTERM
};

}  // namespace sowfield::cli
