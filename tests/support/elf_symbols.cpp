#include "tests/support/elf_symbols.h"

#include <elf.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace sowfield::testing {

namespace {

template <class T>
T read_at(const std::vector<char> &bytes, uint64_t offset, const std::string &name) {
    if (offset > bytes.size() || bytes.size() - offset < sizeof(T))
        throw std::runtime_error(name + ": truncated ELF file");
    T value;
    std::memcpy(&value, bytes.data() + offset, sizeof(T));
    return value;
}

}  // namespace

std::vector<std::string> defined_dynamic_symbols(const std::filesystem::path &library) {
    const std::string name = library.string();
    std::ifstream in(library, std::ios::binary);
    if (!in) throw std::runtime_error(name + ": cannot open");
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

    const auto header = read_at<Elf64_Ehdr>(bytes, 0, name);
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != ELFCLASS64 ||
        header.e_ident[EI_DATA] != ELFDATA2LSB)
        throw std::runtime_error(name + ": not a 64-bit little-endian ELF file");

    std::vector<std::string> names;
    for (uint16_t s = 0; s < header.e_shnum; ++s) {
        const auto section = read_at<Elf64_Shdr>(bytes, header.e_shoff + uint64_t{s} * header.e_shentsize, name);
        if (section.sh_type != SHT_DYNSYM) continue;
        const auto strings =
            read_at<Elf64_Shdr>(bytes, header.e_shoff + uint64_t{section.sh_link} * header.e_shentsize, name);
        const uint64_t count = section.sh_entsize != 0 ? section.sh_size / section.sh_entsize : 0;
        for (uint64_t i = 1; i < count; ++i) {  // entry 0 is the null symbol
            const auto symbol = read_at<Elf64_Sym>(bytes, section.sh_offset + i * section.sh_entsize, name);
            if (symbol.st_shndx == SHN_UNDEF) continue;
            const uint64_t at = strings.sh_offset + symbol.st_name;
            if (at >= bytes.size()) throw std::runtime_error(name + ": symbol name outside the file");
            const char *text = bytes.data() + at;
            names.emplace_back(text, strnlen(text, bytes.size() - at));
        }
    }
    return names;
}

}  // namespace sowfield::testing
