// The shipped data files read the same from any folder and with any line
// ends: a folder named with Chinese characters and spaces (through the UTF-8
// path on every platform, UTF-16 on Windows) and the files with LF and CRLF.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "BookTable.h"
#include "ListFile.h"
#include "Paths.h"
#include "TempFolder.h"

using namespace tessik;

namespace {

std::string shipped(const std::string& name)
{
    std::ifstream in(std::string(TESSIK_DATA_DIR) + "/" + name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Every line end made "\r\n" (crlf) or "\n".
std::string withLineEnds(const std::string& text, bool crlf)
{
    std::string out;
    for (char c : text) {
        if (c == '\r') continue;
        if (c == '\n' && crlf) out += '\r';
        out += c;
    }
    return out;
}

struct Read {
    std::vector<std::string> diameters, walls;
    BookTable book;
    BookReadReport report;
};

Read readFolder(const std::filesystem::path& folder)
{
    Read r;
    const ListFile d = loadListFile(folder, "zjxl.ini");
    const ListFile w = loadListFile(folder, "gbhd.ini");
    EXPECT_EQ(d.status, ListFile::Status::Read) << d.problem;
    EXPECT_EQ(w.status, ListFile::Status::Read) << w.problem;
    r.diameters = d.entries;
    r.walls = w.entries;
    int j = 0;
    std::int16_t k = 0;
    std::string temp;
    r.report = ReadBookTable(folder / "book.ini", r.book, {j, k, temp});
    return r;
}

}  // namespace

TEST(DataFolder, ChineseFolderNamesAndLineEndsChangeNothing)
{
    test::TempFolder temp;
    const Read reference = readFolder(TESSIK_DATA_DIR);
    ASSERT_FALSE(reference.diameters.empty());
    ASSERT_GT(reference.report.values, 0);
    for (bool crlf : {false, true}) {
        const std::string name = std::string("弯头 数据 ") + (crlf ? "CRLF" : "LF");
        const std::filesystem::path folder = temp.path() / os::pathFromUtf8(name);
        std::filesystem::create_directory(folder);
        for (const char* file : {"zjxl.ini", "gbhd.ini", "book.ini"}) {
            std::ofstream out(folder / file, std::ios::binary);
            out << withLineEnds(shipped(file), crlf);
        }
        const Read r = readFolder(folder);
        EXPECT_EQ(r.diameters, reference.diameters) << name;
        EXPECT_EQ(r.walls, reference.walls) << name;
        EXPECT_EQ(r.book, reference.book) << name;
        EXPECT_EQ(r.report.values, reference.report.values) << name;
        EXPECT_EQ(r.report.problems, reference.report.problems) << name;
        // The folder is named to the user as it is called, in UTF-8.
        EXPECT_NE(r.report.folder.find(name), std::string::npos) << r.report.folder;
        std::filesystem::remove(folder / "gbhd.ini");
        const ListFile missing = loadListFile(folder, "gbhd.ini");
        EXPECT_EQ(missing.status, ListFile::Status::Missing);
        EXPECT_NE(missing.problem.find(name), std::string::npos) << missing.problem;
    }
}
