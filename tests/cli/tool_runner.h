// Running the built `sowfield` executable as a user would, each test in a
// scratch directory of its own, so that the test can see every file the tool
// left behind.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace sowfield::cli::testing {

struct ToolResult {
    int exit_code = -1;  // -1: ended by a signal
    std::string out;     // standard output
    std::string err;     // standard error
};

class ToolTest : public ::testing::Test {
protected:
    ToolTest();
    ~ToolTest() override;

    // Runs the tool with these arguments (no shell: each is one argument)
    // in the scratch directory, and waits for it.
    ToolResult run(const std::vector<std::string> &arguments) const;

    // Starts the tool without waiting; finish() collects it.
    pid_t start(const std::vector<std::string> &arguments) const;
    ToolResult finish(pid_t child) const;

    // A file of tests/data/cli.
    static std::string data(const std::string &name);
    // The plug-in module as the --plugin argument takes it.
    static std::string module();

    // The names of the files in the scratch directory.
    std::set<std::string> files() const;
    std::filesystem::path path(const std::string &name) const { return dir_ / name; }

private:
    std::filesystem::path dir_;
};

}  // namespace sowfield::cli::testing
