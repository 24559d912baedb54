#include "cli/result_file.h"

#include "cli/interrupts.h"

namespace sowfield::cli {

void write_result_file(const std::filesystem::path &path,
                       const std::function<std::vector<std::filesystem::path>()> &write) {
    InterruptsHeld held;
    std::vector<std::filesystem::path> files;
    try {
        files = write();
    } catch (...) {
        held.release();
        throw;
    }
    if (files.empty()) files.push_back(path);
    PartialFile written(files);
    held.release();
}

}  // namespace sowfield::cli
