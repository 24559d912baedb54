#include "cli/size_text.h"

#include <cctype>
#include <charconv>
#include <cstdio>

namespace sowfield::cli {

std::optional<uint64_t> parse_size(std::string_view text) {
    double number = 0.0;
    const auto [rest, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc{} || !(number >= 0.0)) return std::nullopt;
    std::string_view unit(rest, static_cast<size_t>(text.data() + text.size() - rest));
    while (!unit.empty() && unit.front() == ' ') unit.remove_prefix(1);
    double scale = 1.0;
    if (!unit.empty()) {
        constexpr std::string_view letters = "KMGT";
        const size_t power = letters.find(static_cast<char>(std::toupper(static_cast<unsigned char>(unit.front()))));
        if (power == std::string_view::npos) {
            if (unit != "B" && unit != "bytes") return std::nullopt;
        } else {
            unit.remove_prefix(1);
            if (!unit.empty() && unit != "B" && unit != "iB") return std::nullopt;
            for (size_t i = 0; i <= power; ++i) scale *= 1024.0;
        }
    }
    const double bytes = number * scale;
    if (!(bytes < 18446744073709551616.0)) return std::nullopt;
    return static_cast<uint64_t>(bytes);
}

std::string format_bytes(uint64_t bytes) {
    constexpr const char *units[] = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    if (bytes < 1024) return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    double value = static_cast<double>(bytes) / 1024.0;
    int unit = 0;
    while (value >= 1024.0 && unit < 5) {
        value /= 1024.0;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, value < 10.0 ? "%.1f %s" : "%.0f %s", value, units[unit]);
    return text;
}

}  // namespace sowfield::cli
