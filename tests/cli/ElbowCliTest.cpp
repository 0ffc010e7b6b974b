#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "ElbowCli.h"

namespace tessik {
namespace {

struct ProgramRun {
    int status = -1;
    std::string out;
    std::string err;
};

std::string slurp(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs the real program through the shell, arguments given shell-quoted.
ProgramRun runProgram(const std::string& arguments, const std::string& workingDirectory = ".")
{
    const std::string base = testing::TempDir() + "elbow_cli_" + std::to_string(::getpid());
    const std::string command = "cd '" + workingDirectory + "' && " + std::string(TESSIK_ELBOW_EXE) + " " +
                                arguments + " >" + base + ".out 2>" + base + ".err";
    const int raw = std::system(command.c_str());
    ProgramRun r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = slurp(base + ".out");
    r.err = slurp(base + ".err");
    std::remove((base + ".out").c_str());
    std::remove((base + ".err").c_str());
    return r;
}

const std::string kWorked = "--angle 90 --segments 2 --diameter '*100' --radius 150";

TEST(ElbowCliProgram, WorkedExampleFrontView)
{
    const ProgramRun r = runProgram(kWorked);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find(R"("DblAB": 90, "DblA": 15, "DblB": 30, "DblD": 100, "DblR": 150, "DblR1": 100, "DblR2": 200)"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find(R"("DblC1": 51.763808157774726)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(R"("IntN": 2})"), std::string::npos);
    EXPECT_NE(r.out.find(R"({"type": "line", "start": [0, -50, 0], "end": [0, 50, 0]})"), std::string::npos);
    EXPECT_NE(r.out.find(R"({"type": "arc", "center": [0, -150, 0], "radius": 150, "startAngle": 0, "endAngle": 1.5707963})"),
              std::string::npos);
}

TEST(ElbowCliProgram, ViewsAndPoints)
{
    const ProgramRun left = runProgram(kWorked + " --view left --at=-5,2");
    ASSERT_EQ(left.status, 0) << left.err;
    EXPECT_NE(left.out.find(R"({"type": "ellipse", "center": [-5, 2, 0], "majorAxis": [50, 0, 0], "ratio": 1})"),
              std::string::npos)
        << left.out;
    EXPECT_NE(left.out.find(R"("startAngle": 3.1415926, "endAngle": 6.2831852)"), std::string::npos);

    const ProgramRun right = runProgram(kWorked + " --view right --at -5,2,25");
    ASSERT_EQ(right.status, 0) << right.err;
    EXPECT_NE(right.out.find(R"("center": [-5, 2, 0], "majorAxis": [50, 0, 0], "ratio": 1, "startAngle": 0)"),
              std::string::npos)
        << right.out;

    const ProgramRun top = runProgram(kWorked + " --view top");
    ASSERT_EQ(top.status, 0);
    EXPECT_NE(top.out.find("\"entities\": [\n ]}"), std::string::npos) << top.out;
}

TEST(ElbowCliProgram, UnusableFieldsExitTwoAndNameTheField)
{
    struct Case {
        const char* args;
        const char* mentions;
    } cases[] = {
        {"--angle 弯角 --segments 2 --diameter 100 --radius 150", "--angle"},
        {"--angle 90 --segments 32768 --diameter 100 --radius 150", "--segments"},
        {"--angle 90 --segments 2 --diameter '**100' --radius 150", "--diameter"},
        {"--angle 90 --segments 2 --diameter 100 --radius '(空白)'", "--radius"},
        {"--angle 90 --segments -1 --diameter 100 --radius 150", "--segments"},
    };
    for (const Case& c : cases) {
        const ProgramRun r = runProgram(c.args);
        EXPECT_EQ(r.status, 2) << c.args;
        EXPECT_EQ(r.out, "") << c.args;
        EXPECT_EQ(r.err.rfind("参数输入出错。", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(c.mentions), std::string::npos) << r.err;
    }
}

// A derived value that overflows names the fields it comes from, and only those.
TEST(ElbowCliProgram, OverflowOfADerivedValueNamesItsOwnFields)
{
    struct Case {
        const char* args;
        const char* derived;
        std::vector<const char*> named;
        std::vector<const char*> notNamed;
    } cases[] = {
        {"--angle 90 --segments -1 --diameter 100 --radius 150", "DblA", {"角度", "中节数"},
         {"外径", "曲率半径"}},
        {"--angle 90 --segments 2 --diameter 1.7e308 --radius 1.7e308", "DblR2", {"外径", "曲率半径"},
         {"角度", "中节数"}},
    };
    for (const Case& c : cases) {
        const ProgramRun r = runProgram(c.args);
        EXPECT_EQ(r.status, 2) << c.args;
        const auto at = r.err.find(std::string(" ") + c.derived + " ");
        ASSERT_NE(at, std::string::npos) << r.err;
        const std::string line = r.err.substr(r.err.rfind('\n', at) + 1, r.err.find('\n', at) - r.err.rfind('\n', at));
        for (const char* field : c.named) EXPECT_NE(line.find(field), std::string::npos) << line;
        for (const char* field : c.notNamed) EXPECT_EQ(line.find(field), std::string::npos) << line;
    }
}

TEST(ElbowCliProgram, WrongUsageAndHelp)
{
    for (const char* args : {"", "--angle 90", "--angle 90 --segments 2 --diameter 100 --radius 150 --view side",
                             "--angle 90 --segments 2 --diameter 100 --radius 150 --at 1",
                             "--angle 90 --segments 2 --diameter 100 --radius 150 --bogus 1",
                             "--angle 90 --angle 45 --segments 2 --diameter 100 --radius 150",
                             "--angle 90 --segments 2 --diameter 100 --radius"}) {
        const ProgramRun r = runProgram(args);
        EXPECT_EQ(r.status, 1) << args;
        EXPECT_EQ(r.out, "") << args;
        EXPECT_NE(r.err.find("usage"), std::string::npos) << args;
    }
    const ProgramRun help = runProgram("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--view"), std::string::npos);
}

TEST(ElbowCliArguments, ValuesMayStartWithAMinusSign)
{
    const auto parsed = parseElbowArguments({"--angle", "-90", "--segments=2", "--diameter", "100", "--radius",
                                             "-150", "--at", "-1.5,-2,3"});
    ASSERT_TRUE(parsed.options) << parsed.usageError;
    EXPECT_EQ(parsed.options->angle, "-90");
    EXPECT_EQ(parsed.options->segments, "2");
    EXPECT_EQ(parsed.options->radius, "-150");
    EXPECT_EQ(parsed.options->at, (Point3{-1.5, -2, 3}));
}

// --- Proposals from book.ini ---------------------------------------------------
// (the values and the weight on random inputs: standards_model.py)

const std::string kData = std::string("--data '") + TESSIK_DATA_DIR + "'";

TEST(ElbowCliStandards, ProposesFromTheShippedBookWhenLeftOut)
{
    struct Case {
        const char* args;
        const char* proposal;
        bool message;
    } cases[] = {
        // 1422 lies in the range 1400.00001 to 3000: factor 1, five middle segments at 90 degrees.
        {"--angle 90 --diameter '*1422'", R"("proposal": {"radius": "1422", "segments": "5", "outOfRange": false)", false},
        {"--angle 45 --diameter 5000", R"("proposal": {"radius": "5000", "segments": "2", "outOfRange": true)", true},
        {"--angle 75 --diameter 508 --segments 3", R"x("proposal": {"radius": "762", "segments": "(空白)", "outOfRange": false)x", false},
        {"--angle 90 --diameter 200 --radius 999", R"("proposal": {"radius": "300", "segments": "2", "outOfRange": false)", false},
    };
    for (const Case& c : cases) {
        const ProgramRun r = runProgram(std::string(c.args) + " " + kData + " --view top");
        ASSERT_EQ(r.status, 0) << c.args << r.err;
        EXPECT_NE(r.out.find(c.proposal), std::string::npos) << c.args << "\n" << r.out;
        EXPECT_EQ(r.err.find("此范围内尚未给出标准，请自行输入！") != std::string::npos, c.message) << c.args << r.err;
        EXPECT_EQ(r.out.find("\"weight\""), std::string::npos) << "no weight without --wall";
    }
}

TEST(ElbowCliStandards, NoProposalForAnAngleWithoutRowAndNoneGiven)
{
    const ProgramRun r = runProgram("--angle 75 --diameter 508 " + kData);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("未给出 --segments"), std::string::npos) << r.err;
}

TEST(ElbowCliStandards, BookIsReadFromTheWorkingDirectoryByDefault)
{
    const ProgramRun r = runProgram("--angle 30 --diameter 3000 --view top", TESSIK_DATA_DIR);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(R"("proposal": {"radius": "3000", "segments": "1", "outOfRange": false)"), std::string::npos)
        << r.out;
}

// An empty table proposes no radius (a factor of 0), so there is no design.
TEST(ElbowCliStandards, MissingBookSaysWhereAndProposesNoRadius)
{
    std::string empty = testing::TempDir() + "elbow_cli_XXXXXX";
    ASSERT_NE(::mkdtemp(empty.data()), nullptr);
    const ProgramRun r = runProgram("--angle 90 --diameter 200 --view top --data '" + empty + "'");
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find("book.ini"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(empty), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    ::rmdir(empty.c_str());
}

// A damaged cell elsewhere in the table is told, with its line; the design
// from the sound cells goes on.
TEST(ElbowCliStandards, DamagedBookIsToldOnStandardError)
{
    std::string folder = testing::TempDir() + "elbow_cli_XXXXXX";
    ASSERT_NE(::mkdtemp(folder.data()), nullptr);
    const std::string book = folder + "/book.ini";
    {
        std::ofstream f(book, std::ios::binary);
        f << "1.5,2,2.5,3,-1,4\r\n11,12,13,14,15,16\r\n21,22,23,24,25,26\r\n31,32,33,34,35,36\r\n"
             "41,42,43,44,45,46\r\n";
    }
    const ProgramRun r = runProgram("--angle 90 --diameter 200 --view top --data '" + folder + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("tessik-elbow: 数据文件 book.ini"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("第 1 行的数值 -1 不能作弯曲半径系数"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find(R"("proposal": {"radius": "300", "segments": "11", "outOfRange": false)"), std::string::npos)
        << r.out;
    ::unlink(book.c_str());
    ::rmdir(folder.c_str());
}

// A factor whose radius the field cannot hold is told with the table's
// problems, and no radius is proposed: without one there is no design.
TEST(ElbowCliStandards, RadiusTooLongToWriteIsTold)
{
    std::string folder = testing::TempDir() + "elbow_cli_XXXXXX";
    ASSERT_NE(::mkdtemp(folder.data()), nullptr);
    std::ofstream(folder + "/book.ini", std::ios::binary)
        << "1.5,2,2.5,1e300,3,4\r\n11,12,13,14,15,16\r\n21,22,23,24,25,26\r\n31,32,33,34,35,36\r\n"
           "41,42,43,44,45,46\r\n";
    const std::string design = "--angle 90 --diameter 1400 --view top --data '" + folder + "'";
    const ProgramRun r = runProgram(design);
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("tessik-elbow: 数据文件 book.ini"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("第 1 行的弯曲半径系数 1E+300 乘以外径 1400"), std::string::npos) << r.err;

    const ProgramRun given = runProgram(design + " --radius 2100");
    EXPECT_EQ(given.status, 0) << given.err;
    EXPECT_NE(given.err.find("1E+300"), std::string::npos) << given.err;
    EXPECT_NE(given.out.find(R"x("proposal": {"radius": "(空白)", "segments": "14", "outOfRange": false)x"),
              std::string::npos)
        << given.out;
    std::filesystem::remove_all(folder);
}

// --- Fabrication -----------------------------------------------------------------
// (the numbers on random inputs: fabrication_model.py; the files: template_files_check.py)

const std::string kPublished = "--angle 90 --segments 3 --diameter 273 --radius 381 --view top";

TEST(ElbowCliFabrication, PublishedElbowAndOnlyWithTheFlag)
{
    const ProgramRun r = runProgram(kPublished + " --fabrication");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(R"("cutback": 27.15153814732332)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(R"("weldPerJoint": 866.07639407319)"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("\"weight\""), std::string::npos) << "no weight without --wall";
    EXPECT_EQ(runProgram(kPublished).out.find("fabrication"), std::string::npos);

    const ProgramRun none = runProgram("--angle 90 --segments 0 --diameter 273 --radius 381 --fabrication");
    ASSERT_EQ(none.status, 0);
    EXPECT_EQ(none.out.find("\"middle\", "), std::string::npos) << "no middle piece entry when IntN is 0";
}

TEST(ElbowCliFabrication, WhatCannotBeDevelopedExitsTwo)
{
    for (const char* args : {"--angle 180 --segments 0 --diameter 273 --radius 381 --fabrication",
                             "--angle -90 --segments 3 --diameter 273 --radius 381 --fabrication",
                             "--angle 90 --segments 3 --diameter 273 --radius 381 --template-diameter inside "
                             "--wall 壁厚 --fabrication"}) {
        const ProgramRun r = runProgram(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(r.out, "") << args;
        EXPECT_EQ(r.err.rfind("无法展开：", 0), 0u) << r.err;
    }
}

// Cuts that would meet inside the pipe: no template file, not even a
// partial one, and the reason on standard error.
TEST(ElbowCliFabrication, TemplateThatWouldCrossItselfIsRefused)
{
    const std::string svg = testing::TempDir() + "crossing_" + std::to_string(::getpid()) + ".svg";
    const std::string dxf = testing::TempDir() + "crossing_" + std::to_string(::getpid()) + ".dxf";
    for (const char* radius : {"136", "0"}) {
        const ProgramRun r = runProgram("--angle 90 --segments 3 --diameter 273 --radius " + std::string(radius) +
                                        " --template-svg " + svg + " --template-dxf " + dxf);
        EXPECT_EQ(r.status, 2) << radius;
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("自相交叉"), std::string::npos) << r.err;
        EXPECT_FALSE(std::ifstream(svg).good());
        EXPECT_FALSE(std::ifstream(dxf).good());
    }
    const ProgramRun half = runProgram("--angle 90 --segments 3 --diameter 273 --radius 136.5 --template-svg " + svg);
    EXPECT_EQ(half.status, 0) << half.err;  // the cuts just touch on the inner side
    std::remove(svg.c_str());
}

TEST(ElbowCliFabrication, WrongUsage)
{
    for (const char* options : {"--fabrication --divisions 3", "--fabrication --divisions 721",
                                "--fabrication --divisions 16.5", "--fabrication --template-diameter middle",
                                "--fabrication --template-diameter mean", "--divisions 16",
                                "--template-pdf t.pdf --paper A5", "--fabrication --paper A3",
                                "--fabrication --fabrication", "--template-svg", "--fabrication --kerf 2",
                                "--template-dxf t.dxf --kerf 20.5", "--template-dxf t.dxf --kerf -1",
                                "--template-dxf t.dxf --kerf nan", "--template-dxf t.dxf --seam top",
                                "--template-dxf t.dxf --template-diameter plate"}) {
        const ProgramRun r = runProgram(kPublished + " " + options);
        EXPECT_EQ(r.status, 1) << options;
        EXPECT_EQ(r.out, "") << options;
    }
}

TEST(ElbowCliFabrication, UnwritableTemplateExitsThree)
{
    const ProgramRun r = runProgram(kPublished + " --fabrication --template-svg /nonexistent-folder/t.svg");
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("/nonexistent-folder/t.svg"), std::string::npos) << r.err;

}

// Each template file is written through a link and never over a FIFO, a
// folder or a read-only file (the tests run as root, which access() lets by).
TEST(ElbowCliFabrication, TemplatesReplaceOnlyWritableRegularFiles)
{
    std::string dir = testing::TempDir() + "elbow_cli_XXXXXX";
    ASSERT_NE(::mkdtemp(dir.data()), nullptr);
    const auto at = [&](const std::string& name) { return dir + "/" + name; };
    const auto kind = [](const std::string& p) {
        struct stat st {};
        return ::lstat(p.c_str(), &st) == 0 ? st.st_mode : mode_t{0};
    };
    ASSERT_EQ(::mkfifo(at("fifo").c_str(), 0644), 0);
    ASSERT_EQ(::mkdir(at("folder").c_str(), 0755), 0);
    std::ofstream(at("read-only")) << "kept";
    ASSERT_EQ(::chmod(at("read-only").c_str(), 0444), 0);
    std::ofstream(at("real")) << "old";
    ASSERT_EQ(::chmod(at("real").c_str(), 0640), 0);
    ASSERT_EQ(::symlink("real", at("link").c_str()), 0);

    struct Writer {
        const char* option;
        const char* start;
    };
    for (const Writer w : {Writer{"--template-svg", "<?xml"}, Writer{"--template-pdf", "%PDF-"},
                           Writer{"--template-dxf", "  0"}}) {
        for (const auto& [name, reason] : {std::pair{"fifo", "不是普通文件"}, std::pair{"folder", "文件夹"},
                                           std::pair{"read-only", "只读"}}) {
            const mode_t before = kind(at(name));
            const ProgramRun r = runProgram(kPublished + " --fabrication " + w.option + " '" + at(name) + "'");
            EXPECT_EQ(r.status, 3) << w.option << " " << name;
            EXPECT_EQ(r.err.rfind("tessik-elbow: 无法保存“" + at(name) + "”：", 0), 0u) << r.err;
            EXPECT_NE(r.err.find(reason), std::string::npos) << r.err;
            EXPECT_EQ(kind(at(name)), before) << w.option << " " << name;
        }
        EXPECT_EQ(slurp(at("read-only")), "kept");

        const ProgramRun r = runProgram(kPublished + " --fabrication " + w.option + " '" + at("link") + "'");
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(S_ISLNK(kind(at("link")))) << w.option;
        EXPECT_EQ(kind(at("real")), S_IFREG | 0640) << w.option;
        EXPECT_EQ(slurp(at("real")).rfind(w.start, 0), 0u) << w.option;
    }
    std::filesystem::remove_all(dir);
}

// A PDF of more pages than anyone prints unasked is written with a warning
// naming its page count (which is the file's); an absurd one is refused at
// once, before any template file is written, and what stood there is kept.
TEST(ElbowCliFabrication, TemplatePdfPageLimits)
{
    std::string dir = testing::TempDir() + "elbow_cli_XXXXXX";
    ASSERT_NE(::mkdtemp(dir.data()), nullptr);
    const std::string pdf = dir + "/t.pdf", svg = dir + "/t.svg";

    ProgramRun r = runProgram("--angle 90 --segments 3 --diameter 1400 --radius 2100 --template-pdf '" + pdf + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string lead = "tessik-elbow: 注意：样板 PDF 共 ";
    ASSERT_EQ(r.err.rfind(lead, 0), 0u) << r.err;
    const long pages = std::strtol(r.err.c_str() + lead.size(), nullptr, 10);
    EXPECT_GT(pages, 100) << r.err;
    EXPECT_NE(r.err.find(" 页 A4 纸"), std::string::npos) << r.err;
    const std::string bytes = slurp(pdf);
    long written = 0;
    for (std::size_t at = bytes.find("/Type /Page "); at != std::string::npos; at = bytes.find("/Type /Page ", at + 1))
        ++written;
    EXPECT_EQ(written, pages);

    const auto started = std::chrono::steady_clock::now();
    r = runProgram("--angle 90 --segments 3 --diameter 27300 --radius 40000 --template-svg '" + svg +
                   "' --template-pdf '" + pdf + "'");
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.err.rfind("tessik-elbow: 无法保存“" + pdf + "”：", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("2000 页"), std::string::npos) << r.err;
    EXPECT_EQ(slurp(pdf), bytes);
    EXPECT_FALSE(std::filesystem::exists(svg));
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tessik
