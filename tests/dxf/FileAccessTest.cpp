// Files that are not regular are refused without waiting; a save either
// replaces the file whole or leaves it as it was.

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <iterator>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "FileAccess.h"

using namespace tessik::dxf;

namespace {

class FileAccessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char templ[] = "/tmp/tessik-dxf-XXXXXX";
        ASSERT_NE(::mkdtemp(templ), nullptr);
        dir = templ;
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string path(const std::string& name) const { return dir + "/" + name; }
    static std::string contents(const std::string& p)
    {
        std::ifstream in(p, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static void put(const std::string& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }
    int filesIn() const
    {
        const auto entries = std::filesystem::directory_iterator(dir);
        return static_cast<int>(std::distance(std::filesystem::begin(entries), std::filesystem::end(entries)));
    }
    std::string dir;
};

}  // namespace

TEST_F(FileAccessTest, OnlyRegularFilesAreRead)
{
    ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("/dev/zero", path("zero.dxf").c_str()), 0);
    for (const std::string& p : {path("fifo"), path("zero.dxf"), dir, path("missing.dxf")}) {
        const auto bytes = readRegularFile(p);
        ASSERT_FALSE(bytes.ok()) << p;
        EXPECT_NE(bytes.error().description.find(p), std::string::npos);
    }
    put(path("a.dxf"), std::string(100000, 'x'));
    EXPECT_EQ(readRegularFile(path("a.dxf"))->size(), 100000u);
    EXPECT_FALSE(readRegularFile(path("a.dxf"), 99999).ok());
}

TEST_F(FileAccessTest, ReplacingKeepsLinksAndModes)
{
    put(path("real.dxf"), "old");
    ASSERT_EQ(::chmod(path("real.dxf").c_str(), 0640), 0);
    ASSERT_EQ(::symlink("real.dxf", path("link.dxf").c_str()), 0);
    ASSERT_TRUE(replaceFile(path("link.dxf"), "new").ok());
    struct stat st {};
    ASSERT_EQ(::lstat(path("link.dxf").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(contents(path("real.dxf")), "new");
    ASSERT_EQ(::stat(path("real.dxf").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(filesIn(), 2);  // no temporary file left
}

TEST_F(FileAccessTest, AFailedWriteLeavesTheOldFileWhole)
{
    put(path("keep.dxf"), "old contents");
    // A file-size limit makes the write fail part-way, as a full disk does.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const auto status = replaceFile(path("keep.dxf"), std::string(100000, 'n'));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ASSERT_FALSE(status.ok());
    EXPECT_NE(status.error().description.find("keep.dxf"), std::string::npos);
    EXPECT_EQ(contents(path("keep.dxf")), "old contents");
    EXPECT_EQ(filesIn(), 1);

    ::mkdir(path("folder.dxf").c_str(), 0700);
    EXPECT_FALSE(replaceFile(path("folder.dxf"), "x").ok());
    EXPECT_FALSE(replaceFile(path("no-such-folder/x.dxf"), "x").ok());
}

namespace {

// What stands at the path and must survive a refused save: its kind, mode and
// bytes, seen without following links.
struct Standing {
    mode_t mode = 0;
    std::string bytes;
    friend bool operator==(const Standing&, const Standing&) = default;
};

}  // namespace

TEST_F(FileAccessTest, OnlyAWritableRegularFileIsReplaced)
{
    const auto standing = [](const std::string& p) {
        struct stat st {};
        EXPECT_EQ(::lstat(p.c_str(), &st), 0) << p;
        return Standing{st.st_mode, S_ISREG(st.st_mode) ? contents(p) : std::string()};
    };
    ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0644), 0);
    ASSERT_EQ(::symlink("fifo", path("to-fifo").c_str()), 0);
    ASSERT_EQ(::mkdir(path("folder").c_str(), 0755), 0);
    ASSERT_EQ(::symlink("loop-b", path("loop-a").c_str()), 0);
    ASSERT_EQ(::symlink("loop-a", path("loop-b").c_str()), 0);
    put(path("read-only"), "kept");
    ASSERT_EQ(::chmod(path("read-only").c_str(), 0444), 0);  // root may write it, and must not
    ASSERT_EQ(::symlink("read-only", path("to-read-only").c_str()), 0);
    std::vector<std::string> refused{path("fifo"), path("to-fifo"), path("folder"), path("loop-a"),
                                     path("read-only"), path("to-read-only")};
    // A device node of our own, where the system allows one (a null device:
    // harmless even if it were written to).
    if (::mknod(path("device").c_str(), S_IFCHR | 0666, ::makedev(1, 3)) == 0) refused.push_back(path("device"));
    const int files = filesIn();

    for (const std::string& p : refused) {
        const Standing before = standing(p);
        const tessik::Status status = replaceFile(p, "new");
        ASSERT_FALSE(status.ok()) << p;
        const std::string& said = status.error().description;
        EXPECT_EQ(said.rfind("无法保存“" + p + "”：", 0), 0u) << said;
        EXPECT_EQ(standing(p), before) << p;
        EXPECT_EQ(filesIn(), files) << "a temporary file was left by " << p;
    }
    EXPECT_NE(replaceFile(path("read-only"), "x").error().description.find("只读"), std::string::npos);
    EXPECT_NE(replaceFile(path("fifo"), "x").error().description.find("不是普通文件"), std::string::npos);
}
