#include "host/loader/plugin_loader.h"

#include <dlfcn.h>
#include <stdlib.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

namespace sowfield::host {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;

// Whether the dynamic loader still holds the library.
bool loaded(const std::filesystem::path &path) {
    void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) return false;
    dlclose(handle);
    return true;
}

LoaderError open_failure(const std::filesystem::path &path) {
    try {
        PluginLibrary::open(path);
    } catch (const LoaderError &error) {
        return error;
    }
    ADD_FAILURE() << path << " opened";
    return LoaderError(LoaderError::Kind::file_missing, "");
}

class LoaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(dir);
        std::filesystem::remove(probe_log);
        setenv("SOWFIELD_PROBE_LOG", probe_log.c_str(), 1);
    }
    void TearDown() override { unsetenv("SOWFIELD_PROBE_LOG"); }

    std::string probe_lines() const {
        std::ifstream in(probe_log);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    const std::filesystem::path dir = std::filesystem::path(SOWFIELD_BINARY_DIR) / "tests" / "host" / "loader_test";
    // One log per test process: CTest runs tests side by side.
    const std::filesystem::path probe_log = dir / ("probe-" + std::to_string(getpid()) + ".log");
};

TEST_F(LoaderTest, RejectsAMissingFile) {
    const LoaderError error = open_failure(dir / "no_such_plugin.so");
    EXPECT_EQ(error.kind(), LoaderError::Kind::file_missing);
    EXPECT_THAT(error.what(), AllOf(HasSubstr("no_such_plugin.so"), HasSubstr("no such plug-in file")));
    EXPECT_EQ(open_failure(dir).kind(), LoaderError::Kind::file_missing);  // a directory is no plug-in either
}

TEST_F(LoaderTest, RejectsAFileThatIsNotALibraryWithTheLoadersReason) {
    const std::filesystem::path text = dir / "not_a_library.so";
    std::ofstream(text) << "this is a text file\n";
    const LoaderError error = open_failure(text);
    EXPECT_EQ(error.kind(), LoaderError::Kind::open_failed);
    EXPECT_THAT(error.what(), AllOf(HasSubstr("not_a_library.so: cannot load the library: "),
                                    HasSubstr("not_a_library.so")));
}

TEST_F(LoaderTest, RejectsALibraryWithoutTheDescriptorAndUnloadsIt) {
    const LoaderError error = open_failure(FAKE_NO_DESCRIPTOR);
    EXPECT_EQ(error.kind(), LoaderError::Kind::symbol_missing);
    EXPECT_THAT(error.what(), AllOf(HasSubstr(FAKE_NO_DESCRIPTOR), HasSubstr("\"_mod_descrip\"")));
    EXPECT_FALSE(loaded(FAKE_NO_DESCRIPTOR));
    EXPECT_EQ(probe_lines(), "");  // never started
}

TEST_F(LoaderTest, RejectsAWrongSyncWordAndUnloads) {
    const LoaderError error = open_failure(FAKE_BAD_SYNC);
    EXPECT_EQ(error.kind(), LoaderError::Kind::bad_sync);
    EXPECT_THAT(error.what(), AllOf(HasSubstr(FAKE_BAD_SYNC), HasSubstr("sync word 0x19940412, expected 0x04121994")));
    EXPECT_FALSE(loaded(FAKE_BAD_SYNC));
    EXPECT_EQ(probe_lines(), "");
}

TEST_F(LoaderTest, RejectsAWrongVersionAndUnloads) {
    const LoaderError error = open_failure(FAKE_BAD_VERSION);
    EXPECT_EQ(error.kind(), LoaderError::Kind::bad_version);
    EXPECT_THAT(error.what(), AllOf(HasSubstr(FAKE_BAD_VERSION), HasSubstr("version 2, this host speaks version 3")));
    EXPECT_FALSE(loaded(FAKE_BAD_VERSION));
}

TEST_F(LoaderTest, RejectsAFailedStartupAndUnloadsWithoutShutdown) {
    const LoaderError error = open_failure(FAKE_STARTUP_FAILS);
    EXPECT_EQ(error.kind(), LoaderError::Kind::startup_failed);
    EXPECT_THAT(error.what(), HasSubstr("startup function failed"));
    EXPECT_FALSE(loaded(FAKE_STARTUP_FAILS));
    EXPECT_EQ(probe_lines(), "startup (nil)\n");
}

TEST_F(LoaderTest, ServerMissingNamesWhatTheLibraryOffers) {
    const PluginLibrary library = PluginLibrary::open(FAKE_OTHER_SERVER);
    try {
        library.server(SF_MESH_EDIT_CLASS, "Sowfield");
        ADD_FAILURE() << "server found";
    } catch (const LoaderError &error) {
        EXPECT_EQ(error.kind(), LoaderError::Kind::server_missing);
        EXPECT_THAT(error.what(), AllOf(HasSubstr(FAKE_OTHER_SERVER), HasSubstr("no MeshDataEdit server named \"Sowfield\""),
                                        HasSubstr("offers OtherClass \"Sowfield\", MeshDataEdit \"Gardener\"")));
    }
    EXPECT_STREQ(library.server(SF_MESH_EDIT_CLASS, "Gardener").server_name, "Gardener");
}

TEST_F(LoaderTest, StartsUpOnceAndShutsDownOnceWithTheTokenThenUnloads) {
    {
        PluginLibrary first = PluginLibrary::open(FAKE_GOOD);
        EXPECT_TRUE(loaded(FAKE_GOOD));
        const sf_server_record &server = first.server(SF_MESH_EDIT_CLASS, "Sowfield");
        EXPECT_STREQ(server.host_class, SF_MESH_EDIT_CLASS);  // the second record: the first has another class
        EXPECT_EQ(first.descriptor().version, SF_MODULE_VERSION);
        PluginLibrary moved = std::move(first);
        PluginLibrary assigned = PluginLibrary::open(FAKE_OTHER_SERVER);
        assigned = std::move(moved);  // closes the other library first
        EXPECT_FALSE(loaded(FAKE_OTHER_SERVER));
        EXPECT_EQ(probe_lines(), "startup 0x5eed\nstartup 0x5eed\nshutdown 0x5eed\n");
    }
    EXPECT_EQ(probe_lines(), "startup 0x5eed\nstartup 0x5eed\nshutdown 0x5eed\nshutdown 0x5eed\n");
    EXPECT_FALSE(loaded(FAKE_GOOD));
}

}  // namespace
}  // namespace sowfield::host
