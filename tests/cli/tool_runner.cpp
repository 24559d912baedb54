#include "tests/cli/tool_runner.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace sowfield::cli::testing {

namespace fs = std::filesystem;

namespace {

std::string read_all(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

ToolTest::ToolTest() {
    const auto *test = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() /
           ("sowfield_tool_" + std::string(test->test_suite_name()) + "_" + test->name() + "_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
}

ToolTest::~ToolTest() {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
    fs::remove(dir_.string() + ".out", ignored);
    fs::remove(dir_.string() + ".err", ignored);
}

pid_t ToolTest::start(const std::vector<std::string> &arguments) const {
    // Output goes beside the scratch directory, so that files() sees only
    // what the tool wrote.
    const std::string out = dir_.string() + ".out", err = dir_.string() + ".err";
    std::vector<std::string> words{SOWFIELD_TOOL_PATH};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char *> argv;
    for (std::string &word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    const pid_t child = ::fork();
    if (child == 0) {
        const int out_fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err_fd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out_fd < 0 || err_fd < 0 || ::chdir(dir_.c_str()) != 0) ::_exit(127);
        ::dup2(out_fd, STDOUT_FILENO);
        ::dup2(err_fd, STDERR_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return child;
}

ToolResult ToolTest::finish(pid_t child) const {
    int status = 0;
    ::waitpid(child, &status, 0);
    ToolResult result;
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = read_all(dir_.string() + ".out");
    result.err = read_all(dir_.string() + ".err");
    return result;
}

ToolResult ToolTest::run(const std::vector<std::string> &arguments) const { return finish(start(arguments)); }

std::string ToolTest::data(const std::string &name) { return std::string(SOWFIELD_TEST_DATA) + "/cli/" + name; }

std::string ToolTest::module() { return SOWFIELD_MODULE_PATH; }

std::set<std::string> ToolTest::files() const {
    std::set<std::string> names;
    for (const fs::directory_entry &entry : fs::directory_iterator(dir_)) names.insert(entry.path().filename().string());
    return names;
}

}  // namespace sowfield::cli::testing
