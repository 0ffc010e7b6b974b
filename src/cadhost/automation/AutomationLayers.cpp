#include "automation/AutomationLayers.h"

#include <cmath>

#include "automation/AutomationEntities.h"
#include "automation/AutomationMemberTypes.h"

namespace tessik::cadhost {

using namespace members;

QHash<QString, Member> AutomationLayers::layersMembers()
{
    QHash<QString, Member> m;
    m[memberKey(member::kAdd)].call = [](Context& c, const AutomationArgs& args) -> Result<QJsonValue> {
        if (Status s = argCount(args, 1, 1); !s) return s.error();
        auto name = text(args[0], "图层名");
        if (!name) return name.error();
        if (name->trimmed().isEmpty()) return invalid(QStringLiteral("图层名为空。"));
        // Index -1 stands for a layer of the file's own table.
        return c.handle(c.child(Kind::Layer, 0, c.document->addLayer(name->toStdString())));
    };
    return m;
}

QHash<QString, Member> AutomationLayers::layerMembers()
{
    QHash<QString, Member> m;
    m[memberKey(member::kColor)].get = [](Context& c) -> Result<QJsonValue> {
        if (c.ref.index < 0) return invalid(QStringLiteral("该图层来自图形文件，颜色见其图层表。"));
        return QJsonValue(c.document->addedLayers()[static_cast<std::size_t>(c.ref.index)].color);
    };
    m[memberKey(member::kColor)].set = [](Context& c, const QJsonValue& v) -> Status {
        if (c.ref.index < 0) return invalid(QStringLiteral("该图层来自图形文件，本程序不改它的颜色。"));
        const double color = v.toDouble(-1);
        if (!v.isDouble() || color != std::floor(color) || color < 1 || color > 255)
            return invalid(QStringLiteral("Color 必须是 1 到 255 的颜色号。"));
        c.document->setLayerColor(c.ref.index, static_cast<int>(color));
        return success();
    };
    return m;
}

void AutomationLayers::addDocumentMembers(QHash<QString, Member>& m)
{
    m[memberKey(member::kLayers)].get = [](Context& c) { return Result<QJsonValue>(c.handle(c.child(Kind::Layers))); };
}

void AutomationLayers::addEntityMembers(QHash<QString, Member>& m)
{
    m[memberKey(member::kLayer)].set = [](Context& c, const QJsonValue& v) -> Status {
        auto name = text(v, "图层名");
        if (!name) return name.error();
        if (!c.document->hasLayer(name->toStdString()))
            return invalid(QStringLiteral("图形中没有图层“%1”，请先用 Layers.Add 建立。").arg(*name));
        return AutomationEntities::restyle(c, [&](CommonGroups& g) { g.layer = name->toStdString(); });
    };
    m[memberKey(member::kLayer)].get = [](Context& c) -> Result<QJsonValue> {
        return QJsonValue(QString::fromStdString(c.document->entityGroups(c.space(), c.ref.index).layer));
    };
}

}  // namespace tessik::cadhost
