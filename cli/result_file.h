// Writing a run's result without leaving half a file behind, even when
// Ctrl-C comes in the middle.
#pragma once

#include <filesystem>
#include <functional>
#include <vector>

namespace sowfield::cli {

// Runs `write`, which writes `path` atomically (the io layer's writers
// rename their temporary file into place only when it is complete, but do
// not say where that file is) and returns every file it wrote (`path` and
// its companions). Interrupts wait for the write; one that came meanwhile
// then takes the finished files away. Whatever `write` throws is passed on.
void write_result_file(const std::filesystem::path &path,
                       const std::function<std::vector<std::filesystem::path>()> &write);

}  // namespace sowfield::cli
