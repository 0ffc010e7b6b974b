// Every entity of a drawing is an entity of the model: what ezdxf reads of
// real files (per space, in order, handle and type), kinds the model draws
// only as pictures erased, moved, undone and saved, and undo marks.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <map>
#include <set>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "DxfEntityCodec.h"
#include "model/CadSession.h"
#include "model/DxfFile.h"
#include "model/ModelNames.h"

using namespace tessik::cadhost;

namespace {

struct Judged {
    bool skipped = false;
    std::string error;
    std::vector<std::string> lines;  // "model|paper HANDLE TYPE"
};

Judged runPython(const QStringList& args)
{
    Judged j;
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"), args);
    if (!python.waitForFinished(120000)) {
        j.error = "python did not finish";
        return j;
    }
    j.skipped = python.exitCode() == 77;
    if (j.skipped) return j;
    if (python.exitCode() != 0) {
        j.error = python.readAllStandardError().toStdString();
        return j;
    }
    for (const QByteArray& line : python.readAllStandardOutput().split('\n'))
        if (!line.trimmed().isEmpty()) j.lines.push_back(line.trimmed().toStdString());
    return j;
}

// The same listing from tessik-cad's model: the live entities, as Item walks them.
std::vector<std::string> listed(const DrawingDocument& doc)
{
    std::vector<std::string> out;
    // The other paper layouts by their block's name, as the judge sorts them.
    std::vector<std::pair<std::string, SpaceKind>> spaces{{"model", SpaceKind::Model}, {"paper", SpaceKind::Paper}};
    std::map<std::string, SpaceKind> layouts;
    for (std::size_t k = 0; k < doc.layoutSpaces().size(); ++k)
        layouts.emplace(doc.layoutSpaces()[k].block, layoutSpace(k));
    spaces.insert(spaces.end(), layouts.begin(), layouts.end());
    for (const auto& [name, kind] : spaces) {
        const CadSpace& space = doc.space(kind);
        for (int n = 0; n < space.liveCount(); ++n) {
            const int i = space.liveIndex(n);
            const auto record = space.record(i);
            const std::string handle = record ? commonGroups(doc.drawing().entityTags(*record)).handle : "";
            out.push_back(name + " " + handle + " " + std::string(dxfTypeName(space.at(i))));
        }
    }
    return out;
}

// Real drawings: LibreCAD's part library (installed with LibreCAD by
// scripts/install-deps.sh), the files in data/ and data/real/ (see data/README.md).
QStringList realDrawings()
{
    QStringList files;
    const QString library = QStringLiteral("/usr/share/librecad/library/");
    for (const char* f : {"elektro/connector/c4.dxf", "elektro/connector/c6.dxf", "elektro/transistor/igbt_npn.dxf",
                          "elektro/switch/s25.dxf", "elektro/relay-iso/Relay-2p2w.dxf", "elektro/fuse/fv13.dxf",
                          "elektro/electronics/trig.dxf", "elektro/relay/r4.dxf", "plan/architect/Bathroom-basin-V.dxf",
                          "algoritm/alg1.dxf", "block/blk1.dxf", "kinetics/kin1.dxf"})
        if (QFile::exists(library + QLatin1String(f))) files << library + QLatin1String(f);
    for (const char* dir : {TESSIK_CADHOST_TEST_DATA, TESSIK_CADHOST_TEST_DATA "/real"})
        for (const QFileInfo& f : QDir(QString::fromUtf8(dir)).entryInfoList({QStringLiteral("*.dxf")}, QDir::Files))
            files << f.absoluteFilePath();
    return files;
}

}  // namespace

TEST(EveryEntity, RealDrawingsListEveryEntityAsEzdxfReadsThem)
{
    if (!QFile::exists(QStringLiteral("/usr/bin/python3"))) GTEST_SKIP() << "no /usr/bin/python3";
    QTemporaryDir dir;
    QStringList files = realDrawings();
    // And one of ezdxf's making with every kind, in two versions.
    for (const char* version : {"R2000", "R2018"}) {
        const QString made = dir.filePath(QStringLiteral("made-%1.dxf").arg(QLatin1String(version)));
        const Judged m = runPython({QStringLiteral(TESSIK_EZDXF_ROUNDTRIP), QStringLiteral("make"),
                                    QLatin1String(version), made});
        if (m.skipped) GTEST_SKIP() << "ezdxf is not installed";
        ASSERT_TRUE(m.error.empty()) << m.error;
        files << made;
    }
    // And one with three paper layouts, two of them holding entities.
    const QString layouts = dir.filePath(QStringLiteral("made-layouts.dxf"));
    ASSERT_TRUE(runPython({QStringLiteral(TESSIK_EZDXF_ENTITIES), QStringLiteral("make-layouts"), layouts}).error.empty());
    files << layouts;
    ASSERT_GE(files.size(), 14);
    int entities = 0;
    for (const QString& file : files) {
        SCOPED_TRACE(file.toStdString());
        const Judged j = runPython({QStringLiteral(TESSIK_EZDXF_ENTITIES), file});
        ASSERT_TRUE(j.error.empty()) << j.error;
        auto read = readDxf(file);
        ASSERT_TRUE(read) << read.error().description;
        const DrawingDocument& doc = *read->document;
        // Each layout's name, tab order, block and number of entities.
        const Judged l = runPython({QStringLiteral(TESSIK_EZDXF_ENTITIES), file, QStringLiteral("layouts")});
        ASSERT_TRUE(l.error.empty()) << l.error;
        std::vector<std::string> ourLayouts;
        for (const tessik::dxf::Layout& layout : doc.drawing().layouts()) {
            const QString block = QString::fromStdString(layout.block).toUpper();
            int count = 0;
            if (block == QLatin1String("*MODEL_SPACE")) count = doc.modelSpace().liveCount();
            else if (block == QLatin1String("*PAPER_SPACE")) count = doc.paperSpace().liveCount();
            for (const auto& s : doc.layoutSpaces())
                if (QString::fromStdString(s.block) == block) count = s.space.liveCount();
            ourLayouts.push_back(layout.name + "|" + std::to_string(layout.tabOrder) + "|" + block.toStdString() + "|" +
                                 std::to_string(count));
        }
        std::sort(ourLayouts.begin(), ourLayouts.end());
        if (!ourLayouts.empty()) { EXPECT_EQ(ourLayouts, l.lines); }
        std::vector<std::string> ours = listed(doc);
        // A file without handles gets them from ezdxf, not from us.
        std::vector<std::string> theirs = j.lines;
        if (!ours.empty() && ours.front().find("  ") != std::string::npos)
            for (std::string& line : theirs) line = line.substr(0, 6) + line.substr(line.find(' ', 6));
        EXPECT_EQ(ours, theirs);
        entities += int(ours.size());
    }
    EXPECT_GT(entities, 100);
}

namespace {

QByteArray entitiesFile(const QByteArray& entities)
{
    return "0\nSECTION\n2\nENTITIES\n" + entities + "0\nENDSEC\n0\nEOF\n";
}

std::unique_ptr<DrawingDocument> readBytes(const QTemporaryDir& dir, const QByteArray& bytes)
{
    const QString path = dir.filePath(QStringLiteral("in.dxf"));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) return nullptr;
    f.close();
    auto read = readDxf(path);
    if (!read) return nullptr;
    DxfReadReport report = std::move(read).value();
    return std::move(report.document);
}

}  // namespace

// A block reference with attributes and a 2D polyline: erased, the records
// that belong to them go too; moved, their points (vertices, attributes)
// move; undone, the file is as it was.
TEST(EveryEntity, ShapesEraseMoveUndoAndSaveWithTheRecordsThatBelongToThem)
{
    QTemporaryDir dir;
    const QByteArray insert = "0\nINSERT\n5\nA1\n8\n0\n66\n1\n2\nB\n10\n1.0\n20\n2.0\n30\n0.0\n"
                              "0\nATTRIB\n5\nA2\n8\n0\n10\n1.5\n20\n2.5\n30\n0.0\n40\n1.0\n1\nv\n2\nTAG\n70\n0\n"
                              "0\nSEQEND\n5\nA3\n8\n0\n";
    const QByteArray polyline = "0\nPOLYLINE\n5\nB1\n8\n0\n66\n1\n10\n0.0\n20\n0.0\n30\n0.0\n70\n0\n"
                                "0\nVERTEX\n5\nB2\n8\n0\n10\n0.0\n20\n0.0\n30\n0.0\n"
                                "0\nVERTEX\n5\nB3\n8\n0\n10\n4.0\n20\n3.0\n30\n0.0\n0\nSEQEND\n5\nB4\n8\n0\n";
    const QByteArray line = "0\nLINE\n5\nC1\n8\n0\n10\n0.0\n20\n0.0\n30\n0.0\n11\n1.0\n21\n1.0\n31\n0.0\n";
    const QByteArray original = entitiesFile(insert + polyline + line);
    auto doc = readBytes(dir, original);
    ASSERT_TRUE(doc);
    const auto unchanged = dxfBytes(*doc);
    ASSERT_TRUE(unchanged);
    ASSERT_EQ(doc->modelSpace().liveCount(), 3);
    EXPECT_EQ(objectName(doc->modelSpace().at(0)), "AcDbBlockReference");
    EXPECT_EQ(objectName(doc->modelSpace().at(1)), "AcDb2dPolyline");

    // The polyline, found by a click on its segment, moved by (10, 20).
    const auto moved = movedEntity(doc->modelSpace().at(1), {10, 20, 0});
    ASSERT_TRUE(moved);
    doc->replaceEntity(SpaceKind::Model, 1, *moved);
    EXPECT_EQ(doc->modelSpace().extents().maxY, 23);
    doc->eraseEntities({EntityRef{SpaceKind::Model, 0}});
    auto saved = dxfBytes(*doc);
    ASSERT_TRUE(saved);
    const QByteArray text = QByteArray::fromStdString(*saved);
    EXPECT_FALSE(text.contains("ATTRIB")) << "an erased reference's attributes go with it";
    EXPECT_FALSE(text.contains("\nA3\n")) << "and its SEQEND";
    EXPECT_TRUE(text.contains(" 10\n14.0\n 20\n23.0\n")) << "the last vertex moved";
    EXPECT_TRUE(text.contains(" 10\n10.0\n 20\n20.0\n")) << "the first vertex moved";
    EXPECT_TRUE(text.contains("\nB4\n"));

    // Undone both: written back as read.
    doc->undo();
    doc->undo();
    saved = dxfBytes(*doc);
    ASSERT_TRUE(saved);
    EXPECT_EQ(*saved, *unchanged);
}

// Changes between undo marks are one step; marks nest; a save inside a
// group is a position the history no longer has.
TEST(EveryEntity, UndoMarksMakeOneStep)
{
    DrawingDocument doc(QStringLiteral("d"));
    doc.addEntity(SpaceKind::Model, ModelLine{{0, 0, 0}, {1, 0, 0}});
    doc.beginUndoGroup();
    doc.addEntity(SpaceKind::Model, ModelLine{{0, 1, 0}, {1, 1, 0}});
    doc.beginUndoGroup();
    doc.addEntity(SpaceKind::Model, ModelLine{{0, 2, 0}, {1, 2, 0}});
    doc.endUndoGroup();
    doc.setModified(false);  // saved mid-group
    doc.eraseEntities({EntityRef{SpaceKind::Model, 0}});
    doc.endUndoGroup();
    doc.endUndoGroup();  // one too many: nothing
    EXPECT_EQ(doc.modelSpace().liveCount(), 2);
    EXPECT_TRUE(doc.modified());
    doc.undo();
    EXPECT_EQ(doc.modelSpace().liveCount(), 1) << "the whole group undone at once";
    EXPECT_TRUE(doc.modified());
    doc.redo();
    EXPECT_EQ(doc.modelSpace().liveCount(), 2);
    doc.undo();
    doc.undo();
    EXPECT_EQ(doc.modelSpace().liveCount(), 0);
    EXPECT_FALSE(doc.canUndo());
}

// Layer, colour, true colour, line type and lineweight set on a held kind,
// a shape and a new entity: each an undo step, written into the entity's
// own groups as ezdxf reads them, the other entities as they were; all
// undone, the file comes back byte for byte. A new entity has its handle
// from the moment it is made, and the saved file carries that one.
TEST(EveryEntity, SetStyleIsAnUndoStepSavedInTheEntitysOwnGroups)
{
    if (!QFile::exists(QStringLiteral("/usr/bin/python3"))) GTEST_SKIP() << "no /usr/bin/python3";
    QTemporaryDir dir;
    const QString made = dir.filePath(QStringLiteral("made.dxf"));
    const Judged m = runPython({QStringLiteral(TESSIK_EZDXF_ROUNDTRIP), QStringLiteral("make"), QStringLiteral("R2018"), made});
    if (m.skipped) GTEST_SKIP() << "ezdxf is not installed";
    ASSERT_TRUE(m.error.empty()) << m.error;
    auto read = readDxf(made);
    ASSERT_TRUE(read) << read.error().description;
    DrawingDocument& doc = *read->document;
    const auto original = dxfBytes(doc);
    ASSERT_TRUE(original);
    const Judged before = runPython({QStringLiteral(TESSIK_EZDXF_ENTITIES), made, QStringLiteral("style")});
    ASSERT_TRUE(before.error.empty()) << before.error;

    int line = -1, mtext = -1;
    for (int i = 0; i < doc.modelSpace().count(); ++i) {
        const std::string_view type = dxfTypeName(doc.modelSpace().at(i));
        if (type == "LINE" && line < 0) line = i;
        if (type == "MTEXT" && mtext < 0) mtext = i;
    }
    ASSERT_GE(line, 0);
    ASSERT_GE(mtext, 0);
    const int added = doc.addEntity(SpaceKind::Model, ModelLine{{0, 0, 0}, {5, 5, 0}});
    const std::string handle = doc.entityGroups(SpaceKind::Model, added).handle;
    ASSERT_FALSE(handle.empty()) << "given when made";
    const auto restyle = [&](int index, const std::function<void(CommonGroups&)>& change) {
        CommonGroups g = doc.entityGroups(SpaceKind::Model, index);
        change(g);
        doc.restyleEntity(SpaceKind::Model, index, g);
    };
    restyle(line, [](CommonGroups& g) { g.layer = "冻结"; });
    EXPECT_TRUE(doc.modelSpace().hidden(line)) << "on a frozen layer";
    restyle(line, [](CommonGroups& g) {
        g.layer = "0";
        g.color = 5;
        g.linetype = "ByLayer";
        g.lineweight = 50;
    });
    EXPECT_FALSE(doc.modelSpace().hidden(line));
    restyle(mtext, [](CommonGroups& g) {
        g.layer = "管道";
        g.trueColor = 0x123456;
        g.lineweight = 13;
    });
    restyle(added, [](CommonGroups& g) {
        g.layer = "管道";
        g.color = 0;
        g.linetype = "DASHED";
    });
    const QString path = dir.filePath(QStringLiteral("saved.dxf"));
    ASSERT_TRUE(writeDxf(doc, path, SaveLoss::Refuse));
    const Judged after = runPython({QStringLiteral(TESSIK_EZDXF_ENTITIES), path, QStringLiteral("style")});
    ASSERT_TRUE(after.error.empty()) << after.error;

    // What ezdxf read before, each line by its handle; the changed ones as set.
    const auto byHandle = [](const std::vector<std::string>& lines) {
        std::map<std::string, std::string> out;
        for (const std::string& l : lines) out[l.substr(0, l.find(' ', 6))] = l;
        return out;
    };
    auto expected = byHandle(before.lines);
    const auto field = [](const std::string& l, int n) {
        std::size_t at = 0;
        for (int k = 0; k < n; ++k) at = l.find(' ', at) + 1;
        return l.substr(at, l.find(' ', at) - at);
    };
    const std::string lineKey = "model " + doc.entityGroups(SpaceKind::Model, line).handle;
    const std::string mtextKey = "model " + doc.entityGroups(SpaceKind::Model, mtext).handle;
    expected[lineKey] = lineKey + " LINE 0 5 -1 ByLayer 50";
    const std::string& m0 = expected[mtextKey];
    expected[mtextKey] = mtextKey + " MTEXT 管道 " + field(m0, 4) + " 1193046 " + field(m0, 6) + " 13";
    expected["model " + handle] = "model " + handle + " LINE 管道 0 -1 DASHED -1";
    EXPECT_EQ(byHandle(after.lines), expected);

    for (int k = 0; k < 5; ++k) doc.undo();
    EXPECT_EQ(doc.modelSpace().liveCount(), doc.modelSpace().count() - 1);
    const auto undone = dxfBytes(doc);
    ASSERT_TRUE(undone);
    EXPECT_EQ(*undone, *original);
}

// Every entity that can move, moved in tessik-cad and saved, against ezdxf's
// translate of it in the file as read: points in the entity's own
// coordinate system, hatch boundaries and seeds, multileader context data,
// heights a 2D writer left out, a dimension's picture (its block), the rest
// of the record.
TEST(EveryEntity, MovesMatchEzdxfsTranslate)
{
    if (!QFile::exists(QStringLiteral("/usr/bin/python3"))) GTEST_SKIP() << "no /usr/bin/python3";
    QTemporaryDir dir;
    const QString made = dir.filePath(QStringLiteral("moves.dxf"));
    const Judged m = runPython({QStringLiteral(TESSIK_EZDXF_ENTITIES), QStringLiteral("make-moves"), made});
    if (m.skipped) GTEST_SKIP() << "ezdxf is not installed";
    ASSERT_TRUE(m.error.empty()) << m.error;
    const Point3 by{3.25, -1.5, 0.75};
    int hatches = 0, tilted = 0, dimensions = 0, blockEntities = 0;
    std::set<std::string> madeKinds;
    QStringList drawings = realDrawings();
    drawings << made;
    for (const QString& path : drawings) {
        SCOPED_TRACE(path.toStdString());
        auto read = readDxf(path);
        ASSERT_TRUE(read) << read.error().description;
        DrawingDocument& doc = *read->document;
        const auto unchanged = dxfBytes(doc);
        ASSERT_TRUE(unchanged);
        QStringList args{QStringLiteral(TESSIK_EZDXF_ENTITIES), path, QStringLiteral("moved"),
                         dir.filePath(QFileInfo(path).baseName() + QStringLiteral("-saved.dxf"))};
        for (double d : by) args << QString::number(d);
        const int before = int(args.size());
        for (const SpaceKind kind : doc.spaceKinds()) {
            const CadSpace& space = doc.space(kind);
            for (int i = 0; i < space.count(); ++i) {
                const auto moved = movedEntity(space.at(i), by);
                // Every kind of the made drawing has its points in groups.
                if (path == made) { EXPECT_TRUE(moved) << objectName(space.at(i)); }
                if (!moved) continue;
                const std::string_view type = dxfTypeName(*moved);
                hatches += type == "HATCH";
                dimensions += type == "DIMENSION" || type == "ARC_DIMENSION" || type == "LARGE_RADIAL_DIMENSION";
                if (path == made) madeKinds.insert(std::string(type));
                // Out of the world's plane, a circle, arc or polyline is a shape.
                tilted += std::holds_alternative<ModelShape>(*moved) &&
                          (type == "CIRCLE" || type == "ARC" || type == "LWPOLYLINE");
                doc.replaceEntity(kind, i, *moved);
                args << QString::fromStdString(doc.entityGroups(kind, i).handle);
            }
        }
        const auto saved = dxfBytes(doc);
        ASSERT_TRUE(saved) << saved.error().description;
        QFile out(args[3]);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(saved->data(), qint64(saved->size()));
        out.close();
        const Judged judged = runPython(args);
        ASSERT_TRUE(judged.error.empty()) << judged.error;
        ASSERT_FALSE(judged.lines.empty());
        std::size_t failures = judged.lines.size() - 1;
        if (failures > 0 && judged.lines[failures - 1].starts_with("block entities "))
            blockEntities += std::stoi(judged.lines[--failures].substr(15));
        for (std::size_t k = 0; k < failures; ++k) ADD_FAILURE() << judged.lines[k];
        EXPECT_EQ(judged.lines.back(), "compared " + std::to_string(args.size() - before));
        while (!doc.undo().empty()) {
        }
        const auto undone = dxfBytes(doc);
        ASSERT_TRUE(undone);
        EXPECT_TRUE(*undone == *unchanged) << "every move undone, the file as read";
    }
    EXPECT_GE(hatches, 2);
    EXPECT_GE(tilted, 3);
    EXPECT_GE(dimensions, 5);
    EXPECT_GE(blockEntities, 20) << "the dimensions' pictures, moved with them";
    for (const char* kind : {"ARC_DIMENSION", "LARGE_RADIAL_DIMENSION", "OLE2FRAME", "VIEWPORT", "MESH", "HELIX"})
        EXPECT_TRUE(madeKinds.count(kind)) << kind << " was not judged";
}

// A hatch written without subclass markers moves all the same: its
// boundary and seed, not its elevation's x and y.
TEST(EveryEntity, AHatchWithoutSubclassMarkersMoves)
{
    QTemporaryDir dir;
    auto doc = readBytes(dir, entitiesFile("0\nHATCH\n5\nD1\n8\n0\n10\n0.0\n20\n0.0\n30\n0.0\n2\nSOLID\n70\n1\n71\n0\n"
                                           "91\n1\n92\n2\n72\n0\n73\n1\n93\n3\n10\n1.0\n20\n1.0\n10\n5.0\n20\n1.0\n"
                                           "10\n5.0\n20\n4.0\n97\n0\n75\n0\n76\n1\n98\n1\n10\n2.0\n20\n2.0\n"));
    ASSERT_TRUE(doc);
    const auto moved = movedEntity(doc->modelSpace().at(0), {10, 20, 0});
    ASSERT_TRUE(moved);
    doc->replaceEntity(SpaceKind::Model, 0, *moved);
    const auto saved = dxfBytes(*doc);
    ASSERT_TRUE(saved) << saved.error().description;
    EXPECT_NE(saved->find("10\n0.0\n 20\n0.0\n"), std::string::npos) << *saved;
    EXPECT_NE(saved->find("10\n15.0\n 20\n24.0\n"), std::string::npos) << *saved;
    EXPECT_NE(saved->find("10\n12.0\n 20\n22.0\n"), std::string::npos) << *saved;
}

// A viewport whose visible part is a polyline of its layout keeps its place
// (moved alone, it would show other parts of model space through the
// boundary left behind); the same viewport clipped by its own rectangle
// moves, and is selected by that rectangle on the sheet, not by the model
// points it looks at.
TEST(EveryEntity, AViewportClippedByAnEntityRefusesToMove)
{
    QTemporaryDir dir;
    const auto viewport = [](const char* handle, const char* status) {
        return QByteArray("0\nVIEWPORT\n5\n") + handle + "\n100\nAcDbEntity\n67\n1\n8\n0\n100\nAcDbViewport\n"
               "10\n50.0\n20\n40.0\n30\n0.0\n40\n60.0\n41\n30.0\n69\n2\n12\n5.0\n22\n5.0\n90\n" +
               status + "\n340\nA1\n";
    };
    auto doc = readBytes(dir, entitiesFile(viewport("A2", "98336") + viewport("A3", "32800")));
    ASSERT_TRUE(doc);
    const CadSpace& paper = doc->space(SpaceKind::Paper);
    ASSERT_EQ(paper.count(), 2);
    EXPECT_FALSE(movedEntity(paper.at(0), {1, 2, 0}));
    const auto moved = movedEntity(paper.at(1), {1, 2, 0});
    ASSERT_TRUE(moved);
    doc->replaceEntity(SpaceKind::Paper, 1, *moved);
    const Bounds b = std::get<ModelShape>(paper.at(1)).bounds();
    EXPECT_EQ((std::array{b.minX, b.minY, b.maxX, b.maxY}), (std::array{21.0, 27.0, 81.0, 57.0}));
    const auto saved = dxfBytes(*doc);
    ASSERT_TRUE(saved) << saved.error().description;
    const std::string second = saved->substr(saved->find("\nA3\n"));
    EXPECT_NE(second.find("\n 10\n51.0\n 20\n42.0\n 30\n0.0\n 40\n60.0\n"), std::string::npos) << second;
    EXPECT_NE(second.find("\n 12\n5.0\n 22\n5.0\n"), std::string::npos) << second;
}

// An entity of a paper layout that is not the active one lives in its
// layout's block: erased (a block reference with its attributes), moved and
// added, the saved file is sound to ezdxf and lists what the model lists;
// undone, the save is the file as read.
TEST(EveryEntity, OtherLayoutsEntitiesEraseMoveAddAndUndoInsideTheirBlock)
{
    if (!QFile::exists(QStringLiteral("/usr/bin/python3"))) GTEST_SKIP() << "no /usr/bin/python3";
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("layouts.dxf"));
    const Judged m = runPython({QStringLiteral(TESSIK_EZDXF_ENTITIES), QStringLiteral("make-layouts"), path});
    if (m.skipped) GTEST_SKIP() << "ezdxf is not installed";
    ASSERT_TRUE(m.error.empty()) << m.error;
    auto read = readDxf(path);
    ASSERT_TRUE(read) << read.error().description;
    DrawingDocument& doc = *read->document;
    const auto unchanged = dxfBytes(doc);
    ASSERT_TRUE(unchanged);
    QFile original(path);
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    EXPECT_EQ(*unchanged, original.readAll().toStdString());

    ASSERT_EQ(doc.layoutSpaces().size(), 2u);
    const SpaceKind second = doc.layoutSpaces()[0].block == "*PAPER_SPACE0" ? layoutSpace(0) : layoutSpace(1);
    const CadSpace& space = doc.space(second);
    int insert = -1, line = -1;
    for (int i = 0; i < space.count(); ++i) {
        if (objectName(space.at(i)) == "AcDbBlockReference") insert = i;
        if (objectName(space.at(i)) == "AcDbLine") line = i;
    }
    ASSERT_GE(insert, 0);
    ASSERT_GE(line, 0);
    EXPECT_EQ(doc.eraseEntities({EntityRef{second, insert}}), 1);
    const auto moved = movedEntity(space.at(line), {0, 100, 0});
    ASSERT_TRUE(moved);
    doc.replaceEntity(second, line, *moved);
    const int added = doc.addEntity(second, ModelCircle{{5, 5, 0}, 2});
    EXPECT_EQ(space.liveCount(), 4);

    const QString saved = dir.filePath(QStringLiteral("saved.dxf"));
    ASSERT_TRUE(writeDxf(doc, saved));
    const Judged after = runPython({QStringLiteral(TESSIK_EZDXF_ENTITIES), saved});
    ASSERT_TRUE(after.error.empty()) << after.error;
    auto again = readDxf(saved);
    ASSERT_TRUE(again);
    EXPECT_EQ(after.lines, listed(*again->document));
    const std::string block = doc.layoutSpaces()[static_cast<std::size_t>(second) - 2].block;
    EXPECT_NE(std::find(after.lines.begin(), after.lines.end(),
                        block + " " + doc.entityGroups(second, added).handle + " CIRCLE"),
              after.lines.end());
    const Judged style = runPython({QStringLiteral(TESSIK_EZDXF_ENTITIES), saved, QStringLiteral("style")});
    ASSERT_TRUE(style.error.empty()) << style.error;
    ASSERT_FALSE(style.lines.empty());
    EXPECT_EQ(style.lines.back(), "audit 0");
    QFile savedFile(saved);
    ASSERT_TRUE(savedFile.open(QIODevice::ReadOnly));
    const QByteArray bytes = savedFile.readAll();
    EXPECT_FALSE(bytes.contains("ATTRIB")) << "the erased reference's attributes go with it";
    EXPECT_TRUE(bytes.contains("\n101.0\n")) << "the line moved up by 100";

    doc.undo();
    doc.undo();
    doc.undo();
    const auto undone = dxfBytes(doc);
    ASSERT_TRUE(undone);
    EXPECT_EQ(*undone, *unchanged);
}

// A dimension is drawn from its block: moved at the prompt (one step), the
// block's entities move with it, so the drawing saved and read again shows
// its picture where it was moved to. Dimensions whose block is not theirs
// alone (a second dimension or a reference names it too) keep their place
// with a message; one whose block is missing moves. Undone, the file as read.
TEST(EveryEntity, ADimensionsBlockMovesWithItUnlessOthersNameIt)
{
    QTemporaryDir dir;
    const auto block = [](const char* name, const char* x) {
        return QByteArray("0\nBLOCK\n8\n0\n2\n") + name + "\n70\n1\n10\n0.0\n20\n0.0\n30\n0.0\n3\n" + name +
               "\n0\nLINE\n8\n0\n10\n" + x + "\n20\n0.0\n30\n0.0\n11\n" + x + "\n21\n5.0\n31\n0.0\n"
               "0\nMTEXT\n8\n0\n10\n4.0\n20\n5.0\n30\n0.0\n40\n1.0\n1\n8\n0\nENDBLK\n8\n0\n";
    };
    const auto dimension = [](const char* name) {
        return QByteArray("0\nDIMENSION\n8\n0\n2\n") + name + "\n10\n8.0\n20\n5.0\n30\n0.0\n11\n4.0\n21\n5.0\n31\n0.0\n"
               "70\n0\n13\n0.0\n23\n0.0\n33\n0.0\n14\n8.0\n24\n0.0\n34\n0.0\n";
    };
    const QByteArray file = "0\nSECTION\n2\nBLOCKS\n" + block("*D1", "0.0") + block("*D2", "1.0") + block("*D3", "2.0") +
                            "0\nENDSEC\n0\nSECTION\n2\nENTITIES\n" + dimension("*D1") + dimension("*D2") +
                            dimension("*D2") + dimension("*D9") + "0\nINSERT\n8\n0\n2\n*d3\n10\n0.0\n20\n0.0\n30\n0.0\n" +
                            dimension("*D3") + "0\nENDSEC\n0\nEOF\n";
    const QString path = dir.filePath(QStringLiteral("dims.dxf"));
    QFile in(path);
    ASSERT_TRUE(in.open(QIODevice::WriteOnly));
    in.write(file);
    in.close();
    CadSession session;
    QStringList messages;
    QObject::connect(&session, &CadSession::message, [&](const QString& m) { messages << m; });
    ASSERT_TRUE(session.openDocument(path));
    DrawingDocument& doc = *session.document();
    const CadSpace& model = doc.modelSpace();
    ASSERT_EQ(model.count(), 6);
    const auto unchanged = dxfBytes(doc);
    ASSERT_TRUE(unchanged);
    const auto pictureOf = [](const CadSpace& space, int i) { return std::get<ModelShape>(space.at(i)).bounds(); };
    const Bounds before = pictureOf(model, 0);
    ASSERT_FALSE(before.empty());

    EXPECT_EQ(session.moveEntities(SpaceKind::Model, {0, 1, 2, 3, 5}, {10, 20, 0}), 2);
    ASSERT_FALSE(messages.isEmpty());
    EXPECT_TRUE(messages.back().startsWith(QStringLiteral("3 个对象不能移动"))) << messages.back().toStdString();
    EXPECT_TRUE(messages.back().contains(QStringLiteral("块"))) << messages.back().toStdString();
    const QString saved = dir.filePath(QStringLiteral("saved.dxf"));
    ASSERT_TRUE(writeDxf(doc, saved));
    auto again = readDxf(saved);
    ASSERT_TRUE(again) << again.error().description;
    const CadSpace& reread = again->document->modelSpace();
    for (int i = 0; i < model.count(); ++i) {
        // As shown after the move: the block's picture (0), the own points' (3).
        const Bounds shown = pictureOf(model, i), after = pictureOf(reread, i);
        EXPECT_EQ((std::array{after.minX, after.minY, after.maxX, after.maxY}),
                  (std::array{shown.minX, shown.minY, shown.maxX, shown.maxY}))
            << i << ": read back where it was shown";
    }
    EXPECT_EQ(pictureOf(reread, 0).minX, before.minX + 10);
    const auto& blocks = again->document->drawing();
    EXPECT_EQ(tessik::dxf::groupNumber(blocks.blockEntities("*D1")[1], 10, 0), 14.0) << "its MTEXT moved";
    EXPECT_EQ(tessik::dxf::groupNumber(blocks.blockEntities("*D2")[0], 10, 0), 1.0);
    EXPECT_EQ(tessik::dxf::groupNumber(blocks.blockEntities("*D3")[0], 10, 0), 2.0);

    EXPECT_TRUE(session.undo());
    const auto undone = dxfBytes(doc);
    ASSERT_TRUE(undone);
    EXPECT_EQ(*undone, *unchanged);
}
