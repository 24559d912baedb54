// The symbols a shared library defines in its dynamic symbol table, read from
// the file itself (what `nm -D --defined-only` lists).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace sowfield::testing {

// Names of the defined dynamic symbols of a 64-bit little-endian ELF file, in
// table order. Throws std::runtime_error naming the file when it cannot be
// read as one.
std::vector<std::string> defined_dynamic_symbols(const std::filesystem::path &library);

}  // namespace sowfield::testing
