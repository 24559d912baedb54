// The built module as a host sees it before running anything: one exported
// symbol, the descriptor's fixed words, one server with its tags.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/elf_symbols.h"
#include "tests/support/module_fixture.h"

namespace sowfield::testing {
namespace {

TEST(ModuleDescriptor, TheModuleExportsOnlyItsDescriptor) {
    EXPECT_EQ(defined_dynamic_symbols(module_path()), std::vector<std::string>{SF_MODULE_SYMBOL});
}

TEST(ModuleDescriptor, DescriptorWordsAndStartupToken) {
    const host::PluginLibrary library = host::PluginLibrary::open(module_path());
    const sf_module_descriptor &descriptor = library.descriptor();
    EXPECT_EQ(descriptor.sync, 0x04121994u);
    EXPECT_EQ(descriptor.version, 3);
    EXPECT_EQ(descriptor.machine, 0x300);
    EXPECT_EQ(descriptor.startup(), reinterpret_cast<void *>(uintptr_t{4}));
}

TEST(ModuleDescriptor, OneServerWithItsThreeTags) {
    const host::PluginLibrary library = host::PluginLibrary::open(module_path());
    const sf_server_record *servers = library.descriptor().servers;
    ASSERT_NE(servers, nullptr);
    EXPECT_STREQ(servers[0].host_class, "MeshDataEdit");
    EXPECT_STREQ(servers[0].server_name, "Sowfield");
    EXPECT_NE(servers[0].activate, nullptr);
    EXPECT_EQ(servers[1].host_class, nullptr);  // the end record
    EXPECT_EQ(servers[1].server_name, nullptr);
    EXPECT_EQ(servers[1].activate, nullptr);
    EXPECT_EQ(servers[1].tags, nullptr);
    EXPECT_EQ(&library.server(SF_MESH_EDIT_CLASS, "Sowfield"), &servers[0]);

    std::vector<std::pair<std::string, uint32_t>> tags;
    for (const sf_server_tag *tag = servers[0].tags; tag->text != nullptr; ++tag) tags.emplace_back(tag->text, tag->code);
    const std::vector<std::pair<std::string, uint32_t>> expected{
        {"Sowfield", 0x00000409u}, {"Sowfld", 0x00010409u}, {"pol", 0x00050000u}};
    EXPECT_EQ(tags, expected);
}

}  // namespace
}  // namespace sowfield::testing
