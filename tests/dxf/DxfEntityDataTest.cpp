// The typed entity data, judged by ezdxf: a drawing holding every kind the
// layer interprets (in R2000 with GBK text and in R2018) is read and each
// entity's data written out as JSON; ezdxf reads the same file and every
// value must agree, and no entity of an interpreted kind may be missing.
// Hostile records are checked here too: counts that lie, values cut short.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "DxfEntityData.h"
#include "DxfText.h"
#include "FileAccess.h"

using namespace tessik;
using namespace tessik::dxf;

// The judge is Debian's python3 with ezdxf, which a Windows build cannot start.
#ifndef _WIN32
namespace {

constexpr double kDegree = 180.0 / 3.14159265358979323846;

class Json {
public:
    Json& key(const char* k)
    {
        out_ << (first_ ? "" : ",") << '"' << k << "\":";
        first_ = false;
        return *this;
    }
    Json& num(double v)
    {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.17g", v);
        out_ << buf;
        return *this;
    }
    Json& str(const std::string& s)
    {
        out_ << '"';
        for (unsigned char c : s) {
            if (c == '"' || c == '\\') out_ << '\\' << c;
            else if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out_ << buf;
            } else out_ << c;
        }
        out_ << '"';
        return *this;
    }
    Json& boolean(bool b)
    {
        out_ << (b ? "true" : "false");
        return *this;
    }
    Json& raw(const std::string& s)
    {
        out_ << s;
        return *this;
    }
    template <class Range, class F>
    Json& list(const Range& r, F each)
    {
        out_ << '[';
        bool firstItem = true;
        for (const auto& x : r) {
            if (!firstItem) out_ << ',';
            firstItem = false;
            each(*this, x);
        }
        out_ << ']';
        return *this;
    }
    Json& point(const Point3& p) { return list(p, [](Json& j, double v) { j.num(v); }); }
    Json& point(const Point2& p) { return list(p, [](Json& j, double v) { j.num(v); }); }
    Json& numbers(const std::vector<double>& v) { return list(v, [](Json& j, double x) { j.num(x); }); }
    Json& vertices(const std::vector<entities::PolylineVertex>& v)
    {
        return list(v, [](Json& j, const entities::PolylineVertex& p) {
            j.raw("[").num(p.x).raw(",").num(p.y).raw(",").num(p.bulge).raw("]");
        });
    }
    std::string text() const { return "{" + out_.str() + "}"; }

private:
    std::ostringstream out_;
    bool first_ = true;
};

struct Dumper {
    Json& j;
    std::function<std::string(const std::string&)> name;

    void operator()(const entities::Line& l) { j.key("kind").str("LINE").key("start").point(l.start).key("end").point(l.end); }
    void operator()(const entities::Circle& c) { j.key("kind").str("CIRCLE").key("center").point(c.center).key("radius").num(c.radius); }
    void operator()(const entities::Arc& a)
    {
        j.key("kind").str("ARC").key("center").point(a.center).key("radius").num(a.radius);
        j.key("start").num(a.startAngle * kDegree).key("end").num(a.endAngle * kDegree);
    }
    void operator()(const entities::Ellipse& e)
    {
        j.key("kind").str("ELLIPSE").key("center").point(e.center).key("major").point(e.majorAxis);
        j.key("ratio").num(e.ratio).key("start").num(e.startParam).key("end").num(e.endParam);
    }
    void operator()(const entities::Point& p) { j.key("kind").str("POINT").key("position").point(p.position); }
    void operator()(const entities::Polyline& p)
    {
        j.key("kind").str("LWPOLYLINE").key("vertices").vertices(p.vertices);
        j.key("closed").boolean(p.closed).key("elevation").num(p.elevation);
    }
    void operator()(const PolylineEntity& p)
    {
        j.key("kind").str("POLYLINE").key("vertices").vertices(p.outline.vertices);
        j.key("closed").boolean(p.outline.closed).key("is3d").boolean(p.is3d).key("elevation").num(p.outline.elevation);
    }
    void operator()(const Spline& s)
    {
        j.key("kind").str("SPLINE").key("degree").num(s.degree).key("knots").numbers(s.knots);
        j.key("weights").numbers(s.weights).key("closed").boolean(s.closed);
        j.key("control").list(s.control, [](Json& k, const Point3& p) { k.point(p); });
        j.key("fit").list(s.fit, [](Json& k, const Point3& p) { k.point(p); });
    }
    void operator()(const TextEntity& t)
    {
        j.key("kind").str(t.attribute ? "ATTRIB" : "TEXT").key("text").str(t.text.text).key("insert").point(t.text.insertion);
        j.key("height").num(t.text.height).key("rotation").num(t.text.rotation * kDegree);
        j.key("halign").num(t.horizontal).key("valign").num(t.vertical);
        if (t.alignment) j.key("align").point(*t.alignment);
    }
    void operator()(const MText& t)
    {
        j.key("kind").str("MTEXT").key("text").str(t.text).key("insert").point(t.insertion);
        j.key("height").num(t.height).key("attachment").num(t.attachment);
    }
    void operator()(const Insert& i)
    {
        j.key("kind").str("INSERT").key("block").str(name(i.block)).key("insert").point(i.insertion);
        j.key("xscale").num(i.xScale).key("yscale").num(i.yScale).key("rotation").num(i.rotation * kDegree);
    }
    void operator()(const Dimension& d) { j.key("kind").str("DIMENSION").key("block").str(name(d.block)); }
    void operator()(const Quad& q)
    {
        const char* kind = q.kind == Quad::Kind::Solid ? "SOLID" : q.kind == Quad::Kind::Trace ? "TRACE" : "3DFACE";
        j.key("kind").str(kind).key("corners").list(q.corners, [](Json& k, const Point3& p) { k.point(p); });
    }
    void operator()(const Hatch& h)
    {
        j.key("kind").str("HATCH").key("pattern").str(h.pattern).key("solid").boolean(h.solid);
        j.key("elevation").num(h.elevation).key("paths").list(h.paths, [](Json& k, const HatchPath& p) {
            Json path;
            if (p.polyline) path.key("polyline").vertices(p.polyline->vertices);
            else path.key("edges").list(p.edges, [](Json& e, const HatchEdge& edge) { edgeJson(e, edge); });
            k.raw(path.text());
        });
    }
    static void edgeJson(Json& e, const HatchEdge& edge)
    {
        std::visit(entities::Overload{
                       [&](const HatchLine& l) { e.raw("[\"line\",").point(l.start).raw(",").point(l.end).raw("]"); },
                       [&](const HatchArc& a) {
                           e.raw("[\"arc\",").point(a.center).raw(",").num(a.radius).raw(",").num(a.startAngle * kDegree);
                           e.raw(",").num(a.endAngle * kDegree).raw(",").boolean(a.ccw).raw("]");
                       },
                       [&](const HatchEllipse& a) {
                           e.raw("[\"ellipse\",").point(a.center).raw(",").point(a.majorAxis).raw(",").num(a.ratio);
                           e.raw(",").num(a.startAngle * kDegree).raw(",").num(a.endAngle * kDegree).raw(",");
                           e.boolean(a.ccw).raw("]");
                       },
                       [&](const HatchSpline& s) {
                           e.raw("[\"spline\",").num(s.degree).raw(",").numbers(s.knots).raw(",");
                           e.list(s.control, [](Json& k, const Point2& p) { k.point(p); });
                           e.raw(",").numbers(s.weights).raw("]");
                       },
                   },
                   edge);
    }
};

// Names are kept as the file spells them (in its code page); the judge reads UTF-8.
std::string dumpLine(const InterpretedEntity& e, const DxfDrawing& d)
{
    const auto name = [&](const std::string& s) { return decodeDxfText(s, d.codePage(), d.unicode()); };
    Json j;
    j.key("handle").str(e.handle).key("layer").str(name(e.style.layer)).key("color").num(e.style.color.index);
    j.key("linetype").str(name(e.style.linetype)).key("extrusion").point(e.extrusion);
    std::visit(Dumper{j, name}, e.data);
    return j.text();
}

// Every entity of the drawing and of the blocks its references and
// dimensions name, one JSON object a line.
std::string dumpDrawing(const DxfDrawing& d)
{
    std::vector<std::span<const DxfTag>> records;
    for (std::size_t i = 0; i < d.entityCount(); ++i) records.push_back(d.entityTags(i));
    std::vector<InterpretedEntity> all = interpretRecords(records, d);
    std::set<std::string> blocks;
    for (std::size_t n = 0; n < all.size(); ++n) {
        std::string name;
        if (const auto* i = std::get_if<Insert>(&all[n].data)) name = i->block;
        if (const auto* dim = std::get_if<Dimension>(&all[n].data)) name = dim->block;
        if (name.empty() || !blocks.insert(name).second) continue;
        for (auto& e : interpretRecords(d.blockEntities(name), d)) all.push_back(std::move(e));
    }
    std::string out;
    for (const InterpretedEntity& e : all) out += dumpLine(e, d) + "\n";
    return out;
}

int run(const std::string& command, std::string* output = nullptr)
{
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return -1;
    char buf[512];
    while (std::fgets(buf, sizeof buf, pipe))
        if (output) *output += buf;
    const int status = ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

class JudgedByEzdxf : public ::testing::TestWithParam<const char*> {};

TEST_P(JudgedByEzdxf, EveryInterpretedEntityAgrees)
{
    if (::access("/usr/bin/python3", X_OK) != 0) GTEST_SKIP() << "no /usr/bin/python3";
    char dir[] = "/tmp/tessik-entity-data-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const std::string path = std::string(dir) + "/drawing.dxf", dump = std::string(dir) + "/dump.jsonl";
    const std::string judge = std::string("/usr/bin/python3 ") + TESSIK_ENTITY_JUDGE;
    const int made = run(judge + " make " + GetParam() + " " + path);
    if (made == 77) GTEST_SKIP() << "ezdxf is not installed";
    ASSERT_EQ(made, 0);

    auto bytes = readRegularFile(path);
    ASSERT_TRUE(bytes.ok());
    auto drawing = DxfDrawing::fromBytes(*bytes);
    ASSERT_TRUE(drawing.ok()) << drawing.error().description;
    std::ofstream(dump) << dumpDrawing(*drawing);
    std::string verdict;
    EXPECT_EQ(run(judge + " judge " + path + " " + dump + " 2>&1", &verdict), 0) << verdict;
    run("rm -rf " + std::string(dir));
}

INSTANTIATE_TEST_SUITE_P(Versions, JudgedByEzdxf, ::testing::Values("R2000", "R2018"));
#endif

namespace {

DxfDrawing drawingOf(const std::string& entities)
{
    auto d = DxfDrawing::fromBytes("0\nSECTION\n2\nENTITIES\n" + entities + "0\nENDSEC\n0\nEOF\n");
    EXPECT_TRUE(d.ok()) << d.error().description;
    return d.ok() ? std::move(d).value() : DxfDrawing::blank();
}

std::optional<InterpretedEntity> only(const DxfDrawing& d)
{
    std::vector<std::span<const DxfTag>> records;
    for (std::size_t i = 0; i < d.entityCount(); ++i) records.push_back(d.entityTags(i));
    auto all = interpretRecords(records, d);
    if (all.size() != 1) return std::nullopt;
    return all[0];
}

}  // namespace

// Records cut short are kept, not interpreted; counts that lie are bounded
// by the tags there are.
TEST(EntityData, DamagedRecordsAreNotInterpretedAndCountsAreBoundedByTheTags)
{
    EXPECT_FALSE(only(drawingOf("0\nLINE\n10\n0\n20\n0\n11\n5\n")));                // end without y
    EXPECT_FALSE(only(drawingOf("0\nARC\n10\n0\n20\n0\n40\n5\n50\n0\n")));          // no end angle
    EXPECT_FALSE(only(drawingOf("0\nLWPOLYLINE\n90\n3\n10\n0\n20\n0\n10\n1\n20\n1\n")));  // count says 3
    EXPECT_FALSE(only(drawingOf("0\nLWPOLYLINE\n10\n0\n10\n1\n20\n1\n")));          // a vertex without y
    EXPECT_FALSE(only(drawingOf("0\nPOLYLINE\n70\n16\n0\nVERTEX\n10\n0\n20\n0\n0\nSEQEND\n")));  // a mesh

    const auto hatch = only(drawingOf("0\nHATCH\n70\n1\n91\n1000000000\n92\n1\n93\n1000000000\n72\n1\n10\n0\n20\n0\n"
                                      "11\n5\n21\n0\n72\n1\n10\n5\n20\n0\n11\n0\n21\n5\n75\n0\n"));
    ASSERT_TRUE(hatch);
    const auto& h = std::get<Hatch>(hatch->data);
    ASSERT_EQ(h.paths.size(), 1u);
    EXPECT_EQ(h.paths[0].edges.size(), 2u);
    EXPECT_TRUE(h.solid);

    const auto spline = only(drawingOf("0\nHATCH\n91\n1\n92\n1\n93\n1\n72\n4\n94\n3\n95\n1000000000\n96\n4\n40\n0\n"));
    ASSERT_TRUE(spline);
    EXPECT_TRUE(std::get<Hatch>(spline->data).paths.empty());  // its knots cut short: nothing to follow
}

TEST(EntityData, PlainTextReadsAsTheUserSeesIt)
{
    EXPECT_EQ(plainText("%%c114.3 %%d %%p1", false), "∅114.3 ° ±1");
    EXPECT_EQ(plainText("{\\fSimSun|b0;多行}文字\\P第二行\\~\\pxqc;\\\\x", true), "多行文字\n第二行 \\x");
}
