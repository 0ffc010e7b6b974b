#include "automation/AutomationEntities.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <iterator>

#include <functional>
#include <span>
#include <vector>

#include <QJsonArray>

#include "automation/AutomationMemberTypes.h"
#include "Dxf.h"
#include "model/ModelNames.h"

namespace tessik::cadhost {

using namespace members;

namespace {

// The common groups of the entity as they stand.
CommonGroups common(Context& c) { return c.document->entityGroups(c.space(), c.ref.index); }

bool sameName(const std::string& a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
    });
}

// A whole number of the range, as a property value.
std::optional<int> wholeNumber(const QJsonValue& v, int min, int max)
{
    const double d = v.toDouble(std::nan(""));
    if (!v.isDouble() || d != std::floor(d) || d < min || d > max) return std::nullopt;
    return static_cast<int>(d);
}

Result<Point3> pointArg(const QJsonValue& v, const char* what)
{
    const QJsonArray a = v.toArray();
    if (!v.isArray() || a.size() != 3)
        return invalid(QStringLiteral("%1应为三个数的数组。").arg(QString::fromUtf8(what)));
    Point3 p{};
    for (int i = 0; i < 3; ++i) {
        if (!a.at(i).isDouble() || !std::isfinite(a.at(i).toDouble()))
            return invalid(QStringLiteral("%1的坐标必须是有限的数。").arg(QString::fromUtf8(what)));
        p[std::size_t(i)] = a.at(i).toDouble();
    }
    return p;
}

// The first value of a group of a shape's record, as the file has it.
std::optional<std::string> shapeGroup(Context& c, int code)
{
    const auto* shape = std::get_if<ModelShape>(&c.entity());
    const auto record = c.document->space(c.space()).record(c.ref.index);
    if (!shape || !record) return std::nullopt;
    for (const dxf::DxfTag& t : c.document->drawing().entityTags(*record)) {
        if (t.code == 1001) break;
        if (t.code == code) return t.value;
    }
    return std::nullopt;
}

// A shape's own tags (its extended data left out) and the records that
// belong to it (a polyline's vertices, a reference's attributes).
struct ShapeRecord {
    const ModelShape* shape = nullptr;
    const dxf::DxfDrawing* drawing = nullptr;
    std::span<const dxf::DxfTag> tags;
    std::vector<std::span<const dxf::DxfTag>> parts;
};

std::optional<ShapeRecord> shapeRecord(Context& c)
{
    const auto* shape = std::get_if<ModelShape>(&c.entity());
    const auto record = c.document->space(c.space()).record(c.ref.index);
    if (!shape || !record) return std::nullopt;
    const dxf::DxfDrawing& d = c.document->drawing();
    ShapeRecord r{shape, &d, d.entityTags(*record), {}};
    const auto xdata = std::find_if(r.tags.begin(), r.tags.end(), [](const dxf::DxfTag& t) { return t.code >= 1000; });
    r.tags = r.tags.first(static_cast<std::size_t>(xdata - r.tags.begin()));
    for (std::size_t i = *record + 1; i < d.entityCount(); ++i) {
        const std::string& type = d.entity(i).type;
        if (type != "VERTEX" && type != "ATTRIB" && type != "SEQEND") break;
        r.parts.push_back(d.entityTags(i));
    }
    return r;
}

std::optional<double> number(std::span<const dxf::DxfTag> tags, int code)
{
    for (const dxf::DxfTag& t : tags)
        if (t.code == code) return dxf::tagNumber(t.value);
    return std::nullopt;
}

// Every point of groups x, x + 10, x + 20 in order, moved by the shape's
// offset, flat as the commercial CAD answers point lists.
void appendPoints(QJsonArray& out, std::span<const dxf::DxfTag> tags, int x, const Point3& offset)
{
    std::vector<Point3> points;
    for (const dxf::DxfTag& t : tags) {
        const int axis = t.code == x ? 0 : t.code == x + 10 ? 1 : t.code == x + 20 ? 2 : -1;
        if (axis < 0) continue;
        if (axis == 0) points.push_back({});
        if (points.empty()) continue;
        points.back()[std::size_t(axis)] = dxf::tagNumber(t.value).value_or(0);
    }
    for (const Point3& p : points)
        for (std::size_t k = 0; k < 3; ++k) out.append(p[k] + offset[k]);
}

QJsonArray points(const ShapeRecord& r, int x)
{
    QJsonArray out;
    appendPoints(out, r.tags, x, r.shape->offset);
    return out;
}

constexpr double kRadiansPerDegree = 3.14159265358979323846 / 180;

// The reads of each kind held as a shape: member -> (DXF type -> answer).
using ShapeRead = std::function<QJsonValue(const ShapeRecord&)>;
using ShapeReads = std::vector<std::pair<std::string_view, ShapeRead>>;

ShapeRead numberRead(int code, double absent, double scale = 1)
{
    return [=](const ShapeRecord& r) { return QJsonValue(number(r.tags, code).value_or(absent) * scale); };
}

ShapeRead integerRead(int code, int absent)
{
    return [=](const ShapeRecord& r) { return QJsonValue(static_cast<int>(number(r.tags, code).value_or(absent))); };
}

ShapeRead textRead(int code)
{
    return [=](const ShapeRecord& r) {
        for (const dxf::DxfTag& t : r.tags)
            if (t.code == code)
                return QJsonValue(QString::fromStdString(
                    dxf::decodeDxfText(t.value, r.drawing->codePage(), r.drawing->unicode())));
        return QJsonValue(QString());
    };
}

ShapeRead pointRead(int x) { return [=](const ShapeRecord& r) { return QJsonValue(points(r, x)); }; }

ShapeRead countRead(int x)
{
    return [=](const ShapeRecord& r) { return QJsonValue(static_cast<int>(points(r, x).size() / 3)); };
}

std::vector<std::pair<const char*, ShapeReads>> shapeReads()
{
    // A multi-line text's angle is given by its direction where it has one,
    // else by group 50 (in degrees, as the commercial CAD writes it).
    const ShapeRead mtextRotation = [](const ShapeRecord& r) {
        const auto x = number(r.tags, 11), y = number(r.tags, 21);
        if (x || y) return QJsonValue(std::atan2(y.value_or(0), x.value_or(0)));
        return QJsonValue(number(r.tags, 50).value_or(0) * kRadiansPerDegree);
    };
    const ShapeRead closed = [](const ShapeRecord& r) {
        return QJsonValue((static_cast<int>(number(r.tags, 70).value_or(0)) & 1) != 0);
    };
    const ShapeRead vertices = [](const ShapeRecord& r) {
        QJsonArray out;
        for (const auto part : r.parts) appendPoints(out, part, 10, r.shape->offset);
        return QJsonValue(out);
    };
    const ShapeRead hasAttributes = [](const ShapeRecord& r) {
        return QJsonValue(std::any_of(r.parts.begin(), r.parts.end(),
                                      [](std::span<const dxf::DxfTag> p) { return !p.empty() && p[0].value == "ATTRIB"; }));
    };
    // Three or four corners: a fourth equal to the third is no corner.
    const ShapeRead corners = [](const ShapeRecord& r) {
        QJsonArray out;
        for (const int x : {10, 11, 12, 13}) appendPoints(out, r.tags, x, r.shape->offset);
        if (out.size() == 12 && out[6] == out[9] && out[7] == out[10] && out[8] == out[11])
            for (int k = 0; k < 3; ++k) out.removeLast();
        return QJsonValue(out);
    };
    return {
        {member::kHeight, {{"MTEXT", numberRead(40, 0)}, {"TEXT", numberRead(40, 0)}, {"ATTDEF", numberRead(40, 0)}}},
        {member::kWidth, {{"MTEXT", numberRead(41, 0)}}},
        {member::kAttachmentPoint, {{"MTEXT", integerRead(71, 1)}}},
        {member::kRotation,
         {{"MTEXT", mtextRotation},
          {"TEXT", numberRead(50, 0, kRadiansPerDegree)},
          {"ATTDEF", numberRead(50, 0, kRadiansPerDegree)},
          {"INSERT", numberRead(50, 0, kRadiansPerDegree)}}},
        {member::kName, {{"INSERT", textRead(2)}}},
        {member::kXScaleFactor, {{"INSERT", numberRead(41, 1)}}},
        {member::kYScaleFactor, {{"INSERT", numberRead(42, 1)}}},
        {member::kZScaleFactor, {{"INSERT", numberRead(43, 1)}}},
        {member::kHasAttributes, {{"INSERT", hasAttributes}}},
        {member::kPatternName, {{"HATCH", textRead(2)}}},
        {member::kPatternType, {{"HATCH", integerRead(76, 1)}}},
        {member::kPatternScale, {{"HATCH", numberRead(41, 1)}}},
        {member::kPatternAngle, {{"HATCH", numberRead(52, 0, kRadiansPerDegree)}}},
        {member::kNumberOfLoops, {{"HATCH", integerRead(91, 0)}}},
        {member::kDegree, {{"SPLINE", integerRead(71, 3)}}},
        {member::kNumberOfControlPoints, {{"SPLINE", countRead(10)}}},
        {member::kControlPoints, {{"SPLINE", pointRead(10)}}},
        {member::kNumberOfFitPoints, {{"SPLINE", countRead(11)}}},
        {member::kFitPoints, {{"SPLINE", pointRead(11)}}},
        {member::kClosed, {{"SPLINE", closed}, {"POLYLINE", closed}}},
        {member::kCoordinates,
         {{"POINT", pointRead(10)},
          {"LEADER", pointRead(10)},
          {"POLYLINE", vertices},
          {"SOLID", corners},
          {"TRACE", corners},
          {"3DFACE", corners}}},
        {member::kMeasurement, {{"DIMENSION", numberRead(42, 0)}}},
        {member::kTextOverride, {{"DIMENSION", textRead(1)}}},
        {member::kTextPosition, {{"DIMENSION", pointRead(11)}}},
        {member::kOrigin, {{"IMAGE", pointRead(10)}}},
    };
}

}  // namespace

Status AutomationEntities::restyle(Context& c, const std::function<void(CommonGroups&)>& change)
{
    const CadSpace& space = c.document->space(c.space());
    if (const auto record = space.record(c.ref.index);
        record && !restylable(c.document->drawing().entityTags(*record)))
        return invalid(QStringLiteral("这个图元（%1）的图层、颜色等组码不在公共部分，本程序不改写它们。")
                           .arg(QString::fromUtf8(objectName(c.entity()).data())));
    CommonGroups groups = common(c);
    change(groups);
    c.session.restyleEntity(c.space(), c.ref.index, std::move(groups));
    return success();
}

void AutomationEntities::addEntityMembers(QHash<QString, Member>& m)
{
    m[memberKey(member::kEntityType)].get = [](Context& c) -> Result<QJsonValue> {
        return QJsonValue(typeNumber(c.entity()));
    };
    m[memberKey(member::kObjectName)].get = [](Context& c) -> Result<QJsonValue> {
        const std::string_view name = objectName(c.entity());
        return QJsonValue(QString::fromUtf8(name.data(), qsizetype(name.size())));
    };
    m[memberKey(member::kHandle)].get = [](Context& c) -> Result<QJsonValue> {
        return QJsonValue(QString::fromStdString(common(c).handle));
    };
    m[memberKey(member::kColor)].get = [](Context& c) -> Result<QJsonValue> { return QJsonValue(common(c).color); };
    m[memberKey(member::kTrueColor)].get = [](Context& c) -> Result<QJsonValue> {
        const CommonGroups g = common(c);
        if (!g.trueColor) return QJsonValue();
        return QJsonValue(QStringLiteral("#%1").arg(*g.trueColor, 6, 16, QLatin1Char('0')));
    };
    m[memberKey(member::kLinetype)].get = [](Context& c) -> Result<QJsonValue> {
        return QJsonValue(QString::fromStdString(common(c).linetype));
    };
    m[memberKey(member::kLineweight)].get = [](Context& c) -> Result<QJsonValue> {
        return QJsonValue(common(c).lineweight);
    };
    // Colour 0 is by block, 256 by layer; a colour index replaces a true colour.
    m[memberKey(member::kColor)].set = [](Context& c, const QJsonValue& v) -> Status {
        const auto color = wholeNumber(v, 0, 256);
        if (!color) return invalid(QStringLiteral("Color 必须是 0 到 256 的颜色号（0 随块，256 随层）。"));
        return restyle(c, [&](CommonGroups& g) {
            g.color = *color;
            g.trueColor.reset();
        });
    };
    // "#RRGGBB"; null drops the true colour (the colour index stays).
    m[memberKey(member::kTrueColor)].set = [](Context& c, const QJsonValue& v) -> Status {
        std::optional<std::uint32_t> rgb;
        if (!v.isNull()) {
            const QString s = v.toString();
            bool ok = false;
            const uint value = s.mid(1).toUInt(&ok, 16);
            if (!v.isString() || s.size() != 7 || !s.startsWith(QLatin1Char('#')) || !ok)
                return invalid(QStringLiteral("TrueColor 应为“#RRGGBB”形式的颜色（或 null）。"));
            if (c.document->drawing().version() < "AC1018")
                return invalid(QStringLiteral("这个图形的 DXF 版本（%1）存不下真彩色：AutoCAD 2004（AC1018）起才有。")
                                   .arg(QString::fromStdString(c.document->drawing().version())));
            rgb = value;
        }
        return restyle(c, [&](CommonGroups& g) { g.trueColor = rgb; });
    };
    m[memberKey(member::kLinetype)].set = [](Context& c, const QJsonValue& v) -> Status {
        auto name = text(v, "线型名");
        if (!name) return name.error();
        const std::string wanted = name->toStdString();
        bool known = sameName(wanted, "ByLayer") || sameName(wanted, "ByBlock") || sameName(wanted, "Continuous");
        for (const auto entry : c.document->drawing().tableEntries("LTYPE"))
            for (const dxf::DxfTag& t : entry)
                if (t.code == 2) known = known || sameName(t.value, wanted);
        if (!known)
            return invalid(QStringLiteral("图形中没有线型“%1”：线型须先载入图形的线型表。").arg(*name));
        return restyle(c, [&](CommonGroups& g) { g.linetype = wanted; });
    };
    // The lineweights the commercial CAD offers, in hundredths of a
    // millimetre, and -1 by layer, -2 by block, -3 the default.
    m[memberKey(member::kLineweight)].set = [](Context& c, const QJsonValue& v) -> Status {
        static constexpr int kWeights[] = {-3, -2, -1, 0, 5, 9, 13, 15, 18, 20, 25, 30, 35, 40,
                                           50, 53, 60, 70, 80, 90, 100, 106, 120, 140, 158, 200, 211};
        const auto weight = wholeNumber(v, -3, 211);
        if (!weight || std::find(std::begin(kWeights), std::end(kWeights), *weight) == std::end(kWeights))
            return invalid(QStringLiteral("Lineweight 必须是标准线宽之一（0、5、9、13、15、18、20、25、30、35、40、50、53、60、"
                                          "70、80、90、100、106、120、140、158、200、211，或 -1 随层、-2 随块、-3 默认）。"));
        if (c.document->drawing().version() < "AC1015")
            return invalid(QStringLiteral("这个图形的 DXF 版本（%1）存不下线宽：AutoCAD 2000（AC1015）起才有。")
                               .arg(QString::fromStdString(c.document->drawing().version())));
        return restyle(c, [&](CommonGroups& g) { g.lineweight = *weight; });
    };
    m[memberKey(member::kMove)].call = [](Context& c, const AutomationArgs& args) -> Result<QJsonValue> {
        if (Status s = argCount(args, 2, 2); !s) return s.error();
        auto from = pointArg(args[0], "基点");
        if (!from) return from.error();
        auto to = pointArg(args[1], "目标点");
        if (!to) return to.error();
        const Point3 by{(*to)[0] - (*from)[0], (*to)[1] - (*from)[1], (*to)[2] - (*from)[2]};
        for (double d : by)
            if (!std::isfinite(d)) return invalid(QStringLiteral("移动距离超出数值范围。"));
        std::optional<ModelEntity> moved = movedEntity(c.entity(), by);
        if (!moved)
            return invalid(QStringLiteral("这种图元（%1）不能移动：%2。")
                               .arg(QString::fromUtf8(objectName(c.entity()).data()),
                                    QString::fromUtf8(unmovableReason(c.entity()).data())));
        c.session.replaceEntity(c.space(), c.ref.index, std::move(*moved));
        return QJsonValue();
    };
    // The kinds held as shapes: where they are placed and what they say.
    const auto shapeInsertion = [](Context& c) -> Result<QJsonValue> {
        const auto* shape = std::get_if<ModelShape>(&c.entity());
        const auto x = shapeGroup(c, 10), y = shapeGroup(c, 20), z = shapeGroup(c, 30);
        const auto number = [](const std::optional<std::string>& v) {
            return v ? dxf::tagNumber(*v).value_or(0) : 0.0;
        };
        if (!shape || !x || !y)
            return error(kUnknownName, QStringLiteral("未知的名称“%1”。").arg(QLatin1String(member::kInsertionPoint)));
        return QJsonValue(QJsonArray{number(x) + shape->offset[0], number(y) + shape->offset[1],
                                     number(z) + shape->offset[2]});
    };
    // A text's own getter stays; a shape with a point of insertion answers here.
    const auto textInsertion = m[memberKey(member::kInsertionPoint)].get;
    m[memberKey(member::kInsertionPoint)].get = [textInsertion, shapeInsertion](Context& c) {
        const auto* shape = std::get_if<ModelShape>(&c.entity());
        if (!shape) return textInsertion(c);
        const std::string_view t = shape->type;
        if (t == "INSERT" || t == "MTEXT" || t == "ATTDEF" || t == "IMAGE" || t == "TEXT" || t == "POINT" ||
            t == "SHAPE" || t == "TOLERANCE")
            return shapeInsertion(c);
        return textInsertion(c);
    };
    // The reads of the kinds held as shapes; any other entity answers as before.
    for (auto& [name, reads] : shapeReads()) {
        const QString key = memberKey(name);
        auto held = m[key].get;
        m[key].get = [held, reads = std::move(reads), name = name](Context& c) -> Result<QJsonValue> {
            if (const auto r = shapeRecord(c))
                for (const auto& [type, read] : reads)
                    if (r->shape->type == type) return read(*r);
            if (held) return held(c);
            return error(kUnknownName, QStringLiteral("未知的名称“%1”。").arg(QLatin1String(name)));
        };
    }
    const auto textString = m[memberKey(member::kTextString)].get;
    m[memberKey(member::kTextString)].get = [textString](Context& c) -> Result<QJsonValue> {
        const auto* shape = std::get_if<ModelShape>(&c.entity());
        if (!shape || (shape->type != "MTEXT" && shape->type != "ATTDEF" && shape->type != "TEXT"))
            return textString(c);
        // A multi-line text's string runs on in groups 3 before its group 1.
        const auto record = c.document->space(c.space()).record(c.ref.index);
        std::string raw, last;
        for (const dxf::DxfTag& t : c.document->drawing().entityTags(*record)) {
            if (t.code == 1001) break;
            if (t.code == 3 && shape->type == "MTEXT") raw += t.value;
            if (t.code == 1 && last.empty()) last = t.value;
        }
        raw += last;
        return QJsonValue(QString::fromStdString(
            dxf::decodeDxfText(raw, c.document->drawing().codePage(), c.document->drawing().unicode())));
    };
}

}  // namespace tessik::cadhost
