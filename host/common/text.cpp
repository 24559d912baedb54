#include "host/common/text.h"

namespace sowfield::host {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

std::string_view trim(std::string_view text) {
    while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
    return text;
}

namespace {
char lower_letter(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
}  // namespace

std::string lower_case(std::string text) {
    for (char &c : text) c = lower_letter(c);
    return text;
}

bool equal_ignoring_case(std::string_view a, std::string_view b) {
    const auto lower = lower_letter;
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

std::string hex(uint64_t value, int digits) {
    std::string text;
    do {
        text.insert(text.begin(), "0123456789abcdef"[value & 0xFu]);
        value >>= 4;
    } while (value != 0);
    if (static_cast<int>(text.size()) < digits) text.insert(0, static_cast<std::size_t>(digits) - text.size(), '0');
    return "0x" + text;
}

std::string in_quotes(std::string_view text) {
    // Appended piece by piece: GCC 12 reports a false overlap for the
    // concatenation "\"" + std::string(text) + "\"" in optimised builds.
    std::string quoted;
    quoted.reserve(text.size() + 2);
    quoted.append(1, '"').append(text).append(1, '"');
    return quoted;
}

std::string without_exception_name(std::string text) {
    if (const std::size_t end = text.find("] "); text.starts_with("[json.") && end != std::string::npos)
        text.erase(0, end + 2);
    return text;
}

}  // namespace sowfield::host
