#include "cli/view/web_files.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>

namespace sowfield::cli::view {
namespace {

namespace fs = std::filesystem;

class WebFilesTest : public ::testing::Test {
protected:
    WebFilesTest() : root_(fs::temp_directory_path() / ("sowfield-web-" + std::to_string(::getpid()))) {
        fs::create_directories(root_ / "page" / "js");
        write("page/index.html", "<!doctype html>");
        write("page/js/main.js", "export {};");
        write("secret.txt", "not the page's");
    }
    ~WebFilesTest() override { fs::remove_all(root_); }

    void write(const std::string &name, const std::string &text) { std::ofstream(root_ / name) << text; }

    fs::path root_;
};

TEST_F(WebFilesTest, ServesOnlyThePagesOwnFilesByTheirPaths) {
    const WebFiles files = WebFiles::load(root_ / "page");
    ASSERT_NE(files.find("/"), nullptr);
    EXPECT_EQ(*files.find("/")->bytes, "<!doctype html>");
    EXPECT_EQ(files.find("/index.html")->content_type, "text/html; charset=utf-8");
    EXPECT_EQ(files.find("/js/main.js")->content_type, "text/javascript; charset=utf-8");
    EXPECT_EQ(files.find("/../secret.txt"), nullptr);
    EXPECT_EQ(files.find("/js/../index.html"), nullptr);
    EXPECT_EQ(files.find("/missing.js"), nullptr);
}

TEST_F(WebFilesTest, AFolderWithoutThePageIsRefusedByName) {
    try {
        WebFiles::load(root_);
        FAIL() << "loaded a folder without index.html";
    } catch (const WebFilesMissing &error) {
        EXPECT_NE(std::string(error.what()).find((root_ / "index.html").string()), std::string::npos);
    }
}

TEST(WebFolder, SitsBesideTheToolsBinFolder) {
    EXPECT_EQ(web_folder("/opt/sowfield/bin/sowfield"), fs::path("/opt/sowfield/share/sowfield/web"));
    EXPECT_EQ(web_folder("/work/build/dev/cli/sowfield"), fs::path("/work/build/dev/share/sowfield/web"));
}

}  // namespace
}  // namespace sowfield::cli::view
