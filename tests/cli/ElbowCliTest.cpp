#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

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
ProgramRun runProgram(const std::string& arguments)
{
    const std::string base = testing::TempDir() + "elbow_cli_" + std::to_string(::getpid());
    const std::string command =
        std::string(TESSIK_ELBOW_EXE) + " " + arguments + " >" + base + ".out 2>" + base + ".err";
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

}  // namespace
}  // namespace tessik
