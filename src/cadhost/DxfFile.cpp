#include "DxfFile.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <dxflib/dl_creationadapter.h>
#include <dxflib/dl_dxf.h>

namespace tessik::cadhost {

namespace {

constexpr double kDegree = kTwoPi / 360.0;

bool finite(std::initializer_list<double> values)
{
    for (double v : values)
        if (!std::isfinite(v)) return false;
    return true;
}

// Collects the entities of the ENTITIES section. Entities inside block
// definitions belong to blocks, which this drawing model does not have; they
// are counted as skipped like any other unsupported entity.
class Reader : public DL_CreationAdapter {
public:
    explicit Reader(CadDocument& doc) : doc_(doc) {}

    int read = 0;
    int skipped = 0;
    bool sawSection = false;

    void processCodeValuePair(unsigned int code, const std::string& value) override
    {
        if (code == 0) {
            // dxflib completes an entity when the next group 0 arrives, so
            // the last entity of a section is added after its ENDSEC: the
            // section is left only at the group 0 after that.
            if (sectionEnded_) section_.clear();
            sectionEnded_ = value == "ENDSEC";
            if (value == "SECTION") sawSection = true;
            if (inEntityList() && !isSupported(value) && value != "ENDSEC" && value != "SEQEND" &&
                value != "VERTEX" && value != "ENDBLK" && value != "BLOCK" && value != "EOF")
                ++skipped;
            expectSectionName_ = value == "SECTION";
            return;
        }
        if (code == 2 && expectSectionName_) {
            section_ = value;
            expectSectionName_ = false;
        }
    }
    void addBlock(const DL_BlockData& block) override
    {
        inBlock_ = true;
        const QString name = QString::fromStdString(block.name).toLower();
        blockSpace_.reset();
        if (name == QLatin1String("*model_space")) blockSpace_ = SpaceKind::Model;
        if (name == QLatin1String("*paper_space")) blockSpace_ = SpaceKind::Paper;
    }
    void endBlock() override
    {
        inBlock_ = false;
        blockSpace_.reset();
    }

    void addLine(const DL_LineData& d) override
    {
        take(finite({d.x1, d.y1, d.z1, d.x2, d.y2, d.z2}),
             CadLine{{d.x1, d.y1, d.z1}, {d.x2, d.y2, d.z2}});
    }
    void addArc(const DL_ArcData& d) override
    {
        take(finite({d.cx, d.cy, d.cz, d.radius, d.angle1, d.angle2}) && d.radius > 0,
             CadArc{{d.cx, d.cy, d.cz}, d.radius, normalizeAngle(d.angle1 * kDegree),
                    normalizeAngle(d.angle2 * kDegree)});
    }
    void addCircle(const DL_CircleData& d) override
    {
        take(finite({d.cx, d.cy, d.cz, d.radius}) && d.radius > 0,
             CadCircle{{d.cx, d.cy, d.cz}, d.radius});
    }
    void addEllipse(const DL_EllipseData& d) override
    {
        const bool ok = finite({d.cx, d.cy, d.cz, d.mx, d.my, d.mz, d.ratio, d.angle1, d.angle2}) &&
                        d.ratio > 0 && d.ratio <= 1 && std::hypot(d.mx, d.my) > 0;
        CadEllipse e{{d.cx, d.cy, d.cz}, {d.mx, d.my, d.mz}, d.ratio, 0, kTwoPi};
        if (ok) {
            // A complete ellipse is written 0 .. 2pi; anything else is cut.
            const double span = d.angle2 - d.angle1;
            if (std::abs(std::abs(span) - kTwoPi) > 1e-12) {
                e.startParam = normalizeAngle(d.angle1);
                e.endParam = normalizeAngle(d.angle2);
            }
        }
        take(ok, e);
    }

private:
    static bool isSupported(const std::string& type)
    {
        return entities::KindsOf<CadEntity>::hasDxfName(type);
    }
    bool inEntityList() const { return section_ == "ENTITIES" || section_ == "BLOCKS"; }

    // Entities of the two layout blocks belong to their space; those of
    // other blocks are block definitions, which this model does not have.
    void take(bool valid, CadEntity entity)
    {
        std::optional<SpaceKind> space;
        if (inBlock_)
            space = blockSpace_;
        else if (section_ == "ENTITIES")
            space = getAttributes().isInPaperSpace() ? SpaceKind::Paper : SpaceKind::Model;
        if (!valid || !space) {
            ++skipped;
            return;
        }
        doc_.space(*space).add(std::move(entity));
        ++read;
    }

    CadDocument& doc_;
    std::string section_;
    bool expectSectionName_ = false;
    bool sectionEnded_ = false;
    bool inBlock_ = false;
    std::optional<SpaceKind> blockSpace_;
};

}  // namespace

Result<DxfReadReport> readDxf(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Error{errc::kFileNotFound, QStringLiteral("无法打开文件“%1”：%2")
                                              .arg(path, file.errorString())
                                              .toStdString(),
                     path.toStdString()};
    file.close();
    auto doc = std::make_unique<CadDocument>(QFileInfo(path).completeBaseName());
    Reader reader(*doc);
    bool parsed = false;
    try {
        DL_Dxf dxf;
        parsed = dxf.in(QFile::encodeName(path).toStdString(), &reader);
    } catch (const std::exception&) {
        parsed = false;
    }
    if (!parsed || !reader.sawSection)
        return Error{errc::kTypeMismatch,
                     QStringLiteral("“%1”不是可读的 DXF 文件。").arg(path).toStdString(),
                     path.toStdString()};
    doc->setPath(QFileInfo(path).absoluteFilePath());
    DxfReadReport report;
    report.read = reader.read;
    report.skipped = reader.skipped;
    report.document = std::move(doc);
    return report;
}

namespace {

void writeEntities(DL_Dxf& dxf, DL_WriterA& dw, const CadSpace& space)
{
    const DL_Attributes attributes("0", 256, -1, "BYLAYER", 1.0);
    struct Visitor {
        DL_Dxf& dxf;
        DL_WriterA& dw;
        const DL_Attributes& a;
        void operator()(const CadLine& l) const
        {
            dxf.writeLine(dw,
                          DL_LineData(l.start[0], l.start[1], l.start[2], l.end[0], l.end[1],
                                      l.end[2]),
                          a);
        }
        void operator()(const CadArc& arc) const
        {
            dxf.writeArc(dw,
                         DL_ArcData(arc.center[0], arc.center[1], arc.center[2], arc.radius,
                                    arc.startAngle / kDegree, arc.endAngle / kDegree),
                         a);
        }
        void operator()(const CadCircle& c) const
        {
            dxf.writeCircle(dw, DL_CircleData(c.center[0], c.center[1], c.center[2], c.radius),
                            a);
        }
        void operator()(const CadEllipse& e) const
        {
            dxf.writeEllipse(dw,
                             DL_EllipseData(e.center[0], e.center[1], e.center[2],
                                            e.majorAxis[0], e.majorAxis[1], e.majorAxis[2],
                                            e.ratio, e.startParam, e.endParam),
                             a);
        }
    };
    const Visitor visitor{dxf, dw, attributes};
    for (const CadEntity& entity : space.entities()) std::visit(visitor, entity);
}

void writeDrawing(DL_Dxf& dxf, DL_WriterA& dw, const CadDocument& document)
{
    dxf.writeHeader(dw);
    dw.dxfString(9, "$INSUNITS");
    dw.dxfInt(70, 4);  // millimetres
    dw.sectionEnd();

    dw.sectionTables();
    dxf.writeVPort(dw);
    dw.tableLinetypes(3);
    dxf.writeLinetype(dw, DL_LinetypeData("BYBLOCK", "", 0, 0, 0.0));
    dxf.writeLinetype(dw, DL_LinetypeData("BYLAYER", "", 0, 0, 0.0));
    dxf.writeLinetype(dw, DL_LinetypeData("CONTINUOUS", "Solid line", 0, 0, 0.0));
    dw.tableEnd();
    dw.tableLayers(1);
    dxf.writeLayer(dw, DL_LayerData("0", 0),
                   DL_Attributes("", DL_Codes::white, 0, "CONTINUOUS", 1.0));
    dw.tableEnd();
    dw.tableStyle(1);
    dxf.writeStyle(dw, DL_StyleData("Standard", 0, 0.0, 1.0, 0.0, 0, 2.5, "txt", ""));
    dw.tableEnd();
    dxf.writeView(dw);
    dxf.writeUcs(dw);
    dw.tableAppid(1);
    dxf.writeAppid(dw, "ACAD");
    dw.tableEnd();
    dxf.writeDimStyle(dw, 2.5, 0.625, 0.625, 0.625, 2.5);
    dxf.writeBlockRecord(dw);
    dw.tableEnd();
    dw.sectionEnd();

    dw.sectionBlocks();
    dxf.writeBlock(dw, DL_BlockData("*Model_Space", 0, 0.0, 0.0, 0.0));
    dxf.writeEndBlock(dw, "*Model_Space");
    // dxflib cannot flag an entity as paper space (group 67), so paper
    // space travels as the contents of its layout block.
    dxf.writeBlock(dw, DL_BlockData("*Paper_Space", 0, 0.0, 0.0, 0.0));
    writeEntities(dxf, dw, document.paperSpace());
    dxf.writeEndBlock(dw, "*Paper_Space");
    dxf.writeBlock(dw, DL_BlockData("*Paper_Space0", 0, 0.0, 0.0, 0.0));
    dxf.writeEndBlock(dw, "*Paper_Space0");
    dw.sectionEnd();

    dw.sectionEntities();
    writeEntities(dxf, dw, document.modelSpace());
    dw.sectionEnd();

    dxf.writeObjects(dw);
    dxf.writeObjectsEnd(dw);
    dw.dxfEOF();
}

}  // namespace

Status writeDxf(const CadDocument& document, const QString& path)
{
    const auto failure = [&](const QString& why) {
        return Error{-2147467259,  // E_FAIL, as a CAD reports a failed save
                     QStringLiteral("无法保存“%1”：%2").arg(path, why).toStdString(),
                     path.toStdString()};
    };
    const QFileInfo target(path);
    QTemporaryFile temp(target.absolutePath() + QStringLiteral("/.tessik-save-XXXXXX"));
    if (!temp.open()) return failure(temp.errorString());
    const QString tempPath = temp.fileName();
    temp.close();
    {
        DL_Dxf dxf;
        DL_WriterA dw(QFile::encodeName(tempPath).constData(), DL_Codes::AC1015);
        if (dw.openFailed()) return failure(QStringLiteral("无法写入临时文件"));
        writeDrawing(dxf, dw, document);
        dw.close();
    }
    QFile written(tempPath);
    if (!written.exists() || written.size() == 0) return failure(QStringLiteral("写入失败"));
    // The new file gets the old one's permissions, or the usual ones.
    const auto permissions = target.exists()
                                 ? QFile::permissions(path)
                                 : QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                       QFile::ReadOther;
    QFile::setPermissions(tempPath, permissions);
    // rename(2) replaces the target in one step: readers see the old file or
    // the new one, never half of either.
    if (std::rename(QFile::encodeName(tempPath).constData(), QFile::encodeName(path).constData()) != 0)
        return failure(QString::fromLocal8Bit(std::strerror(errno)));
    temp.setAutoRemove(false);
    return success();
}

}  // namespace tessik::cadhost
