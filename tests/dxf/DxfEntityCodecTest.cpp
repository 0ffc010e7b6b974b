// The entity codec: what it writes it reads back, as a new record and over a
// record read from a file (no value of the file may outlive the change), and
// a drawing made with it is judged by ezdxf: it audits clean and holds what
// was put in, the Chinese text included (GBK, with \U+XXXX for what GBK
// lacks, decoded by ezdxf's own decoder).

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <type_traits>
#include <vector>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "DxfEntityCodec.h"
#include "DxfEntityData.h"
#include "FileAccess.h"

using namespace tessik;
using namespace tessik::dxf;

namespace {

constexpr double kPi = 3.14159265358979323846;

// Every kind, with the values a codec could drop or garble: a z, a bulge, an
// elevation, a rotation, a justification, a text that needs an escape.
const entities::Entity kEach[] = {
    entities::Line{{0, 0, 1.5}, {100, 0.1, -2}},
    entities::Arc{{10, 10, 0}, 5, kPi / 6, 7 * kPi / 4},
    entities::Circle{{-20, 5, 3}, 7.25},
    entities::Ellipse{{0, 40, 0}, {20, 5, 0}, 0.4, 0.5, 2.5},
    entities::Point{{3, 4, 5}},
    entities::Polyline{{{0, 0, 0.4142}, {10, 0, 0}, {10, 10, -1}}, true, 2.5},
    entities::Text{"展开图 ∅ Ä", {0, -10, 0}, 3.5, kPi / 6},
    entities::Text{"右中", {1, 2, 0}, 2, 0, entities::TextHorizontal::Right, entities::TextVertical::Middle, {60, 30, 0}},
};

// What the codec reads back must be what was written (angles through degrees
// may lose an ulp).
void expectReadsBack(const entities::Entity& wrote, const EntityData& read)
{
    const auto near = [](double a, double b) { EXPECT_NEAR(a, b, 1e-12 * (1 + std::abs(a))); };
    std::visit(
        [&](const auto& kind) {
            using Kind = std::decay_t<decltype(kind)>;
            if constexpr (std::is_same_v<Kind, entities::Text>) {
                const auto* back = std::get_if<TextEntity>(&read);
                ASSERT_NE(back, nullptr);
                near(back->text.rotation, kind.rotation);
                entities::Text text = back->text;
                text.rotation = kind.rotation;
                text.horizontal = static_cast<entities::TextHorizontal>(back->horizontal);
                text.vertical = static_cast<entities::TextVertical>(back->vertical);
                text.alignment = back->alignment.value_or(Point3{});
                EXPECT_EQ(text, kind);
            } else {
                const auto* back = std::get_if<Kind>(&read);
                ASSERT_NE(back, nullptr) << entities::EntityTraits<Kind>::dxfName;
                if constexpr (std::is_same_v<Kind, entities::Arc>) {
                    near(back->startAngle, kind.startAngle);
                    near(back->endAngle, kind.endAngle);
                    EXPECT_EQ(back->center, kind.center);
                    EXPECT_EQ(back->radius, kind.radius);
                } else {
                    EXPECT_EQ(*back, kind);
                }
            }
        },
        wrote);
}

}  // namespace

TEST(DxfEntityCodec, WhatItWritesItReadsBackNewOrOverAFileRecord)
{
    for (const char* version : {"R2000 in GBK", "R2018"}) {
        SCOPED_TRACE(version);
        DxfDrawing drawing = DxfDrawing::blank();
        if (std::string(version) == "R2018") {
            // The same drawing, saying it is AutoCAD 2018 (its texts UTF-8).
            std::string bytes = *drawing.toBytes();
            const std::size_t at = bytes.find("AC1015");
            ASSERT_NE(at, std::string::npos);
            bytes.replace(at, 6, "AC1032");
            drawing = *DxfDrawing::fromBytes(bytes);
        }
        for (const entities::Entity& e : kEach) drawing.addEntity(Space::Model, *newEntity(e, "0", drawing));
        const auto bytes = drawing.toBytes();
        ASSERT_TRUE(bytes.ok()) << bytes.error().description;
        auto read = DxfDrawing::fromBytes(*bytes);
        ASSERT_TRUE(read.ok()) << read.error().description;
        DxfDrawing& file = read.value();
        ASSERT_EQ(file.entityCount(), std::size(kEach));
        for (std::size_t i = 0; i < file.entityCount(); ++i) {
            const auto data = entityData(file.entityTags(i), file);
            ASSERT_TRUE(data.has_value()) << i;
            expectReadsBack(kEach[i], data->data);
        }
        // Written over the file's records, defaults (rotation 0, elevation 0)
        // replace what the file had, and fewer vertices replace all of them.
        std::vector<entities::Entity> changed(std::begin(kEach), std::end(kEach));
        std::get<entities::Text>(changed[6]).rotation = 0;
        std::get<entities::Polyline>(changed[5]).elevation = 0;
        std::get<entities::Polyline>(changed[5]).vertices.pop_back();
        std::get<entities::Line>(changed[0]).end = {0, 0, 0};
        for (std::size_t i = 0; i < changed.size(); ++i) ASSERT_TRUE(rewriteEntity(file, i, changed[i]).ok());
        const auto again = DxfDrawing::fromBytes(*file.toBytes());
        ASSERT_TRUE(again.ok());
        for (std::size_t i = 0; i < changed.size(); ++i) expectReadsBack(changed[i], entityData(again->entityTags(i), *again)->data);
        // What the kind does not hold (a polyline's constant width, its
        // flag 128) stays.
        file.setEntityValues(5, {{43, "0.5"}, {70, "129"}});
        ASSERT_TRUE(rewriteEntity(file, 5, changed[5]).ok());
        EXPECT_EQ(groupNumber(file.entityTags(5), 43), 0.5);
        EXPECT_EQ(groupInteger(file.entityTags(5), 70, 0), 129);
        // A text that reads the same keeps the file's spelling of it.
        file.setEntityValues(6, {{1, "a\\M+18146"}});
        ASSERT_TRUE(rewriteEntity(file, 6, entities::Text{"a：", {5, 5, 0}, 1}).ok());
        EXPECT_EQ(*firstGroup(file.entityTags(6), 1), (DxfTag{1, "a\\M+18146"}));
        EXPECT_EQ(groupPoint(file.entityTags(6), 10), (Point3{5, 5, 0}));
    }
    // A text no DXF can hold is refused, not written empty.
    const DxfDrawing blank = DxfDrawing::blank();
    EXPECT_FALSE(newEntity(entities::Text{"two\nlines"}, "0", blank).ok());
}

#ifndef _WIN32
TEST(DxfEntityCodec, ANewDrawingReadsBackInEzdxf)
{
    if (::access("/usr/bin/python3", X_OK) != 0) GTEST_SKIP() << "no /usr/bin/python3";
    DxfDrawing d = DxfDrawing::blank();
    ASSERT_TRUE(d.addLayer("CUT", 1));
    ASSERT_TRUE(d.addLayer("cut", 3));  // the same layer: names ignore case
    for (const entities::Entity& e : kEach) d.addEntity(Space::Model, *newEntity(e, "CUT", d));
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
        "t = m.query('TEXT'); p = m.query('LWPOLYLINE')[0]; r = m.query('ARC')[0]; e = m.query('ELLIPSE')[0]\n"
        "print(len(a.errors), len(m), d.layers.get('CUT').color, decode_dxf_unicode(t[0].dxf.text), round(t[0].dxf.rotation, 9),\n"
        "      t[1].dxf.halign, t[1].dxf.valign, tuple(t[1].dxf.align_point), p.closed, p.dxf.elevation,\n"
        "      list(p.get_points('b')), m.query('LINE')[0].dxf.end.y, round(r.dxf.start_angle, 9), r.dxf.end_angle,\n"
        "      e.dxf.ratio, e.dxf.end_param, tuple(m.query('POINT')[0].dxf.location), m.query('CIRCLE')[0].dxf.radius)\n";
    const std::string command = "/usr/bin/python3 -c \"$(cat <<'PY'\n" + script + "PY\n)\" " + name;
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string out;
    char buf[512];
    while (std::fgets(buf, sizeof buf, pipe)) out += buf;
    const int status = ::pclose(pipe);
    std::remove(name);
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "ezdxf is not installed";
    EXPECT_EQ(out,
              "0 8 1 展开图 ∅ Ä 30.0 2 2 (60.0, 30.0, 0.0) True 2.5 [(0.4142,), (0.0,), (-1.0,)] 0.1 30.0 315.0 "
              "0.4 2.5 (3.0, 4.0, 5.0) 7.25\n");
}
#endif
