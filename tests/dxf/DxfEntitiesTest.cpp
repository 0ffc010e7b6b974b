// A drawing made from scratch with the entity makers, judged by ezdxf: it
// audits clean and holds what was put in, the Chinese text included (GBK,
// with \U+XXXX for what GBK lacks, decoded by ezdxf's own decoder).

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include <unistd.h>

#include "DxfEntities.h"
#include "FileAccess.h"

using namespace tessik::dxf;

TEST(DxfEntities, ANewDrawingReadsBackInEzdxf)
{
    if (::access("/usr/bin/python3", X_OK) != 0) GTEST_SKIP() << "no /usr/bin/python3";
    DxfDrawing d = DxfDrawing::blank();
    ASSERT_TRUE(d.addLayer("CUT", 1));
    ASSERT_TRUE(d.addLayer("cut", 3));  // the same layer: names ignore case
    d.addEntity(Space::Model, lineEntity("CUT", {0, 0}, {100, 0.1}));
    d.addEntity(Space::Model, lwpolylineEntity("CUT", {{0, 0}, {10, 0}, {10, 10}}, true, {0.5, 0, 0}));
    d.addEntity(Space::Model, *textEntity(d, "0", {0, -10}, 3.5, 30, "展开图 ∅ Ä"));
    EXPECT_FALSE(textEntity(d, "0", {0, 0}, 1, 0, "two\nlines").ok());
    const auto bytes = d.toBytes();
    ASSERT_TRUE(bytes.ok()) << bytes.error().description;
    char name[] = "/tmp/tessik-entities-XXXXXX.dxf";
    const int fd = ::mkstemps(name, 4);
    ASSERT_GE(fd, 0);
    ::close(fd);
    ASSERT_TRUE(replaceFile(name, *bytes).ok());
    const std::string script =
        "import sys\n"
        "try:\n    import ezdxf\n    from ezdxf.lldxf.encoding import decode_dxf_unicode\nexcept ImportError:\n    sys.exit(77)\n"
        "d = ezdxf.readfile(sys.argv[1]); a = d.audit()\n"
        "m = d.modelspace()\n"
        "t = m.query('TEXT')[0]; p = m.query('LWPOLYLINE')[0]\n"
        "print(len(a.errors), len(m), d.layers.get('CUT').color, decode_dxf_unicode(t.dxf.text), t.dxf.rotation, "
        "p.closed, list(p.get_points('b')), m.query('LINE')[0].dxf.end.y)\n";
    const std::string command = "/usr/bin/python3 -c \"$(cat <<'PY'\n" + script + "PY\n)\" " + name;
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string out;
    char buf[512];
    while (std::fgets(buf, sizeof buf, pipe)) out += buf;
    const int status = ::pclose(pipe);
    std::remove(name);
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "ezdxf is not installed";
    EXPECT_EQ(out, "0 3 1 展开图 ∅ Ä 30.0 True [(0.5,), (0.0,), (0.0,)] 0.1\n");
}
