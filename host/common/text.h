// Small text helpers shared by the host, the mesh files and the tool, each
// with one rule.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace sowfield::host {

// ASCII white space: space, tab, line feed, carriage return, form feed,
// vertical tab.
bool is_blank(char c);

// `text` without white space at either end.
std::string_view trim(std::string_view text);

// `text` with ASCII letters in lower case (other bytes as they are).
std::string lower_case(std::string text);

// The same letters in any case (ASCII letters only; other bytes compare as
// they are).
bool equal_ignoring_case(std::string_view a, std::string_view b);

// "0x" and the value in lower-case hex digits, with leading zeros up to
// `digits` digits.
std::string hex(uint64_t value, int digits = 1);

// `text` between double quotes, as messages show names and values.
std::string in_quotes(std::string_view text);

// A JSON library's error text without its exception's name (the
// "[json.exception.parse_error.101] " in front): what a user needs is the
// reason, not the library's class.
std::string without_exception_name(std::string text);

}  // namespace sowfield::host
