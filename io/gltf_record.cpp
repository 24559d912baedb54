#include "io/gltf_record.h"

#include <cctype>
#include <climits>
#include <cmath>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "sowfield_host.h"

namespace sowfield::io::detail::gltf {

tinygltf::Value number_value(uint64_t n) {
    if (n <= static_cast<uint64_t>(INT_MAX)) return tinygltf::Value(static_cast<int>(n));
    return tinygltf::Value(static_cast<double>(n));
}

bool whole_number(const tinygltf::Value &value, uint64_t limit, uint64_t &out) {
    if (value.IsInt()) {
        const int n = value.Get<int>();
        if (n < 0 || static_cast<uint64_t>(n) > limit) return false;
        out = static_cast<uint64_t>(n);
        return true;
    }
    if (!value.IsReal()) return false;
    const double d = value.Get<double>();
    if (!(d >= 0.0) || d > static_cast<double>(limit) || std::floor(d) != d) return false;
    out = static_cast<uint64_t>(d);
    return out <= limit;
}

namespace {

bool printable_code(uint32_t code) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        const uint32_t c = (code >> shift) & 0xFFu;
        if (c < 0x20 || c > 0x7E) return false;
    }
    return true;
}

std::string letters(uint32_t code) {
    return {static_cast<char>(code >> 24), static_cast<char>((code >> 16) & 0xFFu),
            static_cast<char>((code >> 8) & 0xFFu), static_cast<char>(code & 0xFFu)};
}

}  // namespace

tinygltf::Value type_value(uint32_t code) {
    return printable_code(code) ? tinygltf::Value(letters(code)) : number_value(code);
}

bool parse_type(const tinygltf::Value &value, uint32_t &code) {
    if (value.IsString()) {
        const std::string &text = value.Get<std::string>();
        if (text.size() != 4) return false;
        code = 0;
        for (char c : text) code = code << 8 | static_cast<unsigned char>(c);
        return true;
    }
    uint64_t n = 0;
    if (!whole_number(value, UINT32_MAX, n)) return false;
    code = static_cast<uint32_t>(n);
    return true;
}

std::string type_text(uint32_t code) { return printable_code(code) ? letters(code) : std::to_string(code); }

std::string attribute_name(uint32_t type, unsigned ordinal) {
    const char *stem = type == SF_VMAP_WGHT   ? "_WEIGHT_"
                       : type == SF_VMAP_MNVW ? "_SUBDIV_WEIGHT_"
                       : type == SF_VMAP_SPOT ? "_SPOT_"
                                              : "_VMAP_";
    return stem + std::to_string(ordinal);
}

bool valid_utf8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        size_t length = 0;
        uint32_t code = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            length = 2;
            code = c & 0x1Fu;
        } else if ((c & 0xF0) == 0xE0) {
            length = 3;
            code = c & 0x0Fu;
        } else if ((c & 0xF8) == 0xF0) {
            length = 4;
            code = c & 0x07u;
        } else {
            return false;
        }
        if (i + length > text.size()) return false;
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            code = code << 6 | (next & 0x3Fu);
        }
        // Overlong forms, surrogates and values beyond Unicode are not UTF-8.
        const uint32_t least[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
        i += length;
    }
    return true;
}

bool weight_like(int components, int component_type, bool normalized) {
    if (components != 1) return false;
    if (component_type == TINYGLTF_COMPONENT_TYPE_FLOAT) return true;
    return normalized && (component_type == TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE ||
                          component_type == TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT);
}

std::string weight_map_name(std::string_view attribute) {
    const size_t first = attribute.find_first_not_of('_');
    return first == std::string_view::npos ? std::string() : std::string(attribute.substr(first));
}

std::string named_weight_attribute(std::string_view map_name) {
    if (map_name.empty() || map_name.front() == '_') return {};
    for (const char c : map_name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return {};
    return "_" + std::string(map_name);
}

// A file name as a relative URI: unreserved characters as they are, every
// other byte percent-encoded.
std::string relative_uri(const std::string &name) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string uri;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || c == '-' || c == '.' || c == '_' || c == '~') {
            uri.push_back(c);
        } else {
            uri.push_back('%');
            uri.push_back(kHex[byte >> 4]);
            uri.push_back(kHex[byte & 15]);
        }
    }
    return uri;
}

bool made_up_attribute(std::string_view attribute) {
    for (const char *stem : {"_WEIGHT_", "_SUBDIV_WEIGHT_", "_SPOT_", "_VMAP_", "_UV_EXACT_"})
        if (attribute.rfind(stem, 0) == 0) return true;
    return false;
}

namespace {

tinygltf::Value value_of(const nlohmann::json &json) {
    switch (json.type()) {
    case nlohmann::json::value_t::null: return {};
    case nlohmann::json::value_t::boolean: return tinygltf::Value(json.get<bool>());
    case nlohmann::json::value_t::number_integer:
    case nlohmann::json::value_t::number_unsigned:
        if (json >= INT_MIN && json <= INT_MAX) return tinygltf::Value(json.get<int>());
        return tinygltf::Value(json.get<double>());
    case nlohmann::json::value_t::number_float: return tinygltf::Value(json.get<double>());
    case nlohmann::json::value_t::string: return tinygltf::Value(json.get<std::string>());
    case nlohmann::json::value_t::array: {
        tinygltf::Value::Array items;
        for (const nlohmann::json &item : json) items.push_back(value_of(item));
        return tinygltf::Value(std::move(items));
    }
    case nlohmann::json::value_t::object: {
        tinygltf::Value::Object members;
        for (const auto &[key, member] : json.items()) members[key] = value_of(member);
        return tinygltf::Value(std::move(members));
    }
    default: throw std::invalid_argument("a JSON value of a kind glTF extras cannot hold");
    }
}

nlohmann::json json_of(const tinygltf::Value &value) {
    switch (value.Type()) {
    case tinygltf::BOOL_TYPE: return value.Get<bool>();
    case tinygltf::INT_TYPE: return value.Get<int>();
    case tinygltf::REAL_TYPE: return value.Get<double>();
    case tinygltf::STRING_TYPE: return value.Get<std::string>();
    case tinygltf::ARRAY_TYPE: {
        nlohmann::json items = nlohmann::json::array();
        for (size_t i = 0; i < value.ArrayLen(); ++i) items.push_back(json_of(value.Get(static_cast<int>(i))));
        return items;
    }
    case tinygltf::OBJECT_TYPE: {
        nlohmann::json members = nlohmann::json::object();
        for (const std::string &key : value.Keys()) members[key] = json_of(value.Get(key));
        return members;
    }
    default: return nullptr;  // binary blobs do not come from JSON
    }
}

}  // namespace

std::string json_text(const tinygltf::Value &value) {
    if (value.Type() == tinygltf::NULL_TYPE) return {};
    return json_of(value).dump();
}

tinygltf::Value json_value(std::string_view json) {
    const nlohmann::json parsed = nlohmann::json::parse(json, nullptr, /*allow_exceptions=*/false);
    if (parsed.is_discarded()) throw std::invalid_argument("extras that are not JSON");
    return value_of(parsed);
}

}  // namespace sowfield::io::detail::gltf
