#include "io/look_image_files.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "host/common/text.h"

namespace sowfield::io::detail {

namespace {

constexpr size_t kLongestStem = 100;

using host::lower_case;

std::string extension_for(const std::string &mime_type) {
    if (mime_type == "image/png") return ".png";
    if (mime_type == "image/jpeg") return ".jpg";
    if (mime_type == "image/webp") return ".webp";
    if (mime_type == "image/ktx2") return ".ktx2";
    return {};
}

// True when `path` is a file holding exactly `bytes`.
bool holds(const std::filesystem::path &path, const std::vector<unsigned char> &bytes) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error) || std::filesystem::file_size(path, error) != bytes.size())
        return false;
    std::ifstream in(path, std::ios::binary);
    return std::equal(bytes.begin(), bytes.end(), std::istreambuf_iterator<char>(in),
                      [](unsigned char a, char b) { return a == static_cast<unsigned char>(b); });
}

}  // namespace

std::string plain_image_file_name(const host::LookImage &image) {
    std::string name = std::filesystem::path(image.file_name).filename().string();
    if (name.empty()) name = image.name;
    for (char &c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '_') c = '_';
    // No hidden file, no name that is only dots.
    while (!name.empty() && name.front() == '.') name.erase(0, 1);
    const std::string wanted = extension_for(image.mime_type);
    std::string stem = std::filesystem::path(name).stem().string();
    std::string extension = std::filesystem::path(name).extension().string();
    if (stem.empty()) stem = "texture";
    // Well within the 255 bytes a file name may have, with room for "-N".
    if (stem.size() > kLongestStem) stem.resize(kLongestStem);
    if (extension.size() > kLongestStem) extension.clear();
    if (!wanted.empty() && lower_case(extension) != wanted && !(wanted == ".jpg" && lower_case(extension) == ".jpeg"))
        extension = wanted;
    return stem + extension;
}

LookImageFiles::LookImageFiles(AtomicFile &out, std::set<std::string> reserved) : out_(out) {
    for (const std::string &name : reserved) taken_.insert(lower_case(name));
}

std::string LookImageFiles::file_for(const std::shared_ptr<const host::LookImage> &image) {
    if (const auto known = named_.find(image.get()); known != named_.end()) return known->second;
    const std::string plain = plain_image_file_name(*image);
    const std::string content_key = plain + '\0' + std::string(image->bytes.begin(), image->bytes.end());
    if (const auto same = by_content_.find(content_key); same != by_content_.end()) {
        named_.emplace(image.get(), same->second);
        return same->second;
    }
    const std::filesystem::path folder = out_.target().parent_path();
    const std::string stem = std::filesystem::path(plain).stem().string();
    const std::string extension = std::filesystem::path(plain).extension().string();
    std::string name = plain;
    for (int n = 2;; ++n) {
        if (!taken_.contains(lower_case(name))) {
            std::error_code error;
            const std::filesystem::path there = folder / name;
            if (holds(there, image->bytes)) break;
            if (!std::filesystem::exists(there, error)) {
                auto file = std::make_unique<AtomicFile>(there);
                file->write(image->bytes.data(), image->bytes.size());
                out_.attach(std::move(file));
                break;
            }
        }
        name = stem + "-" + std::to_string(n) + extension;
    }
    taken_.insert(lower_case(name));
    named_.emplace(image.get(), name);
    by_content_.emplace(content_key, name);
    return name;
}

}  // namespace sowfield::io::detail
