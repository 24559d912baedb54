// Sizes of memory as a user writes them and as the tool shows them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sowfield::cli {

// A size as a user writes it: bytes, or a number with K, M, G or T (powers
// of 1024, an optional "iB" or "B" after the letter), e.g. "512M", "1.5G".
std::optional<uint64_t> parse_size(std::string_view text);

// "1.5 GiB", "820 MiB", "12 KiB", "17 bytes".
std::string format_bytes(uint64_t bytes);

}  // namespace sowfield::cli
