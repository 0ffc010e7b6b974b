#include "automation/AutomationEntities.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <iterator>

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
            return invalid(QStringLiteral("这种图元（%1）不能移动：它的点不能逐一改写。")
                               .arg(QString::fromUtf8(objectName(c.entity()).data())));
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
