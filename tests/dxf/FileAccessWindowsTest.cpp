// FileAccess.h on Windows: UTF-8 names with Chinese characters and spaces
// reach the right file; folders, device names and read-only files are refused
// before anything is written; a replacement leaves no temporary file behind.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>

#include <windows.h>

#include "FileAccess.h"
#include "Paths.h"
#include "WideText.h"

using namespace tessik;
using namespace tessik::dxf;

namespace {

class FileAccessWindowsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::random_device rd;
        folder = std::filesystem::temp_directory_path() /
                 os::pathFromUtf8("tessik 弯头 图纸 " + std::to_string(rd()));
        ASSERT_TRUE(std::filesystem::create_directories(folder));
    }
    void TearDown() override
    {
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            ::SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
        std::filesystem::remove_all(folder);
    }
    std::string path(const std::string& name) const { return os::utf8FromPath(folder / os::pathFromUtf8(name)); }
    // Read with the standard library through the wide name: an independent way in.
    std::string contents(const std::string& name) const
    {
        std::ifstream in(folder / os::pathFromUtf8(name), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    int filesIn() const
    {
        const auto entries = std::filesystem::directory_iterator(folder);
        return static_cast<int>(std::distance(std::filesystem::begin(entries), std::filesystem::end(entries)));
    }
    std::filesystem::path folder;
};

}  // namespace

TEST_F(FileAccessWindowsTest, ChineseNamesWithSpacesAreWrittenReadAndReplaced)
{
    const std::string name = "展开 图 (1).dxf";
    ASSERT_TRUE(replaceFile(path(name), std::string("first\r\n\0bytes", 14)).ok());
    EXPECT_EQ(contents(name), std::string("first\r\n\0bytes", 14));
    ASSERT_TRUE(replaceFile(path(name), "second").ok());
    const auto bytes = readRegularFile(path(name));
    ASSERT_TRUE(bytes.ok()) << bytes.error().description;
    EXPECT_EQ(*bytes, "second");
    // The name on disk is the UTF-16 of the UTF-8 name, and nothing else is there.
    EXPECT_TRUE(std::filesystem::exists(folder / std::filesystem::path(L"\u5C55\u5F00 \u56FE (1).dxf")));
    EXPECT_EQ(filesIn(), 1);
    // Forward slashes name the same file.
    std::string forward = path(name);
    for (char& c : forward) c = c == '\\' ? '/' : c;
    EXPECT_EQ(*readRegularFile(forward), "second");
}

TEST_F(FileAccessWindowsTest, FoldersDevicesAndMissingFilesAreRefusedByName)
{
    std::filesystem::create_directory(folder / os::pathFromUtf8("图纸.dxf"));
    for (const std::string& p : {path("图纸.dxf"), path("missing.dxf"), std::string("NUL"), std::string("con"),
                                 path("nul.txt"), path("COM1"), std::string("\\\\.\\NUL"), std::string("CONOUT$")}) {
        const auto bytes = readRegularFile(p);
        ASSERT_FALSE(bytes.ok()) << p;
        EXPECT_NE(bytes.error().description.find(p), std::string::npos) << bytes.error().description;
        if (p != path("missing.dxf")) {
            const Status saved = replaceFile(p, "x");
            ASSERT_FALSE(saved.ok()) << p;
            EXPECT_NE(saved.error().description.find("无法保存“" + p + "”"), std::string::npos);
        }
    }
    EXPECT_NE(readRegularFile(path("图纸.dxf")).error().description.find("文件夹"), std::string::npos);
    EXPECT_EQ(filesIn(), 1);
}

TEST_F(FileAccessWindowsTest, AReadOnlyFileStaysAsItWas)
{
    ASSERT_TRUE(replaceFile(path("只读.dxf"), "kept").ok());
    ASSERT_TRUE(::SetFileAttributesW(os::widen(path("只读.dxf")).c_str(), FILE_ATTRIBUTE_READONLY));
    const Status saved = replaceFile(path("只读.dxf"), "lost");
    ASSERT_FALSE(saved.ok());
    EXPECT_NE(saved.error().description.find("只读"), std::string::npos) << saved.error().description;
    EXPECT_EQ(contents("只读.dxf"), "kept");
    EXPECT_EQ(filesIn(), 1);
}

TEST_F(FileAccessWindowsTest, AFileOverTheLimitIsNotRead)
{
    ASSERT_TRUE(replaceFile(path("big.dxf"), std::string(1000, 'x')).ok());
    EXPECT_FALSE(readRegularFile(path("big.dxf"), 999).ok());
    EXPECT_EQ(readRegularFile(path("big.dxf"), 1000)->size(), 1000u);
}
