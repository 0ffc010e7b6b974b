#include "automation/AutomationEntities.h"

#include <cmath>

#include <QJsonArray>

#include "automation/AutomationMemberTypes.h"
#include "Dxf.h"
#include "model/ModelNames.h"

namespace tessik::cadhost {

using namespace members;

namespace {

// The common groups of the entity as read from its file; a new entity has the defaults.
CommonGroups common(Context& c)
{
    const CadSpace& space = c.document->space(c.space());
    const auto record = space.record(c.ref.index);
    if (!record) return CommonGroups{};
    return commonGroups(c.document->drawing().entityTags(*record));
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
