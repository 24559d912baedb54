// The page's files, read into memory once at start-up from the folder the
// build (or an install) puts beside the tool. The server answers only with
// these: a request names one of them by its fixed path and never reaches the
// file system, so no path a browser sends can lead anywhere else.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace sowfield::cli::view {

struct WebFile {
    std::string content_type;
    std::shared_ptr<const std::string> bytes;
};

class WebFilesMissing : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// <directory of the executable>/../share/sowfield/web: build/cli/sowfield
// finds build/share/sowfield/web, <prefix>/bin/sowfield finds
// <prefix>/share/sowfield/web.
std::filesystem::path web_folder(const std::filesystem::path &executable);

class WebFiles {
public:
    // Reads every file under `folder` (index.html must be there). Throws
    // WebFilesMissing naming the folder when it is absent or incomplete.
    static WebFiles load(const std::filesystem::path &folder);

    // The file at a request path ("/" is index.html), or null.
    const WebFile *find(std::string_view request_path) const;

private:
    std::map<std::string, WebFile, std::less<>> files_;  // by request path, "/app.js"
};

}  // namespace sowfield::cli::view
