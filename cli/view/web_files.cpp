#include "cli/view/web_files.h"

#include <fstream>
#include <sstream>

namespace sowfield::cli::view {
namespace {

namespace fs = std::filesystem;

// The page is a handful of files; anything far beyond is not ours.
constexpr size_t kMaxFiles = 200;

std::string content_type_of(const fs::path &file) {
    const std::string extension = file.extension().string();
    if (extension == ".html") return "text/html; charset=utf-8";
    if (extension == ".js" || extension == ".mjs") return "text/javascript; charset=utf-8";
    if (extension == ".css") return "text/css; charset=utf-8";
    if (extension == ".svg") return "image/svg+xml";
    if (extension == ".png") return "image/png";
    if (extension == ".json") return "application/json";
    return "application/octet-stream";
}

std::string read_whole(const fs::path &file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (!in && !in.eof()) throw WebFilesMissing("cannot read the page's file " + file.string());
    return bytes.str();
}

}  // namespace

fs::path web_folder(const fs::path &executable) {
    return executable.parent_path().parent_path() / "share" / "sowfield" / "web";
}

WebFiles WebFiles::load(const fs::path &folder) {
    std::error_code error;
    if (!fs::is_regular_file(folder / "index.html", error))
        throw WebFilesMissing("the page of sowfield view was not found: no " + (folder / "index.html").string() +
                              "\n(build the tool, or install it, so that share/sowfield/web sits beside its bin folder)");
    WebFiles files;
    for (const fs::directory_entry &entry : fs::recursive_directory_iterator(folder)) {
        if (!entry.is_regular_file()) continue;
        if (files.files_.size() == kMaxFiles)
            throw WebFilesMissing(folder.string() + " holds more files than the page has; is it the right folder?");
        const std::string request_path = "/" + fs::relative(entry.path(), folder).generic_string();
        files.files_[request_path] = {content_type_of(entry.path()),
                                      std::make_shared<const std::string>(read_whole(entry.path()))};
    }
    return files;
}

const WebFile *WebFiles::find(std::string_view request_path) const {
    if (request_path == "/") request_path = "/index.html";
    const auto found = files_.find(request_path);
    return found == files_.end() ? nullptr : &found->second;
}

}  // namespace sowfield::cli::view
