#include "io/input_files.h"

#include <mutex>
#include <vector>

#include "io/mesh_file.h"

namespace sowfield::io {

namespace {

struct InputFiles {
    std::mutex mutex;
    bool keeping = false;
    std::vector<std::filesystem::path> paths;
};

InputFiles &input_files() {
    static InputFiles files;
    return files;
}

}  // namespace

void keep_input_files_unchanged() {
    InputFiles &files = input_files();
    const std::lock_guard lock(files.mutex);
    files.keeping = true;
}

void remember_input_file(const std::filesystem::path &path) {
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(path, error);
    if (error) absolute = path;
    InputFiles &files = input_files();
    const std::lock_guard lock(files.mutex);
    if (!files.keeping) return;
    for (const std::filesystem::path &known : files.paths)
        if (known == absolute) return;
    files.paths.push_back(std::move(absolute));
}

void refuse_replacing_input(const AtomicFile &out, const std::filesystem::path &companion) {
    InputFiles &files = input_files();
    const std::lock_guard lock(files.mutex);
    for (const std::filesystem::path &input : files.paths)
        if (same_file(companion, input))
            out.fail("it would replace " + companion.string() +
                     ", which an input was read with; inputs are never overwritten, so write under another name");
}

}  // namespace sowfield::io
