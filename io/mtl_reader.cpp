#include "io/mtl_reader.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <system_error>

#include "host/common/text.h"
#include "io/input_files.h"
#include "io/look_image_files.h"
#include "io/mapped_file.h"

namespace sowfield::io::detail {

namespace {

using host::equal_ignoring_case;
using host::is_blank;
using host::trim;

// Past this many warnings a library gets one more line that counts the rest:
// a file that is not a library at all should not bury the other messages.
constexpr size_t kWarningsPerLibrary = 8;

// Larger files named as images or libraries are not what they claim to be.
constexpr uintmax_t kLargestImage = uintmax_t{1} << 30;
constexpr uintmax_t kLargestLibrary = uintmax_t{64} << 20;

double unit(double value) { return std::clamp(value, 0.0, 1.0); }

// The statement's words, split at white space.
std::vector<std::string_view> words_of(std::string_view text) {
    std::vector<std::string_view> words;
    size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && is_blank(text[at])) ++at;
        const size_t start = at;
        while (at < text.size() && !is_blank(text[at])) ++at;
        if (at > start) words.push_back(text.substr(start, at - start));
    }
    return words;
}

std::optional<double> number_of(std::string_view word) {
    if (!word.empty() && word.front() == '+') word.remove_prefix(1);
    double value = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (error != std::errc() || end != word.data() + word.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

// How many words a texture option takes after itself; -1 for up to three
// numbers, nothing for a word that is no option.
std::optional<int> option_arguments(std::string_view option) {
    static const std::map<std::string_view, int> arguments{
        {"-blendu", 1}, {"-blendv", 1}, {"-bm", 1}, {"-boost", 1}, {"-cc", 1}, {"-clamp", 1}, {"-imfchan", 1},
        {"-texres", 1}, {"-type", 1},   {"-mm", 2}, {"-o", -1},    {"-s", -1}, {"-t", -1},
    };
    const auto found = arguments.find(option);
    if (found == arguments.end()) return std::nullopt;
    return found->second;
}

// What a material's statements said; turned into a look once the material ends.
struct MaterialStatements {
    std::string name;
    host::SurfaceLook look;
    std::optional<double> dissolve;      // d
    std::optional<double> transparency;  // Tr
    std::optional<double> shininess;     // Ns
    std::optional<double> roughness;     // Pr
    std::optional<double> metallic;      // Pm
    bool colour = false;                 // Kd given
    bool emission = false;               // Ke given
};

class MtlParser {
public:
    MtlParser(const std::filesystem::path &library, const MtlImageSource &images, ReadWarnings &warnings)
        : library_(library), images_(images), warnings_(warnings) {}

    std::vector<MtlMaterial> parse(std::string_view text) {
        size_t at = 0;
        while (at < text.size()) {
            const size_t newline = text.find('\n', at);
            const size_t end = newline == std::string_view::npos ? text.size() : newline;
            const std::string_view line = trim(text.substr(at, end - at));
            at = end + 1;
            ++line_;
            if (!line.empty() && line.front() != '#') statement(line);
        }
        finish_material();
        if (skipped_warnings_ > 0)
            warn_loading(warnings_, library_,
                         "and " + std::to_string(skipped_warnings_) + " more problems in the same library");
        return std::move(materials_);
    }

private:
    void warn(const std::string &detail) {
        if (warned_ == kWarningsPerLibrary) {
            ++skipped_warnings_;
            return;
        }
        ++warned_;
        warn_loading(warnings_, library_, "line " + std::to_string(line_) + ": " + detail);
    }

    void statement(std::string_view line) {
        size_t split = 0;
        while (split < line.size() && !is_blank(line[split])) ++split;
        const std::string_view key = line.substr(0, split);
        const std::string_view rest = trim(line.substr(split));
        if (equal_ignoring_case(key, "newmtl")) {
            start_material(rest);
            return;
        }
        if (!current_) {
            if (!warned_outside_) warn("\"" + std::string(key) + "\" comes before any newmtl and is ignored");
            warned_outside_ = true;
            return;
        }
        MaterialStatements &m = *current_;
        if (equal_ignoring_case(key, "Kd")) {
            if (const auto rgb = colour(key, rest)) {
                for (size_t c = 0; c < 3; ++c) m.look.base_colour[c] = (*rgb)[c];
                m.colour = true;
            }
        } else if (equal_ignoring_case(key, "Ke")) {
            if (const auto rgb = colour(key, rest)) {
                m.look.emissive = *rgb;
                m.emission = true;
            }
        } else if (equal_ignoring_case(key, "d")) {
            // "-halo" makes the dissolve depend on the view; the factor stays.
            std::string_view value = rest;
            if (value.starts_with("-halo")) value = trim(value.substr(5));
            m.dissolve = factor(key, value);
        } else if (equal_ignoring_case(key, "Tr")) {
            m.transparency = factor(key, rest);
        } else if (equal_ignoring_case(key, "Ns")) {
            m.shininess = factor(key, rest);
        } else if (equal_ignoring_case(key, "Pr")) {
            m.roughness = factor(key, rest);
        } else if (equal_ignoring_case(key, "Pm")) {
            m.metallic = factor(key, rest);
        } else if (equal_ignoring_case(key, "map_Kd")) {
            m.look.base_colour_texture = texture(key, rest, nullptr);
        } else if (equal_ignoring_case(key, "map_Ke")) {
            m.look.emissive_texture = texture(key, rest, nullptr);
        } else if (equal_ignoring_case(key, "map_d")) {
            m.look.alpha_texture = texture(key, rest, nullptr);
        } else if (equal_ignoring_case(key, "map_Bump") || equal_ignoring_case(key, "bump") ||
                   equal_ignoring_case(key, "norm")) {
            double scale = 1.0;
            m.look.normal_texture = texture(key, rest, &scale);
            if (m.look.normal_texture) m.look.normal_texture->scale = scale;
        }
    }

    void start_material(std::string_view name) {
        finish_material();
        if (name.empty()) {
            warn("newmtl names no material; its statements are ignored");
            return;
        }
        current_.emplace();
        current_->name = std::string(name);
        // What a material that says nothing looks like elsewhere: light grey,
        // not metal, fully rough.
        current_->look.base_colour = {0.8, 0.8, 0.8, 1.0};
        current_->look.metallic = 0.0;
        current_->look.roughness = 1.0;
    }

    void finish_material() {
        if (!current_) return;
        MaterialStatements &m = *current_;
        host::SurfaceLook &look = m.look;
        double alpha = 1.0;
        if (m.dissolve)
            alpha = unit(*m.dissolve);
        else if (m.transparency)
            alpha = 1.0 - unit(*m.transparency);
        look.base_colour[3] = alpha;
        if (alpha < 1.0 || look.alpha_texture) look.alpha_mode = host::AlphaMode::blend;
        if (m.roughness)
            look.roughness = unit(*m.roughness);
        else if (m.shininess)
            look.roughness = 1.0 - std::sqrt(std::clamp(*m.shininess, 0.0, 1000.0) / 1000.0);
        if (m.metallic) look.metallic = unit(*m.metallic);
        // A colour or emission map without a colour of its own shows as
        // painted (Blender writes no Kd beside map_Kd).
        if (look.base_colour_texture && !m.colour) look.base_colour = {1.0, 1.0, 1.0, look.base_colour[3]};
        if (look.emissive_texture && !m.emission) look.emissive = {1.0, 1.0, 1.0};
        materials_.push_back({std::move(m.name), std::move(look)});
        current_.reset();
    }

    // A value that is not a number leaves the statement out.
    std::optional<double> number(std::string_view key, std::string_view word) {
        const std::optional<double> value = number_of(word);
        if (!value)
            warn("\"" + std::string(key) + "\" wants a number, not \"" + std::string(word) +
                 "\"; the statement is ignored");
        return value;
    }

    std::optional<double> factor(std::string_view key, std::string_view rest) {
        const std::vector<std::string_view> words = words_of(rest);
        if (words.empty()) {
            warn("\"" + std::string(key) + "\" has no value; the statement is ignored");
            return std::nullopt;
        }
        return number(key, words.front());
    }

    // One value is grey; "spectral" and "xyz" colours are not read.
    std::optional<std::array<double, 3>> colour(std::string_view key, std::string_view rest) {
        const std::vector<std::string_view> words = words_of(rest);
        if (!words.empty() && (words.front() == "spectral" || words.front() == "xyz")) {
            warn("\"" + std::string(key) + " " + std::string(words.front()) +
                 "\" colours are not read; the statement is ignored");
            return std::nullopt;
        }
        if (words.empty()) {
            warn("\"" + std::string(key) + "\" has no value; the statement is ignored");
            return std::nullopt;
        }
        std::array<double, 3> rgb{};
        for (size_t c = 0; c < 3; ++c) {
            const std::optional<double> value = number(key, words[std::min(c, words.size() - 1)]);
            if (!value) return std::nullopt;
            rgb[c] = unit(*value);
        }
        return rgb;
    }

    // The texture a map statement names, after its options; nothing (and a
    // warning) when it names no image or the image cannot be read. `scale`,
    // when given, receives -bm.
    std::optional<host::LookTexture> texture(std::string_view key, std::string_view rest, double *scale) {
        std::string_view file = rest;
        for (;;) {
            const std::vector<std::string_view> words = words_of(file);
            if (words.empty() || words.front().size() < 2 || words.front().front() != '-') break;
            const std::optional<int> arguments = option_arguments(words.front());
            if (!arguments) break;
            size_t used = 1;
            if (*arguments < 0) {
                while (used < words.size() && used <= 3 && words.size() > used + 1 && number_of(words[used])) ++used;
            } else {
                used += static_cast<size_t>(*arguments);
            }
            if (used >= words.size()) {
                file = {};
                break;
            }
            if (words.front() == "-bm" && scale != nullptr)
                if (const std::optional<double> value = number_of(words[1])) *scale = *value;
            file = trim(file.substr(static_cast<size_t>(words[used].data() - file.data())));
        }
        if (file.size() >= 2 && file.front() == '"' && file.back() == '"') file = file.substr(1, file.size() - 2);
        const std::string who = "\"" + std::string(key) + "\" of \"" + current_->name + "\"";
        if (file.empty()) {
            warn(who + " names no image; the material goes without it");
            return std::nullopt;
        }
        std::shared_ptr<const host::LookImage> image = images_(std::string(file));
        if (!image) {
            warn("the image \"" + std::string(file) + "\" (" + who + ") cannot be read; the material goes without it");
            return std::nullopt;
        }
        host::LookTexture slot;
        slot.image = std::move(image);
        return slot;
    }

    const std::filesystem::path &library_;
    const MtlImageSource &images_;
    ReadWarnings &warnings_;
    size_t line_ = 0;
    size_t warned_ = 0;
    size_t skipped_warnings_ = 0;
    bool warned_outside_ = false;
    std::optional<MaterialStatements> current_;
    std::vector<MtlMaterial> materials_;
};

// The MIME type by the image's first bytes, else by its extension.
std::string mime_type_of(const std::vector<unsigned char> &bytes, const std::filesystem::path &path) {
    if (std::string sniffed = image_mime_type(bytes); !sniffed.empty()) return sniffed;
    const std::string extension = host::lower_case(path.extension().string());
    if (extension == ".png") return "image/png";
    if (extension == ".jpg" || extension == ".jpeg") return "image/jpeg";
    return {};
}

// An image file beside the library (or where an absolute name points), each
// read once however many textures use it. Names written on Windows
// ("textures\grass.png") are tried with forward slashes too.
class ImagesBeside {
public:
    explicit ImagesBeside(std::filesystem::path folder) : folder_(std::move(folder)) {}

    std::shared_ptr<const host::LookImage> operator()(const std::string &file_name) {
        std::string name = file_name;
        std::filesystem::path path = folder_ / name;
        std::error_code error;
        if (!std::filesystem::is_regular_file(path, error) && name.find('\\') != std::string::npos) {
            std::replace(name.begin(), name.end(), '\\', '/');
            path = folder_ / name;
        }
        const std::string key = path.lexically_normal().string();
        if (const auto known = read_.find(key); known != read_.end()) return known->second;
        std::shared_ptr<const host::LookImage> image = read(path, name);
        read_.emplace(key, image);
        return image;
    }

private:
    static std::shared_ptr<const host::LookImage> read(const std::filesystem::path &path, const std::string &name) {
        std::error_code error;
        if (!std::filesystem::is_regular_file(path, error)) return nullptr;
        // An empty file is no image (and the system's own files that claim
        // no size may stream without end).
        const uintmax_t size = std::filesystem::file_size(path, error);
        if (error || size == 0 || size > kLargestImage) return nullptr;
        std::ifstream in(path, std::ios::binary);
        if (!in) return nullptr;
        auto image = std::make_shared<host::LookImage>();
        image->bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (in.bad()) return nullptr;
        image->name = std::filesystem::path(name).stem().string();
        image->file_name = name;
        image->mime_type = mime_type_of(image->bytes, path);
        return image;
    }

    std::filesystem::path folder_;
    std::map<std::string, std::shared_ptr<const host::LookImage>> read_;
};

}  // namespace

std::vector<MtlMaterial> parse_material_library(std::string_view text, const std::filesystem::path &library,
                                                const MtlImageSource &images, ReadWarnings &warnings) {
    return MtlParser(library, images, warnings).parse(text);
}

std::vector<MtlMaterial> read_material_library(const std::filesystem::path &library, ReadWarnings &warnings) {
    std::error_code size_error;
    if (const uintmax_t size = std::filesystem::file_size(library, size_error); !size_error && size > kLargestLibrary) {
        warn_loading(warnings, library, "is too large for a material library; its materials come without their look");
        return {};
    }
    try {
        const MappedFile file(library);
        remember_input_file(library);
        ImagesBeside beside(library.parent_path());
        return parse_material_library(file.bytes(), library, std::ref(beside), warnings);
    } catch (const MeshFileError &error) {
        // The reason without the "Error loading <path>: " in front.
        const std::string prefix = "Error loading " + library.string() + ": ";
        std::string reason = error.what();
        if (reason.starts_with(prefix)) reason.erase(0, prefix.size());
        warn_loading(warnings, library, "cannot be read (" + reason + "); its materials come without their look");
        return {};
    }
}

}  // namespace sowfield::io::detail
