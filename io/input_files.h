// Files read beside the mesh files themselves (material libraries, glTF
// buffers), remembered for the life of the process, so that a writer never
// replaces one with a companion file of its own: an output b.obj must not
// write its b.mtl over the library an input a.obj was read with. (The
// outputs themselves are checked against the input mesh files by the tool;
// texture images are never written over a different file in any case.)
//
// A program turns this on once (the tool does, for every command); a library
// user that reads back and rewrites its own files in one process keeps the
// plain behaviour.
#pragma once

#include <filesystem>

#include "io/atomic_file.h"

namespace sowfield::io {

// From now on, files read beside mesh files are remembered and never replaced.
void keep_input_files_unchanged();

// Remembers `path` when keeping input files is on.
void remember_input_file(const std::filesystem::path &path);

// Fails `out` when `companion`, a file written with it, would replace a
// remembered input file.
void refuse_replacing_input(const AtomicFile &out, const std::filesystem::path &companion);

}  // namespace sowfield::io
