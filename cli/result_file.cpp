#include "cli/result_file.h"

#include "cli/interrupts.h"

namespace sowfield::cli {

void write_result_file(const std::filesystem::path &path, const std::function<void()> &write) {
    InterruptsHeld held;
    try {
        write();
    } catch (...) {
        held.release();
        throw;
    }
    PartialFile written(path);
    held.release();
}

}  // namespace sowfield::cli
