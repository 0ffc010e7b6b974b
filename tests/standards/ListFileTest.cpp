#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <chrono>
#include <string>
#include <vector>

#include "FailingBuffer.h"
#include "ListFile.h"
#include "TempFolder.h"

namespace tessik {
namespace {

using Entries = std::vector<std::string>;

struct ListCase {
    const char* name;
    std::string bytes;
    Entries entries;
};

class ListRows : public testing::TestWithParam<ListCase> {};

TEST_P(ListRows, ListsExactlyTheFieldsOfTheFile)
{
    test::TempFolder folder;
    folder.write(kDiameterSeriesFile, GetParam().bytes);
    const ListFile list = loadListFile(folder.path(), kDiameterSeriesFile);
    EXPECT_EQ(list.entries, GetParam().entries);
    EXPECT_EQ(list.status, ListFile::Status::Read);
    EXPECT_EQ(list.problem, "");
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ListRows,
    testing::Values(ListCase{"StarsKept", "*88.9\r\n108\r\n*114.3\r\n", {"*88.9", "108", "*114.3"}},
                    ListCase{"TwoNumbersOnALine", "108,133\r\n", {"108", "133"}},
                    ListCase{"BlankLineGivesEmptyEntry", "108\r\n\r\n133\r\n", {"108", "", "133"}},
                    ListCase{"NonNumbersListedUnchecked", "直径\r\n12,5\r\n", {"直径", "12", "5"}},
                    ListCase{"GbkFileShownAsText", "\xD6\xB1\xBE\xB6\r\n", {"直径"}},
                    ListCase{"EmptyFileEmptyList", "", {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ListFile, MissingFileGivesNoEntryAndNamesFileAndFolder)
{
    test::TempFolder folder;
    folder.write(kDiameterSeriesFile, "*88.9\r\n");  // the other list file is present
    const ListFile list = loadListFile(folder.path(), kWallThicknessFile);
    EXPECT_TRUE(list.entries.empty());
    EXPECT_EQ(list.status, ListFile::Status::Missing);
    EXPECT_NE(list.problem.find("gbhd.ini"), std::string::npos) << list.problem;
    EXPECT_NE(list.problem.find(folder.path().string()), std::string::npos) << list.problem;
}

TEST(ListFile, DirectoryOrPipeIsRefusedWithoutWaiting)
{
    test::TempFolder folder;
    std::filesystem::create_directory(folder.path() / "zjxl.ini");
#ifndef _WIN32
    ASSERT_EQ(mkfifo((folder.path() / "gbhd.ini").c_str(), 0600), 0);
#endif

    const ListFile dir = loadListFile(folder.path(), kDiameterSeriesFile);
    EXPECT_TRUE(dir.entries.empty());
    EXPECT_EQ(dir.status, ListFile::Status::CannotOpen);
    EXPECT_NE(dir.problem.find("zjxl.ini"), std::string::npos);

#ifndef _WIN32
    // Opening a pipe for reading would wait for a writer that never comes.
    // (Windows has no pipe inside a folder.)
    const ListFile pipe = loadListFile(folder.path(), kWallThicknessFile);
    EXPECT_TRUE(pipe.entries.empty());
    EXPECT_EQ(pipe.status, ListFile::Status::CannotOpen);
#endif
}

TEST(ListFile, HugeFileIsCutAtTheEntryLimitWithAMessage)
{
    test::TempFolder folder;
    std::string bytes;
    for (std::size_t i = 0; i < ListFile::kMaxEntries + 5; ++i) bytes += std::to_string(i) + "\r\n";
    folder.write(kWallThicknessFile, bytes);
    const ListFile list = loadListFile(folder.path(), kWallThicknessFile);
    ASSERT_EQ(list.entries.size(), ListFile::kMaxEntries);
    EXPECT_EQ(list.entries.back(), std::to_string(ListFile::kMaxEntries - 1));
    EXPECT_EQ(list.status, ListFile::Status::TooManyEntries);
    EXPECT_NE(list.problem.find("gbhd.ini"), std::string::npos);
}

TEST(ListFile, ReadFailingPartWayKeepsOnlyTheEntriesRead)
{
    // The entry being read when the device fails is neither listed cut short
    // nor replaced by a repeat of the one before.
    test::FailingBuffer buffer("*88.9\r\n108\r\n*114.3\r\n", 11);
    std::istream in(&buffer);
    const ListFile list = readListFile(in, kDiameterSeriesFile, "/data");
    EXPECT_EQ(list.entries, (Entries{"*88.9"}));
    EXPECT_EQ(list.status, ListFile::Status::ReadFailed);
    EXPECT_NE(list.problem.find("zjxl.ini"), std::string::npos);
    EXPECT_NE(list.problem.find("/data"), std::string::npos);
}

}  // namespace
}  // namespace tessik
